// The format handlers. There is one: the glyph strip converter of the format
// "MET" (font metrics files).
#pragma once

#include <cstdint>
#include <string>

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

// Converts one font. path names a font metrics file, which is never read: the
// glyph strip is path with its extension changed to ".bmp". The top row of the
// strip marks each glyph's cell by a run of non-black pixels; the glyphs are
// packed side by side, without the marker row and the columns between cells,
// into OutputDir/<name>.bmp (same pixel format and colour table as the strip),
// then the metrics text, one line per character, goes to OutputDir/<name>.
//
// Returns passthrough unchanged. Raises the class library's errors: the strip
// cannot be opened or is not a valid BMP (nothing written), the packed bitmap
// or the metrics text cannot be written. Also refuses, before anything is
// written, a path whose extension is ".bmp" and a strip with fewer than 153
// marked cells (EConvertError).
int32_t ExtractMetrics(const std::string& path, int32_t passthrough);
