#include <windows.h>

#include <string>

#include "CodePage.h"
#include "Exceptions.h"

namespace platform {

std::optional<char32_t> CodePageChar(int codepage, unsigned char byte) {
  if (!::IsValidCodePage(static_cast<UINT>(codepage))) {
    throw EConvertError("Unknown code page " + std::to_string(codepage));
  }
  const char in[1] = {static_cast<char>(byte)};
  wchar_t out[2] = {};
  const int n = ::MultiByteToWideChar(static_cast<UINT>(codepage), MB_ERR_INVALID_CHARS, in, 1, out, 2);
  // Windows maps the bytes that a code page leaves undefined to private-use
  // characters: those are no letters either.
  if (n != 1 || (out[0] >= 0xE000 && out[0] <= 0xF8FF)) return std::nullopt;
  return static_cast<char32_t>(out[0]);
}

}  // namespace platform
