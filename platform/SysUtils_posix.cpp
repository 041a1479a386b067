// The POSIX side of the file and folder routines.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "SysUtils.h"

namespace platform {

std::string GetCurrentDir() {
  std::error_code ec;
  const auto dir = std::filesystem::current_path(ec);
  return ec ? std::string() : dir.string();
}

bool SetCurrentDir(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

bool IsPathAbsolute(std::string_view path) { return !path.empty() && path.front() == PathDelim; }

std::string ExpandFileName(const std::string& path) {
  if (IsPathAbsolute(path)) return path;
  if (path.empty()) return GetCurrentDir();
  return JoinPath(GetCurrentDir(), path);
}

bool ForceDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return DirectoryExists(dir);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
