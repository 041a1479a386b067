// Helpers shared by the tests: a temporary folder, whole-file reads and writes,
// and glyph strips built in code.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "FileIO.h"
#include "Graphics.h"

namespace testutil {

// A fresh folder, removed with everything in it at the end of the test.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  const std::string& Path() const { return FPath; }
  // name in the folder, joined with the separator that the program uses.
  std::string File(const std::string& name) const;

 private:
  std::string FPath;
};

// The message of the error that f raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& f);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool Exists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& path);  // sorted names

// A glyph strip: glyph k is widths[k] pixels wide, separated from the next by
// gap black columns (the strip starts with one black column); the marker row
// carries a non-black run over each glyph, and each glyph pixel has a colour
// made from its glyph, row and column. Indexed formats get a 16/256-colour
// palette (2 for pf1bit) whose entry 0 is black.
platform::TBitmap MakeStrip(platform::TPixelFormat format, const std::vector<int>& widths,
                            int height, int gap = 1);

// 153 glyphs of width 1 + k % 4, the usual test font.
std::vector<int> StandardWidths();

// Writes MakeStrip(...) to <folder>/<name>.bmp and an empty <folder>/<name>.metrics,
// and returns the .metrics path.
std::string WriteFont(const std::string& folder, const std::string& name,
                      platform::TPixelFormat format = platform::TPixelFormat::pf24bit,
                      int height = 6);

// A file environment whose writes fail (as on a full disk) once limit bytes
// have been written.
class TDiskFullEnv : public platform::TFileEnv {
 public:
  explicit TDiskFullEnv(size_t limit) : FLeft(limit) {}
  int64_t Write(platform::THandle file, const void* data, size_t size) override;

 private:
  size_t FLeft;
};

// The file's identity (inode or file index) and modification time: what a
// rewrite changes. {0, 0} when path is missing.
std::pair<uint64_t, int64_t> FileIdentity(const std::string& path);
// Sets the time stamps of path far into the past, so that any rewrite shows.
void MakeOld(const std::string& path);
// Makes path read-only (no write bit for anyone, or the read-only attribute),
// or writable again.
void SetReadOnly(const std::string& path, bool readOnly = true);

// What a program run by RunProgram did.
struct TProgramResult {
  int exit = -1;
  std::string out, err;
};
// Runs the program args[0] with the arguments after it, in the folder dir,
// and waits for it; its output goes through files in dir.
TProgramResult RunProgram(const std::vector<std::string>& args, const std::string& dir);

// A file environment that counts the bytes read.
class TCountingEnv : public platform::TFileEnv {
 public:
  int64_t ReadAt(platform::THandle file, void* data, size_t size, uint64_t offset) override;
  uint64_t BytesRead = 0;
};

// A file environment whose writer takes the named fallback, as on a file
// system without unnamed temporary files.
class TNamedTempEnv : public platform::TFileEnv {
 public:
  bool UnnamedTemporaryFiles() const override { return false; }
};

}  // namespace testutil
