#include "FileIO.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Exceptions.h"
#include "SysUtils.h"

namespace platform {

ssize_t TFileEnv::Write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }

namespace {

TFileEnv* CurrentEnv = nullptr;

// A file with no write bit for anyone is read-only, whoever we run as: the
// check does not rely on access(), which root passes for every file.
bool IsReadOnly(const struct stat& st) { return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0; }

mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

 private:
  int FFd;
};

}  // namespace

TFileEnv& TFileEnv::Current() {
  static TFileEnv real;
  return CurrentEnv ? *CurrentEnv : real;
}

TScopedFileEnv::TScopedFileEnv(TFileEnv& env) : FPrevious(CurrentEnv) { CurrentEnv = &env; }
TScopedFileEnv::~TScopedFileEnv() { CurrentEnv = FPrevious; }

std::string ReadFileBytes(const std::string& path) {
  TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode)) throw EFOpenError(path);
  auto readSome = [&](char* into, size_t size) {
    for (;;) {
      const ssize_t n = ::read(fd.Get(), into, size);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno != EINTR) throw EReadError();
    }
  };
  // Read straight into the result, as large as the file was found to be.
  std::string data(S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0, '\0');
  size_t used = 0;
  while (used < data.size()) {
    const size_t n = readSome(data.data() + used, data.size() - used);
    if (n == 0) break;
    used += n;
  }
  data.resize(used);
  // Whatever the file gained since then, or all of a file without a size.
  char chunk[65536];
  while (const size_t n = readSome(chunk, sizeof chunk)) data.append(chunk, n);
  return data;
}

void WriteFileBytes(const std::string& path, std::initializer_list<std::string_view> pieces) {
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && (S_ISDIR(st.st_mode) || IsReadOnly(st))) throw EFCreateError(path);

  // A new file has no good content to protect: it is written in place, and
  // removed again if writing fails. An existing one is replaced through a
  // temporary file beside it, so that the final rename stays within one file
  // system and replaces the target in one step.
  std::string temp;
  int handle = exists ? -1 : ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (handle < 0 && !exists && errno != EEXIST) throw EFCreateError(path);
  if (handle < 0) {
    const size_t slash = path.find_last_of(PathDelim);
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    temp = folder + "." + name + ".XXXXXX";
    handle = ::mkostemp(temp.data(), O_CLOEXEC);
    if (handle < 0) throw EFCreateError(path);
  }
  TFd fd(handle);
  const std::string& written = temp.empty() ? path : temp;

  auto fail = [&](auto error) {
    ::close(fd.Release());
    ::unlink(written.c_str());
    throw error;
  };
  TFileEnv& env = TFileEnv::Current();
  for (const std::string_view data : pieces) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
      const ssize_t n = env.Write(fd.Get(), p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) fail(EWriteError());
      p += n;
      left -= static_cast<size_t>(n);
    }
  }
  if (!temp.empty()) ::fchmod(fd.Get(), exists ? (st.st_mode & 07777) : NewFileMode());
  if (::close(fd.Release()) != 0) fail(EWriteError());
  if (!temp.empty() && ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw EFCreateError(path);
  }
}

TFileStream::TFileStream(const std::string& path, unsigned mode) : FFileName(path) {
  const bool write = (mode & 0x3) == fmOpenReadWrite;
  TFd fd(::open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC));
  struct stat st {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || S_ISDIR(st.st_mode) ||
      (write && IsReadOnly(st))) {
    throw EFOpenError(path);
  }
  if ((mode & fmShareExclusive) && ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    throw EFOpenError(path);
  }
  FHandle = fd.Release();
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
