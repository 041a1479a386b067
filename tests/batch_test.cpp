// extractinsert-batch, end to end through the real binary.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "Classes.h"
#include "Graphics.h"
#include "SysUtils.h"
#include "TestUtil.h"

namespace {

struct TResult {
  int exit = -1;
  std::string out, err;
};

class BatchTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.File("in"));
    for (const char* name : {"a", "b"}) fonts.push_back(testutil::WriteFont(dir.File("in"), name));
  }

  // Runs the batch command in the test folder with args (already quoted).
  TResult Batch(const std::string& args) {
    const std::string command = "cd '" + dir.Path() + "' && '" EI_BATCH "' " + args + " > '" +
                                dir.File("stdout") + "' 2> '" + dir.File("stderr") + "'";
    TResult r;
    const int status = std::system(command.c_str());
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = testutil::ReadFile(dir.File("stdout"));
    r.err = testutil::ReadFile(dir.File("stderr"));
    std::filesystem::remove(dir.File("stdout"));
    std::filesystem::remove(dir.File("stderr"));
    return r;
  }

  std::string Log(const std::vector<std::string>& sources) {
    std::string log;
    for (const std::string& s : sources) log += "#Format: MET\r\n#Source: " + s + "\r\n";
    return log;
  }

  testutil::TTempDir dir;
  std::vector<std::string> fonts;
};

}  // namespace

TEST_F(BatchTest, AFontMetricsRunWritesTheFontsAndResultLog) {
  const TResult r = Batch("-o out in/a.metrics in/b.metrics");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "Operation complete!\n");
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")), Log(fonts)) << "inputs made absolute";
  EXPECT_EQ(testutil::ListFolder(dir.File("out")),
            (std::vector<std::string>{"a.bmp", "a.metrics", "b.bmp", "b.metrics", "result.log"}));
  EXPECT_EQ(platform::SplitLines(testutil::ReadFile(dir.File("out/a.metrics"))).size(), 153u);
  EXPECT_NE(r.err.find("[2/2] " + fonts[1]), std::string::npos) << "a line per entry off a terminal";
}

TEST_F(BatchTest, ALogRunConvertsItsSourcesInPlace) {
  ASSERT_EQ(Batch("-q -o out in/a.metrics in/b.metrics").exit, 0);
  const TResult r = Batch("-q -o in out/result.log");
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
  const TResult r = Batch("-q -o out project.lst");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(platform::SplitLines(testutil::ReadFile(dir.File("out/a.metrics"))).size(), 153u);
}

TEST_F(BatchTest, UsageErrors) {
  const char* cases[] = {
      "in/a.metrics in/x.log -o out",
      "-o out a.lst b.lst",
      "-o out in/a.bmp",
      "in/a.metrics",
      "-o",
      "-x -o out in/a.metrics",
      "-o out",
  };
  for (const char* args : cases) {
    const TResult r = Batch(args);
    EXPECT_EQ(r.exit, 2) << args;
    EXPECT_NE(r.err.find("usage: extractinsert-batch"), std::string::npos) << args;
  }
  EXPECT_FALSE(testutil::Exists(dir.File("out")));
  const TResult help = Batch("--help");
  EXPECT_EQ(help.exit, 0);
  EXPECT_EQ(help.out.rfind("usage: extractinsert-batch", 0), 0u);
}

TEST_F(BatchTest, AnErrorNamesTheEntryThenShowsTheErrorBoxText) {
  std::filesystem::remove(dir.File("in/b.bmp"));
  const TResult r = Batch("-q -o out in/b.metrics in/a.metrics");
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
  const TResult r = Batch("-q -o out project.lst");
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.err, "extractinsert-batch: error in entry 1 of 1: fonts.log, line 4\n"
                   "Cannot open file " + dir.File("out/b.bmp") + ".\n");
}

TEST_F(BatchTest, AnInputWithALineBreakIsRefused) {
  const std::string broken = testutil::WriteFont(dir.File("in"), "two\nlines");
  const TResult r = Batch("-q -o out in/a.metrics 'in/two\nlines.metrics'");
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(r.err, "extractinsert-batch: error in entry 2 of 2: " + broken + "\n" + "Cannot process " +
                       broken + ": a line break cannot be stored in a list file.\n");
  EXPECT_EQ(testutil::ListFolder(dir.File("out")), (std::vector<std::string>{"a.bmp", "a.metrics"}));
}

TEST_F(BatchTest, RelativeFoldersAndInputsComeFromTheCallersFolder) {
  const TResult r = Batch("-q -o rel/deeper/out ./in/../in/a.metrics");
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(testutil::Exists(dir.File("rel/deeper/out/a.bmp")));
  EXPECT_EQ(testutil::ReadFile(dir.File("rel/deeper/out/result.log")),
            Log({dir.File("./in/../in/a.metrics")}));
}

TEST_F(BatchTest, AReRunChangesOnlyWhatChanged) {
  ASSERT_EQ(Batch("-q -o out in/a.metrics in/b.metrics").exit, 0);
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
  ASSERT_EQ(Batch("-q -o out in/a.metrics in/b.metrics").exit, 0);
  EXPECT_EQ(changed(), std::vector<std::string>{});

  // A glyph pixel of b changed, its marker row not: only b's packed bitmap.
  platform::TBitmap strip;
  strip.LoadFromFile(dir.File("in/b.bmp"));
  strip.FillRect({1, 2, 2, 3}, 0x123456);
  strip.SaveToFile(dir.File("in/b.bmp"));
  ASSERT_EQ(Batch("-q -o out in/a.metrics in/b.metrics").exit, 0);
  EXPECT_EQ(changed(), std::vector<std::string>{"b.bmp"});

  // A changed input list changes result.log alone.
  ASSERT_EQ(Batch("-q -o out in/b.metrics in/a.metrics").exit, 0);
  EXPECT_EQ(changed(), (std::vector<std::string>{"b.bmp", "result.log"}));
  EXPECT_EQ(testutil::ReadFile(dir.File("out/result.log")), Log({fonts[1], fonts[0]}));
}

TEST_F(BatchTest, ARunKilledAtAnyMomentLeavesOnlyWholeFiles) {
  std::vector<std::string> args = {EI_BATCH, "-q", "-o", dir.File("out")};
  for (int i = 0; i < 80; ++i) {
    args.push_back(testutil::WriteFont(dir.File("in"), "f" + std::to_string(1000 + i), platform::TPixelFormat::pf24bit, 40));
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
    args.push_back(testutil::WriteFont(dir.File("in"), "f" + std::to_string(1000 + i), platform::TPixelFormat::pf24bit, 40));
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
