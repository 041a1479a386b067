#include "SysUtils.h"

#include <cerrno>

#include "Exceptions.h"

namespace platform {

std::string Format(const std::string& fmt, const std::string& arg) {
  std::string out;
  out.reserve(fmt.size() + arg.size());
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] == '%' && i + 1 < fmt.size() && fmt[i + 1] == 's') {
      out += arg;
      ++i;
    } else {
      out += fmt[i];
    }
  }
  return out;
}

std::string ErrorBoxText(const std::string& message) {
  if (message.empty() || static_cast<unsigned char>(message.back()) <= '.') return message;
  return message + ".";
}

namespace {

size_t LastDelimiter(std::string_view path) { return path.find_last_of("/\\:"); }

}  // namespace

std::string ExtractFileName(std::string_view path) {
  const size_t delim = LastDelimiter(path);
  return std::string(delim == std::string_view::npos ? path : path.substr(delim + 1));
}

std::string ExtractFilePath(std::string_view path) {
  const size_t delim = LastDelimiter(path);
  return delim == std::string_view::npos ? std::string() : std::string(path.substr(0, delim + 1));
}

namespace {

// Index of the "." that starts the extension, or npos.
size_t ExtensionStart(std::string_view path) {
  const size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos) return dot;
  const size_t delim = LastDelimiter(path);
  if (delim != std::string_view::npos && delim > dot) return std::string_view::npos;
  return dot;
}

}  // namespace

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const size_t dot = ExtensionStart(path);
  std::string out(dot == std::string_view::npos ? path : path.substr(0, dot));
  out += ext;
  return out;
}

std::string ExtractFileExt(std::string_view path) {
  const size_t dot = ExtensionStart(path);
  return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out;
  out.reserve(folder.size() + 1 + name.size());
  out += folder;
  out += PathDelim;
  out += name;
  return out;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace platform
