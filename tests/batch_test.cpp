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


namespace {

// Writes in/NAME.bmp with cells of the given widths (one black column apart)
// and an empty in/NAME.metrics; returns the .metrics path.
std::string WriteStrip(const testutil::TTempDir& dir, const std::string& name, const std::vector<int>& widths,
                       bool markColumnZero = false) {
  platform::TBitmap strip = testutil::MakeStrip(platform::TPixelFormat::pf24bit, widths, 4);
  if (markColumnZero) strip.FillRect({0, 0, 1, 1}, 0xFFFFFF);
  strip.SaveToFile(dir.File("in/" + name + ".bmp"));
  testutil::WriteFile(dir.File("in/" + name + ".metrics"), "");
  return dir.File("in/" + name + ".metrics");
}

}  // namespace

TEST_F(BatchTest, CheckReportsEachFontAndWritesNothing) {
  std::vector<int> touching = testutil::StandardWidths();
  touching[22] = 20;  // "7": as wide as two runs that touch
  std::vector<int> extra = testutil::StandardWidths();
  extra.insert(extra.end(), {2, 2, 2});
  const std::string good = fonts[0];
  const std::string wide = WriteStrip(dir, "wide", touching);
  const std::string more = WriteStrip(dir, "more", extra, true);
  const std::string shortStrip = WriteStrip(dir, "short", std::vector<int>(152, 2));
  const std::vector<std::string> before = testutil::ListFolder(dir.File("in"));

  const TProgramResult r = Batch({"--check", good, wide, more, shortStrip});
  EXPECT_EQ(r.exit, 1) << "one font would fail";
  const std::vector<std::string> lines = platform::SplitLines(r.out);
  const std::vector<std::string> expected = {
      good + ": 153 cells; packed bitmap 381 x 5, 24 bits",
      wide + ": 153 cells; packed bitmap 398 x 3, 24 bits",
      wide + ": warning: the cell of \"7\", columns 76 to 95, is 20 wide, more than three times the median 2: "
             "two marker runs that touch?",
      more + ": 153 cells; packed bitmap 381 x 3, 24 bits",
      more + ": warning: 3 marked runs after the 153rd cell, from column 535 on, are ignored",
      more + ": warning: column 0 of the marker row is marked, and column 0 is never looked at",
      shortStrip + ": error: Glyph strip " + dir.File("in/short.bmp") +
          " has 152 of the 153 glyph cells its font needs: the last cell, for 0xFF, ends at column 455; the "
          "space has none.",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(testutil::ListFolder(dir.File("in")), before);
  EXPECT_FALSE(testutil::Exists(dir.File("out")));

  const TProgramResult ok = Batch({"--check", "-v", good});
  EXPECT_EQ(ok.exit, 0);
  const std::vector<std::string> table = platform::SplitLines(ok.out);
  ASSERT_EQ(table.size(), 154u) << "the line, then a row per character";
  EXPECT_EQ(table[1], "  0x21 \"!\"           start      1  width    1  packed      0");
  EXPECT_EQ(table[89], "  0xC0 U+0410 \xD0\x90      start    309  width    1  packed    220");
  EXPECT_EQ(table[153], "  0x20 the space     start    533  width    1  packed    380");
}

TEST_F(BatchTest, CheckOfAListFileChecksTheFontsTheRunWouldConvert) {
  std::filesystem::create_directory(dir.File("out"));
  testutil::WriteFont(dir.File("out"), "a");
  testutil::WriteFile(dir.File("out/fonts.log"), Log(fonts));  // b is not in the output folder
  const std::vector<std::string> before = testutil::ListFolder(dir.File("out"));
  const TProgramResult r = Batch({"--check", "-o", "out", "out/fonts.log"});
  EXPECT_EQ(r.exit, 1);
  EXPECT_EQ(platform::SplitLines(r.out),
            (std::vector<std::string>{dir.File("out/a.metrics") + ": 153 cells; packed bitmap 381 x 5, 24 bits",
                                      dir.File("out/b.metrics") + ": error: Cannot open file " +
                                          dir.File("out/b.bmp") + "."}));
  EXPECT_EQ(testutil::ListFolder(dir.File("out")), before) << "nothing written";
  EXPECT_EQ(Batch({"--check", "in/a.log"}).exit, 2) << "a list file needs the output folder";
}

TEST_F(BatchTest, FntWritesABMFontDescriptorBesideThePackedBitmap) {
  const std::string sample = std::string(EI_SAMPLES) + "/dejavu-sans.metrics";
  const struct {
    const char* codepage;
    std::string c0, ff;  // the char lines of 0xC0 and 0xFF begin so
  } cases[] = {
      {"1251", "char id=1040 ", "char id=1103 "},  // А and я
      {"1252", "char id=192 ", "char id=255 "},    // À and ÿ
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.codepage);
    const TProgramResult r = Batch({"-q", "--fnt", "--codepage", c.codepage, "-o", "out", sample});
    EXPECT_EQ(r.exit, 0) << r.err;
    const std::vector<std::string> fnt = platform::SplitLines(testutil::ReadFile(dir.File("out/dejavu-sans.fnt")));
    ASSERT_EQ(fnt.size(), 4u + 153u);
    EXPECT_EQ(fnt[2], "page id=0 file=\"dejavu-sans.bmp\"");
    EXPECT_EQ(fnt[3], "chars count=153");
    EXPECT_EQ(fnt[4 + 88].rfind(c.c0, 0), 0u) << fnt[4 + 88];
    EXPECT_EQ(fnt[4 + 151].rfind(c.ff, 0), 0u) << fnt[4 + 151];
  }
  // A code page without a letter for a byte leaves it out, and says so.
  const TProgramResult greek = Batch({"-q", "--fnt", "--codepage", "1253", "-o", "out", sample});
  EXPECT_EQ(greek.exit, 0);
  for (const char* byte : {"0xD2", "0xFF"}) {
    EXPECT_NE(greek.err.find(std::string("warning: ") + byte +
                             " is left out of dejavu-sans.fnt: code page 1253 has no letter for it"),
              std::string::npos)
        << byte;
  }
  EXPECT_NE(testutil::ReadFile(dir.File("out/dejavu-sans.fnt")).find("chars count=151"), std::string::npos);
  EXPECT_EQ(Batch({"-q", "--fnt", "--codepage", "99999", "-o", "out2", sample}).exit, 2);
}
