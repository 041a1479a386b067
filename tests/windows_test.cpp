// What is Windows' own: drive roots, "\" and drive-letter paths, share modes,
// the read-only attribute and names in the system code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <functional>

#include "Classes.h"
#include "Exceptions.h"
#include "FileIO.h"
#include "Formathandlers.h"
#include "Run.h"
#include "SysUtils.h"
#include "TestUtil.h"

using namespace platform;
using testutil::ErrorOf;
using testutil::TTempDir;

namespace {

// The scratch drive that tools/test-windows.sh gives the tests: under wine a
// link in the prefix's dosdevices, on Windows what subst makes. Its root is a
// drive root like C:\ that the tests may write to.
std::string ScratchDrive() {
  const char* drive = std::getenv("EI_TEST_DRIVE");
  if (!drive || !*drive) return std::string();
  const std::string root = std::string(drive) + "\\";
  return ::GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR ? std::string() : root;
}

class TQuietHost : public TListHost {
 public:
  void SetStatusText(const std::string&) override {}
  void SetTotalMax(int) override {}
  void SetTotalPosition(int) override {}
  void StepProgress() override {}
  void ProcessMessages() override {}
  bool StopRequested() const override { return false; }
};

}  // namespace

TEST(WindowsPaths, TheSeparatorIsABackslashAndADriveRootDoublesIt) {
  EXPECT_EQ(JoinPath("C:\\out", "a.bmp"), "C:\\out\\a.bmp");
  EXPECT_EQ(JoinPath("C:\\", "result.log"), "C:\\\\result.log");
  const struct {
    const char* path;
    bool absolute;
  } cases[] = {
      {"C:\\fonts\\a.metrics", true}, {"c:/fonts/a.metrics", true}, {"\\\\server\\share\\a.metrics", true},
      {"C:a.metrics", false},         {"\\fonts\\a.metrics", false}, {"fonts\\a.metrics", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPathAbsolute(c.path), c.absolute) << c.path;
  // Drive-relative paths resolve as Windows resolves them.
  const std::string here = GetCurrentDir();
  EXPECT_EQ(ExpandFileName("\\x.metrics"), here.substr(0, 2) + "\\x.metrics");
  EXPECT_EQ(ExpandFileName("sub\\..\\x.metrics"), JoinPath(here, "x.metrics"));
}

TEST(WindowsPaths, ADriveRootAsOutputFolderGetsResultLogAtTheDoubledBackslash) {
  const std::string root = ScratchDrive();
  if (root.empty()) GTEST_SKIP() << "no scratch drive (EI_TEST_DRIVE): run tools/test-windows.sh";
  TTempDir in;
  const std::string font = testutil::WriteFont(in.Path(), "a");
  const std::vector<std::string> args = {EI_BATCH, "-q", "-o", root, font};
  const testutil::TProgramResult r = testutil::RunProgram(args, in.Path());
  EXPECT_EQ(r.exit, 0) << r.err;
  // The folder dialog gives a drive root with its backslash, and the run joins
  // another one: "T:\\result.log", which Windows takes as T:\result.log.
  const std::string log = JoinPath(root, ResultLogName);
  EXPECT_EQ(log, root + "\\result.log");
  EXPECT_EQ(testutil::ReadFile(log), "#Format: MET\r\n#Source: " + font + "\r\n");
  EXPECT_EQ(SplitLines(testutil::ReadFile(JoinPath(root, "a.metrics"))).size(), 153u);
  for (const char* name : {"a.bmp", "a.metrics", "result.log"}) std::filesystem::remove(JoinPath(root, name));
}

TEST(WindowsPaths, ListFilesNameSourcesWithBackslashesAndDriveLetters) {
  TTempDir out, src, lists;
  OutputDir = out.Path();
  ListLines = std::make_unique<TStringList>();
  for (const char* name : {"a", "b"}) {
    testutil::WriteFont(out.Path(), name);
    testutil::WriteFile(src.File(std::string(name) + ".metrics"), "source");
  }
  // src.Path() is a drive-letter path with "\" separators; b is named with "/".
  std::string b = src.File("b.metrics");
  std::replace(b.begin(), b.end(), '\\', '/');
  testutil::WriteFile(lists.File("list.log"), "#Format: MET\r\n#Source: " + src.File("a.metrics") +
                                                  "\r\n#Format: MET\r\n#Source: " + b + "\r\n");
  TQuietHost host;
  ProcessListFile(host, lists.File("list.log"));
  for (const char* name : {"a", "b"}) {
    EXPECT_EQ(SplitLines(testutil::ReadFile(out.File(std::string(name) + ".metrics"))).size(), 153u) << name;
  }
  ListLines.reset();
}

TEST(WindowsShareModes, ASourceThatCannotBeHeldIsRefused) {
  TTempDir dir;
  const std::string path = dir.File("a.metrics");
  testutil::WriteFile(path, "");
  {
    // Another program has it open without sharing.
    const HANDLE other = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ErrorOf([&] { TFileStream(path, fmOpenReadWrite | fmShareExclusive); }), "Cannot open file " + path);
    EXPECT_EQ(ErrorOf([&] { ReadFileBytes(path); }), "Cannot open file " + path);
    ::CloseHandle(other);
  }
  {
    // Held by us: no other program can open it meanwhile, not even to read.
    TFileStream held(path, fmOpenReadWrite | fmShareExclusive);
    EXPECT_EQ(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
  }
  testutil::SetReadOnly(path);
  EXPECT_EQ(ErrorOf([&] { TFileStream(path, fmOpenReadWrite | fmShareExclusive); }), "Cannot open file " + path);
  EXPECT_EQ(ErrorOf([&] { WriteFileBytes(path, "x"); }), "Cannot create file " + path);
  EXPECT_EQ(ErrorOf([&] { ReadFileBytes(path); }), "(no error)") << "read-only files can be read";
}

TEST(WindowsCodePage, NamesWithUpperBytesKeepThem) {
  TTempDir in, out;
  OutputDir = out.Path();
  const std::string name = "\xC0\xE9\xFF";
  ExtractMetrics(testutil::WriteFont(in.Path(), name), 0);
  EXPECT_EQ(testutil::ListFolder(out.Path()), (std::vector<std::string>{name + ".bmp", name + ".metrics"}));
  EXPECT_TRUE(FileExists(out.File(name + ".bmp")));
}

TEST(WindowsPaths, AProjectListNamesItsListFilesWithBackslashes) {
  TTempDir dir;
  std::filesystem::create_directory(dir.File("in"));
  std::filesystem::create_directory(dir.File("out"));
  for (const char* name : {"a", "b"}) {
    const std::string source = testutil::WriteFont(dir.File("in"), name);
    testutil::WriteFont(dir.File("out"), name);
    testutil::WriteFile(dir.File("out\\" + std::string(name) + ".log"), "#Format: MET\r\n#Source: " + source + "\r\n");
  }
  // One entry as a full "\" path, one relative to the output folder.
  testutil::WriteFile(dir.File("project.lst"), dir.File("out\\a.log") + "\r\n.\\b.log\r\n");
  const std::vector<std::string> args = {EI_BATCH, "-q", "-o", "out", "project.lst"};
  const testutil::TProgramResult r = testutil::RunProgram(args, dir.Path());
  EXPECT_EQ(r.exit, 0) << r.err;
  for (const char* name : {"a", "b"}) {
    EXPECT_EQ(SplitLines(testutil::ReadFile(dir.File("out\\" + std::string(name) + ".metrics"))).size(), 153u);
  }
}
