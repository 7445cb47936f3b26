// Gathering the blocks of one level and layer of the guest region copies
// into plain row order.
#pragma once

#include <cstdint>
#include <vector>

#include "guest/guest_bytes.h"
#include "guest/layout.h"

namespace mivo {

// Guest blocks of one level and layer in plain order: x fastest, then rows,
// then z slices. Blocks whose bytes lie outside the region copy are zero.
struct LevelBlocks {
  std::vector<uint8_t> data;
  uint32_t bx = 0, by = 0, bz = 0;  // the level's size in blocks
};

// False when the level or layer cannot be located; the counts are set anyway.
bool UntileLevel(const GuestLayout& layout, const GuestRegionCopies& regions, uint32_t level, uint32_t layer,
                 LevelBlocks& out);

// The rows first_row .. first_row + row_count - 1 of UntileLevel (a row is
// one row of blocks; rows of later z slices follow those of earlier ones).
// False also when the rows run past by x bz.
bool UntileRows(const GuestLayout& layout, const GuestRegionCopies& regions, uint32_t level, uint32_t layer,
                uint32_t first_row, uint32_t row_count, LevelBlocks& out);

// One region as the gathering reads it: the region copy's bytes, or the
// guest memory's own bytes swapped as each block is taken, so that a texture
// is read without a second copy of its guest memory. Bytes from `held` up to
// `size` read as zero.
struct GuestRegionSource {
  const uint8_t* bytes = nullptr;
  uint64_t held = 0;    // a multiple of 4, at most `size`
  uint64_t size = 0;    // touched size rounded up to a multiple of 4
  uint32_t endian = 0;  // the swap of `bytes`; 0 for a region copy
};

struct GuestRegionSources {
  GuestRegionSource base;
  GuestRegionSource mip;
};

// The region at guest `address` as it lies in the view, with the checks and
// the held size of ReadGuestBytes.
bool FindGuestRegion(const GuestMemoryView& view, uint32_t address, uint64_t count, uint32_t endian,
                     GuestRegionSource& out);

// A region copy as a source (already swapped).
GuestRegionSource CopySource(const GuestRegionCopy& copy);

// UntileRows into a caller-owned buffer of row_count x bx blocks, for a level
// already located.
void GatherRows(const GuestLayout& layout, const GuestRegionSources& regions, const LevelLocation& location,
                uint32_t first_row, uint32_t row_count, uint8_t* out);

}  // namespace mivo
