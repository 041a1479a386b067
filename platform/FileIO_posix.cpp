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
  for (;;) {
    const ssize_t n = ::pread(static_cast<int>(file), data, size, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR) return n;
  }
}

int64_t TFileEnv::Write(THandle file, const void* data, size_t size) {
  for (;;) {
    const ssize_t n = ::write(static_cast<int>(file), data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

namespace {

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

// ---------------------------------------------------------------------------
// Writing

TFileWriter::TFileWriter(std::string path) : FPath(std::move(path)), FTempPath(HiddenTempName(FPath)) {
  struct stat st {};
  FExists = ::stat(FPath.c_str(), &st) == 0;
  if (FExists && (S_ISDIR(st.st_mode) || IsReadOnly(st))) throw EFCreateError(FPath);
  FMode = FExists ? (st.st_mode & 07777) : NewFileMode();
  if (FExists && OpenOld()) return;
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

void TFileWriter::Discard() {
  FOld.reset();
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
  if (FLinked) ::unlink(FTempPath.c_str());
  FLinked = false;
}

void TFileWriter::PrepareTemporary() {
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
}

void TFileWriter::PublishTemporary() {
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
      PrepareTemporary();
      PublishTemporary();
      return;
    }
    const int fd = FHandle;
    FHandle = -1;
    if (::close(fd) != 0) {
      ::unlink(FPath.c_str());
      throw EWriteError();
    }
  }
}

// ---------------------------------------------------------------------------
// Holding

TFileStream::TFileStream(const std::string& path, unsigned mode) : FFileName(path), FMode(mode) {
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
