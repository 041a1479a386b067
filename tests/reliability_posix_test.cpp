// What is POSIX's own of the reliability rules: files that are not files (a
// pipe, a device, a socket), processes killed in the middle of a write, and
// file modes.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "Classes.h"
#include "Exceptions.h"
#include "FileIO.h"
#include "Formathandlers.h"
#include "Graphics.h"
#include "TestUtil.h"

using namespace platform;
using testutil::ErrorOf;
using testutil::TTempDir;

TEST(NonRegularInputs, AreRefusedAtOnceByEveryReader) {
  TTempDir dir;
  const std::string pipe = dir.File("pipe.bmp");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  const std::string device = dir.File("zero.bmp");
  ASSERT_EQ(::symlink("/dev/zero", device.c_str()), 0);
  const std::string folder = dir.File("folder.bmp");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string socketPath = dir.File("socket.bmp");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const struct {
    const char* name;
    std::function<void(const std::string&)> read;
  } readers[] = {
      {"whole-file read", [](const std::string& p) { ReadFileBytes(p); }},
      {"list file", [](const std::string& p) { TStringList().LoadFromFile(p); }},
      {"bitmap", [](const std::string& p) { TBitmap().LoadFromFile(p); }},
      {"exclusive hold", [](const std::string& p) { TFileStream(p, fmOpenReadWrite | fmShareExclusive); }},
  };
  // A pipe with no writer would block an ordinary open for ever; the test's
  // time-out catches a reader that waits.
  for (const std::string& path : {pipe, device, folder, socketPath, std::string("/dev/null")}) {
    for (const auto& reader : readers) {
      EXPECT_EQ(ErrorOf([&] { reader.read(path); }), "Cannot open file " + path) << reader.name;
    }
  }
  ::close(sock);
}

TEST(NonRegularInputs, AGlyphStripThatIsAPipeOrADeviceWritesNothing) {
  TTempDir in, out;
  OutputDir = out.Path();
  ASSERT_EQ(::mkfifo(in.File("pipe.bmp").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("/dev/urandom", in.File("random.bmp").c_str()), 0);
  for (const char* name : {"pipe", "random"}) {
    EXPECT_EQ(ErrorOf([&] { ExtractMetrics(in.File(std::string(name) + ".metrics"), 0); }),
              "Cannot open file " + in.File(std::string(name) + ".bmp"));
  }
  EXPECT_TRUE(testutil::ListFolder(out.Path()).empty());
}

namespace {

// A file environment that ends the process in the middle of a write, as the
// machine does to a run it kills.
class TDyingEnv : public TFileEnv {
 public:
  TDyingEnv(size_t limit, bool named) : FLeft(limit), FNamed(named) {}
  int64_t Write(platform::THandle file, const void* data, size_t size) override {
    if (size >= FLeft) {
      TFileEnv::Write(file, data, FLeft);
      ::_exit(kDiedInWrite);
    }
    FLeft -= size;
    return TFileEnv::Write(file, data, size);
  }
  bool UnnamedTemporaryFiles() const override { return !FNamed; }
  static constexpr int kDiedInWrite = 77;

 private:
  size_t FLeft;
  bool FNamed;
};

// Runs work in a child process that dies once limit bytes have been written.
void DieWhileWriting(size_t limit, bool named, const std::function<void()>& work) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    TDyingEnv env(limit, named);
    TScopedFileEnv scope(env);
    try {
      work();
    } catch (...) {
    }
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), TDyingEnv::kDiedInWrite) << "the child did not die in a write";
}

}  // namespace

TEST(KilledWriters, LeaveNoTemporaryAndNoCutShortFile) {
  const struct {
    const char* name;
    bool named;     // the file system has no unnamed temporary files
    bool replaces;  // the target exists
  } cases[] = {
      {"new file", false, false},
      {"replaced file", false, true},
      {"new file, named fallback", true, false},
      {"replaced file, named fallback", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTempDir dir;
    const std::string target = dir.File("f0999.bmp");
    if (c.replaces) testutil::WriteFile(target, "the old font");
    DieWhileWriting(5000, c.named, [&] { WriteFileBytes(target, std::string(100000, 'x')); });

    std::vector<std::string> left = testutil::ListFolder(dir.Path());
    // What the fallback leaves is only ever its hidden temporary file...
    EXPECT_EQ(std::erase(left, ".f0999.bmp.eitmp"), c.named ? 1u : 0u);
    EXPECT_EQ(left, c.replaces ? std::vector<std::string>{"f0999.bmp"} : std::vector<std::string>{});
    if (c.replaces) {
      EXPECT_EQ(testutil::ReadFile(target), "the old font");
    }

    // ...and the next writer of that target removes it.
    testutil::TNamedTempEnv next;
    TScopedFileEnv scope(next);
    WriteFileBytes(target, "new");
    EXPECT_EQ(testutil::ListFolder(dir.Path()), std::vector<std::string>{"f0999.bmp"});
    EXPECT_EQ(testutil::ReadFile(target), "new");
  }
}

TEST(KilledWriters, AConversionKilledPartWayLeavesTheOldFontWhole) {
  TTempDir in, out;
  const std::string metrics = testutil::WriteFont(in.Path(), "font");
  OutputDir = out.Path();
  testutil::WriteFile(out.File("font.bmp"), "old bitmap");
  testutil::WriteFile(out.File("font.metrics"), "old metrics");
  // Part-way through the packed bitmap, and part-way through the metrics text,
  // which is written after the whole bitmap (5774 bytes for this font).
  for (size_t limit : {size_t{100}, size_t{5774 + 100}}) {
    SCOPED_TRACE(limit);
    DieWhileWriting(limit, false, [&] { ExtractMetrics(metrics, 0); });
    EXPECT_EQ(testutil::ListFolder(out.Path()), (std::vector<std::string>{"font.bmp", "font.metrics"}));
    EXPECT_EQ(testutil::ReadFile(out.File("font.bmp")), "old bitmap");
    EXPECT_EQ(testutil::ReadFile(out.File("font.metrics")), "old metrics");
  }
}

TEST(Writer, ANewFileOnlyAppearsWhole) {
  TTempDir dir;
  const std::string target = dir.File("new.bin");
  TFileWriter writer(target);
  writer.Write("first half ");
  EXPECT_TRUE(testutil::ListFolder(dir.Path()).empty()) << "nothing under any name before the commit";
  writer.Write("second half");
  writer.Commit();
  EXPECT_EQ(testutil::ReadFile(target), "first half second half");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask) << "the mode of any new file";
}

TEST(FileWriter, ReplacesAFileWholeAndKeepsItsMode) {
  TTempDir dir;
  const std::string path = dir.File("target.bin");
  testutil::WriteFile(path, "a much longer old content");
  ::chmod(path.c_str(), 0640);
  WriteFileBytes(path, "new");
  EXPECT_EQ(testutil::ReadFile(path), "new");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(testutil::ListFolder(dir.Path()), std::vector<std::string>{"target.bin"});
}
