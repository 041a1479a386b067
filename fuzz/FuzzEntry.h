// The fuzzing entry point, shared by the libFuzzer target and the test that
// replays the kept corpus: arbitrary bytes go to the BMP reader and, as a glyph
// strip, through a whole conversion in a temporary folder. Any error of the
// class library is a fine outcome; a crash or a sanitizer report is not.
#pragma once

#include <cstddef>
#include <cstdint>

void FuzzBmpInput(const uint8_t* data, size_t size);
