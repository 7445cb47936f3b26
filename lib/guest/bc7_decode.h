// BC7 block decoding: a pure function of the block bytes.
#pragma once

#include <cstdint>

namespace mivo {

// 16 bytes in, 16 x RGBA (64 bytes) out, texel i at row i / 4, column i % 4.
// A block whose first byte is 0 (no mode) decodes to transparent black.
void DecodeBc7Block(const uint8_t* block, uint8_t* out);

}  // namespace mivo
