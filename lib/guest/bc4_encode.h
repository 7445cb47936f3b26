// Encoder for BC4 blocks, one channel, unsigned or signed: BC4 itself, each
// half of BC5, and BC3's alpha. Both palette forms (eight interpolated
// values, or six plus the two extremes) are searched; decisions use integer
// squared error against the palette as our decoder builds it.
#pragma once

#include <cstdint>

#include "mivo/encode.h"

namespace mivo {

// 16 channel values read from `texels` every `stride` bytes (unsigned bytes,
// or two's-complement bytes when `is_signed`, -128 read as -127) in, 8 block
// bytes out.
void EncodeBc4Channel(const uint8_t* texels, uint32_t stride, bool is_signed, EncodeQuality quality, uint8_t* out);

// The plain bounding-box encoding: the largest and smallest value as the
// endpoints of the eight-value form (one value: both endpoints on it), each
// texel on its nearest value. EncodeBc4Channel weighs it at every quality.
void EncodeBc4ChannelBoundingBox(const uint8_t* texels, uint32_t stride, bool is_signed, uint8_t* out);

// The EncodeBlockFunctions of BC4_UNORM, BC4_SNORM, BC5_UNORM and BC5_SNORM.
void EncodeBc4Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);
void EncodeBc4SnormBlock(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);
void EncodeBc5Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);
void EncodeBc5SnormBlock(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

}  // namespace mivo
