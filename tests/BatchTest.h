// The fixture of the batch command's tests: a folder with two fonts, and the
// real binary run in it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestUtil.h"

class BatchTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.File("in"));
    for (const char* name : {"a", "b"}) fonts.push_back(testutil::WriteFont(dir.File("in"), name));
  }

  // Runs the batch command in the test folder with args.
  testutil::TProgramResult Batch(std::vector<std::string> args) {
    args.insert(args.begin(), EI_BATCH);
    return testutil::RunProgram(args, dir.Path());
  }

  std::string Log(const std::vector<std::string>& sources) {
    std::string log;
    for (const std::string& s : sources) log += "#Format: MET\r\n#Source: " + s + "\r\n";
    return log;
  }

  testutil::TTempDir dir;
  std::vector<std::string> fonts;
};
