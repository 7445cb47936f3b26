// BC7 blocks decoded by Pillow, a decoder no one here wrote: the blocks go
// into a DDS file that the system's python3 opens.
#pragma once

#include <cstdint>
#include <vector>

namespace mivo::test {

// `blocks` holds blocks_wide x blocks_high BC7 blocks, row by row; `rgba`
// receives the (4 blocks_wide) x (4 blocks_high) image as Pillow decodes it.
// False when Pillow did not run (always in the Windows build, which has none).
bool DecodeBc7WithPillow(const std::vector<uint8_t>& blocks, uint32_t blocks_wide, uint32_t blocks_high,
                         std::vector<uint8_t>& rgba);

// Texel i of block b of such an image, as a pointer to its four bytes.
inline const uint8_t* ImageTexel(const std::vector<uint8_t>& rgba, uint32_t blocks_wide, uint32_t b, int i) {
  const uint32_t x = (b % blocks_wide) * 4 + uint32_t(i % 4), y = (b / blocks_wide) * 4 + uint32_t(i / 4);
  return rgba.data() + (uint64_t(y) * blocks_wide * 4 + x) * 4;
}

}  // namespace mivo::test
