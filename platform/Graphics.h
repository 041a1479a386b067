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
// Bounds, checked before any allocation: width at most kMaxBitmapWidth, height at
// most kMaxBitmapHeight, pixel data at most kMaxPixelBytes. Uncompressed pixel
// data must lie within the file; RLE data may expand to at most
// kMaxRleExpansion times the file's size, so no file takes memory out of
// proportion to its size.
//
// 5- and 6-bit channels widen to 8 bits by repeating their top bits
// ((c << 3) | (c >> 2) for 5 bits), so that full intensity reads as 255 and 0 as 0.
#pragma once

#include <cstdint>
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
  uint8_t* ScanLine(int y) { return reinterpret_cast<uint8_t*>(FData.data()) + FOffset + RowOffset(y); }

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
  // The same, taking over data's storage where the pixels can stay in place.
  void LoadFromBuffer(std::string&& data);

  // A BMP file with a 40-byte info header, bottom-up rows, this bitmap's pixel
  // format and colour table (pf16bit with its 5-6-5 masks as BI_BITFIELDS); a
  // bitmap without pixels gives zero bytes.
  std::string SaveToBytes() const;
  void SaveToFile(const std::string& path) const;

 private:
  const uint8_t* Bits() const { return reinterpret_cast<const uint8_t*>(FData.data()) + FOffset; }
  size_t RowOffset(int y) const { return static_cast<size_t>(FHeight - 1 - y) * FStride; }
  // The file's headers and colour table, and its pixel data, for writing.
  std::string FileHeaders() const;
  std::string_view PixelBlock() const;
  size_t ImageSize() const { return static_cast<size_t>(FStride) * FHeight; }
  uint8_t Index(const uint8_t* row, int x) const;
  void SetIndex(uint8_t* row, int x, uint8_t index);

  TPixelFormat FFormat = TPixelFormat::pfDevice;
  int FWidth = 0;
  int FHeight = 0;
  int FStride = 0;
  std::vector<TRGBQuad> FPalette;
  // The rows, bottom-up, start at FOffset of FData: a loaded file's bytes keep
  // their headers in front.
  std::string FData;
  size_t FOffset = 0;
};

}  // namespace platform
