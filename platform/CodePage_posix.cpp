#include <iconv.h>

#include <cerrno>
#include <string>

#include "CodePage.h"
#include "Exceptions.h"

namespace platform {

std::optional<char32_t> CodePageChar(int codepage, unsigned char byte) {
  const std::string name = "CP" + std::to_string(codepage);
  const iconv_t conversion = ::iconv_open("UTF-32LE", name.c_str());
  if (conversion == reinterpret_cast<iconv_t>(-1)) {
    throw EConvertError("Unknown code page " + std::to_string(codepage));
  }
  char in[1] = {static_cast<char>(byte)};
  unsigned char out[8] = {};
  char* from = in;
  char* to = reinterpret_cast<char*>(out);
  size_t fromLeft = 1, toLeft = sizeof out;
  const size_t done = ::iconv(conversion, &from, &fromLeft, &to, &toLeft);
  ::iconv_close(conversion);
  // A byte without a character fails, or comes back as more than one.
  if (done == static_cast<size_t>(-1) || sizeof out - toLeft != 4) return std::nullopt;
  return char32_t(out[0]) | (char32_t(out[1]) << 8) | (char32_t(out[2]) << 16) | (char32_t(out[3]) << 24);
}

}  // namespace platform
