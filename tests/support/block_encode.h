// Simple block encoders for test data: endpoints from the block's extremes,
// each texel's index by the nearest palette entry (the palettes are those the
// decoders rebuild). Good enough for recognisable pictures, not for quality.
#pragma once

#include <cstdint>

namespace mivo::test {

// 16 RGBA texels (row by row) to an opaque four-colour BC1 block (8 bytes).
void EncodeBc1Block(const uint8_t rgba[64], uint8_t out[8]);
// 16 RGBA texels to a BC3 block (16 bytes): BC4 alpha, then BC1 colour.
void EncodeBc3Block(const uint8_t rgba[64], uint8_t out[16]);
// 16 single-channel values to an eight-value BC4 block (8 bytes).
void EncodeBc4Block(const uint8_t values[16], uint8_t out[8]);
// 16 RG texel pairs (R first) to a BC5 block (16 bytes): red block, green block.
void EncodeBc5Block(const uint8_t rg[32], uint8_t out[16]);
// 16 RG texel pairs to a CTX1 block (8 bytes): G0 R0 G1 R1, then 2-bit indices.
void EncodeCtx1Block(const uint8_t rg[32], uint8_t out[8]);

}  // namespace mivo::test
