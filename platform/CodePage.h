// Letters of a Windows code page, through the system's own conversion (iconv
// on POSIX, MultiByteToWideChar on Windows): no tables written by hand.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// The Unicode code point of byte in the Windows code page codepage (1251 for
// Cyrillic, 1252 for Western European, ...); no value where the code page has
// no character for the byte. Raises EConvertError for a code page that the
// system does not know.
std::optional<char32_t> CodePageChar(int codepage, unsigned char byte);

}  // namespace platform
