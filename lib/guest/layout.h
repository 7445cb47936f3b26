// Where a texture's levels and layers lie in its base and mip regions of
// guest memory, and how many bytes of each region the texture touches.
#pragma once

#include <cstdint>

#include "guest/formats.h"

namespace mivo {

constexpr uint32_t kNotPacked = 0xFFFFFFFFu;
constexpr uint32_t kMaxLayoutLevel = 13;

// All zero until laid out. Byte sizes and offsets are 64-bit: an untrusted
// fetch constant can describe regions far beyond 4 GiB.
struct GuestLevelLayout {
  uint64_t offset = 0;         // in its region; 0 for the base level
  uint32_t row_pitch = 0;      // bytes from one row of blocks to the next
  uint32_t pitch_blocks = 0;   // row length in blocks, a multiple of 32
  uint32_t height_blocks = 0;  // rows of blocks per slice, a multiple of 32 (1 for 1D)
  uint64_t slice_size = 0;     // bytes from one layer to the next (3D: the whole volume)
  uint32_t extent_x = 0;       // blocks covered, tail offsets included
  uint32_t extent_y = 0;
  uint32_t extent_z = 0;      // z slices covered
  uint64_t extent_bytes = 0;  // from offset to the end of the last touched block, all layers
};

struct GuestLayout {
  uint8_t dim = kDim2D;
  uint8_t format = 0;
  bool tiled = false;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth = 1;
  uint32_t layers = 1;
  uint32_t last_level = 0;
  uint32_t tail_level = kNotPacked;  // first level inside the packed tail
  bool has_base = false;
  bool mips_in_base_tail = false;
  GuestLevelLayout base;
  // Index 1..13 for levels of an unpacked texture; a packed texture keeps
  // the record of its tail level (index 0 when the tail starts at level 0).
  GuestLevelLayout mips[kMaxLayoutLevel + 1];
  uint64_t base_size = 0;  // bytes of the base region touched
  uint64_t mip_size = 0;   // bytes of the mip region touched
};

struct GuestExtents {
  uint32_t base_address = 0;
  uint64_t base_size = 0;
  uint32_t mip_address = 0;
  uint64_t mip_size = 0;
};

GuestLayout ComputeGuestLayout(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail);
GuestExtents ComputeGuestExtents(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail);

// Offsets of a level inside the packed tail: x, y in blocks, z in slices.
struct TailOffset {
  uint32_t x = 0, y = 0, z = 0;
};

// True when `level` lies in the packed tail of a texture of that size.
bool PackedMipOffset(uint32_t width, uint32_t height, uint32_t depth, uint32_t format, uint32_t level,
                     TailOffset& offset);

enum class GuestRegion : uint8_t { base, mip };

struct LevelLocation {
  GuestRegion region = GuestRegion::base;
  const GuestLevelLayout* record = nullptr;  // points into the layout
  uint64_t start = 0;                        // byte start of the layer in its region
  TailOffset tail;
  uint32_t bx = 0, by = 0, bz = 0;  // the level's size in blocks
};

// False when the level or layer is outside the layout or has no region.
bool LocateLevel(const GuestLayout& layout, uint32_t level, uint32_t layer, LevelLocation& location);

// Block counts of a level: ceil(max(1, size >> level) / block size), depth in slices.
void LevelBlockCounts(const GuestLayout& layout, uint32_t level, uint32_t& bx, uint32_t& by, uint32_t& bz);

}  // namespace mivo
