// The sample dumps of samples/: recognisable pictures encoded into guest
// formats and laid out in guest memory. One table row per sample, so new
// formats and layouts are one line each; tests check samples/ against it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "guest/formats.h"
#include "support/dump_builder.h"

namespace mivo::test {

enum class Picture { gradient, checkerboard, shapes, shapes_with_alpha, dots };

// What the mip levels hold: the picture box-filtered level by level, one flat
// colour (the base picture's average), or noise. The last two show what the
// mip tail check finds in a tail that is not a real mip chain.
enum class MipFill { box, flat, noise };

struct SampleSpec {
  const char* name;  // bf_ + 8 + _ + 8 upper-case hex digits, so a pack template can be built from it
  GuestFormat format;
  uint32_t dimension;
  uint32_t width, height, depth;  // depth: slices of a 3D texture, else 1
  uint32_t max_level;             // highest stored mip level
  bool mip_region;                // levels above 0 at a mip address; else packed into the base level's tail
  bool packed;
  Picture picture;
  uint32_t swizzle[4];
  uint32_t version;  // 1: a high base address whose image the dump carries one page late
  bool tiled;
  uint32_t endian;
  MipFill mips = MipFill::box;
};

// Every sample, in file-name order.
std::span<const SampleSpec> SampleTable();

// The fetch constant fields of the sample at `index` (before any version-1 bits).
FetchFields SampleFields(uint32_t index);

// The MVTX bytes of the sample at `index` of the table.
std::vector<uint8_t> MakeSampleDump(uint32_t index);

}  // namespace mivo::test
