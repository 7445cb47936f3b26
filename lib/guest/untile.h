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

// UntileRows into a caller-owned buffer of row_count x bx blocks, for a level
// already located.
void GatherRows(const GuestLayout& layout, const GuestRegionSources& regions, const LevelLocation& location,
                uint32_t first_row, uint32_t row_count, uint8_t* out);

}  // namespace mivo
