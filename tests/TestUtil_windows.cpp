// The Windows side of the test helpers.
#include <windows.h>

#include <algorithm>
#include <filesystem>

#include "TestUtil.h"

namespace testutil {

namespace {

HANDLE OpenAny(const std::string& path, DWORD access) {
  return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// One argument of a command line, quoted as the C runtime splits it again.
std::string Quoted(const std::string& arg) {
  std::string q = "\"";
  size_t slashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    q.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    q += c;
  }
  q.append(2 * slashes, '\\');
  return q + "\"";
}

}  // namespace

std::pair<uint64_t, int64_t> FileIdentity(const std::string& path) {
  const HANDLE file = OpenAny(path, 0);
  if (file == INVALID_HANDLE_VALUE) return {0, 0};
  BY_HANDLE_FILE_INFORMATION info{};
  ::GetFileInformationByHandle(file, &info);
  ::CloseHandle(file);
  return {(uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
          int64_t((uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime)};
}

void MakeOld(const std::string& path) {
  const HANDLE file = OpenAny(path, FILE_WRITE_ATTRIBUTES);
  if (file == INVALID_HANDLE_VALUE) return;
  FILETIME old{};
  old.dwHighDateTime = 0x01C00000;  // in 2001
  ::SetFileTime(file, &old, &old, &old);
  ::CloseHandle(file);
}

void SetReadOnly(const std::string& path, bool readOnly) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  ::SetFileAttributesA(path.c_str(), readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                                              : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

std::vector<std::string> ListFolder(const std::string& path) {
  // The names as the 8-bit calls give them, in the system code page.
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  const HANDLE search = ::FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

TProgramResult RunProgram(const std::vector<std::string>& args, const std::string& dir) {
  const std::string outPath = dir + "\\.stdout", errPath = dir + "\\.stderr";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE out = ::CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  const HANDLE err = ::CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  std::string commandLine;
  for (const std::string& a : args) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += Quoted(a);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  TProgramResult r;
  if (::CreateProcessA(args[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(),
                       &startup, &process)) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    r.exit = int(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(out);
  ::CloseHandle(err);
  // The program writes text with CR LF line ends, as Windows programs do; the
  // tests read it as text.
  auto text = [](std::string bytes) {
    std::string lines;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) lines += bytes[i];
    }
    return lines;
  };
  r.out = text(ReadFile(outPath));
  r.err = text(ReadFile(errPath));
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return r;
}

}  // namespace testutil
