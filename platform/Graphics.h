// TBitmap: a device-independent bitmap that keeps the pixel format and colour
// table it was given, with the BMP codec that reads and writes it.
//
// Pixels are kept as a BMP file keeps them: rows bottom-up, each padded to 4
// bytes, 16-bit values little-endian, 24- and 32-bit pixels as blue, green,
// red[, unused]. So a file with bottom-up rows is used as loaded, and writing
// one is a header and a single block. A colour reads as TColor 0x00BBGGRR,
// through the colour table for the indexed formats.
//
// Reading accepts: info headers of 12 (core), 40, 52, 56, 108 and 124 bytes;
// 1, 4 and 8 bits per pixel with a colour table (a colour count of 0 means
// 2^bpp, a shorter table is allowed, indices past its end read as black), also
// RLE4 and RLE8 compressed; 16 bits as BI_RGB or 5-5-5 bit fields (pf15bit) and
// 5-6-5 bit fields (pf16bit); 24 bits; 32 bits as BI_RGB; bottom-up and top-down
// rows. Other 16-bit masks and 32 bits with bit fields raise "Invalid pixel
// format"; anything else malformed raises "Bitmap image is not valid".
//
// Bounds, checked on the headers before any pixel is read or any allocation:
// width at most kMaxBitmapWidth, height at most kMaxBitmapHeight, pixel data at
// most kMaxPixelBytes. Uncompressed pixel data must lie within the file; RLE
// data may expand to at most kMaxRleExpansion times the file's size, so no file
// takes memory or time out of proportion to its size. A file is read only as
// far as its pixels can reach.
//
// 5- and 6-bit channels widen to 8 bits by repeating their top bits
// ((c << 3) | (c >> 2) for 5 bits), so that full intensity reads as 255 and 0 as 0.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

using TColor = uint32_t;  // 0x00BBGGRR
inline constexpr TColor clBlack = 0;

// Right and Bottom are exclusive.
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};

// A colour table entry as a BMP file stores it.
struct TRGBQuad {
  uint8_t Blue = 0, Green = 0, Red = 0, Reserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};

inline constexpr int kMaxBitmapWidth = 1 << 20;
inline constexpr int kMaxBitmapHeight = 1 << 16;
inline constexpr uint64_t kMaxPixelBytes = uint64_t{512} << 20;
inline constexpr uint64_t kMaxRleExpansion = 1024;

class TReadFile;

// 1, 4, 8, 16 (pf15bit and pf16bit), 24 (also pfDevice) or 32.
int BitsPerPixelOf(TPixelFormat format);

// The bytes of a bitmap's rows. Memory that is overwritten anyway is not
// cleared first, and large cleared blocks come from the system already zero.
class TPixelBuffer {
 public:
  TPixelBuffer() = default;
  // size bytes, all 0 when zeroed, else as they come.
  TPixelBuffer(size_t size, bool zeroed);
  TPixelBuffer(const TPixelBuffer& other);
  TPixelBuffer& operator=(const TPixelBuffer& other);
  TPixelBuffer(TPixelBuffer&&) noexcept = default;
  TPixelBuffer& operator=(TPixelBuffer&&) noexcept = default;

  uint8_t* Data() { return FData.get(); }
  const uint8_t* Data() const { return FData.get(); }
  size_t Size() const { return FSize; }

 private:
  struct TFree {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  std::unique_ptr<uint8_t, TFree> FData;
  size_t FSize = 0;
};

// What the headers of a BMP file say, checked against the bounds above and
// against the size of the file. Enough to read the rows without the codec.
struct TBmpInfo {
  TPixelFormat Format = TPixelFormat::pfDevice;
  std::vector<TRGBQuad> Palette;
  int Width = 0;
  int Height = 0;
  int Stride = 0;         // bytes per stored row, padded to 4
  bool TopDown = false;   // uncompressed rows stored top row first
  bool Rle = false;       // RLE8 or RLE4 data, which must be decoded whole
  bool Rle4 = false;
  uint64_t PixelStart = 0;  // where the pixel data starts in the file
  uint64_t PixelEnd = 0;    // how far the pixel data can reach: no byte after it is read

  // The file offset of uncompressed row y, 0 being the top row.
  uint64_t RowOffset(int y) const {
    return PixelStart + static_cast<uint64_t>(TopDown ? y : Height - 1 - y) * static_cast<uint64_t>(Stride);
  }
};

// The headers and colour table of a BMP file lie within its first kBmpHeadBytes.
inline constexpr size_t kBmpHeadBytes = 2048;

// Reads the headers from head, the first min(fileSize, kBmpHeadBytes) bytes of
// a file of fileSize bytes. Raises EReadError below the 14-byte file header,
// EInvalidGraphic or EInvalidGraphicOperation as described at the top.
TBmpInfo ReadBmpInfo(std::string_view head, uint64_t fileSize);
// The same for an open file of at least one byte: only its head is read.
TBmpInfo ReadBmpInfo(TReadFile& file);

// The colour of pixel x of a stored row of the given format.
TColor RowPixel(TPixelFormat format, const std::vector<TRGBQuad>& palette, const uint8_t* row, int x);

// The file header, the 40-byte info header and the colour table of a BMP file
// of the given format and size, as SaveToBytes writes them.
std::string BmpFileHeaders(TPixelFormat format, const std::vector<TRGBQuad>& palette, int width,
                           int height);

class TBitmap {
 public:
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FWidth == 0 || FHeight == 0; }

  TPixelFormat PixelFormat() const { return FFormat; }
  // Changing the format of a bitmap that has pixels clears them to index/colour 0.
  void SetPixelFormat(TPixelFormat format);
  int BitsPerPixel() const;

  const std::vector<TRGBQuad>& Palette() const { return FPalette; }
  void SetPalette(std::vector<TRGBQuad> palette) { FPalette = std::move(palette); }

  // Each resize clears the pixels to index/colour 0; a width or height of 0
  // leaves the bitmap without pixels.
  void SetWidth(int width) { SetSize(width, FHeight); }
  void SetHeight(int height) { SetSize(FWidth, height); }
  void SetSize(int width, int height);

  // Bytes per stored row (padded to 4) and the row at y, 0 being the top row.
  int Stride() const { return FStride; }
  const uint8_t* ScanLine(int y) const { return Bits() + RowOffset(y); }
  uint8_t* ScanLine(int y) { return FBits.Data() + RowOffset(y); }

  // The colour at (x, y); 0xFFFFFFFF outside the bitmap.
  TColor Pixel(int x, int y) const;

  // Fills rect (clipped to the bitmap) with color; an indexed bitmap takes the
  // nearest entry of its colour table.
  void FillRect(const TRect& rect, TColor color);

  // Copies sourceRect of source to destRect of this bitmap, pixels unchanged.
  // Both bitmaps must have the same pixel format and both rectangles the same
  // size; the copy is clipped to both bitmaps.
  void CopyRect(const TRect& destRect, const TBitmap& source, const TRect& sourceRect);

  // Zero bytes give an empty bitmap. See the top of this file for the errors.
  void LoadFromBytes(std::string_view data);
  void LoadFromFile(const std::string& path);
  // The same on an open file: the headers first, then only the pixel data.
  void LoadFromFile(TReadFile& file);

  // A BMP file with a 40-byte info header, bottom-up rows, this bitmap's pixel
  // format and colour table (pf16bit with its 5-6-5 masks as BI_BITFIELDS); a
  // bitmap without pixels gives zero bytes.
  std::string SaveToBytes() const;
  void SaveToFile(const std::string& path) const;

 private:
  const uint8_t* Bits() const { return FBits.Data(); }
  size_t RowOffset(int y) const { return static_cast<size_t>(FHeight - 1 - y) * FStride; }
  std::string_view PixelBlock() const;
  // Takes the geometry of info, with room for its rows.
  void Adopt(const TBmpInfo& info, bool zeroed);
  template <typename TSource>
  void DecodePixels(const TBmpInfo& info, TSource& source);
  size_t ImageSize() const { return static_cast<size_t>(FStride) * FHeight; }
  uint8_t Index(const uint8_t* row, int x) const;
  void SetIndex(uint8_t* row, int x, uint8_t index);

  TPixelFormat FFormat = TPixelFormat::pfDevice;
  int FWidth = 0;
  int FHeight = 0;
  int FStride = 0;
  std::vector<TRGBQuad> FPalette;
  // The rows, bottom-up.
  TPixelBuffer FBits;
};

}  // namespace platform
