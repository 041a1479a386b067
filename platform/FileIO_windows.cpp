// The Windows side of the file layer: a handle is a Windows HANDLE, and every
// call is the 8-bit ("A") one, so paths keep their bytes in the system code page.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "Exceptions.h"
#include "FileIO.h"
#include "SysUtils.h"

namespace platform {

namespace {

HANDLE ToHandle(THandle file) { return reinterpret_cast<HANDLE>(file); }
THandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? THandle{-1} : reinterpret_cast<THandle>(handle);
}

// At most this much in one ReadFile or WriteFile, whose sizes are 32-bit.
constexpr size_t kMaxTransfer = 1u << 30;

// Opens an existing regular file. Folders need a flag this never gives, so
// they fail to open; pipes, consoles and devices open as other file types and
// are closed again. Opening never waits: a busy pipe fails at once.
HANDLE OpenRegular(const std::string& path, DWORD access, DWORD share, uint64_t* size = nullptr) {
  const HANDLE handle = ::CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return handle;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
  }
  if (size) *size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return handle;
}

std::string HiddenTempName(const std::string& path) {
  const size_t delim = path.find_last_of("\\/:");
  const size_t nameStart = delim == std::string::npos ? 0 : delim + 1;
  return path.substr(0, nameStart) + "." + path.substr(nameStart) + ".eitmp";
}

// The attributes that a replaced file hands on to its replacement.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

int64_t TFileEnv::ReadAt(THandle file, void* data, size_t size, uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!::ReadFile(ToHandle(file), data, static_cast<DWORD>(std::min(size, kMaxTransfer)), &got, &at)) {
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return got;
}

int64_t TFileEnv::Write(THandle file, const void* data, size_t size) {
  DWORD written = 0;
  if (!::WriteFile(ToHandle(file), data, static_cast<DWORD>(std::min(size, kMaxTransfer)), &written, nullptr)) {
    return -1;
  }
  return written;
}

// ---------------------------------------------------------------------------
// Reading: others may read the file meanwhile, not write it.

TReadFile::TReadFile(const std::string& path) : FFileName(path) {
  FHandle = FromHandle(OpenRegular(path, GENERIC_READ, FILE_SHARE_READ, &FSize));
  if (FHandle < 0) throw EFOpenError(path);
}

TReadFile::~TReadFile() {
  if (FHandle >= 0) ::CloseHandle(ToHandle(FHandle));
}

// ---------------------------------------------------------------------------
// Writing. Windows has no unnamed files that can be given a name later, so the
// content always goes to the hidden name first: ".NAME.eitmp" beside the target,
// which the next writer of that target removes when a killed run left it.

TFileWriter::TFileWriter(std::string path) : FPath(std::move(path)), FTempPath(HiddenTempName(FPath)) {
  const DWORD attributes = ::GetFileAttributesA(FPath.c_str());
  FExists = attributes != INVALID_FILE_ATTRIBUTES;
  if (FExists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    throw EFCreateError(FPath);
  }
  FMode = FExists ? (attributes & kKeptAttributes) : 0;
  if (FExists && OpenOld()) return;
  OpenTemporary();
}

void TFileWriter::OpenTemporary() {
  for (int attempt = 0; attempt < 2 && FHandle < 0; ++attempt) {
    FHandle = FromHandle(::CreateFileA(FTempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    // One left over by a writer that was killed: it was never a finished file.
    if (FHandle < 0 && ::GetLastError() == ERROR_FILE_EXISTS) ::DeleteFileA(FTempPath.c_str());
  }
  if (FHandle < 0) throw EFCreateError(FPath);
  FLinked = true;
}

void TFileWriter::Discard() {
  FOld.reset();
  if (FHandle >= 0) ::CloseHandle(ToHandle(FHandle));
  FHandle = -1;
  if (FLinked) ::DeleteFileA(FTempPath.c_str());
  FLinked = false;
}

void TFileWriter::PrepareTemporary() {
  const HANDLE handle = ToHandle(FHandle);
  FHandle = -1;
  if (!::CloseHandle(handle)) {
    Discard();
    throw EWriteError();
  }
  if (FMode != 0) ::SetFileAttributesA(FTempPath.c_str(), FMode);
}

void TFileWriter::PublishTemporary() {
  // Windows replaces no file that is open, and a run that converts in its
  // sources' own folder holds the very file it replaces. This process's hold
  // steps aside for the replacement and holds the new file at once.
  TFileStream* held = TFileStream::HeldStream(FPath);
  if (held) {
    ::CloseHandle(ToHandle(held->FHandle));
    held->FHandle = -1;
  }
  // One step: the target is the old file or the new one, never a part of either.
  const bool moved = ::MoveFileExA(FTempPath.c_str(), FPath.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (held) held->Open();
  if (!moved) {
    Discard();
    throw EFCreateError(FPath);
  }
  FLinked = false;
}

// ---------------------------------------------------------------------------
// Holding: opened for reading and writing and shared with nobody for reading
// or writing, so no other program can open the file while it is held, and one
// that another program has open cannot be held. A file with the read-only
// attribute is refused for writing, whoever runs the program. The one thing
// left shared is deleting: our own writer may still replace the held file by
// its converted self when a run converts in the sources' own folder.

namespace {

// The exclusive holds of this process, for the writer to find.
std::vector<TFileStream*>& Holds() {
  static std::vector<TFileStream*> holds;
  return holds;
}

std::string FullPath(const std::string& path) {
  std::string full(::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr), '\0');
  if (full.empty()) return path;
  full.resize(::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
  return full;
}

// Windows file names ignore the case of ASCII letters.
bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), int(a.size()),
                                                  b.data(), int(b.size())) == CSTR_EQUAL;
}

}  // namespace

TFileStream* TFileStream::HeldStream(const std::string& path) {
  const std::string full = FullPath(path);
  for (TFileStream* stream : Holds()) {
    if (stream->FHandle >= 0 && SameName(FullPath(stream->FFileName), full)) return stream;
  }
  return nullptr;
}

TFileStream::TFileStream(const std::string& path, unsigned mode) : FFileName(path), FMode(mode) {
  const bool write = (mode & 0x3) == fmOpenReadWrite;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (write && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    throw EFOpenError(path);
  }
  Open();
  if (FHandle < 0) throw EFOpenError(path);
  if (mode & fmShareExclusive) Holds().push_back(this);
}

void TFileStream::Open() {
  const bool write = (FMode & 0x3) == fmOpenReadWrite;
  const DWORD share = (FMode & fmShareExclusive) ? FILE_SHARE_DELETE : FILE_SHARE_READ | FILE_SHARE_WRITE;
  FHandle = FromHandle(OpenRegular(FFileName, GENERIC_READ | (write ? GENERIC_WRITE : 0), share));
}

TFileStream::~TFileStream() {
  std::erase(Holds(), this);
  if (FHandle >= 0) ::CloseHandle(ToHandle(FHandle));
}

bool FindFirst(const std::string& path, int /*attr: every kind of entry counts*/) {
  if (path.empty()) return false;
  WIN32_FIND_DATAA found{};
  const HANDLE search = ::FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    // A drive root or a path ending in a separator names a folder that the
    // search does not list; it still exists.
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  ::FindClose(search);
  return true;
}

}  // namespace platform
