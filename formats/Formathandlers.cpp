#include "Formathandlers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>

#include "Classes.h"
#include "CodePage.h"
#include "Exceptions.h"
#include "FileIO.h"
#include "Graphics.h"
#include "SysUtils.h"

using namespace platform;

std::string OutputDir;
TConvertOptions ConvertOptions;

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

std::string CharacterName(char character) {
  const auto byte = static_cast<unsigned char>(character);
  if (byte == ' ') return "the space";
  if (byte > ' ' && byte < 0x7F) return std::string("\"") + character + "\"";
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("0x") + kHex[byte >> 4] + kHex[byte & 15];
}

namespace {

struct TCell {
  int32_t Start = 0;
  int32_t Width = 0;
};

// About this many bytes of rows are read, and written, at a time.
constexpr size_t kBlockBytes = 1 << 20;

// Glyphs of up to kShortCopy bytes a row are moved as one fixed-size copy, so
// every row buffer has that many bytes of room after its last row.
constexpr size_t kShortCopy = 16;

// The glyph strip: its headers, and its rows as the converter asks for them.
// Uncompressed rows are read from the file in blocks, in the order in which the
// packed rows are made, so no whole image is ever held and a strip refused for
// its marker row costs one row of reading. RLE data is decoded whole.
class TGlyphStrip {
 public:
  explicit TGlyphStrip(const std::string& path) : FFile(path) {
    const uint64_t size = FFile.Size();
    if (size == 0) return;  // a zero-byte strip is an empty bitmap
    if (size <= kBlockBytes) {
      // A small strip is read in one go: headers, glyph rows and marker row.
      FWhole = TPixelBuffer(static_cast<size_t>(size) + kShortCopy, false);
      FFile.ReadExactly(0, FWhole.Data(), static_cast<size_t>(size));
      const std::string_view bytes(reinterpret_cast<const char*>(FWhole.Data()), static_cast<size_t>(size));
      FInfo = ReadBmpInfo(bytes, size);
      if (FInfo.Rle) FDecoded.LoadFromBytes(bytes);
    } else {
      FInfo = ReadBmpInfo(FFile);
      if (FInfo.Rle) FDecoded.LoadFromFile(FFile);
    }
    if (FInfo.Rle) return;
    FBlockRows = static_cast<int>(std::max<size_t>(1, kBlockBytes / static_cast<size_t>(FInfo.Stride)));
  }

  const TBmpInfo& Info() const { return FInfo; }

  // Row y, 0 being the top row; valid until the next call.
  const uint8_t* Row(int y) {
    if (FInfo.Rle) return FDecoded.ScanLine(y);
    if (FWhole.Size() > 0) return FWhole.Data() + FInfo.RowOffset(y);
    const int fileRow = FInfo.TopDown ? y : FInfo.Height - 1 - y;
    if (fileRow < FFirst || fileRow >= FFirst + FCount) {
      // The rows are asked for bottom row first: the block runs on from
      // fileRow in the direction of the file's next requests.
      FFirst = FInfo.TopDown ? std::max(0, fileRow - FBlockRows + 1) : fileRow;
      FCount = FInfo.TopDown ? fileRow - FFirst + 1 : std::min(FBlockRows, FInfo.Height - fileRow);
      const size_t bytes = static_cast<size_t>(FCount) * static_cast<size_t>(FInfo.Stride);
      if (FBlock.Size() < bytes + kShortCopy) FBlock = TPixelBuffer(bytes + kShortCopy, false);
      FFile.ReadExactly(FInfo.PixelStart + static_cast<uint64_t>(FFirst) * FInfo.Stride, FBlock.Data(), bytes);
    }
    return FBlock.Data() + static_cast<size_t>(fileRow - FFirst) * FInfo.Stride;
  }

 private:
  TReadFile FFile;
  TBmpInfo FInfo;
  TBitmap FDecoded;
  TPixelBuffer FWhole;  // a small strip's whole file
  TPixelBuffer FBlock;
  int FBlockRows = 0;
  int FFirst = 0, FCount = 0;  // the file rows in FBlock
};

// Which columns of the marker row (row 0) are marked: not black.
std::vector<uint8_t> MarkedColumns(TGlyphStrip& strip) {
  const TBmpInfo& info = strip.Info();
  const int width = info.Height > 0 ? info.Width : 0;
  std::vector<uint8_t> marked(static_cast<size_t>(width));
  if (width > 0) {
    const uint8_t* row = strip.Row(0);
    const int bits = BitsPerPixelOf(info.Format);
    if (bits <= 8) {
      // An index marks when its colour is not black; one past the table reads black.
      uint8_t marks[256] = {};
      for (size_t i = 0; i < info.Palette.size() && i < 256; ++i) {
        const TRGBQuad& q = info.Palette[i];
        marks[i] = (q.Red | q.Green | q.Blue) != 0;
      }
      if (bits == 8) {
        for (int x = 0; x < width; ++x) marked[x] = marks[row[x]];
      } else {
        const unsigned mask = (1u << bits) - 1;
        const int perByte = 8 / bits;
        for (int x = 0; x < width; ++x) {
          marked[x] = marks[(row[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & mask];
        }
      }
    } else if (bits == 16) {
      // Black is 0 in both 5-5-5 and 5-6-5; the top bit of 5-5-5 is no colour.
      const unsigned colour = info.Format == TPixelFormat::pf15bit ? 0x7FFF : 0xFFFF;
      for (int x = 0; x < width; ++x) marked[x] = ((row[2 * x] | (row[2 * x + 1] << 8)) & colour) != 0;
    } else {
      const int bytes = bits / 8;  // blue, green, red[, unused]
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = row + x * bytes;
        marked[x] = (p[0] | p[1] | p[2]) != 0;
      }
    }
  }
  return marked;
}

// Every marked run of the marker row from column 1 on, the ones after the
// 153rd included. A run is a maximal run of non-black pixels; column 0 is
// never looked at, and a run still open at the last column ends there.
std::vector<TCell> MarkerRuns(const std::vector<uint8_t>& marked) {
  std::vector<TCell> runs;
  const int width = static_cast<int>(marked.size());
  for (int x = 1; x < width; ++x) {
    if (!marked[x]) continue;
    TCell run{x, 0};
    while (x < width && marked[x]) ++x;
    run.Width = x - run.Start;
    runs.push_back(run);
  }
  return runs;
}

// The cells of the font's characters: the first 153 runs, one after the
// other in character-set order. A strip with fewer raises the error that
// names the last cell found and the first character without one.
std::array<TCell, kGlyphCount> FontCells(const std::vector<TCell>& runs, const std::string& stripPath) {
  if (runs.size() < size_t{kGlyphCount}) {
    const size_t k = runs.size();
    std::string message = "Glyph strip " + stripPath + " has " + IntToStr(int64_t(k)) + " of the " +
                          IntToStr(kGlyphCount) + " glyph cells its font needs: ";
    if (k == 0) {
      message += "its marker row marks no cell";
    } else {
      message += "the last cell, for " + CharacterName(FontCharacterSet()[k - 1]) + ", ends at column " +
                 IntToStr(runs[k - 1].Start + runs[k - 1].Width - 1);
    }
    throw EConvertError(message + "; " + CharacterName(FontCharacterSet()[k]) + " has none");
  }
  std::array<TCell, kGlyphCount> cells;
  std::copy_n(runs.begin(), kGlyphCount, cells.begin());
  return cells;
}

// Packs the glyph pixels of one strip row into one packed row: every packed
// pixel is a glyph pixel, so the packed row needs no fill. For 8 bits and more
// a short glyph is copied kShortCopy bytes at a time: what lands past it is
// covered by the next glyph, or lies past the row's last pixel, where the
// caller clears it; both rows need kShortCopy bytes of room after them. For 1
// and 4 bits the row must come cleared.
void PackRow(const uint8_t* from, uint8_t* to, const std::array<TCell, kGlyphCount>& cells, int bits) {
  int column = 0;
  if (bits >= 8) {
    const size_t bytes = static_cast<size_t>(bits / 8);
    for (const TCell& cell : cells) {
      const size_t n = cell.Width * bytes;
      if (n <= kShortCopy) {
        std::memcpy(to + column * bytes, from + cell.Start * bytes, kShortCopy);
      } else {
        std::memcpy(to + column * bytes, from + cell.Start * bytes, n);
      }
      column += cell.Width;
    }
    return;
  }
  // 1 and 4 bits: pixels are packed into bytes from the high bits down.
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (const TCell& cell : cells) {
    for (int i = 0; i < cell.Width; ++i, ++column) {
      const int x = cell.Start + i;
      const unsigned index = (from[x / perByte] >> ((perByte - 1 - x % perByte) * bits)) & mask;
      const int shift = (perByte - 1 - column % perByte) * bits;
      uint8_t& byte = to[column / perByte];
      byte = static_cast<uint8_t>((byte & ~(mask << shift)) | (index << shift));
    }
  }
}

// Appends the metrics line of a glyph, ended by CR LF: ">", the character, a
// space, the packed column + 1, ".0 0.0 ", the width - 1, ".0 0.0". Decimal
// numbers as IntToStr writes them.
void AppendMetricsLine(std::string& text, char character, int32_t packedColumn, int32_t width) {
  char line[64];
  char* p = line;
  *p++ = '>';
  *p++ = character;
  *p++ = ' ';
  p = std::to_chars(p, line + sizeof line, packedColumn + 1).ptr;
  p = std::copy_n(".0 0.0 ", 7, p);
  p = std::to_chars(p, line + sizeof line, width - 1).ptr;
  p = std::copy_n(".0 0.0\r\n", 8, p);
  text.append(line, static_cast<size_t>(p - line));
}

}  // namespace

namespace {

// With a ".bmp" path the strip, the packed bitmap and the metrics text would
// all be one file: the strip would be destroyed and the result overwritten.
void RefuseStripAsMetrics(const std::string& path) {
  if (LowerCase(ExtractFileExt(path)) == ".bmp") {
    throw EConvertError("Cannot convert " + path +
                        ": a font metrics file must not have the extension .bmp of its glyph strip");
  }
}

}  // namespace

TFontReport CheckFont(const std::string& path) {
  TFontReport report;
  report.StripPath = ChangeFileExt(path, ".bmp");
  try {
    RefuseStripAsMetrics(path);
    TGlyphStrip strip(report.StripPath);
    const TBmpInfo& info = strip.Info();
    report.Format = info.Format;
    report.Height = std::max(info.Height - 1, 0);
    const std::vector<uint8_t> marked = MarkedColumns(strip);
    report.ColumnZeroMarked = !marked.empty() && marked[0];
    const std::vector<TCell> runs = MarkerRuns(marked);
    report.Cells = int(std::min<size_t>(runs.size(), kGlyphCount));
    if (runs.size() > size_t{kGlyphCount}) {
      report.IgnoredRuns = int(runs.size()) - kGlyphCount;
      report.FirstIgnoredColumn = runs[kGlyphCount].Start;
    }
    int32_t column = 0;
    for (int k = 0; k < report.Cells; ++k) {
      report.Glyphs.push_back({FontCharacterSet()[k], runs[k].Start, runs[k].Width, column});
      column += runs[k].Width;
    }
    report.Width = column;
    FontCells(runs, report.StripPath);  // the run's own error for a short strip
  } catch (const std::exception& e) {
    report.Error = e.what();
  }
  return report;
}

std::string BMFontDescriptor(const std::string& name, const std::vector<int32_t>& columns,
                             const std::vector<int32_t>& widths, int32_t width, int32_t height,
                             int codepage, const std::function<void(const std::string&)>& warning) {
  const std::string& characters = FontCharacterSet();
  const std::string h = IntToStr(height);
  std::vector<std::string> chars;
  for (size_t k = 0; k < characters.size(); ++k) {
    const auto byte = static_cast<unsigned char>(characters[k]);
    // The space and 0x21-0x7E are ASCII; the upper bytes are letters of the code page.
    std::optional<char32_t> id = byte < 0x80 ? std::optional<char32_t>(byte) : CodePageChar(codepage, byte);
    if (!id) {
      if (warning) {
        warning(CharacterName(characters[k]) + " is left out of " + name + ".fnt: code page " +
                IntToStr(codepage) + " has no letter for it");
      }
      continue;
    }
    chars.push_back("char id=" + IntToStr(int64_t(*id)) + " x=" + IntToStr(columns[k]) + " y=0 width=" +
                    IntToStr(widths[k]) + " height=" + h + " xoffset=0 yoffset=0 xadvance=" +
                    IntToStr(widths[k]) + " page=0 chnl=15");
  }
  std::string text = "info face=\"" + name + "\" size=" + h +
                     " bold=0 italic=0 charset=\"\" unicode=1 stretchH=100 smooth=0 aa=1 padding=0,0,0,0 "
                     "spacing=0,0\r\n";
  text += "common lineHeight=" + h + " base=" + h + " scaleW=" + IntToStr(width) + " scaleH=" + h +
          " pages=1 packed=0\r\n";
  text += "page id=0 file=\"" + name + ".bmp\"\r\n";
  text += "chars count=" + IntToStr(int64_t(chars.size())) + "\r\n";
  for (const std::string& line : chars) text += line + "\r\n";
  return text;
}

int32_t ExtractMetrics(const std::string& path, int32_t passthrough) {
  RefuseStripAsMetrics(path);
  const std::string stripPath = ChangeFileExt(path, ".bmp");
  auto strip = std::make_unique<TGlyphStrip>(stripPath);
  const TBmpInfo& info = strip->Info();
  const std::array<TCell, kGlyphCount> cells = FontCells(MarkerRuns(MarkedColumns(*strip)), stripPath);

  const std::string& characters = FontCharacterSet();
  // The metrics text, every line ended by CR LF as the text-file rules want.
  std::string metrics;
  metrics.reserve(kGlyphCount * 24);
  int32_t totalWidth = 0;
  for (int k = 0; k < kGlyphCount; ++k) {
    AppendMetricsLine(metrics, characters[k], totalWidth, cells[k].Width);
    totalWidth += cells[k].Width;
  }

  // A font's packed bitmap and metrics text change together: both are written
  // complete before either takes its name.
  const std::string name = ExtractFileName(path);
  TFileWriter packedFile(JoinPath(OutputDir, ChangeFileExt(name, ".bmp")));
  TFileWriter metricsFile(JoinPath(OutputDir, name));
  std::unique_ptr<TFileWriter> descriptorFile;
  if (ConvertOptions.DescriptorCodePage != 0) {
    descriptorFile = std::make_unique<TFileWriter>(JoinPath(OutputDir, ChangeFileExt(name, ".fnt")));
  }

  // The packed bitmap: the strip's format and colour table, the glyph rows
  // without the marker row, the rows bottom-up as the file stores them. A
  // strip one row high gives a bitmap without pixels, a file of zero bytes.
  const int glyphHeight = info.Height - 1;
  if (glyphHeight > 0) {
    const std::string headers = BmpFileHeaders(info.Format, info.Palette, totalWidth, glyphHeight);
    const int bits = BitsPerPixelOf(info.Format);
    const size_t stride = (static_cast<size_t>(totalWidth) * bits + 31) / 32 * 4;
    const size_t blockRows = std::max<size_t>(1, kBlockBytes / stride);
    // The headers go out with the first block of rows. The glyph copies cover
    // every pixel of a row, so only what lies past its last pixel is cleared.
    const size_t blockEnd = headers.size() + std::min<size_t>(blockRows, glyphHeight) * stride;
    TPixelBuffer block(blockEnd + kShortCopy, false);
    std::memcpy(block.Data(), headers.data(), headers.size());
    const size_t pixelBytes = (static_cast<size_t>(totalWidth) * bits + 7) / 8;
    size_t from = 0, used = headers.size();
    for (int y = glyphHeight - 1; y >= 0; --y) {
      uint8_t* row = block.Data() + used;
      if (bits < 8) std::memset(row, 0, stride);
      PackRow(strip->Row(y + 1), row, cells, bits);
      std::memset(row + pixelBytes, 0, stride - pixelBytes);
      used += stride;
      if (used == blockEnd || y == 0) {
        packedFile.Write(std::string_view(reinterpret_cast<const char*>(block.Data()) + from, used - from));
        from = used = headers.size();
      }
    }
  }
  metricsFile.Write(metrics);
  if (descriptorFile) {
    std::vector<int32_t> columns, widths;
    for (int k = 0, column = 0; k < kGlyphCount; column += cells[k].Width, ++k) {
      columns.push_back(column);
      widths.push_back(cells[k].Width);
    }
    descriptorFile->Write(BMFontDescriptor(ChangeFileExt(name, ""), columns, widths, totalWidth,
                                           std::max(glyphHeight, 0), ConvertOptions.DescriptorCodePage,
                                           ConvertOptions.Warning));
  }
  // The strip has been read whole and is closed before anything is replaced:
  // a strip in the output folder is replaced by its own packed bitmap.
  strip.reset();
  if (descriptorFile) {
    CommitTogether({&packedFile, &metricsFile, descriptorFile.get()});
  } else {
    CommitTogether({&packedFile, &metricsFile});
  }
  return passthrough;
}
