#include "TestUtil.h"

#include "SysUtils.h"


#include <filesystem>
#include <fstream>
#include <sstream>
#include <algorithm>
#include <cstdio>
#include <random>

namespace fs = std::filesystem;
using namespace platform;

namespace testutil {

TTempDir::TTempDir() {
  std::random_device random;
  for (;;) {
    char name[32];
    std::snprintf(name, sizeof name, "ei-test-%08x", unsigned(random()));
    FPath = (fs::temp_directory_path() / name).string();
    std::error_code ec;
    if (fs::create_directory(FPath, ec)) return;
    if (ec) throw fs::filesystem_error("cannot make a test folder", FPath, ec);
  }
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // Make read-only entries removable first.
  for (auto it = fs::recursive_directory_iterator(FPath, ec); it != fs::recursive_directory_iterator(); ++it) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(FPath, ec);
}

std::string TTempDir::File(const std::string& name) const {
  std::string native = name;
  std::replace(native.begin(), native.end(), '/', platform::PathDelim);
  return platform::JoinPath(FPath, native);
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}


int64_t TDiskFullEnv::Write(THandle file, const void* data, size_t size) {
  if (FLeft == 0) return -1;  // as a full disk
  size = std::min(size, FLeft);
  FLeft -= size;
  return TFileEnv::Write(file, data, size);
}

int64_t TCountingEnv::ReadAt(THandle file, void* data, size_t size, uint64_t offset) {
  const int64_t n = TFileEnv::ReadAt(file, data, size, offset);
  if (n > 0) BytesRead += static_cast<uint64_t>(n);
  return n;
}

std::vector<int> StandardWidths() {
  std::vector<int> widths;
  for (int k = 0; k < 153; ++k) widths.push_back(1 + k % 4);
  return widths;
}

TBitmap MakeStrip(TPixelFormat format, const std::vector<int>& widths, int height, int gap) {
  TBitmap strip;
  strip.SetPixelFormat(format);
  const int bits = strip.BitsPerPixel();
  if (bits <= 8) {
    std::vector<TRGBQuad> palette(bits == 1 ? 2 : (bits == 4 ? 16 : 256));
    for (size_t i = 1; i < palette.size(); ++i) {
      palette[i] = {uint8_t(i * 37), uint8_t(255 - i * 11), uint8_t(64 + i * 3), 0};
    }
    palette[palette.size() - 1] = {255, 255, 255, 0};
    strip.SetPalette(palette);
  }
  int width = 1;
  for (int w : widths) width += w + gap;
  strip.SetSize(width, height);
  strip.FillRect({0, 0, width, height}, clBlack);
  int x = 1;
  for (size_t k = 0; k < widths.size(); ++k) {
    strip.FillRect({x, 0, x + widths[k], 1}, 0xFFFFFF);  // white marker run
    for (int y = 1; y < height; ++y) {
      for (int i = 0; i < widths[k]; ++i) {
        const TColor color = 0x010101u * uint32_t((k * 7 + y * 13 + i * 29) % 251 + 1) ^ 0x00A05000u;
        strip.FillRect({x + i, y, x + i + 1, y + 1}, color);
      }
    }
    x += widths[k] + gap;
  }
  return strip;
}

std::string WriteFont(const std::string& folder, const std::string& name, TPixelFormat format,
                      int height) {
  const std::string base = platform::JoinPath(folder, name);
  MakeStrip(format, StandardWidths(), height).SaveToFile(base + ".bmp");
  WriteFile(base + ".metrics", "");
  return base + ".metrics";
}

}  // namespace testutil
