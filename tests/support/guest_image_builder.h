// Test support: places known guest blocks into guest memory images exactly
// where a texture's fetch constant says they lie (linear or tiled, any
// endian swap, mip regions, packed tails, cube faces, 3D slices), and
// computes the texture that reading them back must give.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "guest/formats.h"
#include "guest/guest_memory.h"
#include "support/guest_writer.h"

namespace mivo::test {

// Writes the guest bytes of one block (bytes per block of the guest format)
// as the reader hands them to conversion, i.e. after the endian swap.
using BlockPattern =
    std::function<void(uint32_t level, uint32_t layer, uint32_t x, uint32_t y, uint32_t z, uint8_t* block)>;

// A pattern of well-mixed bytes that differs in every block and byte.
BlockPattern NoisePattern(uint32_t seed);

// Places every level and layer that a read of the texture takes, into images
// of exactly the touched sizes (rounded up to 4 bytes). Throws
// std::logic_error when a block falls outside the touched size or two blocks
// share a byte: the layout itself would then be wrong.
GuestImages PlaceGuestTexture(const FetchConstant& fetch, const BlockPattern& pattern,
                              uint8_t assume_mips_in_base_tail = 0);

// One guest memory holding both images at the fetch constant's addresses.
struct GuestMemory {
  std::vector<uint8_t> bytes;
  uint32_t guest_address = 0;
  GuestMemoryView View() const { return {bytes.data(), bytes.size(), guest_address}; }
};
GuestMemory MakeGuestMemory(const FetchConstant& fetch, const GuestImages& images, uint32_t guest_address = 0);

// The texture that reading the placed blocks must give: each level and layer
// converted whole from the pattern, without going through guest memory.
HostTextureData ExpectedTexture(const FetchConstant& fetch, const BlockPattern& pattern,
                                uint8_t assume_mips_in_base_tail = 0);

}  // namespace mivo::test
