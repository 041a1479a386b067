#include "Graphics.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Exceptions.h"

namespace platform {

namespace {

uint8_t Widen5(unsigned c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); }
uint8_t Widen6(unsigned c) { return static_cast<uint8_t>((c << 2) | (c >> 4)); }

TColor Rgb(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }
unsigned RedOf(TColor c) { return c & 0xFF; }
unsigned GreenOf(TColor c) { return (c >> 8) & 0xFF; }
unsigned BlueOf(TColor c) { return (c >> 16) & 0xFF; }

}  // namespace

int BitsPerPixelOf(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
  }
  return 24;
}

TPixelBuffer::TPixelBuffer(size_t size, bool zeroed) : FSize(size) {
  if (size == 0) return;
  // calloc hands large blocks over as fresh zero pages, untouched until used.
  FData.reset(static_cast<uint8_t*>(zeroed ? std::calloc(size, 1) : std::malloc(size)));
  if (!FData) throw std::bad_alloc();
}

TPixelBuffer::TPixelBuffer(const TPixelBuffer& other) : TPixelBuffer(other.FSize, false) {
  if (FSize > 0) std::memcpy(FData.get(), other.FData.get(), FSize);
}

TPixelBuffer& TPixelBuffer::operator=(const TPixelBuffer& other) {
  if (this != &other) *this = TPixelBuffer(other);
  return *this;
}

int TBitmap::BitsPerPixel() const { return BitsPerPixelOf(FFormat); }

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == FFormat) return;
  FFormat = format;
  SetSize(FWidth, FHeight);
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  const uint64_t stride = (static_cast<uint64_t>(width) * BitsPerPixel() + 31) / 32 * 4;
  if (width > kMaxBitmapWidth || height > kMaxBitmapHeight || stride * height > kMaxPixelBytes) {
    throw EInvalidGraphicOperation("Bitmap dimensions out of range");
  }
  FWidth = width;
  FHeight = height;
  FStride = static_cast<int>(stride);
  FBits = TPixelBuffer(Empty() ? 0 : static_cast<size_t>(stride) * height, true);
}

uint8_t TBitmap::Index(const uint8_t* row, int x) const {
  switch (FFormat) {
    case TPixelFormat::pf1bit: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case TPixelFormat::pf4bit: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    default: return row[x];
  }
}

void TBitmap::SetIndex(uint8_t* row, int x, uint8_t index) {
  switch (FFormat) {
    case TPixelFormat::pf1bit: {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<uint8_t>((index & 1) ? row[x >> 3] | bit : row[x >> 3] & ~bit);
      break;
    }
    case TPixelFormat::pf4bit: {
      uint8_t& byte = row[x >> 1];
      byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F))
                     : static_cast<uint8_t>((byte & 0x0F) | (index << 4));
      break;
    }
    default: row[x] = index;
  }
}

TColor RowPixel(TPixelFormat format, const std::vector<TRGBQuad>& palette, const uint8_t* row, int x) {
  switch (format) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: {
      const unsigned index = format == TPixelFormat::pf1bit   ? (row[x >> 3] >> (7 - (x & 7))) & 1
                             : format == TPixelFormat::pf4bit ? ((x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4)
                                                              : row[x];
      if (index >= palette.size()) return clBlack;
      const TRGBQuad& q = palette[index];
      return Rgb(q.Red, q.Green, q.Blue);
    }
    case TPixelFormat::pf15bit: {
      const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return Rgb(Widen5((v >> 10) & 31), Widen5((v >> 5) & 31), Widen5(v & 31));
    }
    case TPixelFormat::pf16bit: {
      const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return Rgb(Widen5(v >> 11), Widen6((v >> 5) & 63), Widen5(v & 31));
    }
    case TPixelFormat::pf32bit: return Rgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    default: return Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
  }
}

TColor TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return 0xFFFFFFFF;
  return RowPixel(FFormat, FPalette, ScanLine(y), x);
}

void TBitmap::FillRect(const TRect& rect, TColor color) {
  const int left = std::max(rect.Left, 0), right = std::min(rect.Right, FWidth);
  const int top = std::max(rect.Top, 0), bottom = std::min(rect.Bottom, FHeight);
  if (left >= right || top >= bottom) return;
  const unsigned r = RedOf(color), g = GreenOf(color), b = BlueOf(color);

  uint8_t bytes[4] = {};
  int size = 0;
  switch (FFormat) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: {
      uint8_t best = 0;
      unsigned bestDistance = ~0u;
      const size_t usable = std::min<size_t>(FPalette.size(), size_t{1} << BitsPerPixel());
      for (size_t i = 0; i < usable; ++i) {
        const TRGBQuad& q = FPalette[i];
        const int dr = q.Red - int(r), dg = q.Green - int(g), db = q.Blue - int(b);
        const unsigned distance = unsigned(dr * dr + dg * dg + db * db);
        if (distance < bestDistance) {
          bestDistance = distance;
          best = static_cast<uint8_t>(i);
        }
      }
      if (FFormat == TPixelFormat::pf8bit) {
        bytes[0] = best, size = 1;
        break;
      }
      for (int y = top; y < bottom; ++y) {
        uint8_t* row = ScanLine(y);
        for (int x = left; x < right; ++x) SetIndex(row, x, best);
      }
      return;
    }
    case TPixelFormat::pf15bit: {
      const unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      bytes[0] = v & 0xFF, bytes[1] = static_cast<uint8_t>(v >> 8), size = 2;
      break;
    }
    case TPixelFormat::pf16bit: {
      const unsigned v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
      bytes[0] = v & 0xFF, bytes[1] = static_cast<uint8_t>(v >> 8), size = 2;
      break;
    }
    case TPixelFormat::pf32bit:
      bytes[0] = uint8_t(b), bytes[1] = uint8_t(g), bytes[2] = uint8_t(r), size = 4;
      break;
    default: bytes[0] = uint8_t(b), bytes[1] = uint8_t(g), bytes[2] = uint8_t(r), size = 3;
  }
  // Build the first row of the rectangle, then copy it to the others.
  uint8_t* first = ScanLine(top) + left * size;
  const size_t rowBytes = static_cast<size_t>(right - left) * size;
  if (std::all_of(bytes, bytes + size, [&](uint8_t b) { return b == bytes[0]; })) {
    std::memset(first, bytes[0], rowBytes);
  } else {
    for (size_t i = 0; i < rowBytes; i += size) std::memcpy(first + i, bytes, size);
  }
  for (int y = top + 1; y < bottom; ++y) std::memcpy(ScanLine(y) + left * size, first, rowBytes);
}

void TBitmap::CopyRect(const TRect& destRect, const TBitmap& source, const TRect& sourceRect) {
  if (source.FFormat != FFormat && BitsPerPixelOf(source.FFormat) != BitsPerPixelOf(FFormat)) {
    throw EInvalidGraphicOperation();
  }
  if (destRect.Width() != sourceRect.Width() || destRect.Height() != sourceRect.Height()) {
    throw EInvalidGraphicOperation("Rectangles of a copy differ in size");
  }
  // Clip so that every pixel read lies in source and every pixel written in this.
  const int x0 = std::max({0, -sourceRect.Left, -destRect.Left});
  const int x1 = std::min({destRect.Width(), source.FWidth - sourceRect.Left, FWidth - destRect.Left});
  const int y0 = std::max({0, -sourceRect.Top, -destRect.Top});
  const int y1 = std::min({destRect.Height(), source.FHeight - sourceRect.Top, FHeight - destRect.Top});
  if (x0 >= x1 || y0 >= y1) return;

  const int bits = BitsPerPixel();
  for (int y = y0; y < y1; ++y) {
    const uint8_t* from = source.ScanLine(sourceRect.Top + y);
    uint8_t* to = ScanLine(destRect.Top + y);
    if (bits >= 8) {
      const int bytes = bits / 8;
      std::memmove(to + (destRect.Left + x0) * bytes, from + (sourceRect.Left + x0) * bytes,
                   static_cast<size_t>(x1 - x0) * bytes);
    } else {
      for (int x = x0; x < x1; ++x) {
        SetIndex(to, destRect.Left + x, source.Index(from, sourceRect.Left + x));
      }
    }
  }
}

}  // namespace platform
