#include "Formathandlers.h"

#include <array>

#include "Classes.h"
#include "Exceptions.h"
#include "Graphics.h"
#include "SysUtils.h"

using namespace platform;

std::string OutputDir;

const std::string& FontCharacterSet() {
  static const std::string set = [] {
    std::string s;
    for (int c = 0x21; c <= 0x5A; ++c) s += char(c);
    for (int c = 0x61; c <= 0x7E; ++c) s += char(c);
    for (int c = 0xC0; c <= 0xFF; ++c) s += char(c);
    s += ' ';
    return s;
  }();
  return set;
}

namespace {

struct TCell {
  int32_t Start = 0;
  int32_t Width = 0;
};

// Finds the cell of every character in the marker row (row 0). A cell is a
// maximal run of non-black pixels; the scan starts at column 1, carries on from
// one character to the next, steps over the black pixel that ends a cell, and
// never looks past the last column: a run still open there ends at the edge.
std::array<TCell, kGlyphCount> ScanMarkerRow(const TBitmap& strip, const std::string& stripPath) {
  const int width = strip.Width();
  std::vector<bool> marked(static_cast<size_t>(width));
  if (strip.Height() > 0) {
    for (int x = 0; x < width; ++x) marked[x] = strip.Pixel(x, 0) != clBlack;
  }
  std::array<TCell, kGlyphCount> cells;
  int column = 1;
  for (int k = 0; k < kGlyphCount; ++k) {
    while (column < width && !marked[column]) ++column;
    if (column >= width) {
      throw EConvertError("Glyph strip " + stripPath + " has " + IntToStr(k) + " of the " +
                          IntToStr(kGlyphCount) + " glyph cells its font needs");
    }
    cells[k].Start = column;
    while (column < width && marked[column]) ++column;
    cells[k].Width = column - cells[k].Start;
    ++column;  // the black pixel that ended the cell
  }
  return cells;
}

std::string MetricsLine(char character, int32_t packedColumn, int32_t width) {
  std::string line = ">";
  line += character;
  line += ' ';
  line += IntToStr(packedColumn + 1);
  line += ".0 0.0 ";
  line += IntToStr(width - 1);
  line += ".0 0.0";
  return line;
}

}  // namespace

int32_t ExtractMetrics(const std::string& path, int32_t passthrough) {
  // With a ".bmp" path the strip, the packed bitmap and the metrics text would
  // all be one file: the strip would be destroyed and the result overwritten.
  if (LowerCase(ExtractFileExt(path)) == ".bmp") {
    throw EConvertError("Cannot convert " + path +
                        ": a font metrics file must not have the extension .bmp of its glyph strip");
  }
  TStringList lines;
  TBitmap strip;
  TBitmap packed;

  const std::string stripPath = ChangeFileExt(path, ".bmp");
  strip.LoadFromFile(stripPath);
  packed.SetPixelFormat(strip.PixelFormat());
  packed.SetPalette(strip.Palette());

  const std::string& characters = FontCharacterSet();
  const int glyphHeight = strip.Height() - 1;
  const std::array<TCell, kGlyphCount> cells = ScanMarkerRow(strip, stripPath);
  int32_t totalWidth = 0;
  for (const TCell& cell : cells) totalWidth += cell.Width;

  packed.SetSize(totalWidth, glyphHeight);
  packed.FillRect({0, 0, totalWidth, glyphHeight}, clBlack);
  int32_t packedColumn = 0;
  for (int k = 0; k < kGlyphCount; ++k) {
    const TCell& cell = cells[k];
    lines.Add(MetricsLine(characters[k], packedColumn, cell.Width));
    packed.CopyRect({packedColumn, 0, packedColumn + cell.Width, glyphHeight}, strip,
                    {cell.Start, 1, cell.Start + cell.Width, strip.Height()});
    packedColumn += cell.Width;
  }

  const std::string name = ExtractFileName(path);
  packed.SaveToFile(JoinPath(OutputDir, ChangeFileExt(name, ".bmp")));
  lines.SaveToFile(JoinPath(OutputDir, name));
  return passthrough;
}
