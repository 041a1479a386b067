// The class library's core: text-file rules, path routines, the file writer.
#include <gtest/gtest.h>

#include <filesystem>

#include "Classes.h"
#include "Exceptions.h"
#include "FileIO.h"
#include "SysUtils.h"
#include "TestUtil.h"

using namespace platform;
using testutil::TTempDir;

TEST(TextFileRules, ReadingSplitsLinesByTheRules) {
  static const struct {
    const char* name;
    std::string text;
    std::vector<std::string> lines;
  } cases[] = {
      {"empty text", "", {}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"lone LF", "a\nb\n", {"a", "b"}},
      {"lone CR", "a\rb\r", {"a", "b"}},
      {"last line without a break", "a\r\nb", {"a", "b"}},
      {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
      {"LF CR at the end", "a\n\r", {"a", ""}},
      {"a lone break", "\r\n", {""}},
      {"empty lines kept", "\r\n\r\nx\r\n\r\n", {"", "", "x", ""}},
      {"no trimming", "  a \t\r\n", {"  a \t"}},
      {"byte 0 ends the text", std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
      {"byte 0 first", std::string("\0a", 2), {}},
      {"8-bit bytes kept", "\xC0\xFF\x80\r\n", {"\xC0\xFF\x80"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.lines) << c.name;
  }
}

TEST(TextFileRules, WritingEndsEveryLineWithCrLf) {
  static const struct {
    std::vector<std::string> lines;
    std::string text;
  } cases[] = {
      {{}, ""},
      {{""}, "\r\n"},
      {{"a", "b", "c"}, "a\r\nb\r\nc\r\n"},
      {{" x ", "", "\xE9t\xE9"}, " x \r\n\r\n\xE9t\xE9\r\n"},
  };
  TTempDir dir;
  for (const auto& c : cases) {
    TStringList list;
    for (const auto& line : c.lines) list.Add(line);
    list.SaveToFile(dir.File("list.lst"));
    EXPECT_EQ(testutil::ReadFile(dir.File("list.lst")), c.text);
    TStringList back;
    back.LoadFromFile(dir.File("list.lst"));
    EXPECT_EQ(back.Items(), c.lines);
  }
}

TEST(TextFileRules, LoadingAMissingFileNamesIt) {
  TTempDir dir;
  TStringList list;
  list.Add("kept");
  const std::string path = dir.File("missing.lst");
  try {
    list.LoadFromFile(path);
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
  }
  EXPECT_EQ(list.Items(), std::vector<std::string>{"kept"});
}

TEST(PathRoutines, TakePathsApartAtEitherSeparator) {
  static const struct {
    const char* path;
    const char* name;
    const char* withBmp;
    const char* ext;
  } cases[] = {
      {"/fonts/a.metrics", "a.metrics", "/fonts/a.bmp", ".metrics"},
      {"C:\\fonts\\a.metrics", "a.metrics", "C:\\fonts\\a.bmp", ".metrics"},
      {"C:a.metrics", "a.metrics", "C:a.bmp", ".metrics"},
      {"/fonts.d/plain", "plain", "/fonts.d/plain.bmp", ""},
      {"dir.x\\plain", "plain", "dir.x\\plain.bmp", ""},
      {"a.b.metrics", "a.b.metrics", "a.b.bmp", ".metrics"},
      {"/fonts/", "", "/fonts/.bmp", ""},
      {"", "", ".bmp", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ChangeFileExt(c.path, ".bmp"), c.withBmp) << c.path;
    EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
  }
  // Joined with the system's separator, the end of the folder not looked at.
  EXPECT_EQ(JoinPath("/", "result.log"), std::string("/") + PathDelim + "result.log");
  EXPECT_EQ(JoinPath("out", "a.metrics"), std::string("out") + PathDelim + "a.metrics");
  EXPECT_EQ(IntToStr(-12), "-12");
  EXPECT_EQ(Format("Cannot open file %s", "x y"), "Cannot open file x y");
}

TEST(FileWriter, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  TTempDir dir;
  const std::string path = dir.File("target.bin");
  testutil::WriteFile(path, "old content");
  for (size_t limit : {size_t{0}, size_t{3}, size_t{9999}}) {
    testutil::TDiskFullEnv env(limit);
    TScopedFileEnv scope(env);
    try {
      WriteFileBytes(path, std::string(10000, 'x'));
      FAIL() << "no error at " << limit;
    } catch (const EWriteError& e) {
      EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_EQ(testutil::ReadFile(path), "old content");
    EXPECT_EQ(testutil::ListFolder(dir.Path()), std::vector<std::string>{"target.bin"});
  }
}

TEST(FileWriter, ANewFileThatFailsPartWayIsRemoved) {
  TTempDir dir;
  testutil::TDiskFullEnv env(5);
  TScopedFileEnv scope(env);
  EXPECT_THROW(WriteFileBytes(dir.File("new.bin"), std::string(100, 'x')), EWriteError);
  EXPECT_TRUE(testutil::ListFolder(dir.Path()).empty());
}

TEST(FileWriter, TargetsThatCannotBeCreatedNameThePath) {
  TTempDir dir;
  const std::string readOnly = dir.File("ro.txt");
  testutil::WriteFile(readOnly, "keep");
  testutil::SetReadOnly(readOnly);
  std::filesystem::create_directory(dir.File("folder"));
  for (const std::string& path : {readOnly, dir.File("folder"), dir.File("no/such/file.txt")}) {
    try {
      WriteFileBytes(path, "data");
      FAIL() << "no error for " << path;
    } catch (const EFCreateError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
    }
  }
  EXPECT_EQ(testutil::ReadFile(readOnly), "keep");
}

TEST(FileStream, AnExclusiveHoldShutsOutASecondOne) {
  TTempDir dir;
  const std::string path = dir.File("source.metrics");
  testutil::WriteFile(path, "");
  {
    TFileStream held(path, fmOpenReadWrite | fmShareExclusive);
    EXPECT_THROW(TFileStream(path, fmOpenReadWrite | fmShareExclusive), EFOpenError);
  }
  EXPECT_NO_THROW(TFileStream(path, fmOpenReadWrite | fmShareExclusive));
}

TEST(FileStream, FoldersAndReadOnlyFilesCannotBeOpenedForWriting) {
  TTempDir dir;
  const std::string readOnly = dir.File("ro.metrics");
  testutil::WriteFile(readOnly, "");
  testutil::SetReadOnly(readOnly);
  for (const std::string& path : {dir.Path(), readOnly, dir.File("missing")}) {
    try {
      TFileStream stream(path, fmOpenReadWrite | fmShareExclusive);
      FAIL() << "opened " << path;
    } catch (const EFOpenError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
    }
  }
}

TEST(FindFirst, FindsFilesFoldersAndWildcardMatches) {
  TTempDir dir;
  testutil::WriteFile(dir.File("a.metrics"), "");
  EXPECT_TRUE(FindFirst(dir.File("a.metrics"), faAnyFile));
  EXPECT_TRUE(FindFirst(dir.Path(), faAnyFile));
  EXPECT_TRUE(FindFirst(dir.File("*.metrics"), faAnyFile));
  EXPECT_FALSE(FindFirst(dir.File("*.bmp"), faAnyFile));
  EXPECT_FALSE(FindFirst(dir.File("b.metrics"), faAnyFile));
  EXPECT_FALSE(FindFirst("", faAnyFile));
}
