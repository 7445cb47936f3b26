// Byte offsets of blocks in the guest GPU's tiled layouts, relative to the
// start of a level's layer. Coordinates and pitches are in blocks; log2bpb
// is floor_log2 of the bytes per block. Inline: the untiler calls them once
// per block.
#pragma once

#include <cstdint>

namespace mivo {

// The hardware computes these in 32 bits; coordinates are never negative
// here, so its arithmetic shifts are plain unsigned shifts and any
// wrap-around matches the hardware's.

// 32x32-block macro tiles in row order; inside them 8x2 micro tiles, with
// bank and pipe bits interleaved from x and y.
inline uint32_t TiledAddress2D(uint32_t x, uint32_t y, uint32_t pitch, uint32_t log2bpb) {
  const uint32_t macro = (((pitch + 31) >> 5) * (y >> 5) + (x >> 5)) << (log2bpb + 7);
  const uint32_t micro = ((x & 7) + ((y & 14) << 2)) << log2bpb;
  const uint32_t offset = macro + ((micro & ~15u) << 1) + (micro & 15) + ((y & 1) << 4);
  return ((offset & 0x3F) | ((((x >> 3) + ((y >> 2) & 2)) & 3) << 6) | ((y & 16) << 7)) + ((offset & ~0x1FFu) << 3) +
         ((offset & 0x1C0) << 2);
}

// Macro tiles of 32x16 blocks by 4 slices.
inline uint32_t TiledAddress3D(uint32_t x, uint32_t y, uint32_t z, uint32_t pitch, uint32_t height, uint32_t log2bpb) {
  const uint32_t macro =
      (((x >> 5) + ((pitch + 31) >> 5) * ((((height + 31) >> 4) & ~1u) * (z >> 2) + (y >> 4))) << (log2bpb + 6)) &
      0x0FFFFFFFu;
  const uint32_t micro = (((x & 7) + ((y & 6) << 2)) << (log2bpb + 6)) >> 6;
  const uint32_t offset =
      ((y << 4) & 16) + ((z & 3) << (log2bpb + 6)) + (micro & 15) + (((micro & 0x7FFFFFF0u) + macro * 2) << 1);
  const uint32_t s = (y >> 3) + (z >> 2);
  return (offset & 0x3F) | (((((offset >> 3) & 0x38) | ((s & 1) << 6) | ((((x >> 2) & 6) + s * 4) & 6)) << 5) +
                            ((offset & ~0x1FFu) << 3));
}

}  // namespace mivo
