#include "support/guest_writer.h"

#include <algorithm>
#include <stdexcept>

#include "guest/describe.h"
#include "guest/untile.h"
#include "guest/tiling.h"

namespace mivo::test {

uint64_t GuestBlockOffset(const GuestLayout& layout, const GuestLevelLayout& record, uint32_t bpb, uint32_t x,
                          uint32_t y, uint32_t z) {
  if (!layout.tiled) return (uint64_t(z) * record.height_blocks + y) * record.row_pitch + uint64_t(x) * bpb;
  if (layout.dim != kDim3D) return TiledAddress2D(x, y, record.pitch_blocks, FloorLog2(bpb));
  return TiledAddress3D(x, y, z, record.pitch_blocks, record.height_blocks, FloorLog2(bpb));
}

void PlaceGuestLevel(const FetchFields& f, uint32_t level, uint32_t layer, const std::vector<uint8_t>& blocks,
                     GuestImages& images) {
  // The reader's own layout, with mips in the base tail where the texture allows them.
  const GuestLayout layout = ComputeGuestLayout(MakeFetchConstant(f), 1);
  LevelLocation loc;
  if (!LocateLevel(layout, level, layer, loc)) throw std::logic_error("no such level or layer");
  const uint32_t bpb = GuestBytesPerBlock(GuestFormatRow(uint32_t(f.format)));
  if (blocks.size() != size_t(loc.bx) * loc.by * loc.bz * bpb) throw std::logic_error("wrong block count for the level");

  std::vector<uint8_t>& image = loc.region == GuestRegion::base ? images.base : images.mip;
  const uint8_t* src = blocks.data();
  for (uint32_t z = 0; z < loc.bz; ++z) {
    for (uint32_t y = 0; y < loc.by; ++y) {
      for (uint32_t x = 0; x < loc.bx; ++x, src += bpb) {
        const uint64_t at =
            loc.start + GuestBlockOffset(layout, *loc.record, bpb, x + loc.tail.x, y + loc.tail.y, z + loc.tail.z);
        if (image.size() < at + bpb) image.resize(size_t(at + bpb), 0);
        std::copy(src, src + bpb, image.begin() + std::ptrdiff_t(at));
      }
    }
  }
}

void ApplyEndianSwap(uint32_t endian, std::vector<uint8_t>& image) {
  image.resize((image.size() + 3) & ~size_t(3), 0);
  CopySwapped(endian, image.data(), image.data(), image.size());
}

}  // namespace mivo::test
