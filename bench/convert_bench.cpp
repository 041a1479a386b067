// Conversion speed and memory against the I/O floor: reading the strip file and
// writing the same number of bytes, in 128 KB blocks as cat does. Strips of
// about 8000 x 65 pixels, and big strips of about 24 MB.
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
#include <system_error>
#include <vector>

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

std::vector<std::string>& Folders() {
  static std::vector<std::string> folders;
  return folders;
}

enum TSize { szSmall, szBig };

const TBenchFont& Font(TPixelFormat format, TSize size = szSmall) {
  static std::map<std::pair<TPixelFormat, TSize>, TBenchFont> fonts;
  auto [it, added] = fonts.try_emplace({format, size});
  TBenchFont& f = it->second;
  if (!added) return f;
  char pattern[] = "/tmp/ei-bench-XXXXXX";
  f.folder = ::mkdtemp(pattern);
  Folders().push_back(f.folder);
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
  // Small: 8000 x 65. Big: about 24 MB of pixels, 16000 wide.
  const int height = size == szSmall ? 65 : (format == TPixelFormat::pf8bit ? 1500 : 500);
  const int cell = size == szSmall ? 48 : 100;
  constexpr int kGap = 2;
  int width = 1;
  for (int k = 0; k < kGlyphCount; ++k) width += cell + k % 5 + kGap;
  strip.SetSize(width, height);
  int x = 1;
  for (int k = 0; k < kGlyphCount; ++k) {
    const int w = cell + k % 5;
    strip.FillRect({x, 0, x + w, 1}, 0xFFFFFF);
    for (int y = 1; y < height; ++y) strip.FillRect({x, y, x + w, y + 1}, 0x010101u * uint32_t(y * 3 + k));
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

void BM_Convert(benchmark::State& state, TPixelFormat format, TSize size) {
  const TBenchFont& f = Font(format, size);
  for (auto _ : state) Convert(f);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(f.strip)));
  state.counters["strip_pixel_MB"] = double(f.pixelBytes) / 1e6;
  state.counters["peak_added_MB"] = double(PeakBytesOf([&] { Convert(f); })) / 1e6;
}

// cat strip > copy: the strip read and a new file written, 128 KB at a time.
void CopyAsCat(const TBenchFont& f, const std::string& target) {
  static char buffer[128 * 1024];
  const int in = ::open(f.strip.c_str(), O_RDONLY);
  ::unlink(target.c_str());
  const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) std::abort();
  for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) > 0;) {
    if (::write(out, buffer, size_t(n)) != n) std::abort();
  }
  ::close(in);
  ::close(out);
}

void BM_IOFloor(benchmark::State& state, TPixelFormat format, TSize size) {
  const TBenchFont& f = Font(format, size);
  const std::string target = f.out + "/floor.bin";
  for (auto _ : state) CopyAsCat(f, target);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(f.strip)));
  state.counters["peak_added_MB"] = double(PeakBytesOf([&] { CopyAsCat(f, target); })) / 1e6;
  ::unlink(target.c_str());
}

// Into an empty output folder, as the floor writes a new file.
void BM_ConvertNew(benchmark::State& state, TPixelFormat format, TSize size) {
  const TBenchFont& f = Font(format, size);
  const std::string packed = f.out + "/font.bmp", metrics = f.out + "/font.metrics";
  auto once = [&] {
    ::unlink(packed.c_str());
    ::unlink(metrics.c_str());
    Convert(f);
  };
  for (auto _ : state) once();
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(f.strip)));
  state.counters["strip_pixel_MB"] = double(f.pixelBytes) / 1e6;
  state.counters["peak_added_MB"] = double(PeakBytesOf(once)) / 1e6;
}

// Each group is run one after the other, so that the ratios compare like with
// like. BM_Convert converts over its own outputs of the iteration before,
// BM_ConvertNew into an empty folder.
BENCHMARK_CAPTURE(BM_Convert, strip24, TPixelFormat::pf24bit, szSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ConvertNew, strip24, TPixelFormat::pf24bit, szSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_IOFloor, strip24, TPixelFormat::pf24bit, szSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Convert, strip8, TPixelFormat::pf8bit, szSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ConvertNew, strip8, TPixelFormat::pf8bit, szSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_IOFloor, strip8, TPixelFormat::pf8bit, szSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ConvertNew, big24, TPixelFormat::pf24bit, szBig)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_IOFloor, big24, TPixelFormat::pf24bit, szBig)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ConvertNew, big8, TPixelFormat::pf8bit, szBig)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_IOFloor, big8, TPixelFormat::pf8bit, szBig)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The bench folders live in /tmp: none stays behind.
  std::error_code ec;
  for (const std::string& folder : Folders()) std::filesystem::remove_all(folder, ec);
  return 0;
}
