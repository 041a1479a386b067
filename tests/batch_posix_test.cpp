// The batch command's behaviour that is POSIX's own: signals, and file names
// that hold a line feed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "BatchTest.h"
#include "Classes.h"
#include "Graphics.h"
#include "SysUtils.h"
#include "TestUtil.h"

using testutil::TProgramResult;

TEST_F(BatchTest, AnInputWithALineBreakIsRefused) {
  const std::string broken = testutil::WriteFont(dir.File("in"), "two\nlines");
  const TProgramResult r = Batch({"-q", "-o", "out", "in/a.metrics", "in/two\nlines.metrics"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.err, "extractinsert-batch: error in entry 2 of 2: " + broken + "\n" + "Cannot process " +
                       broken + ": a line break cannot be stored in a list file.\n");
  EXPECT_EQ(testutil::ListFolder(dir.File("out")), (std::vector<std::string>{"a.bmp", "a.metrics"}));
}

TEST_F(BatchTest, ARunKilledAtAnyMomentLeavesOnlyWholeFiles) {
  std::vector<std::string> args = {EI_BATCH, "-q", "-o", dir.File("out")};
  for (int i = 0; i < 80; ++i) {
    args.push_back(testutil::WriteFont(dir.File("in"), std::to_string(1000 + i), platform::TPixelFormat::pf24bit, 40));
  }
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  // Killed as the machine kills it, in the middle of the run.
  for (int wait = 0; wait < 5000; ++wait) {
    std::error_code ec;
    if (std::filesystem::exists(dir.File("out"), ec) && testutil::ListFolder(dir.File("out")).size() >= 10) break;
    ::usleep(200);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);

  for (const std::string& name : testutil::ListFolder(dir.File("out"))) {
    SCOPED_TRACE(name);
    const std::string path = dir.File("out/" + name);
    if (name == "result.log") continue;  // the run had finished
    if (platform::ExtractFileExt(name) == ".bmp") {
      platform::TBitmap packed;
      EXPECT_NO_THROW(packed.LoadFromFile(path));
      EXPECT_EQ(packed.Height(), 39);
    } else {
      ASSERT_EQ(platform::ExtractFileExt(name), ".metrics") << "a temporary file was left";
      EXPECT_EQ(platform::SplitLines(testutil::ReadFile(path)).size(), 153u);
      EXPECT_TRUE(testutil::Exists(platform::ChangeFileExt(path, ".bmp"))) << "the bitmap comes first";
    }
  }
}

TEST_F(BatchTest, CtrlCStopsAfterTheCurrentEntry) {
  std::vector<std::string> args = {EI_BATCH, "-q", "-o", dir.File("out")};
  for (int i = 0; i < 200; ++i) {
    args.push_back(testutil::WriteFont(dir.File("in"), std::to_string(1000 + i), platform::TPixelFormat::pf24bit, 40));
  }
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], 1);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  for (int wait = 0; wait < 5000; ++wait) {
    std::error_code ec;
    if (std::filesystem::exists(dir.File("out"), ec) && testutil::ListFolder(dir.File("out")).size() >= 4) break;
    ::usleep(200);
  }
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  char text[64] = {};
  const ssize_t n = ::read(out[0], text, sizeof text - 1);
  ::close(out[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(std::string(text, n > 0 ? size_t(n) : 0), "Operation stopped!\n");
  // The entries handled up to the stop, and their run log.
  const std::vector<std::string> log = platform::SplitLines(testutil::ReadFile(dir.File("out/result.log")));
  const size_t fonts = (testutil::ListFolder(dir.File("out")).size() - 1) / 2;
  EXPECT_GE(fonts, 2u);
  EXPECT_LT(fonts, 200u);
  EXPECT_EQ(log.size(), 2 * fonts);
}
