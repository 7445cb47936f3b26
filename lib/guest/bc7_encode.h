// BC7 encoding of one 4x4 block. Every decision compares integer squared
// errors of the texels as the format decodes them, so the bytes are the
// same on every platform.
#pragma once

#include <cstdint>

#include "mivo/encode.h"

namespace mivo {

// 16 RGBA texels (64 bytes, row by row) in, one 16-byte block out. What the
// quality searches:
//   fast   - mode 6, and mode 1 in the best-estimated partition;
//   normal - every mode: the best few partitions of the subset modes by a
//            cheap estimate, rotations and index selection of modes 4/5
//            for blocks whose alpha varies;
//   slow   - more partitions, every rotation, more refinement passes.
// Solid blocks are exact (mode 5).
void EncodeBc7Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

// The same, returning the squared error the encoder measured for the block
// it wrote: the sum over texels and channels of (decoded - input)^2; with
// bc7_alpha_weighted the red, green and blue terms are multiplied by
// (alpha + 1) and the alpha term by 256.
uint64_t EncodeBc7BlockMeasured(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

// Mode 6 with the block's per-channel minimum and maximum as endpoints:
// the plain encoding that every setting must match or beat. Returns its
// error as above.
uint64_t EncodeBc7Mode6Plain(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

// The error of `decoded` against `texels` as EncodeBc7BlockMeasured counts it.
uint64_t Bc7BlockError(const uint8_t* texels, const uint8_t* decoded, bool alpha_weighted);

}  // namespace mivo
