// All file access of the system goes through here: reading a whole file, the one
// writer that replaces a file only when its new content is complete, and the
// exclusive hold on a file. The low-level calls go through TFileEnv, so a test
// can make writes fail part-way.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

// The system calls that the writer makes. A test double overrides only the call
// it needs, for example one that fails writes after N bytes.
class TFileEnv {
 public:
  virtual ~TFileEnv() = default;
  virtual ssize_t Write(int fd, const void* data, size_t size);

  // The environment in force; the real one unless a TScopedFileEnv is alive.
  static TFileEnv& Current();
};

// Installs env for its lifetime.
class TScopedFileEnv {
 public:
  explicit TScopedFileEnv(TFileEnv& env);
  ~TScopedFileEnv();
  TScopedFileEnv(const TScopedFileEnv&) = delete;
  TScopedFileEnv& operator=(const TScopedFileEnv&) = delete;

 private:
  TFileEnv* FPrevious;
};

// Reads the whole file. Raises EFOpenError when it cannot be opened for reading
// (a folder cannot), EReadError when reading fails.
std::string ReadFileBytes(const std::string& path);

// Creates path or replaces it with data. An existing file is replaced through a
// temporary file in the same folder, moved over it only once complete, so a
// failed write never leaves a cut-short file in place of a good one; a new file
// that fails part-way is removed.
// Raises EFCreateError (with path) when the file cannot be created, also when
// path exists read-only or is a folder, and EWriteError when writing fails; the
// temporary file is removed and the old file stays.
void WriteFileBytes(const std::string& path, std::initializer_list<std::string_view> pieces);
inline void WriteFileBytes(const std::string& path, std::string_view data) {
  WriteFileBytes(path, {data});
}

// Open modes of TFileStream.
enum TFileMode : unsigned {
  fmOpenRead = 0x0000,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
};

// An open file, closed when the stream is destroyed. Used to hold a file: with
// fmShareExclusive no other exclusive hold on it succeeds meanwhile.
class TFileStream {
 public:
  // Raises EFOpenError (with path) when the file cannot be opened in mode: a
  // folder, a file without write permission for fmOpenReadWrite, or a file that
  // is held elsewhere for fmShareExclusive.
  TFileStream(const std::string& path, unsigned mode);
  ~TFileStream();
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

// File attribute mask of FindFirst: 63 counts every kind of entry.
inline constexpr int faAnyFile = 63;

// True when path names an existing entry. A last path component holding "*" or
// "?" is matched as a wildcard against its folder.
bool FindFirst(const std::string& path, int attr);

}  // namespace platform
