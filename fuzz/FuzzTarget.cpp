// libFuzzer target: see FuzzEntry.h.
#include "FuzzEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzBmpInput(data, size);
  return 0;
}
