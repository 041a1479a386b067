#include "FuzzEntry.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "Exceptions.h"
#include "FileIO.h"
#include "Formathandlers.h"
#include "Graphics.h"
#include "SysUtils.h"

using namespace platform;

namespace {

// A folder of this process's own for the files of a conversion, removed when
// the process ends.
const std::string& WorkFolder() {
  static const struct TFolder {
    std::string path;
    TFolder() {
      std::random_device random;
      for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
        const auto candidate = std::filesystem::temp_directory_path() /
                               ("ei-fuzz-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) path = candidate.string();
      }
      if (path.empty()) std::abort();
    }
    ~TFolder() {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
  } folder;
  return folder.path;
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
    WriteFileBytes(JoinPath(folder, "font.bmp"), bytes);
    OutputDir = JoinPath(folder, "out");
    ForceDirectories(OutputDir);
    ExtractMetrics(JoinPath(folder, "font.metrics"), 7);
  } catch (const Exception&) {
  }
}
