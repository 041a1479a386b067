#include <iconv.h>

#include <array>
#include <map>
#include <string>

#include "CodePage.h"
#include "Exceptions.h"

namespace platform {

namespace {

// The letters of all 256 bytes of a code page (0 for none), converted once:
// a batch asks for the same 64 bytes of every font.
using TLetters = std::array<char32_t, 256>;

TLetters ConvertCodePage(int codepage) {
  const std::string name = "CP" + std::to_string(codepage);
  const iconv_t conversion = ::iconv_open("UTF-32LE", name.c_str());
  if (conversion == reinterpret_cast<iconv_t>(-1)) {
    throw EConvertError("Unknown code page " + std::to_string(codepage));
  }
  TLetters letters{};
  for (int byte = 0; byte < 256; ++byte) {
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[8] = {};
    char* from = in;
    char* to = reinterpret_cast<char*>(out);
    size_t fromLeft = 1, toLeft = sizeof out;
    const size_t done = ::iconv(conversion, &from, &fromLeft, &to, &toLeft);
    ::iconv(conversion, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    // A byte without a character fails, or comes back as more than one.
    if (done == static_cast<size_t>(-1) || sizeof out - toLeft != 4) continue;
    letters[byte] = char32_t(out[0]) | (char32_t(out[1]) << 8) | (char32_t(out[2]) << 16) | (char32_t(out[3]) << 24);
  }
  ::iconv_close(conversion);
  return letters;
}

}  // namespace

std::optional<char32_t> CodePageChar(int codepage, unsigned char byte) {
  static std::map<int, TLetters> converted;
  auto it = converted.find(codepage);
  if (it == converted.end()) it = converted.emplace(codepage, ConvertCodePage(codepage)).first;
  const char32_t letter = it->second[byte];
  // Byte 0 is the one byte whose letter is 0 itself.
  if (letter == 0 && byte != 0) return std::nullopt;
  return letter;
}

}  // namespace platform
