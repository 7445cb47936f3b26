#include "guest/untile.h"

#include <cstring>

#include "guest/describe.h"
#include "guest/tiling.h"

namespace mivo {
namespace {

// One block from the region copy: bytes past the copy's held part read as
// zero, and a block that does not end inside the touched size is zero.
// kBpb != 0 makes the common sizes one fixed-size move.
template <uint32_t kBpb>
inline void CopyBlock(const GuestRegionCopy& src, uint64_t off, uint8_t* dst, uint32_t bpb) {
  const uint32_t n = kBpb != 0 ? kBpb : bpb;
  const uint64_t held = src.bytes.size();
  if (off + n <= held) {
    std::memcpy(dst, src.bytes.data() + off, n);
  } else if (off + n <= src.size && off < held) {
    const size_t part = size_t(held - off);
    std::memcpy(dst, src.bytes.data() + off, part);
    std::memset(dst + part, 0, n - part);
  } else {
    std::memset(dst, 0, n);
  }
}

template <uint32_t kBpb, typename Address>
inline void GatherRow(const GuestRegionCopy& src, uint64_t start, uint32_t bx, uint32_t ox, uint32_t bpb,
                      const Address& address, uint8_t* dst) {
  const uint32_t n = kBpb != 0 ? kBpb : bpb;
  for (uint32_t j = 0; j < bx; ++j) CopyBlock<kBpb>(src, start + address(j + ox), dst + uint64_t(j) * n, bpb);
}

template <uint32_t kBpb>
void GatherRowsFor(const GuestLayout& layout, const GuestRegionCopy& src, const LevelLocation& loc,
                   uint32_t first_row, uint32_t row_count, uint8_t* out) {
  const uint32_t bpb = GuestBytesPerBlock(GuestFormatRow(layout.format));
  const uint32_t log2bpb = FloorLog2(bpb);
  const GuestLevelLayout& rec = *loc.record;
  const uint64_t row_bytes = uint64_t(loc.bx) * bpb;
  for (uint32_t i = 0; i < row_count; ++i) {
    const uint32_t r = first_row + i;
    const uint32_t y = r % loc.by + loc.tail.y;
    const uint32_t z = r / loc.by + loc.tail.z;
    uint8_t* dst = out + i * row_bytes;
    if (!layout.tiled) {
      const uint64_t row_start = loc.start + (uint64_t(z) * rec.height_blocks + y) * rec.row_pitch;
      const uint64_t first = row_start + uint64_t(loc.tail.x) * bpb;
      if (first + row_bytes <= src.bytes.size()) {
        std::memcpy(dst, src.bytes.data() + first, size_t(row_bytes));  // the whole row exists
      } else {
        GatherRow<kBpb>(src, row_start, loc.bx, loc.tail.x, bpb, [&](uint32_t x) { return uint64_t(x) * bpb; }, dst);
      }
    } else if (layout.dim != kDim3D) {
      const uint32_t pitch = rec.pitch_blocks;
      GatherRow<kBpb>(src, loc.start, loc.bx, loc.tail.x, bpb,
                      [&](uint32_t x) { return uint64_t(TiledAddress2D(x, y, pitch, log2bpb)); }, dst);
    } else {
      const uint32_t pitch = rec.pitch_blocks, height = rec.height_blocks;
      GatherRow<kBpb>(src, loc.start, loc.bx, loc.tail.x, bpb,
                      [&](uint32_t x) { return uint64_t(TiledAddress3D(x, y, z, pitch, height, log2bpb)); }, dst);
    }
  }
}

}  // namespace

void GatherRows(const GuestLayout& layout, const GuestRegionCopies& regions, const LevelLocation& location,
                uint32_t first_row, uint32_t row_count, uint8_t* out) {
  const GuestRegionCopy& src = location.region == GuestRegion::base ? regions.base : regions.mip;
  switch (GuestBytesPerBlock(GuestFormatRow(layout.format))) {
    case 16: GatherRowsFor<16>(layout, src, location, first_row, row_count, out); break;
    case 8: GatherRowsFor<8>(layout, src, location, first_row, row_count, out); break;
    case 4: GatherRowsFor<4>(layout, src, location, first_row, row_count, out); break;
    default: GatherRowsFor<0>(layout, src, location, first_row, row_count, out); break;
  }
}

bool UntileRows(const GuestLayout& layout, const GuestRegionCopies& regions, uint32_t level, uint32_t layer,
                uint32_t first_row, uint32_t row_count, LevelBlocks& out) {
  LevelLocation location;
  const bool located = LocateLevel(layout, level, layer, location);
  out.bx = location.bx;
  out.by = location.by;
  out.bz = location.bz;
  out.data.clear();
  if (!located || uint64_t(first_row) + row_count > uint64_t(location.by) * location.bz) return false;
  const uint32_t bpb = GuestBytesPerBlock(GuestFormatRow(layout.format));
  out.data.resize(size_t(uint64_t(row_count) * location.bx * bpb));
  GatherRows(layout, regions, location, first_row, row_count, out.data.data());
  return true;
}

bool UntileLevel(const GuestLayout& layout, const GuestRegionCopies& regions, uint32_t level, uint32_t layer,
                 LevelBlocks& out) {
  uint32_t bx = 0, by = 0, bz = 0;
  LevelBlockCounts(layout, level, bx, by, bz);
  return UntileRows(layout, regions, level, layer, 0, by * bz, out);
}

}  // namespace mivo
