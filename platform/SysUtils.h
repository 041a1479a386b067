// File and number routines. Paths are 8-bit strings of bytes and are never
// re-encoded. "/" and "\" both count as folder separators when a path is taken
// apart; paths that the program builds use PathDelim.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The separator of the paths that the program builds.
#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// The part of path after its last "/", "\" or ":".
std::string ExtractFileName(std::string_view path);

// The part of path up to and including its last "/", "\" or ":"; empty if none.
std::string ExtractFilePath(std::string_view path);

// Replaces everything from the last "." after the last separator by ext; where
// there is no such ".", appends ext.
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// The extension of path, with its ".", or empty (same rule as ChangeFileExt).
std::string ExtractFileExt(std::string_view path);

// folder, PathDelim, name: the end of folder is not looked at.
std::string JoinPath(std::string_view folder, std::string_view name);

std::string GetCurrentDir();
bool SetCurrentDir(const std::string& dir);

// True when path starts at the root of the file system.
bool IsPathAbsolute(std::string_view path);

// path made absolute against the working folder; an absolute path is unchanged.
std::string ExpandFileName(const std::string& path);

// Creates dir and any missing parents. True when dir exists afterwards.
bool ForceDirectories(const std::string& dir);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

std::string IntToStr(int64_t value);

// ASCII-only, byte-preserving case conversion.
std::string LowerCase(std::string_view s);

}  // namespace platform
