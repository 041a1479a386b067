// Conversion speed and memory against the I/O floor: reading the strip file and
// writing the same number of bytes. Strips of about 8000 x 65 pixels.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <filesystem>
#include <string>

#include "FileIO.h"
#include "Formathandlers.h"
#include "Graphics.h"

using namespace platform;

namespace {

// A folder with a strip of the given format, and an output folder.
struct TBenchFont {
  std::string folder, metrics, strip, out;
  size_t pixelBytes = 0;
};

const TBenchFont& Font(TPixelFormat format) {
  static std::map<TPixelFormat, TBenchFont> fonts;
  auto [it, added] = fonts.try_emplace(format);
  TBenchFont& f = it->second;
  if (!added) return f;
  char pattern[] = "/tmp/ei-bench-XXXXXX";
  f.folder = ::mkdtemp(pattern);
  f.out = f.folder + "/out";
  std::filesystem::create_directory(f.out);
  f.metrics = f.folder + "/font.metrics";
  f.strip = f.folder + "/font.bmp";

  TBitmap strip;
  strip.SetPixelFormat(format);
  if (format == TPixelFormat::pf8bit) {
    std::vector<TRGBQuad> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    strip.SetPalette(palette);
  }
  constexpr int kHeight = 65, kGap = 2;
  int width = 1;
  for (int k = 0; k < kGlyphCount; ++k) width += 48 + k % 5 + kGap;
  strip.SetSize(width, kHeight);
  int x = 1;
  for (int k = 0; k < kGlyphCount; ++k) {
    const int w = 48 + k % 5;
    strip.FillRect({x, 0, x + w, 1}, 0xFFFFFF);
    for (int y = 1; y < kHeight; ++y) strip.FillRect({x, y, x + w, y + 1}, 0x010101u * uint32_t(y * 3 + k));
    x += w + kGap;
  }
  strip.SaveToFile(f.strip);
  f.pixelBytes = size_t(strip.Stride()) * strip.Height();
  WriteFileBytes(f.metrics, "");
  return f;
}

void Convert(const TBenchFont& f) {
  OutputDir = f.out;
  ExtractMetrics(f.metrics, 0);
}

long StatusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return 0;
}

// The peak memory that work adds, in bytes, measured in a forked child: free
// heap memory goes back to the system first, the high-water mark is reset to
// the resident size, and the mark after work is compared with that.
long PeakBytesOf(const std::function<void()>& work) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKilobytes("VmRSS:");
    work();
    const long peak = (StatusKilobytes("VmHWM:") - before) * 1024;
    if (::write(pipeFds[1], &peak, sizeof peak) != sizeof peak) ::_exit(1);
    ::_exit(0);
  }
  long peak = -1;
  if (::read(pipeFds[0], &peak, sizeof peak) != sizeof peak) peak = -1;
  ::waitpid(pid, nullptr, 0);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
  return peak;
}

void BM_Convert(benchmark::State& state, TPixelFormat format) {
  const TBenchFont& f = Font(format);
  for (auto _ : state) Convert(f);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(f.strip)));
  state.counters["strip_pixel_MB"] = double(f.pixelBytes) / 1e6;
  state.counters["peak_added_MB"] = double(PeakBytesOf([&] { Convert(f); })) / 1e6;
}

// Reads the strip and writes as many bytes to a plain file: no conversion.
void BM_IOFloor(benchmark::State& state, TPixelFormat format) {
  const TBenchFont& f = Font(format);
  const std::string target = f.out + "/floor.bin";
  for (auto _ : state) {
    const std::string bytes = ReadFileBytes(f.strip);
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) std::abort();
    ::close(fd);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(f.strip)));
}

BENCHMARK_CAPTURE(BM_Convert, strip24, TPixelFormat::pf24bit)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_IOFloor, strip24, TPixelFormat::pf24bit)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Convert, strip8, TPixelFormat::pf8bit)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_IOFloor, strip8, TPixelFormat::pf8bit)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
