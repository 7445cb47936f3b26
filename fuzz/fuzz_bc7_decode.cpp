// Arbitrary bytes as BC7 blocks, 16 at a time (a short tail padded with
// zeros). Decoding is a pure function of the block: the same bytes twice
// give the same texels, the reserved mode gives transparent black and the
// modes without alpha bits give opaque texels.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "guest/bc7_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t at = 0; at < size; at += 16) {
    uint8_t block[16] = {};
    std::memcpy(block, data + at, size - at < 16 ? size - at : 16);
    uint8_t first[64], second[64];
    mivo::DecodeBc7Block(block, first);
    mivo::DecodeBc7Block(block, second);
    if (std::memcmp(first, second, 64) != 0) __builtin_trap();
    const bool reserved = block[0] == 0, opaque = !reserved && (block[0] & 0x0F) != 0;
    for (int i = 0; i < 16; ++i) {
      if (reserved && (first[4 * i] | first[4 * i + 1] | first[4 * i + 2] | first[4 * i + 3]) != 0) __builtin_trap();
      if (opaque && first[4 * i + 3] != 255) __builtin_trap();
    }
  }
  return 0;
}
