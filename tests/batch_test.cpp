// extractinsert-batch, end to end through the real binary.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "BatchTest.h"
#include "Classes.h"
#include "Graphics.h"
#include "SysUtils.h"
#include "TestUtil.h"

using testutil::TProgramResult;


TEST_F(BatchTest, AFontMetricsRunWritesTheFontsAndResultLog) {
  const TProgramResult r = Batch({"-o", "out", "in/a.metrics", "in/b.metrics"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "Operation complete!\n");
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")), Log(fonts)) << "inputs made absolute";
  EXPECT_EQ(testutil::ListFolder(dir.File("out")),
            (std::vector<std::string>{"a.bmp", "a.metrics", "b.bmp", "b.metrics", "result.log"}));
  EXPECT_EQ(platform::SplitLines(testutil::ReadFile(dir.File("out/a.metrics"))).size(), 153u);
  EXPECT_NE(r.err.find("[2/2] " + fonts[1]), std::string::npos) << "a line per entry off a terminal";
}

TEST_F(BatchTest, ALogRunConvertsItsSourcesInPlace) {
  ASSERT_EQ(Batch({"-q", "-o", "out", "in/a.metrics", "in/b.metrics"}).exit, 0);
  const TProgramResult r = Batch({"-q", "-o", "in", "out/result.log"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.err, "");
  for (const char* file : {"a.bmp", "a.metrics", "b.bmp", "b.metrics"}) {
    EXPECT_EQ(testutil::ReadFile(dir.File(std::string("in/") + file)),
              testutil::ReadFile(dir.File(std::string("out/") + file)))
        << file;
  }
  EXPECT_FALSE(testutil::Exists(dir.File("in/result.log")));
}

TEST_F(BatchTest, AProjectListRunsEachOfItsLines) {
  std::filesystem::create_directory(dir.File("out"));
  testutil::WriteFont(dir.File("out"), "a");
  // A relative line resolves against the output folder.
  testutil::WriteFile(dir.File("out/fonts.log"), Log({fonts[0]}));
  testutil::WriteFile(dir.File("project.lst"), "fonts.log\r\n");
  const TProgramResult r = Batch({"-q", "-o", "out", "project.lst"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(platform::SplitLines(testutil::ReadFile(dir.File("out/a.metrics"))).size(), 153u);
}

TEST_F(BatchTest, UsageErrors) {
  const std::vector<std::string> cases[] = {
      {"in/a.metrics", "in/x.log", "-o", "out"},
      {"-o", "out", "a.lst", "b.lst"},
      {"-o", "out", "in/a.bmp"},
      {"in/a.metrics"},
      {"-o"},
      {"-x", "-o", "out", "in/a.metrics"},
      {"-o", "out"},
  };
  for (const auto& args : cases) {
    const TProgramResult r = Batch(args);
    EXPECT_EQ(r.exit, 2) << args.front();
    EXPECT_NE(r.err.find("usage: extractinsert-batch"), std::string::npos) << args.front();
  }
  EXPECT_FALSE(testutil::Exists(dir.File("out")));
  const TProgramResult help = Batch({"--help"});
  EXPECT_EQ(help.exit, 0);
  EXPECT_EQ(help.out.rfind("usage: extractinsert-batch", 0), 0u);
  const TProgramResult version = Batch({"--version"});
  EXPECT_EQ(version.exit, 0);
  EXPECT_EQ(version.out, std::string("extractinsert-batch ") + EI_VERSION + "\n");
}

TEST_F(BatchTest, AnErrorNamesTheEntryThenShowsTheErrorBoxText) {
  std::filesystem::remove(dir.File("in/b.bmp"));
  const TProgramResult r = Batch({"-q", "-o", "out", "in/b.metrics", "in/a.metrics"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.err, "extractinsert-batch: error in entry 1 of 2: " + fonts[1] + "\n" +
                       "Cannot open file " + dir.File("in/b.bmp") + ".\n");
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(testutil::ListFolder(dir.File("out")).empty()) << "no result.log, no later entry";
}

TEST_F(BatchTest, AnErrorInAListFileNamesItsLine) {
  std::filesystem::create_directory(dir.File("out"));
  testutil::WriteFont(dir.File("out"), "a");
  testutil::WriteFile(dir.File("out/fonts.log"), Log(fonts));  // b is not in the output folder
  testutil::WriteFile(dir.File("project.lst"), "fonts.log\r\n");
  const TProgramResult r = Batch({"-q", "-o", "out", "project.lst"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.err, "extractinsert-batch: error in entry 1 of 1: fonts.log, line 4\n"
                   "Cannot open file " + dir.File("out/b.bmp") + ".\n");
}

TEST_F(BatchTest, RelativeFoldersAndInputsComeFromTheCallersFolder) {
  const TProgramResult r = Batch({"-q", "-o", "rel/deeper/out", "./in/../in/a.metrics"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(testutil::Exists(dir.File("rel/deeper/out/a.bmp")));
  // The run log names the input by a full path, made from the caller's folder.
  const std::vector<std::string> log = platform::SplitLines(testutil::ReadFile(dir.File("rel/deeper/out/result.log")));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "#Format: MET");
  const std::string source = log[1].substr(std::string("#Source: ").size());
  EXPECT_TRUE(platform::IsPathAbsolute(source)) << source;
  EXPECT_TRUE(std::filesystem::equivalent(source, fonts[0])) << source;
}

TEST_F(BatchTest, AReRunChangesOnlyWhatChanged) {
  ASSERT_EQ(Batch({"-q", "-o", "out", "in/a.metrics", "in/b.metrics"}).exit, 0);
  const std::vector<std::string> outputs = testutil::ListFolder(dir.File("out"));
  std::map<std::string, std::pair<uint64_t, int64_t>> before;
  for (const std::string& name : outputs) {
    testutil::MakeOld(dir.File("out/" + name));
    before[name] = testutil::FileIdentity(dir.File("out/" + name));
  }
  auto changed = [&] {
    std::vector<std::string> names;
    for (const std::string& name : outputs) {
      if (testutil::FileIdentity(dir.File("out/" + name)) != before[name]) names.push_back(name);
    }
    return names;
  };

  // Nothing changed: nothing is written, result.log included.
  ASSERT_EQ(Batch({"-q", "-o", "out", "in/a.metrics", "in/b.metrics"}).exit, 0);
  EXPECT_EQ(changed(), std::vector<std::string>{});

  // A glyph pixel of b changed, its marker row not: only b's packed bitmap.
  platform::TBitmap strip;
  strip.LoadFromFile(dir.File("in/b.bmp"));
  strip.FillRect({1, 2, 2, 3}, 0x123456);
  strip.SaveToFile(dir.File("in/b.bmp"));
  ASSERT_EQ(Batch({"-q", "-o", "out", "in/a.metrics", "in/b.metrics"}).exit, 0);
  EXPECT_EQ(changed(), std::vector<std::string>{"b.bmp"});

  // A changed input list changes result.log alone.
  ASSERT_EQ(Batch({"-q", "-o", "out", "in/b.metrics", "in/a.metrics"}).exit, 0);
  EXPECT_EQ(changed(), (std::vector<std::string>{"b.bmp", "result.log"}));
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")), Log({fonts[1], fonts[0]}));
}

