// Test support: puts guest blocks into guest memory images at the places
// where the texture reader looks for them, so tests and samples can build
// dumps from pictures, in linear and tiled layouts.
#pragma once

#include <cstdint>
#include <vector>

#include "guest/layout.h"
#include "support/dump_builder.h"

namespace mivo::test {

// The two memory images of a dump: at the base address and at the mip address.
struct GuestImages {
  std::vector<uint8_t> base;
  std::vector<uint8_t> mip;
};

// Writes level `level` of layer `layer` (a cube face, a stack layer) into
// `images`, growing them as needed. `blocks` holds the level's guest blocks in
// plain order: x fastest, then rows, then z slices. Throws std::logic_error
// for a level or layer the texture does not have or a wrong block count.
void PlaceGuestLevel(const FetchFields& fields, uint32_t level, uint32_t layer, const std::vector<uint8_t>& blocks,
                     GuestImages& images);

// Byte offset of block (x, y, z) of a level inside one of its layers: where
// the reader gathers it from, linear or tiled.
uint64_t GuestBlockOffset(const GuestLayout& layout, const GuestLevelLayout& record, uint32_t bpb, uint32_t x,
                          uint32_t y, uint32_t z);

// Applies the guest byte swap of `endian` (0 to 3) to a whole image, padding
// it with zeros to a multiple of 4 bytes first. Swapping twice restores it.
void ApplyEndianSwap(uint32_t endian, std::vector<uint8_t>& image);

}  // namespace mivo::test
