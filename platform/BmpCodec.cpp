// The BMP reader and writer of TBitmap.
#include <algorithm>
#include <cstring>

#include "Exceptions.h"
#include "FileIO.h"
#include "Graphics.h"

namespace platform {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV2HeaderSize = 52;
constexpr uint32_t kV3HeaderSize = 56;
constexpr uint32_t kV4HeaderSize = 108;
constexpr uint32_t kV5HeaderSize = 124;
constexpr size_t kMaskBytes = 12;  // red, green and blue masks

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

constexpr uint32_t kMask555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr uint32_t kMask565[3] = {0xF800, 0x07E0, 0x001F};

uint16_t GetLE16(std::string_view d, size_t at) {
  return static_cast<uint16_t>(uint8_t(d[at]) | (uint8_t(d[at + 1]) << 8));
}

uint32_t GetLE32(std::string_view d, size_t at) {
  return uint32_t(uint8_t(d[at])) | (uint32_t(uint8_t(d[at + 1])) << 8) |
         (uint32_t(uint8_t(d[at + 2])) << 16) | (uint32_t(uint8_t(d[at + 3])) << 24);
}

void PutLE16(std::string& out, uint16_t v) {
  out += char(v & 0xFF);
  out += char(v >> 8);
}

void PutLE32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += char((v >> shift) & 0xFF);
}

[[noreturn]] void Invalid() { throw EInvalidGraphic(); }

// True when [at, at + size) lies within data; sizes are 64-bit so no sum wraps.
bool Within(std::string_view data, uint64_t at, uint64_t size) {
  return at <= data.size() && size <= data.size() - at;
}

struct THeader {
  uint32_t headerSize = 0;
  int64_t width = 0;
  int64_t height = 0;  // rows, always positive here
  bool topDown = false;
  unsigned bitCount = 0;
  uint32_t compression = BI_RGB;
  uint32_t colorsUsed = 0;
  size_t entrySize = 4;  // bytes per colour table entry
  size_t tableStart = 0;
};

THeader ReadHeader(std::string_view data) {
  if (!Within(data, kFileHeaderSize, 4)) Invalid();
  THeader h;
  h.headerSize = GetLE32(data, kFileHeaderSize);
  switch (h.headerSize) {
    case kCoreHeaderSize: case kInfoHeaderSize: case kV2HeaderSize:
    case kV3HeaderSize: case kV4HeaderSize: case kV5HeaderSize: break;
    default: Invalid();
  }
  if (!Within(data, kFileHeaderSize, h.headerSize)) Invalid();
  const size_t at = kFileHeaderSize;
  unsigned planes;
  if (h.headerSize == kCoreHeaderSize) {
    // OS/2 core header: 16-bit unsigned sizes, rows bottom-up, 3-byte table entries.
    h.width = GetLE16(data, at + 4);
    h.height = GetLE16(data, at + 6);
    planes = GetLE16(data, at + 8);
    h.bitCount = GetLE16(data, at + 10);
    h.entrySize = 3;
  } else {
    h.width = static_cast<int32_t>(GetLE32(data, at + 4));
    const int64_t height = static_cast<int32_t>(GetLE32(data, at + 8));
    // A negative height means rows stored top-down.
    h.topDown = height < 0;
    h.height = h.topDown ? -height : height;
    planes = GetLE16(data, at + 12);
    h.bitCount = GetLE16(data, at + 14);
    h.compression = GetLE32(data, at + 16);
    h.colorsUsed = GetLE32(data, at + 32);
  }
  if (planes != 1) Invalid();
  if (h.width <= 0 || h.height <= 0 || h.width > kMaxBitmapWidth || h.height > kMaxBitmapHeight) {
    Invalid();
  }
  h.tableStart = kFileHeaderSize + h.headerSize;
  // With the 40-byte header the bit-field masks follow the header; the larger
  // headers hold them in the same place within themselves.
  if (h.compression == BI_BITFIELDS && h.headerSize == kInfoHeaderSize) h.tableStart += kMaskBytes;
  return h;
}

TPixelFormat FormatOf(std::string_view data, const THeader& h) {
  const bool rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  if (rle && h.topDown) Invalid();
  switch (h.bitCount) {
    case 1:
      if (h.compression != BI_RGB) Invalid();
      return TPixelFormat::pf1bit;
    case 4:
      if (h.compression != BI_RGB && h.compression != BI_RLE4) Invalid();
      return TPixelFormat::pf4bit;
    case 8:
      if (h.compression != BI_RGB && h.compression != BI_RLE8) Invalid();
      return TPixelFormat::pf8bit;
    case 16: {
      if (h.compression == BI_RGB) return TPixelFormat::pf15bit;
      if (h.compression != BI_BITFIELDS) Invalid();
      const size_t at = kFileHeaderSize + kInfoHeaderSize;
      if (!Within(data, at, kMaskBytes)) Invalid();
      const uint32_t masks[3] = {GetLE32(data, at), GetLE32(data, at + 4), GetLE32(data, at + 8)};
      if (std::equal(masks, masks + 3, kMask555)) return TPixelFormat::pf15bit;
      if (std::equal(masks, masks + 3, kMask565)) return TPixelFormat::pf16bit;
      throw EInvalidGraphicOperation();
    }
    case 24:
      if (h.compression != BI_RGB) Invalid();
      return TPixelFormat::pf24bit;
    case 32:
      if (h.compression == BI_BITFIELDS) throw EInvalidGraphicOperation();
      if (h.compression != BI_RGB) Invalid();
      return TPixelFormat::pf32bit;
    default: Invalid();
  }
}

// The pixel data of a file in memory.
class TMemorySource {
 public:
  TMemorySource(std::string_view data, uint64_t start, uint64_t end)
      : FData(data.substr(0, static_cast<size_t>(end))), FAt(static_cast<size_t>(start)) {}
  // The next n bytes, or null where fewer are left.
  const uint8_t* Take(size_t n) {
    if (!Within(FData, FAt, n)) return nullptr;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(FData.data()) + FAt;
    FAt += n;
    return p;
  }
  void ReadExactly(uint64_t offset, void* into, size_t size) {
    if (!Within(FData, offset, size)) throw EReadError();
    std::memcpy(into, FData.data() + offset, size);
  }

 private:
  std::string_view FData;
  size_t FAt;
};

// The pixel data of an open file, read in blocks as it is used, so that
// decoding stops at the first fault without having read the rest.
class TFileSource {
 public:
  TFileSource(TReadFile& file, uint64_t start, uint64_t end) : FFile(file), FNext(start), FEnd(end) {}
  const uint8_t* Take(size_t n) {
    if (FBuffer.size() - FAt < n) {
      FBuffer.erase(0, FAt);
      FAt = 0;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock, FEnd - FNext));
      const size_t used = FBuffer.size();
      FBuffer.resize(used + want);
      const size_t got = FFile.ReadAt(FNext, FBuffer.data() + used, want);
      FBuffer.resize(used + got);
      FNext += got;
      if (FBuffer.size() < n) return nullptr;
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(FBuffer.data()) + FAt;
    FAt += n;
    return p;
  }
  void ReadExactly(uint64_t offset, void* into, size_t size) { FFile.ReadExactly(offset, into, size); }

 private:
  static constexpr size_t kBlock = 64 * 1024;
  TReadFile& FFile;
  uint64_t FNext, FEnd;
  std::string FBuffer;
  size_t FAt = 0;
};

// Decodes RLE8 or RLE4 data into the bottom-up rows of bitmap. Runs that leave
// their row, positions past the last row and data that ends before the
// end-of-bitmap mark are invalid.
template <typename TSource, typename TSet>
void DecodeRle(TSource& source, bool rle4, int width, int height, TSet set) {
  int x = 0, y = 0;  // y counts rows from the bottom
  auto take = [&](size_t n) {
    const uint8_t* p = source.Take(n);
    if (!p) Invalid();
    return p;
  };
  auto put = [&](uint8_t index) {
    if (x >= width || y >= height) Invalid();
    set(x, height - 1 - y, index);
    ++x;
  };
  for (;;) {
    const uint8_t* pair = take(2);
    const unsigned count = pair[0], value = pair[1];
    if (count > 0) {  // encoded run
      if (x + int(count) > width) Invalid();
      for (unsigned i = 0; i < count; ++i) {
        put(rle4 ? static_cast<uint8_t>((i & 1) ? value & 0x0F : value >> 4) : uint8_t(value));
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line; one after the last row is the end of the data
        x = 0;
        if (++y > height) Invalid();
        break;
      case 1:  // end of bitmap
        return;
      case 2: {  // delta
        const uint8_t* delta = take(2);
        x += delta[0];
        y += delta[1];
        if (x > width || y > height) Invalid();
        break;
      }
      default: {  // absolute run, padded to a 16-bit boundary
        const size_t bytes = rle4 ? (value + 1) / 2 : value;
        const uint8_t* run = take(bytes + (bytes & 1));
        if (x + int(value) > width) Invalid();
        for (unsigned i = 0; i < value; ++i) {
          const uint8_t byte = run[rle4 ? i / 2 : i];
          put(rle4 ? static_cast<uint8_t>((i & 1) ? byte & 0x0F : byte >> 4) : byte);
        }
      }
    }
  }
}

}  // namespace

TBmpInfo ReadBmpInfo(std::string_view data, uint64_t fileSize) {
  if (fileSize < kFileHeaderSize || data.size() < kFileHeaderSize) throw EReadError();
  if (data[0] != 'B' || data[1] != 'M') Invalid();
  const uint32_t offBits = GetLE32(data, 10);
  const THeader h = ReadHeader(data);

  TBmpInfo info;
  info.Format = FormatOf(data, h);
  if (h.bitCount <= 8) {
    uint64_t count = h.colorsUsed == 0 ? (uint64_t{1} << h.bitCount)
                                       : std::min<uint64_t>(h.colorsUsed, uint64_t{1} << h.bitCount);
    // A table that runs into the pixel data is cut short there.
    if (offBits != 0) {
      if (offBits < h.tableStart) Invalid();
      count = std::min<uint64_t>(count, (offBits - h.tableStart) / h.entrySize);
    }
    if (!Within(data, h.tableStart, count * h.entrySize)) Invalid();
    info.Palette.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const size_t at = h.tableStart + i * h.entrySize;
      info.Palette[i] = {uint8_t(data[at]), uint8_t(data[at + 1]), uint8_t(data[at + 2]),
                         h.entrySize == 4 ? uint8_t(data[at + 3]) : uint8_t(0)};
    }
  }
  const uint64_t pixelStart =
      offBits != 0 ? offBits : h.tableStart + info.Palette.size() * h.entrySize;
  if (pixelStart < h.tableStart || pixelStart > fileSize) Invalid();

  const uint64_t stride = (static_cast<uint64_t>(h.width) * h.bitCount + 31) / 32 * 4;
  const uint64_t pixelBytes = stride * static_cast<uint64_t>(h.height);
  if (pixelBytes > kMaxPixelBytes) Invalid();
  info.Rle = h.compression == BI_RLE8 || h.compression == BI_RLE4;
  info.Rle4 = h.compression == BI_RLE4;
  if (info.Rle) {
    if (pixelBytes > kMaxRleExpansion * fileSize) Invalid();
    // No encoding spends more than 4 bytes a pixel (a delta that skips one)
    // and 4 a row; nothing past that can belong to the image.
    const uint64_t pixels = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
    info.PixelEnd = std::min(fileSize, pixelStart + 4 * pixels + 4 * static_cast<uint64_t>(h.height) + 2);
  } else {
    if (pixelBytes > fileSize - pixelStart) Invalid();
    info.PixelEnd = pixelStart + pixelBytes;
  }
  info.Width = static_cast<int>(h.width);
  info.Height = static_cast<int>(h.height);
  info.Stride = static_cast<int>(stride);
  info.TopDown = h.topDown;
  info.PixelStart = pixelStart;
  return info;
}

TBmpInfo ReadBmpInfo(TReadFile& file) {
  std::string head(static_cast<size_t>(std::min<uint64_t>(file.Size(), kBmpHeadBytes)), '\0');
  head.resize(file.ReadAt(0, head.data(), head.size()));
  return ReadBmpInfo(head, file.Size());
}

void TBitmap::Adopt(const TBmpInfo& info, bool zeroed) {
  FFormat = info.Format;
  FPalette = info.Palette;
  FWidth = info.Width;
  FHeight = info.Height;
  FStride = info.Stride;
  FBits = TPixelBuffer(ImageSize(), zeroed);
}

template <typename TSource>
void TBitmap::DecodePixels(const TBmpInfo& info, TSource& source) {
  if (info.Rle) {
    // Pixels that the data skips stay index 0.
    Adopt(info, true);
    DecodeRle(source, info.Rle4, FWidth, FHeight,
              [this](int x, int y, uint8_t index) { SetIndex(ScanLine(y), x, index); });
    return;
  }
  // Every byte is read over, so nothing is cleared first.
  Adopt(info, false);
  source.ReadExactly(info.PixelStart, FBits.Data(), ImageSize());
  if (info.TopDown) {
    // The first row in the file is the top row: turn the rows around in place.
    std::string row(static_cast<size_t>(FStride), '\0');
    for (int y = 0, z = FHeight - 1; y < z; ++y, --z) {
      std::memcpy(row.data(), ScanLine(y), row.size());
      std::memcpy(ScanLine(y), ScanLine(z), row.size());
      std::memcpy(ScanLine(z), row.data(), row.size());
    }
  }
}

void TBitmap::LoadFromBytes(std::string_view data) {
  if (data.empty()) {  // a zero-byte file is an empty bitmap
    *this = TBitmap();
    return;
  }
  const TBmpInfo info = ReadBmpInfo(data, data.size());
  TMemorySource source(data, info.PixelStart, info.PixelEnd);
  TBitmap bitmap;
  bitmap.DecodePixels(info, source);
  *this = std::move(bitmap);
}

void TBitmap::LoadFromFile(TReadFile& file) {
  if (file.Size() == 0) {
    *this = TBitmap();
    return;
  }
  const TBmpInfo info = ReadBmpInfo(file);
  TFileSource source(file, info.PixelStart, info.PixelEnd);
  TBitmap bitmap;
  bitmap.DecodePixels(info, source);
  *this = std::move(bitmap);
}

void TBitmap::LoadFromFile(const std::string& path) {
  TReadFile file(path);
  LoadFromFile(file);
}

std::string BmpFileHeaders(TPixelFormat format, const std::vector<TRGBQuad>& palette, int width,
                           int height) {
  const int bits = BitsPerPixelOf(format);
  const bool indexed = bits <= 8;
  const size_t colors = indexed ? std::min<size_t>(palette.size(), size_t{1} << bits) : 0;
  const bool bitFields = format == TPixelFormat::pf16bit;
  const size_t offBits =
      kFileHeaderSize + kInfoHeaderSize + (bitFields ? kMaskBytes : 0) + colors * 4;
  const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  const size_t imageSize = static_cast<size_t>(stride * static_cast<uint64_t>(height));

  std::string out;
  out.reserve(offBits);
  out += "BM";
  PutLE32(out, static_cast<uint32_t>(offBits + imageSize));
  PutLE16(out, 0);
  PutLE16(out, 0);
  PutLE32(out, static_cast<uint32_t>(offBits));

  PutLE32(out, kInfoHeaderSize);
  PutLE32(out, static_cast<uint32_t>(width));
  PutLE32(out, static_cast<uint32_t>(height));  // positive: rows bottom-up
  PutLE16(out, 1);                               // planes
  PutLE16(out, static_cast<uint16_t>(bits));
  PutLE32(out, bitFields ? BI_BITFIELDS : BI_RGB);
  PutLE32(out, static_cast<uint32_t>(imageSize));
  PutLE32(out, 0);  // horizontal resolution: not given
  PutLE32(out, 0);  // vertical resolution: not given
  PutLE32(out, static_cast<uint32_t>(colors));
  PutLE32(out, 0);  // all colours important
  if (bitFields) {
    for (uint32_t mask : kMask565) PutLE32(out, mask);
  }
  // The colour table: blue, green, red, reserved, as TRGBQuad holds them.
  const size_t tableAt = out.size();
  out.resize(tableAt + colors * 4);
  for (size_t i = 0; i < colors; ++i) {
    const TRGBQuad& q = palette[i];
    char* entry = out.data() + tableAt + i * 4;
    entry[0] = char(q.Blue);
    entry[1] = char(q.Green);
    entry[2] = char(q.Red);
    entry[3] = char(q.Reserved);
  }
  return out;
}

std::string_view TBitmap::PixelBlock() const {
  // Rows are stored bottom-up, each padded to 4 bytes, as the file wants them.
  return std::string_view(reinterpret_cast<const char*>(Bits()), ImageSize());
}

std::string TBitmap::SaveToBytes() const {
  if (Empty()) return std::string();
  return BmpFileHeaders(FFormat, FPalette, FWidth, FHeight) + std::string(PixelBlock());
}

void TBitmap::SaveToFile(const std::string& path) const {
  if (Empty()) {
    WriteFileBytes(path, {});
    return;
  }
  const std::string headers = BmpFileHeaders(FFormat, FPalette, FWidth, FHeight);
  WriteFileBytes(path, {headers, PixelBlock()});
}

}  // namespace platform
