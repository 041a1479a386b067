// The Windows side of the file and folder routines, with the 8-bit ("A")
// calls: paths keep their bytes in the system code page.
#include <windows.h>

#include "SysUtils.h"

namespace platform {

std::string GetCurrentDir() {
  const DWORD size = ::GetCurrentDirectoryA(0, nullptr);
  std::string dir(size, '\0');
  dir.resize(::GetCurrentDirectoryA(size, dir.data()));
  return dir;
}

bool SetCurrentDir(const std::string& dir) { return ::SetCurrentDirectoryA(dir.c_str()) != 0; }

bool IsPathAbsolute(std::string_view path) {
  // "C:\dir" or "C:/dir", or a UNC path "\\server\share". "\dir" and "C:dir"
  // are relative to the current drive or to the current folder of a drive.
  const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
  return drive || unc;
}

std::string ExpandFileName(const std::string& path) {
  if (path.empty()) return GetCurrentDir();
  // Resolved as Windows resolves it, drive-relative paths included.
  const DWORD size = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::string full(size, '\0');
  full.resize(::GetFullPathNameA(path.c_str(), size, full.data(), nullptr));
  return full;
}

bool ForceDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  if (DirectoryExists(dir)) return true;
  std::string parent = ExtractFilePath(dir);
  while (!parent.empty() && (parent.back() == '\\' || parent.back() == '/')) parent.pop_back();
  // Up to a drive ("C:") or a name without a folder, parents come first.
  if (!parent.empty() && parent.back() != ':' && parent != dir) ForceDirectories(parent);
  ::CreateDirectoryA(dir.c_str(), nullptr);
  return DirectoryExists(dir);
}

bool FileExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace platform
