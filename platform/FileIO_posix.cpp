#include "FileIO.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Exceptions.h"
#include "SysUtils.h"

namespace platform {

// The POSIX side of the file layer: a handle is a file descriptor.

int64_t TFileEnv::ReadAt(THandle file, void* data, size_t size, uint64_t offset) {
  return ::pread(static_cast<int>(file), data, size, static_cast<off_t>(offset));
}

int64_t TFileEnv::Write(THandle file, const void* data, size_t size) {
  return ::write(static_cast<int>(file), data, size);
}

namespace {

TFileEnv* CurrentEnv = nullptr;

// A file with no write bit for anyone is read-only, whoever we run as: the
// check does not rely on access(), which root passes for every file.
bool IsReadOnly(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

// The mode a new file gets: 0666 less the umask.
mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

// Opens an existing entry without waiting: O_NONBLOCK keeps a pipe without a
// writer from blocking the open, O_NOCTTY keeps a terminal from becoming ours.
// The entry must turn out to be a regular file.
int OpenRegular(const std::string& path, int access, struct stat& st) {
  const int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The folder part of path for opening ("." when there is none) and the name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(PathDelim);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string(1, PathDelim) : path.substr(0, slash);
}

std::string HiddenTempName(const std::string& path) {
  const size_t slash = path.find_last_of(PathDelim);
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".eitmp";
}

std::string ProcFdPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

TFileEnv& TFileEnv::Current() {
  static TFileEnv real;
  return CurrentEnv ? *CurrentEnv : real;
}

TScopedFileEnv::TScopedFileEnv(TFileEnv& env) : FPrevious(CurrentEnv) { CurrentEnv = &env; }
TScopedFileEnv::~TScopedFileEnv() { CurrentEnv = FPrevious; }

// ---------------------------------------------------------------------------
// Reading

TReadFile::TReadFile(const std::string& path) : FFileName(path) {
  struct stat st {};
  FHandle = OpenRegular(path, O_RDONLY, st);
  if (FHandle < 0) throw EFOpenError(path);
  FSize = static_cast<uint64_t>(st.st_size);
}

TReadFile::~TReadFile() {
  if (FHandle >= 0) ::close(FHandle);
}

size_t TReadFile::ReadAt(uint64_t offset, void* into, size_t size) {
  TFileEnv& env = TFileEnv::Current();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = env.ReadAt(FHandle, static_cast<char*>(into) + done, size - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EReadError();
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void TReadFile::ReadExactly(uint64_t offset, void* into, size_t size) {
  if (ReadAt(offset, into, size) != size) throw EReadError();
}

std::string ReadFileBytes(const std::string& path) {
  TReadFile file(path);
  std::string data(static_cast<size_t>(file.Size()), '\0');
  data.resize(file.ReadAt(0, data.data(), data.size()));
  return data;
}

std::string ReadTextFileBytes(const std::string& path) {
  constexpr size_t kBlock = 64 * 1024;
  TReadFile file(path);
  std::string text;
  for (;;) {
    const size_t used = text.size();
    text.resize(used + kBlock);
    const size_t n = file.ReadAt(used, text.data() + used, kBlock);
    text.resize(used + n);
    if (const void* zero = std::memchr(text.data() + used, '\0', n)) {
      text.resize(static_cast<size_t>(static_cast<const char*>(zero) - text.data()));
      return text;
    }
    if (n < kBlock) return text;
  }
}

// ---------------------------------------------------------------------------
// Writing

TFileWriter::TFileWriter(std::string path) : FPath(std::move(path)), FTempPath(HiddenTempName(FPath)) {
  struct stat st {};
  FExists = ::stat(FPath.c_str(), &st) == 0;
  if (FExists && (S_ISDIR(st.st_mode) || IsReadOnly(st))) throw EFCreateError(FPath);
  FMode = FExists ? (st.st_mode & 07777) : NewFileMode();
  if (FExists) {
    struct stat old {};
    FOldHandle = OpenRegular(FPath, O_RDONLY, old);
    if (FOldHandle >= 0) {
      FOldSize = static_cast<uint64_t>(old.st_size);
      return;
    }
  }
  OpenTemporary();
}

void TFileWriter::OpenTemporary() {
  if (TFileEnv::Current().UnnamedTemporaryFiles()) {
    // An unnamed file in the target's folder: it vanishes with the process
    // unless it is linked in, and linking stays within one file system.
    FHandle = ::open(FolderOf(FPath).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (FHandle >= 0) {
      FUnnamed = true;
      return;
    }
    // Only a file system without unnamed files takes the fallback.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) throw EFCreateError(FPath);
  }
  for (int attempt = 0; attempt < 2 && FHandle < 0; ++attempt) {
    FHandle = ::open(FTempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    // One left over by a writer that was killed: it was never a finished file.
    if (FHandle < 0 && errno == EEXIST) ::unlink(FTempPath.c_str());
  }
  if (FHandle < 0) throw EFCreateError(FPath);
  FLinked = true;
}

TFileWriter::~TFileWriter() {
  if (!FCommitted) Discard();
}

void TFileWriter::Discard() {
  if (FOldHandle >= 0) ::close(FOldHandle);
  FOldHandle = -1;
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
  if (FLinked) ::unlink(FTempPath.c_str());
  FLinked = false;
}

namespace {

constexpr size_t kCompareBlock = 256 * 1024;

// Up to size bytes of fd at offset, fewer only at its end; -1 on error.
ssize_t ReadFully(int fd, char* into, size_t size, uint64_t offset) {
  TFileEnv& env = TFileEnv::Current();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = env.ReadAt(fd, into + done, size - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

}  // namespace

void TFileWriter::StopComparing() {
  const int old = FOldHandle;
  FOldHandle = -1;
  try {
    OpenTemporary();
    // The bytes that matched are the old target's: they are copied from it.
    FScratch.resize(static_cast<size_t>(std::min<uint64_t>(FMatched, kCompareBlock)));
    for (uint64_t at = 0; at < FMatched;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(FMatched - at, kCompareBlock));
      if (ReadFully(old, FScratch.data(), want, at) != static_cast<ssize_t>(want)) throw EWriteError();
      WriteOut(std::string_view(FScratch.data(), want));
      at += want;
    }
  } catch (...) {
    ::close(old);
    Discard();
    throw;
  }
  ::close(old);
  FScratch = std::string();
}

void TFileWriter::Write(std::string_view data) {
  if (FOldHandle >= 0) {
    // Compared block by block; the first difference, or the old file ending,
    // ends the comparison.
    size_t same = 0;
    while (same < data.size() && FMatched + same < FOldSize) {
      const size_t want = std::min(data.size() - same, kCompareBlock);
      if (FScratch.size() < want) FScratch.resize(want);
      const ssize_t got = ReadFully(FOldHandle, FScratch.data(), want, FMatched + same);
      if (got <= 0) break;
      const size_t n = static_cast<size_t>(got);
      if (std::memcmp(FScratch.data(), data.data() + same, n) != 0) break;
      same += n;
    }
    if (same == data.size()) {
      FMatched += same;
      return;
    }
    StopComparing();
  }
  WriteOut(data);
}

void TFileWriter::WriteOut(std::string_view data) {
  if (FHandle < 0) throw EWriteError();  // a failed write already discarded the content
  TFileEnv& env = TFileEnv::Current();
  const char* p = data.data();
  size_t left = data.size();
  while (left > 0) {
    const ssize_t n = env.Write(FHandle, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Discard();
      throw EWriteError();
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

void TFileWriter::Prepare() {
  if (FPrepared) return;
  if (FOldHandle >= 0) {
    if (FMatched == FOldSize) {
      // The target already holds exactly this content: nothing to do.
      ::close(FOldHandle);
      FOldHandle = -1;
      FUnchanged = true;
      FPrepared = true;
      return;
    }
    StopComparing();  // the new content is shorter than the old
  }
  if (FHandle < 0) throw EWriteError();  // a failed write already discarded the content
  auto fail = [this](auto error) {
    Discard();
    throw error;
  };
  // The temporary file was made with a mode of its own; the target keeps the
  // mode it had, and a new one gets the usual mode.
  const mode_t made = FUnnamed ? NewFileMode() : 0600;
  if (FMode != made && ::fchmod(FHandle, FMode) != 0) fail(EFCreateError(FPath));
  if (FUnnamed && FExists) {
    // A name cannot be replaced by linking, so the content gets the hidden
    // name first and is renamed over the target in Publish.
    for (int attempt = 0; attempt < 2 && !FLinked; ++attempt) {
      if (::linkat(AT_FDCWD, ProcFdPath(FHandle).c_str(), AT_FDCWD, FTempPath.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        FLinked = true;
      } else if (errno == EEXIST) {
        ::unlink(FTempPath.c_str());
      } else {
        fail(EFCreateError(FPath));
      }
    }
    if (!FLinked) fail(EFCreateError(FPath));
  }
  if (FLinked) {
    // Written data that the file system could not store shows up here at the latest.
    const int fd = FHandle;
    FHandle = -1;
    if (::close(fd) != 0) fail(EWriteError());
  }
  FPrepared = true;
}

void TFileWriter::Publish() {
  if (FUnchanged) {
    FCommitted = true;
    return;
  }
  if (FLinked) {
    if (::rename(FTempPath.c_str(), FPath.c_str()) != 0) {
      Discard();
      throw EFCreateError(FPath);
    }
    FLinked = false;
  } else {
    // A new target: the unnamed file is linked in under the final name.
    if (::linkat(AT_FDCWD, ProcFdPath(FHandle).c_str(), AT_FDCWD, FPath.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno != EEXIST) {
        Discard();
        throw EFCreateError(FPath);
      }
      // The target appeared meanwhile: replace it as an existing one.
      FExists = true;
      FPrepared = false;
      Prepare();
      Publish();
      return;
    }
    const int fd = FHandle;
    FHandle = -1;
    if (::close(fd) != 0) {
      ::unlink(FPath.c_str());
      throw EWriteError();
    }
  }
  FCommitted = true;
}

void TFileWriter::Commit() { CommitTogether({this}); }

void CommitTogether(std::initializer_list<TFileWriter*> writers) {
  for (TFileWriter* writer : writers) writer->Prepare();
  for (TFileWriter* writer : writers) writer->Publish();
}

void WriteFileBytes(const std::string& path, std::initializer_list<std::string_view> pieces) {
  TFileWriter writer(path);
  for (const std::string_view data : pieces) writer.Write(data);
  writer.Commit();
}

// ---------------------------------------------------------------------------
// Holding

TFileStream::TFileStream(const std::string& path, unsigned mode) : FFileName(path) {
  const bool write = (mode & 0x3) == fmOpenReadWrite;
  struct stat st {};
  const int fd = OpenRegular(path, write ? O_RDWR : O_RDONLY, st);
  if (fd < 0) throw EFOpenError(path);
  if ((write && IsReadOnly(st)) || ((mode & fmShareExclusive) && ::flock(fd, LOCK_EX | LOCK_NB) != 0)) {
    ::close(fd);
    throw EFOpenError(path);
  }
  FHandle = fd;
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

bool FindFirst(const std::string& path, int /*attr: every kind of entry counts*/) {
  if (path.empty()) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return true;
  const size_t slash = path.find_last_of(PathDelim);
  const std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (pattern.find_first_of("*?") == std::string::npos) return false;
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  bool found = false;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string entryName = entry->d_name;
    if (entryName == "." || entryName == "..") continue;
    if (::fnmatch(pattern.c_str(), entry->d_name, FNM_PERIOD) == 0) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace platform
