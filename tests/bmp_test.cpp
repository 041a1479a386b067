// The BMP codec of TBitmap: round trips, hand-written files, malformed input.
#include <gtest/gtest.h>

#include "Exceptions.h"
#include "Graphics.h"
#include "TestUtil.h"

using namespace platform;

namespace {

void PutLE(std::string& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += char((v >> (8 * i)) & 0xFF);
}

// A BMP file written field by field.
struct TBmpFields {
  uint32_t headerSize = 40;
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  std::string masks;    // after a 40-byte header, or inside a larger one
  std::string palette;  // raw table bytes
  std::string pixels;   // raw pixel bytes
  int32_t offBitsDelta = 0;
};

std::string MakeBmp(const TBmpFields& f) {
  std::string info;
  if (f.headerSize == 12) {
    PutLE(info, 12, 4);
    PutLE(info, uint32_t(f.width), 2);
    PutLE(info, uint32_t(f.height), 2);
    PutLE(info, 1, 2);
    PutLE(info, f.bitCount, 2);
  } else {
    PutLE(info, f.headerSize, 4);
    PutLE(info, uint32_t(f.width), 4);
    PutLE(info, uint32_t(f.height), 4);
    PutLE(info, 1, 2);
    PutLE(info, f.bitCount, 2);
    PutLE(info, f.compression, 4);
    PutLE(info, uint32_t(f.pixels.size()), 4);
    PutLE(info, 2835, 4);
    PutLE(info, 2835, 4);
    PutLE(info, f.colorsUsed, 4);
    PutLE(info, 0, 4);
    if (f.headerSize > 40) {
      std::string masks = f.masks;
      masks.resize(f.headerSize - 40, '\0');
      info += masks;
    } else {
      info += f.masks;
    }
  }
  const uint32_t offBits = uint32_t(14 + info.size() + f.palette.size() + f.offBitsDelta);
  std::string out = "BM";
  PutLE(out, uint32_t(offBits + f.pixels.size()), 4);
  PutLE(out, 0, 4);
  PutLE(out, offBits, 4);
  return out + info + f.palette + f.pixels;
}

std::string Masks(uint32_t r, uint32_t g, uint32_t b) {
  std::string m;
  PutLE(m, r, 4);
  PutLE(m, g, 4);
  PutLE(m, b, 4);
  return m;
}

// Colour table entries from 0x00RRGGBB values (stored blue first).
std::string Quads(std::initializer_list<uint32_t> bgr) {
  std::string out;
  for (uint32_t v : bgr) PutLE(out, v, 4);
  return out;
}

TBitmap Load(const std::string& bytes) {
  TBitmap b;
  b.LoadFromBytes(bytes);
  return b;
}

std::string ErrorOf(const std::string& bytes) {
  try {
    Load(bytes);
  } catch (const Exception& e) {
    return e.what();
  }
  return "(loaded)";
}

}  // namespace

TEST(BmpCodec, EveryPixelFormatRoundTripsByteForByte) {
  const TPixelFormat formats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,
                                  TPixelFormat::pf8bit,  TPixelFormat::pf15bit,
                                  TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                  TPixelFormat::pf32bit};
  for (TPixelFormat format : formats) {
    // Widths 2..5 and gaps give every row padding.
    for (int extra = 0; extra < 4; ++extra) {
      const TBitmap strip = testutil::MakeStrip(format, {1, 2 + extra, 3}, 5, 1 + extra);
      const std::string bytes = strip.SaveToBytes();
      const TBitmap back = Load(bytes);
      SCOPED_TRACE(testing::Message() << "format " << int(format) << " width " << strip.Width());
      EXPECT_EQ(back.PixelFormat(), format);
      EXPECT_EQ(back.Width(), strip.Width());
      EXPECT_EQ(back.Height(), strip.Height());
      EXPECT_EQ(back.Palette(), strip.Palette());
      for (int y = 0; y < strip.Height(); ++y) {
        for (int x = 0; x < strip.Width(); ++x) ASSERT_EQ(back.Pixel(x, y), strip.Pixel(x, y));
      }
      EXPECT_EQ(back.SaveToBytes(), bytes);
    }
  }
}

TEST(BmpCodec, WritesTheStandardLayoutExactly) {
  // 3 x 2 pixels at 24 bits: rows of 9 bytes padded to 12, stored bottom-up.
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.SetSize(3, 2);
  b.FillRect({0, 0, 3, 1}, 0x0000FF);  // top row red
  b.FillRect({0, 1, 3, 2}, 0xFF0000);  // bottom row blue
  std::string expected = "BM";
  PutLE(expected, 14 + 40 + 24, 4);
  PutLE(expected, 0, 4);
  PutLE(expected, 54, 4);
  for (uint32_t v : {40u, 3u, 2u}) PutLE(expected, v, 4);
  PutLE(expected, 1, 2);
  PutLE(expected, 24, 2);
  for (uint32_t v : {0u, 24u, 0u, 0u, 0u, 0u}) PutLE(expected, v, 4);
  expected += std::string("\xFF\0\0\xFF\0\0\xFF\0\0\0\0\0", 12);  // blue, stored first
  expected += std::string("\0\0\xFF\0\0\xFF\0\0\xFF\0\0\0", 12);  // red
  EXPECT_EQ(b.SaveToBytes(), expected);

  // 5-6-5 carries its masks; a bitmap without pixels gives zero bytes.
  TBitmap b16;
  b16.SetPixelFormat(TPixelFormat::pf16bit);
  b16.SetSize(1, 1);
  const std::string bytes16 = b16.SaveToBytes();
  EXPECT_EQ(bytes16.substr(30, 4), std::string("\x03\0\0\0", 4));
  EXPECT_EQ(bytes16.substr(54, 12), Masks(0xF800, 0x07E0, 0x001F));
  EXPECT_EQ(TBitmap().SaveToBytes(), "");
}

TEST(BmpCodec, ReadsTheHeaderVariantsAndRowOrders) {
  // One 2 x 2 8-bit picture, index (x + 2y) + 1, in several encodings.
  const std::string palette = Quads({0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
  const std::string bottomUp = std::string("\x03\x04\0\0\x01\x02\0\0", 8);
  const std::string topDown = std::string("\x01\x02\0\0\x03\x04\0\0", 8);
  const std::string rle8 = std::string("\x01\x03\x01\x04\0\0\x01\x01\x01\x02\0\x01", 12);
  std::string corePalette;
  for (uint32_t v : {0x000000u, 0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFFFFu}) PutLE(corePalette, v, 3);

  const struct {
    const char* name;
    TBmpFields fields;
  } cases[] = {
      {"40-byte header", {40, 2, 2, 8, 0, 5, "", palette, bottomUp}},
      {"top-down rows", {40, 2, -2, 8, 0, 5, "", palette, topDown}},
      {"core header", {12, 2, 2, 8, 0, 0, "", corePalette, bottomUp}},
      {"108-byte header", {108, 2, 2, 8, 0, 5, "", palette, bottomUp}},
      {"124-byte header", {124, 2, 2, 8, 0, 5, "", palette, bottomUp}},
      {"52-byte header", {52, 2, 2, 8, 0, 5, "", palette, bottomUp}},
      {"56-byte header", {56, 2, 2, 8, 0, 5, "", palette, bottomUp}},
      {"RLE8", {40, 2, 2, 8, 1, 5, "", palette, rle8}},
  };
  for (const auto& c : cases) {
    const TBitmap b = Load(MakeBmp(c.fields));
    SCOPED_TRACE(c.name);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(b.Width(), 2);
    ASSERT_EQ(b.Height(), 2);
    EXPECT_EQ(b.Pixel(0, 0), 0x0000FFu);  // 0x00BBGGRR: red
    EXPECT_EQ(b.Pixel(1, 0), 0x00FF00u);
    EXPECT_EQ(b.Pixel(0, 1), 0xFF0000u);
    EXPECT_EQ(b.Pixel(1, 1), 0xFFFFFFu);
  }
}

TEST(BmpCodec, ReadsRle4AndShortColourTables) {
  // 4 x 1 at 4 bits: an encoded run of 3 pixels (1, 2, 1), then one of 1 pixel (3).
  const std::string rle4 = std::string("\x03\x12\x01\x30\0\x01", 6);
  const TBitmap b = Load(MakeBmp({40, 4, 1, 4, 2, 4, "", Quads({0, 0xFF0000, 0x00FF00, 0x0000FF}), rle4}));
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(b.Palette().size(), 4u);
  EXPECT_EQ(b.Pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(b.Pixel(1, 0), 0x00FF00u);
  EXPECT_EQ(b.Pixel(2, 0), 0x0000FFu);
  EXPECT_EQ(b.Pixel(3, 0), 0xFF0000u);

  // An index past a short table reads as black.
  const TBitmap shortTable = Load(MakeBmp({40, 1, 1, 8, 0, 1, "", Quads({0xFFFFFF}), std::string("\x05\0\0\0", 4)}));
  EXPECT_EQ(shortTable.Pixel(0, 0), 0u);
}

TEST(BmpCodec, SixteenBitMasksChooseTheFormat) {
  const std::string pixel = std::string("\xFF\xFF\0\0", 4);
  const struct {
    uint32_t compression;
    std::string masks;
    const char* outcome;
    TPixelFormat format;
  } cases[] = {
      {0, "", "", TPixelFormat::pf15bit},
      {3, Masks(0x7C00, 0x03E0, 0x001F), "", TPixelFormat::pf15bit},
      {3, Masks(0xF800, 0x07E0, 0x001F), "", TPixelFormat::pf16bit},
      {3, Masks(0x0F00, 0x00F0, 0x000F), "Invalid pixel format", {}},
  };
  for (const auto& c : cases) {
    const std::string bytes = MakeBmp({40, 1, 1, 16, c.compression, 0, c.masks, "", pixel});
    if (*c.outcome) {
      EXPECT_EQ(ErrorOf(bytes), c.outcome);
      continue;
    }
    const TBitmap b = Load(bytes);
    EXPECT_EQ(b.PixelFormat(), c.format);
    // Full channels widen to 255; 0x7FFF in 5-5-5 and 0xFFFF in 5-6-5 are white.
    EXPECT_EQ(b.Pixel(0, 0), 0xFFFFFFu);
  }
  EXPECT_EQ(ErrorOf(MakeBmp({40, 1, 1, 32, 3, 0, Masks(0xFF0000, 0xFF00, 0xFF), "", pixel})),
            "Invalid pixel format");
  EXPECT_EQ(Load(MakeBmp({40, 1, 1, 32, 0, 0, "", "", std::string("\x10\x20\x30\0", 4)})).Pixel(0, 0),
            0x102030u);
}

TEST(BmpCodec, RejectsMalformedFilesWithTheRightMessage) {
  const std::string pixel = std::string("\0\0\0\0", 4);
  const std::string valid = MakeBmp({40, 1, 1, 24, 0, 0, "", "", pixel});
  auto with = [&](size_t at, const std::string& bytes) {
    std::string out = valid;
    out.replace(at, bytes.size(), bytes);
    return out;
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"shorter than the file header", "BM\0\0", "Stream read error"},
      {"13 bytes", valid.substr(0, 13), "Stream read error"},
      {"not BM", with(0, "XM"), "Bitmap image is not valid"},
      {"no info header", valid.substr(0, 16), "Bitmap image is not valid"},
      {"unknown header size", with(14, std::string("\x20\0\0\0", 4)), "Bitmap image is not valid"},
      {"width 0", with(18, std::string("\0\0\0\0", 4)), "Bitmap image is not valid"},
      {"negative width", with(18, "\xFF\xFF\xFF\xFF"), "Bitmap image is not valid"},
      {"height 0", with(22, std::string("\0\0\0\0", 4)), "Bitmap image is not valid"},
      {"two planes", with(26, std::string("\x02\0", 2)), "Bitmap image is not valid"},
      {"width past the bound", with(18, std::string("\x01\0\x10\0", 4)), "Bitmap image is not valid"},
      {"pixels past the end", valid.substr(0, valid.size() - 1), "Bitmap image is not valid"},
      {"huge picture, tiny file", with(18, std::string("\0\0\x08\0\0\x80\0\0", 8)), "Bitmap image is not valid"},
      {"offset past the end", with(10, "\xFF\xFF\0\0"), "Bitmap image is not valid"},
      {"bits per pixel 7", with(28, std::string("\x07\0", 2)), "Bitmap image is not valid"},
      {"JPEG compression", with(30, std::string("\x04\0\0\0", 4)), "Bitmap image is not valid"},
      {"RLE8 at 24 bits", with(30, std::string("\x01\0\0\0", 4)), "Bitmap image is not valid"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorOf(c.bytes), c.message) << c.name;

  const std::string palette = Quads({0, 0xFFFFFF});
  const struct {
    const char* name;
    std::string data;
  } badRle[] = {
      {"run past the row", std::string("\x05\x01\0\x01", 4)},
      {"absolute run past the row", std::string("\0\x05\x01\x01\x01\x01\x01\0\0\x01", 10)},
      {"no end-of-bitmap mark", std::string("\x02\x01", 2)},
      {"delta past the bottom", std::string("\0\x02\0\x05\0\x01", 6)},
      {"pixels after the last row", std::string("\0\0\x01\x01\0\x01", 6)},
      {"absolute run cut short", std::string("\0\x04\x01", 3)},
  };
  for (const auto& c : badRle) {
    EXPECT_EQ(ErrorOf(MakeBmp({40, 2, 1, 8, 1, 2, "", palette, c.data})), "Bitmap image is not valid")
        << c.name;
  }
  EXPECT_EQ(ErrorOf(MakeBmp({40, 2, -1, 8, 1, 2, "", palette, std::string("\0\x01", 2)})),
            "Bitmap image is not valid")
      << "top-down RLE";
}

TEST(BmpCodec, ZeroBytesLoadAsAnEmptyBitmap) {
  TBitmap b = testutil::MakeStrip(TPixelFormat::pf8bit, {1}, 2);
  b.LoadFromBytes("");
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Width(), 0);
}

TEST(BmpCodec, EveryFlippedBitAndEveryTruncationFailsCleanly) {
  // No input may crash or read out of bounds: each either loads or raises one
  // of the class library's errors.
  std::vector<std::string> seeds = {
      testutil::MakeStrip(TPixelFormat::pf4bit, {1, 2}, 3).SaveToBytes(),
      testutil::MakeStrip(TPixelFormat::pf16bit, {2}, 2).SaveToBytes(),
      MakeBmp({40, 2, 1, 8, 1, 2, "", Quads({0, 0xFFFFFF}), std::string("\x01\x01\0\x02\x01\x00\0\x01", 8)}),
  };
  for (const std::string& seed : seeds) {
    for (size_t bit = 0; bit < seed.size() * 8; ++bit) {
      std::string bytes = seed;
      bytes[bit / 8] = char(bytes[bit / 8] ^ (1 << (bit % 8)));
      TBitmap b;
      try {
        b.LoadFromBytes(bytes);
        for (int y = 0; y < b.Height(); ++y)
          for (int x = 0; x < b.Width(); ++x) b.Pixel(x, y);
      } catch (const Exception&) {
      }
    }
    for (size_t length = 0; length < seed.size(); ++length) {
      TBitmap b;
      try {
        b.LoadFromBytes(seed.substr(0, length));
      } catch (const Exception&) {
      }
    }
  }
}

TEST(Bitmap, CopyRectMovesPixelsExactlyInEveryFormat) {
  for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                              TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    const TBitmap source = testutil::MakeStrip(format, {3, 5, 2}, 4);
    TBitmap dest;
    dest.SetPixelFormat(format);
    dest.SetPalette(source.Palette());
    dest.SetSize(9, 3);
    dest.CopyRect({1, 0, 6, 3}, source, {5, 1, 10, 4});
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) ASSERT_EQ(dest.Pixel(1 + x, y), source.Pixel(5 + x, 1 + y));
      EXPECT_EQ(dest.Pixel(0, y), dest.Pixel(8, y));  // untouched columns stay index/colour 0
    }
  }
}
