// The glyph strip converter: packing, the metrics text, its errors.
#include <gtest/gtest.h>

#include <filesystem>

#include <cstdint>
#include <cstring>

#include "Classes.h"
#include "Exceptions.h"
#include "FileIO.h"
#include "Formathandlers.h"
#include "Graphics.h"
#include "TestUtil.h"

using namespace platform;
using testutil::TTempDir;

namespace {

struct TCellSpan {
  int start, width;
};

constexpr TColor kRed = 0x0000FF;
constexpr TColor kWhite = 0xFFFFFF;

// A strip of height h and width w, all black; marker runs are drawn by the test.
TBitmap BlankStrip(int w, int h, TPixelFormat format = TPixelFormat::pf24bit) {
  TBitmap b;
  b.SetPixelFormat(format);
  b.SetSize(w, h);
  return b;
}

// Draws n one-pixel cells from column x on, each followed by one black column.
int AddUnitCells(TBitmap& strip, int x, int n) {
  for (int i = 0; i < n; ++i, x += 2) strip.FillRect({x, 0, x + 1, 1}, kWhite);
  return x;
}

std::string Line(int k, int column, int width) {
  return std::string(">") + FontCharacterSet()[k] + " " + std::to_string(column + 1) + ".0 0.0 " +
         std::to_string(width - 1) + ".0 0.0";
}

class ConverterTest : public testing::Test {
 protected:
  void SetUp() override { OutputDir = out.Path(); }

  // Writes strip as in/<name>.bmp, converts in/<name>.metrics, returns the result.
  int32_t Convert(const TBitmap& strip, const std::string& name = "font", int32_t pass = 0) {
    strip.SaveToFile(in.File(name + ".bmp"));
    return ExtractMetrics(in.File(name + ".metrics"), pass);
  }
  std::vector<std::string> MetricsLines(const std::string& name = "font") {
    return SplitLines(testutil::ReadFile(out.File(name + ".metrics")));
  }
  TBitmap Packed(const std::string& name = "font") {
    TBitmap b;
    b.LoadFromFile(out.File(name + ".bmp"));
    return b;
  }
  std::string ErrorOf(const std::function<void()>& f) {
    try {
      f();
    } catch (const Exception& e) {
      return e.what();
    }
    return "(no error)";
  }

  TTempDir in, out;
};

}  // namespace

TEST_F(ConverterTest, TheWorkedExample) {
  TBitmap strip = BlankStrip(1 + 4 + 6 + 151 * 2, 8);
  strip.FillRect({1, 0, 4, 1}, kRed);     // columns 1-3
  strip.FillRect({5, 0, 10, 1}, kWhite);  // columns 5-9
  strip.FillRect({1, 1, 4, 8}, 0x123456);
  strip.FillRect({5, 1, 10, 8}, 0x654321);
  strip.FillRect({3, 7, 4, 8}, 0x00FF00);  // the bottom-right pixel of "!"
  AddUnitCells(strip, 11, 151);

  EXPECT_EQ(Convert(strip), 0);
  const std::vector<std::string> lines = MetricsLines();
  ASSERT_EQ(lines.size(), 153u);
  EXPECT_EQ(lines[0], ">! 1.0 0.0 2.0 0.0");
  EXPECT_EQ(lines[1], ">\" 4.0 0.0 4.0 0.0");
  const TBitmap packed = Packed();
  EXPECT_EQ(packed.Height(), 7);
  EXPECT_EQ(packed.Width(), 3 + 5 + 151);
  EXPECT_EQ(packed.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(packed.Pixel(0, 0), 0x123456u);
  EXPECT_EQ(packed.Pixel(2, 6), 0x00FF00u);
  EXPECT_EQ(packed.Pixel(3, 0), 0x654321u);
  EXPECT_EQ(packed.Pixel(7, 6), 0x654321u);
}

TEST_F(ConverterTest, MetricsTextIsExactToTheByte) {
  Convert(testutil::MakeStrip(TPixelFormat::pf24bit, testutil::StandardWidths(), 5));
  std::string expected;
  int column = 0;
  for (int k = 0; k < 153; ++k) {
    const int width = 1 + k % 4;
    expected += Line(k, column, width) + "\r\n";
    column += width;
  }
  const std::string text = testutil::ReadFile(out.File("font.metrics"));
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.substr(0, 20), ">! 1.0 0.0 0.0 0.0\r\n");
  EXPECT_EQ(text.substr(text.rfind(">")).substr(0, 3), ">  ") << "the space comes last";
  EXPECT_NE(text.find(">\xC0 "), std::string::npos) << "upper bytes written as they are";
}

TEST_F(ConverterTest, PackedGlyphsMatchTheirCellsInEveryFormat) {
  for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                              TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                              TPixelFormat::pf32bit}) {
    const std::vector<int> widths = testutil::StandardWidths();
    const TBitmap strip = testutil::MakeStrip(format, widths, 6, 2);
    Convert(strip);
    const TBitmap packed = Packed();
    SCOPED_TRACE(int(format));
    ASSERT_EQ(packed.PixelFormat(), format);
    EXPECT_EQ(packed.Palette(), strip.Palette());
    ASSERT_EQ(packed.Height(), 5);
    int x = 1, column = 0;
    for (int w : widths) {
      for (int y = 1; y < 6; ++y) {
        for (int i = 0; i < w; ++i) ASSERT_EQ(packed.Pixel(column + i, y - 1), strip.Pixel(x + i, y));
      }
      x += w + 2;
      column += w;
    }
    EXPECT_EQ(packed.Width(), column);
  }
}

TEST_F(ConverterTest, MarkerRowEdgeCases) {
  const struct {
    const char* name;
    std::function<TBitmap()> strip;
    std::vector<std::pair<int, std::string>> lines;  // expected line k
    int packedWidth;
  } cases[] = {
      {"a run from column 0 is seen from column 1",
       [] {
         TBitmap s = BlankStrip(5 + 152 * 2, 3);
         s.FillRect({0, 0, 4, 1}, kRed);
         AddUnitCells(s, 5, 152);
         return s;
       },
       {{0, ">! 1.0 0.0 2.0 0.0"}, {1, ">\" 4.0 0.0 0.0 0.0"}},
       3 + 152},
      {"touching runs form one cell",
       [] {
         TBitmap s = BlankStrip(6 + 152 * 2, 3);
         s.FillRect({1, 0, 3, 1}, kRed);
         s.FillRect({3, 0, 5, 1}, kWhite);
         AddUnitCells(s, 6, 152);
         return s;
       },
       {{0, ">! 1.0 0.0 3.0 0.0"}, {1, ">\" 5.0 0.0 0.0 0.0"}},
       4 + 152},
      {"a near-black marker marks",
       [] {
         TBitmap s = BlankStrip(1 + 153 * 2, 3);
         AddUnitCells(s, 1, 153);
         s.FillRect({1, 0, 2, 1}, 0x000001);
         return s;
       },
       {{0, ">! 1.0 0.0 0.0 0.0"}, {81, ">x 82.0 0.0 0.0 0.0"}},
       153},
      {"a one-pixel cell at packed column 56",
       [] {
         // 56 cells of one pixel before "x" give it packed column 56.
         TBitmap s = BlankStrip(1 + 3 * 2 + 150 * 2 + 10, 3);
         int x = 1;
         for (int k = 0; k < 153; ++k) {
           const int w = (k == 0 || k == 1 || k == 2) ? 2 : 1;
           s.FillRect({x, 0, x + w, 1}, kWhite);
           x += w + 1;
         }
         return s;
       },
       {{0, ">! 1.0 0.0 1.0 0.0"}, {78, ">u 82.0 0.0 0.0 0.0"}},
       156},
      {"cells after the 153rd are ignored",
       [] {
         TBitmap s = BlankStrip(1 + 160 * 2, 3);
         AddUnitCells(s, 1, 160);
         return s;
       },
       {{152, ">  153.0 0.0 0.0 0.0"}},
       153},
      {"a run that reaches the right edge closes there",
       [] {
         TBitmap s = BlankStrip(1 + 152 * 2 + 3, 3);
         const int x = AddUnitCells(s, 1, 152);
         s.FillRect({x, 0, x + 3, 1}, kRed);
         return s;
       },
       {{152, ">  153.0 0.0 2.0 0.0"}},
       155},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Convert(c.strip());
    const std::vector<std::string> lines = MetricsLines();
    ASSERT_EQ(lines.size(), 153u);
    for (const auto& [k, line] : c.lines) EXPECT_EQ(lines[k], line) << "line " << k;
    EXPECT_EQ(Packed().Width(), c.packedWidth);
  }
}

TEST_F(ConverterTest, AStripOnePixelHighGivesAZeroByteBitmapAndTheFullText) {
  Convert(testutil::MakeStrip(TPixelFormat::pf8bit, testutil::StandardWidths(), 1));
  EXPECT_EQ(testutil::ReadFile(out.File("font.bmp")), "");
  EXPECT_EQ(MetricsLines().size(), 153u);
}

TEST_F(ConverterTest, ReturnsThePassthroughArgument) {
  const TBitmap strip = testutil::MakeStrip(TPixelFormat::pf24bit, testutil::StandardWidths(), 3);
  for (int32_t pass : {0, 12, -5}) EXPECT_EQ(Convert(strip, "font", pass), pass);
}

TEST_F(ConverterTest, AnInputInTheOutputFolderIsReplacedByItsResults) {
  const std::string metrics = testutil::WriteFont(out.Path(), "font");
  testutil::WriteFile(metrics, "old metrics");
  ExtractMetrics(metrics, 0);
  EXPECT_EQ(MetricsLines().size(), 153u);
  EXPECT_EQ(Packed().Height(), 5) << "the packed bitmap replaced the strip";
  EXPECT_EQ(testutil::ListFolder(out.Path()), (std::vector<std::string>{"font.bmp", "font.metrics"}));
}

TEST_F(ConverterTest, ANameWithoutAnExtensionKeepsItsBareName) {
  testutil::MakeStrip(TPixelFormat::pf24bit, testutil::StandardWidths(), 4).SaveToFile(in.File("bare.bmp"));
  ExtractMetrics(in.File("bare"), 0);
  EXPECT_EQ(testutil::ListFolder(out.Path()), (std::vector<std::string>{"bare", "bare.bmp"}));
  EXPECT_EQ(SplitLines(testutil::ReadFile(out.File("bare"))).size(), 153u);
}

TEST_F(ConverterTest, ErrorsLeaveTheFilesTheirStepAllows) {
  const std::string widths32 = [] {
    // A 32-bit strip with bit fields: a layout the packed bitmap cannot take.
    std::string b = testutil::MakeStrip(TPixelFormat::pf32bit, testutil::StandardWidths(), 3).SaveToBytes();
    b[30] = 3;
    return b;
  }();
  const struct {
    const char* name;
    std::function<void(const std::string& stripPath)> prepare;
    std::string message;  // "%s": the strip's path
  } cases[] = {
      {"missing strip", [](const std::string&) {}, "Cannot open file %s"},
      {"shorter than a file header", [](const std::string& p) { testutil::WriteFile(p, "BM12"); },
       "Stream read error"},
      {"not a BMP", [](const std::string& p) { testutil::WriteFile(p, std::string(64, 'x')); },
       "Bitmap image is not valid"},
      {"32 bits with bit fields", [&](const std::string& p) { testutil::WriteFile(p, widths32); },
       "Invalid pixel format"},
      {"zero-byte strip", [](const std::string& p) { testutil::WriteFile(p, ""); },
       "Glyph strip %s has 0 of the 153 glyph cells its font needs: its marker row marks no cell; \"!\" has none"},
      {"too few cells",
       [](const std::string& p) {
         testutil::MakeStrip(TPixelFormat::pf8bit, std::vector<int>(40, 2), 4).SaveToFile(p);
       },
       "Glyph strip %s has 40 of the 153 glyph cells its font needs: the last cell, for \"H\", ends at column "
       "119; \"I\" has none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string strip = in.File("font.bmp");
    std::filesystem::remove(strip);
    c.prepare(strip);
    EXPECT_EQ(ErrorOf([&] { ExtractMetrics(in.File("font.metrics"), 0); }), Format(c.message, strip));
    EXPECT_TRUE(testutil::ListFolder(out.Path()).empty());
  }
}

TEST_F(ConverterTest, AShortStripNamesTheLastCellAndTheFirstCharacterWithout) {
  const struct {
    int cells;
    std::string diagnosis;  // after "...its font needs: "
  } cases[] = {
      {0, "its marker row marks no cell; \"!\" has none"},
      {1, "the last cell, for \"!\", ends at column 2; \"\"\" has none"},
      {58, "the last cell, for \"Z\", ends at column 173; \"a\" has none"},
      {88, "the last cell, for \"~\", ends at column 263; 0xC0 has none"},
      {152, "the last cell, for 0xFF, ends at column 455; the space has none"},
  };
  for (const auto& c : cases) {
    // Cells two pixels wide, one black column apart, from column 1.
    TBitmap strip = BlankStrip(1 + 153 * 3, 3);
    for (int k = 0; k < c.cells; ++k) strip.FillRect({1 + 3 * k, 0, 3 + 3 * k, 1}, kWhite);
    EXPECT_EQ(ErrorOf([&] { Convert(strip); }), "Glyph strip " + in.File("font.bmp") + " has " +
                                                    std::to_string(c.cells) +
                                                    " of the 153 glyph cells its font needs: " + c.diagnosis);
    EXPECT_TRUE(testutil::ListFolder(out.Path()).empty());
  }
}

TEST_F(ConverterTest, OutputsThatCannotBeCreated) {
  const std::string metrics = testutil::WriteFont(in.Path(), "font");
  // The packed bitmap cannot be created: nothing is written.
  OutputDir = out.File("missing");
  EXPECT_EQ(ErrorOf([&] { ExtractMetrics(metrics, 0); }), "Cannot create file " + out.File("missing/font.bmp"));
  // The metrics text cannot be created: the packed bitmap is not written either.
  OutputDir = out.Path();
  std::filesystem::create_directory(out.File("font.metrics"));
  EXPECT_EQ(ErrorOf([&] { ExtractMetrics(metrics, 0); }), "Cannot create file " + out.File("font.metrics"));
  EXPECT_EQ(testutil::ListFolder(out.Path()), std::vector<std::string>{"font.metrics"});
}

TEST_F(ConverterTest, AFontsTwoFilesChangeTogetherOrNotAtAll) {
  const std::string metrics = testutil::WriteFont(in.Path(), "font");
  // The packed bitmap of this font is 5774 bytes; the metrics text follows it.
  const struct {
    const char* name;
    bool readOnlyMetrics;
    size_t diskLimit;  // bytes that can be written before the disk is full
    std::string message;
  } cases[] = {
      {"an old read-only metrics text", true, SIZE_MAX, "Cannot create file " + out.File("font.metrics")},
      {"a full disk in the metrics text", false, 5774 + 1000, "Stream write error"},
      {"a full disk in the packed bitmap", false, 1000, "Stream write error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testutil::WriteFile(out.File("font.bmp"), "old bitmap");
    testutil::WriteFile(out.File("font.metrics"), "old metrics");
    if (c.readOnlyMetrics) testutil::SetReadOnly(out.File("font.metrics"));
    {
      testutil::TDiskFullEnv env(c.diskLimit);
      TScopedFileEnv scope(env);
      EXPECT_EQ(ErrorOf([&] { ExtractMetrics(metrics, 0); }), c.message);
    }
    EXPECT_EQ(testutil::ReadFile(out.File("font.bmp")), "old bitmap");
    EXPECT_EQ(testutil::ReadFile(out.File("font.metrics")), "old metrics");
    EXPECT_EQ(testutil::ListFolder(out.Path()), (std::vector<std::string>{"font.bmp", "font.metrics"}));
    testutil::SetReadOnly(out.File("font.metrics"), false);
  }
  // A new font that fails in its metrics text leaves nothing.
  std::filesystem::remove(out.File("font.bmp"));
  std::filesystem::remove(out.File("font.metrics"));
  testutil::TDiskFullEnv env(5774 + 1000);
  TScopedFileEnv scope(env);
  EXPECT_EQ(ErrorOf([&] { ExtractMetrics(metrics, 0); }), "Stream write error");
  EXPECT_TRUE(testutil::ListFolder(out.Path()).empty());
}

namespace {

// The packed bitmap as whole-image operations make it: a bitmap of the strip's
// format filled black, then one rectangle copy per glyph.
std::string ReferencePacked(const TBitmap& strip) {
  std::vector<TCellSpan> cells;
  for (int x = 1; x < strip.Width() && cells.size() < 153;) {
    if (strip.Pixel(x, 0) == clBlack) {
      ++x;
      continue;
    }
    const int start = x;
    while (x < strip.Width() && strip.Pixel(x, 0) != clBlack) ++x;
    cells.push_back({start, x - start});
  }
  TBitmap packed;
  packed.SetPixelFormat(strip.PixelFormat());
  packed.SetPalette(strip.Palette());
  int total = 0;
  for (const TCellSpan& c : cells) total += c.width;
  packed.SetSize(total, strip.Height() - 1);
  packed.FillRect({0, 0, total, strip.Height() - 1}, clBlack);
  int column = 0;
  for (const TCellSpan& c : cells) {
    packed.CopyRect({column, 0, column + c.width, strip.Height() - 1}, strip,
                    {c.start, 1, c.start + c.width, strip.Height()});
    column += c.width;
  }
  return packed.SaveToBytes();
}

// The bytes of strip with its rows stored top row first.
std::string TopDown(const TBitmap& strip) {
  std::string bytes = strip.SaveToBytes();
  const uint32_t offBits = uint8_t(bytes[10]) | (uint8_t(bytes[11]) << 8) | (uint8_t(bytes[12]) << 16);
  const int32_t height = -strip.Height();
  std::memcpy(&bytes[22], &height, 4);
  for (int y = 0; y < strip.Height(); ++y) {
    std::memcpy(&bytes[offBits + size_t(y) * strip.Stride()], strip.ScanLine(y), strip.Stride());
  }
  return bytes;
}

// The bytes of an 8- or 4-bit strip as RLE8 or RLE4 data: a run of one pixel
// per pixel, rows bottom-up.
std::string RunLengthEncoded(const TBitmap& strip) {
  const bool rle4 = strip.PixelFormat() == TPixelFormat::pf4bit;
  std::string bytes = strip.SaveToBytes();
  const uint32_t offBits = uint8_t(bytes[10]) | (uint8_t(bytes[11]) << 8) | (uint8_t(bytes[12]) << 16);
  bytes.resize(offBits);
  bytes[30] = rle4 ? 2 : 1;
  for (int y = strip.Height() - 1; y >= 0; --y) {
    const uint8_t* row = strip.ScanLine(y);
    for (int x = 0; x < strip.Width(); ++x) {
      const uint8_t index = rle4 ? uint8_t((x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4) : row[x];
      bytes += char(1);
      bytes += char(rle4 ? (index << 4) : index);
    }
    bytes += std::string("\0\0", 2);
  }
  bytes += std::string("\0\1", 2);
  return bytes;
}

// A strip of height rows whose marker row is MakeStrip's and whose glyph rows
// are patterned bytes: quick to make at any size.
TBitmap TallStrip(TPixelFormat format, const std::vector<int>& widths, int height) {
  const TBitmap marker = testutil::MakeStrip(format, widths, 1);
  TBitmap strip;
  strip.SetPixelFormat(format);
  strip.SetPalette(marker.Palette());
  strip.SetSize(marker.Width(), height);
  std::memcpy(strip.ScanLine(0), marker.ScanLine(0), size_t(strip.Stride()));
  for (int y = 1; y < height; ++y) {
    uint8_t* row = strip.ScanLine(y);
    for (int i = 0; i < strip.Stride(); ++i) row[i] = uint8_t((i * 7 + y * 13) % 251 + 1);
  }
  return strip;
}

}  // namespace

TEST_F(ConverterTest, EveryLayoutGivesTheBytesOfWholeImageCopies) {
  const std::vector<int> odd = [] {
    std::vector<int> w;
    for (int k = 0; k < 153; ++k) w.push_back(1 + (k * 5) % 7);
    return w;
  }();
  const std::vector<int> wide = [] {
    std::vector<int> w;
    for (int k = 0; k < 153; ++k) w.push_back(20 + k % 7);
    return w;
  }();
  const struct {
    const char* name;
    TPixelFormat format;
    const std::vector<int>& widths;
    int height, gap;
    bool tall = false;
  } strips[] = {
      {"1 bit", TPixelFormat::pf1bit, odd, 5, 1},         {"4 bits", TPixelFormat::pf4bit, odd, 6, 3},
      {"8 bits", TPixelFormat::pf8bit, odd, 4, 2},        {"15 bits", TPixelFormat::pf15bit, odd, 5, 1},
      {"16 bits", TPixelFormat::pf16bit, odd, 3, 2},      {"24 bits", TPixelFormat::pf24bit, odd, 7, 1},
      {"32 bits", TPixelFormat::pf32bit, odd, 4, 1},
      // Files of more than 1 MB, whose rows are read in more than one block.
      {"24 bits, 130 rows", TPixelFormat::pf24bit, wide, 130, 1, true},
      {"8 bits, 300 rows", TPixelFormat::pf8bit, wide, 300, 1, true},
  };
  for (const auto& s : strips) {
    const TBitmap strip = s.tall ? TallStrip(s.format, s.widths, s.height)
                                 : testutil::MakeStrip(s.format, s.widths, s.height, s.gap);
    const std::string expected = ReferencePacked(strip);
    std::vector<std::pair<std::string, std::string>> layouts = {{"bottom-up", strip.SaveToBytes()},
                                                                {"top-down", TopDown(strip)}};
    if (s.format == TPixelFormat::pf8bit || s.format == TPixelFormat::pf4bit) {
      layouts.push_back({"run-length encoded", RunLengthEncoded(strip)});
    }
    for (const auto& [layout, bytes] : layouts) {
      SCOPED_TRACE(std::string(s.name) + ", " + layout);
      testutil::WriteFile(in.File("font.bmp"), bytes);
      ExtractMetrics(in.File("font.metrics"), 0);
      EXPECT_TRUE(testutil::ReadFile(out.File("font.bmp")) == expected) << "packed bitmaps differ";
    }
  }
}

TEST_F(ConverterTest, AFullDiskNeverLeavesACutShortFileInPlaceOfAGoodOne) {
  // A list-file run converts in place: the strip in the output folder is both
  // the input and the first output.
  const std::string metrics = testutil::WriteFont(out.Path(), "font");
  testutil::WriteFile(metrics, "old metrics\r\n");
  const std::string strip = testutil::ReadFile(out.File("font.bmp"));
  {
    testutil::TDiskFullEnv env(100);
    TScopedFileEnv scope(env);
    EXPECT_EQ(ErrorOf([&] { ExtractMetrics(metrics, 0); }), "Stream write error");
  }
  EXPECT_EQ(testutil::ReadFile(out.File("font.bmp")), strip);
  EXPECT_EQ(testutil::ReadFile(metrics), "old metrics\r\n");
  EXPECT_EQ(testutil::ListFolder(out.Path()), (std::vector<std::string>{"font.bmp", "font.metrics"}));
}

TEST_F(ConverterTest, RefusesAMetricsPathThatNamesTheStripItself) {
  for (const char* name : {"font.bmp", "font.BMP", "font.Bmp"}) {
    const std::string path = out.File(name);
    testutil::MakeStrip(TPixelFormat::pf24bit, testutil::StandardWidths(), 3).SaveToFile(path);
    const std::string before = testutil::ReadFile(path);
    EXPECT_EQ(ErrorOf([&] { ExtractMetrics(path, 0); }),
              "Cannot convert " + path +
                  ": a font metrics file must not have the extension .bmp of its glyph strip");
    EXPECT_EQ(testutil::ReadFile(path), before);
    EXPECT_EQ(testutil::ListFolder(out.Path()), std::vector<std::string>{name});
    std::filesystem::remove(path);
  }
}

namespace {

// FNV-1a, 64 bits: a digest of a file's bytes.
uint64_t Digest(const std::string& bytes) {
  uint64_t h = 0xCBF29CE484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001B3ull;
  return h;
}

}  // namespace

TEST_F(ConverterTest, EverySystemWritesTheSameBytes) {
  // The digests of the packed bitmap and the metrics text as the Linux build
  // writes them (the same as the whole-image copies before block reading):
  // every build must write the same bytes.
  constexpr uint64_t kMetrics = 0x143CCFD699E7F31Cull;  // the same widths in every format
  const struct {
    TPixelFormat format;
    uint64_t packed;
  } cases[] = {
      {TPixelFormat::pf1bit, 0xEB7CA22EE7B10765ull},  {TPixelFormat::pf4bit, 0xC905CA9DA17A34A3ull},
      {TPixelFormat::pf8bit, 0x947044AFEF27E362ull},  {TPixelFormat::pf15bit, 0x073A491EE0210D27ull},
      {TPixelFormat::pf16bit, 0x0B18EB84CBDE0D95ull}, {TPixelFormat::pf24bit, 0xB1E01E2D42065F8Dull},
      {TPixelFormat::pf32bit, 0x57B23D19625436E6ull},
  };
  for (const auto& c : cases) {
    Convert(testutil::MakeStrip(c.format, testutil::StandardWidths(), 7, 2));
    EXPECT_EQ(Digest(testutil::ReadFile(out.File("font.bmp"))), c.packed) << int(c.format);
    EXPECT_EQ(Digest(testutil::ReadFile(out.File("font.metrics"))), kMetrics) << int(c.format);
  }
  ExtractMetrics(std::string(EI_SAMPLES) + "/dejavu-sans.metrics", 0);
  EXPECT_EQ(Digest(testutil::ReadFile(out.File("dejavu-sans.bmp"))), 0xD15354988E30C4A3ull);
  EXPECT_EQ(Digest(testutil::ReadFile(out.File("dejavu-sans.metrics"))), 0x21434EE20F922E56ull);
}

TEST_F(ConverterTest, TheBMFontDescriptorOfATinyStripByteForByte) {
  // 153 cells one pixel wide, 3 rows: glyphs 2 rows high at columns 0 to 152.
  TBitmap strip = BlankStrip(1 + 153 * 2, 3);
  AddUnitCells(strip, 1, 153);
  ConvertOptions.DescriptorCodePage = 1251;
  Convert(strip, "tiny");
  ConvertOptions = TConvertOptions();
  std::string expected =
      "info face=\"tiny\" size=2 bold=0 italic=0 charset=\"\" unicode=1 stretchH=100 smooth=0 aa=1 "
      "padding=0,0,0,0 spacing=0,0\r\n"
      "common lineHeight=2 base=2 scaleW=153 scaleH=2 pages=1 packed=0\r\n"
      "page id=0 file=\"tiny.bmp\"\r\n"
      "chars count=153\r\n";
  const char32_t cyrillicA = 0x410;
  for (int k = 0; k < 153; ++k) {
    const auto byte = static_cast<unsigned char>(FontCharacterSet()[k]);
    const uint32_t id = byte < 0x80 ? byte : uint32_t(cyrillicA + (byte - 0xC0));
    expected += "char id=" + std::to_string(id) + " x=" + std::to_string(k) +
                " y=0 width=1 height=2 xoffset=0 yoffset=0 xadvance=1 page=0 chnl=15\r\n";
  }
  EXPECT_EQ(testutil::ReadFile(out.File("tiny.fnt")), expected);
  EXPECT_EQ(testutil::ListFolder(out.Path()), (std::vector<std::string>{"tiny.bmp", "tiny.fnt", "tiny.metrics"}));
}

TEST_F(ConverterTest, TheDescriptorChangesTogetherWithTheFontsOtherFiles) {
  const std::string metrics = testutil::WriteFont(in.Path(), "font");
  ConvertOptions.DescriptorCodePage = 1251;
  for (const char* name : {"font.bmp", "font.metrics", "font.fnt"}) testutil::WriteFile(out.File(name), "old");
  testutil::SetReadOnly(out.File("font.fnt"));
  EXPECT_EQ(ErrorOf([&] { ExtractMetrics(metrics, 0); }), "Cannot create file " + out.File("font.fnt"));
  for (const char* name : {"font.bmp", "font.metrics", "font.fnt"}) EXPECT_EQ(testutil::ReadFile(out.File(name)), "old");
  testutil::SetReadOnly(out.File("font.fnt"), false);
  ExtractMetrics(metrics, 0);
  testutil::MakeOld(out.File("font.fnt"));
  const auto written = testutil::FileIdentity(out.File("font.fnt"));
  ExtractMetrics(metrics, 0);
  EXPECT_EQ(testutil::FileIdentity(out.File("font.fnt")), written) << "an unchanged descriptor is left untouched";
  ConvertOptions = TConvertOptions();
}
