// The format handlers. There is one: the glyph strip converter of the format
// "MET" (font metrics files).
#pragma once

#include <cstdint>

#include "Graphics.h"
#include <functional>
#include <string>
#include <vector>

// The output folder of the current run, chosen by the run driver. Output paths
// are built as OutputDir, the path separator and a file name.
extern std::string OutputDir;

// The fixed character set of a font, in glyph order: 0x21-0x5A, 0x61-0x7E,
// 0xC0-0xFF, then the space.
inline constexpr int kGlyphCount = 153;
const std::string& FontCharacterSet();

// How messages name a character of the set: "the space", "A" in quotes for
// the other ASCII characters, 0xC0 for the upper bytes.
std::string CharacterName(char character);

// Options of a conversion beyond the window's; the batch command sets them.
struct TConvertOptions {
  // When not 0, each font also gets NAME.fnt, an AngelCode BMFont descriptor
  // in its text format naming the packed bitmap as its one page; the bytes
  // 0xC0-0xFF are taken in this Windows code page.
  int DescriptorCodePage = 0;
  // Told of what is legal but worth a look, such as a byte that the code page
  // has no letter for. Nothing is told when it is empty.
  std::function<void(const std::string&)> Warning;
};
extern TConvertOptions ConvertOptions;

// The BMFont descriptor of a font named name, whose glyph k stands at packed
// column columns[k] with width widths[k], in a packed bitmap width x height.
std::string BMFontDescriptor(const std::string& name, const std::vector<int32_t>& columns,
                             const std::vector<int32_t>& widths, int32_t width, int32_t height,
                             int codepage, const std::function<void(const std::string&)>& warning);

// What converting a font would find, for a check that writes nothing.
struct TFontReport {
  struct TGlyph {
    char Character;
    int32_t Start, Width;  // the cell in the strip
    int32_t Column;        // where the glyph would stand in the packed bitmap
  };
  std::string StripPath;
  std::string Error;  // the error the conversion would stop with; empty when it converts
  int Cells = 0;      // cells found, at most 153
  std::vector<TGlyph> Glyphs;
  platform::TPixelFormat Format = platform::TPixelFormat::pfDevice;
  int32_t Width = 0, Height = 0;  // of the packed bitmap
  int IgnoredRuns = 0;            // marked runs after the 153rd cell
  int32_t FirstIgnoredColumn = 0;
  bool ColumnZeroMarked = false;  // column 0 is never looked at
};

// Reads the strip of the font metrics file at path as ExtractMetrics would,
// and writes nothing. Errors are reported, not raised.
TFontReport CheckFont(const std::string& path);

// Converts one font. path names a font metrics file, which is never read: the
// glyph strip is path with its extension changed to ".bmp". The top row of the
// strip marks each glyph's cell by a run of non-black pixels; the glyphs are
// packed side by side, without the marker row and the columns between cells,
// into OutputDir/<name>.bmp (same pixel format and colour table as the strip),
// then the metrics text, one line per character, goes to OutputDir/<name>.
//
// Returns passthrough unchanged. Raises the class library's errors: the strip
// cannot be opened or is not a valid BMP (nothing written), the packed bitmap
// or the metrics text cannot be written. With ConvertOptions.DescriptorCodePage
// the descriptor NAME.fnt is written too, and the three files change together.
// Also refuses, before anything is
// written, a path whose extension is ".bmp" and a strip with fewer than 153
// marked cells (EConvertError).
int32_t ExtractMetrics(const std::string& path, int32_t passthrough);
