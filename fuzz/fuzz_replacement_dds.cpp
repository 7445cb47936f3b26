// Arbitrary bytes as a replacement DDS file. The first byte picks the
// original's format among the ten pack formats; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_replacement_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  mivo::fuzz::LoadAndCheck(mivo::fuzz::PackFormatFromByte(data[0]), std::vector<uint8_t>(data + 1, data + size), false);
  return 0;
}
