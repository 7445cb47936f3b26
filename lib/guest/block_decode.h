// Decoders for single 4x4 blocks of BC1 to BC5 and the half-float helpers.
// All are pure functions of their input: no state, no allocation, no failure.
// Blocks are read little-endian; texel i of a block is row i / 4, column i % 4.
#pragma once

#include <cstdint>

namespace mivo {

// 8 bytes in, 16 x RGBA (64 bytes) out. With four_colour_only clear, a block
// whose first endpoint is not above the second has three colours and
// transparent black; BC2 and BC3 colour halves always use four colours.
void DecodeBc1Block(const uint8_t* block, bool four_colour_only, uint8_t* out);

// 16 bytes in, 16 x RGBA (64 bytes) out: explicit 4-bit alpha, then colour.
void DecodeBc2Block(const uint8_t* block, uint8_t* out);

// 16 bytes in, 16 x RGBA (64 bytes) out: interpolated alpha, then colour.
void DecodeBc3Block(const uint8_t* block, uint8_t* out);

// 8 bytes in, 16 unsigned bytes out.
void DecodeBc4Block(const uint8_t* block, uint8_t* out);

// 8 bytes in, 16 signed bytes (-127..127) out.
void DecodeBc4SnormBlock(const uint8_t* block, int8_t* out);

// 16 bytes in, 16 x (R, G) (32 bytes) out; red from bytes 0-7, green from 8-15.
void DecodeBc5Block(const uint8_t* block, uint8_t* out);
void DecodeBc5SnormBlock(const uint8_t* block, int8_t* out);

// Exact binary16 -> binary32 (subnormals normalised, NaN payload kept).
float HalfToFloat(uint16_t half);

// binary32 -> binary16, round to nearest even; every NaN becomes a quiet 0x7E00
// with its sign; magnitudes from 65520 up become infinity.
uint16_t FloatToHalf(float value);

}  // namespace mivo
