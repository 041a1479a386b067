#include "FuzzEntry.h"

#include <cstdlib>
#include <string>

#include "Exceptions.h"
#include "FileIO.h"
#include "Formathandlers.h"
#include "Graphics.h"
#include "SysUtils.h"

using namespace platform;

namespace {

const std::string& WorkFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/ei-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) std::abort();
    return std::string(made);
  }();
  return folder;
}

}  // namespace

void FuzzBmpInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    TBitmap bitmap;
    bitmap.LoadFromBytes(bytes);
    uint32_t sum = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
      for (int x = 0; x < bitmap.Width(); ++x) sum += bitmap.Pixel(x, y);
    }
    TBitmap copy;
    copy.LoadFromBytes(bitmap.SaveToBytes());
    if (copy.Width() != bitmap.Width() || copy.Height() != bitmap.Height()) std::abort();
    (void)sum;
  } catch (const Exception&) {
  }

  try {
    const std::string& folder = WorkFolder();
    WriteFileBytes(folder + "/font.bmp", bytes);
    OutputDir = folder + "/out";
    ForceDirectories(OutputDir);
    ExtractMetrics(folder + "/font.metrics", 7);
  } catch (const Exception&) {
  }
}
