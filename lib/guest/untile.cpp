#include "guest/untile.h"

#include <cstring>

#include "guest/byte_order.h"
#include "guest/describe.h"
#include "guest/tiling.h"

namespace mivo {
namespace {

template <uint32_t kEndian>
inline uint32_t Swap32(uint32_t v) {
  if constexpr (kEndian == 1) return ((v & 0x00FF00FFu) << 8) | ((v >> 8) & 0x00FF00FFu);
  if constexpr (kEndian == 2) return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
  if constexpr (kEndian == 3) return (v << 16) | (v >> 16);
  return v;
}

// The swaps only exchange bytes inside a 4-byte unit of the region: swapped
// byte o is unswapped byte o XOR this.
constexpr uint32_t kSwapXor[4] = {0, 1, 3, 2};

// n held bytes of the region from offset off (off + n <= held), swapped.
template <uint32_t kEndian>
inline void CopyHeld(const GuestRegionSource& src, uint64_t off, uint8_t* dst, size_t n) {
  const uint8_t* from = src.bytes;
  if constexpr (kEndian == 0) {
    std::memcpy(dst, from + off, n);
  } else {
    size_t i = 0;
    if ((off & 3) == 0) {
      for (; i + 4 <= n; i += 4) StoreNative32(dst + i, Swap32<kEndian>(LoadNative32(from + off + i)));
    }
    // A unit that lies only partly in the block (bytes per block below 4, or
    // the end of a row) is never past `held`, which whole units make up.
    for (; i < n; ++i) dst[i] = from[(off + i) ^ kSwapXor[kEndian]];
  }
}

// A block of a region made of pieces, outside the quick run: each byte from
// the piece holding its unswapped place, zero where none does.
void CopyFromPieces(const GuestRegionSource& src, uint64_t off, uint8_t* dst, size_t n, uint32_t swap_xor) {
  std::memset(dst, 0, n);
  if (off + n > src.size) return;
  // Swapping stays inside a 4-byte unit: only pieces meeting the block's units matter.
  const uint64_t lo = off & ~uint64_t(3), hi = (off + n + 3) & ~uint64_t(3);
  for (uint32_t p = 0; p < src.piece_count; ++p) {
    const GuestRegionPiece& piece = src.pieces[p];
    if (piece.offset >= hi || piece.offset + piece.size <= lo) continue;
    for (size_t i = 0; i < n; ++i) {
      const uint64_t at = ((off + i) ^ swap_xor) - piece.offset;
      if (at < piece.size) dst[i] = piece.bytes[at];
    }
  }
}

// One block from the region: bytes past its held part read as zero, and a
// block that does not end inside the touched size is zero. kBpb != 0 makes
// the common sizes one fixed-size move.
template <uint32_t kBpb, uint32_t kEndian>
inline void CopyBlock(const GuestRegionSource& src, uint64_t off, uint8_t* dst, uint32_t bpb) {
  const uint32_t n = kBpb != 0 ? kBpb : bpb;
  if (off + n <= src.held) {
    CopyHeld<kEndian>(src, off, dst, n);
  } else if (src.piece_count != 0) {
    CopyFromPieces(src, off, dst, n, kSwapXor[kEndian]);
  } else if (off + n <= src.size && off < src.held) {
    const size_t part = size_t(src.held - off);
    CopyHeld<kEndian>(src, off, dst, part);
    std::memset(dst + part, 0, n - part);
  } else {
    std::memset(dst, 0, n);
  }
}

template <uint32_t kBpb, uint32_t kEndian, typename Address>
inline void GatherRow(const GuestRegionSource& src, uint64_t start, uint32_t bx, uint32_t ox, uint32_t bpb,
                      const Address& address, uint8_t* dst) {
  const uint32_t n = kBpb != 0 ? kBpb : bpb;
  for (uint32_t j = 0; j < bx; ++j) {
    CopyBlock<kBpb, kEndian>(src, start + address(j + ox), dst + uint64_t(j) * n, bpb);
  }
}

// One row of a 2D tiled level. Runs of kRun blocks from a multiple of kRun
// across lie together in the tile (16 bytes, only 8 at one byte a block), so
// a run is one address and one move where the whole run is held.
template <uint32_t kBpb, uint32_t kEndian>
inline void GatherTiledRow2D(const GuestRegionSource& src, uint64_t start, uint32_t bx, uint32_t ox, uint32_t y,
                             uint32_t pitch, uint32_t bpb, uint32_t log2bpb, uint8_t* dst) {
  const auto address = [&](uint32_t x) { return uint64_t(TiledAddress2D(x, y, pitch, log2bpb)); };
  if constexpr (kBpb == 0 || kBpb >= 16) {
    GatherRow<kBpb, kEndian>(src, start, bx, ox, bpb, address, dst);
  } else {
    constexpr uint32_t kRun = kBpb == 1 ? 8 : 16 / kBpb;
    uint32_t j = 0;
    for (; j < bx && (j + ox) % kRun != 0; ++j)
      CopyBlock<kBpb, kEndian>(src, start + address(j + ox), dst + j * kBpb, bpb);
    for (; j + kRun <= bx; j += kRun) {
      const uint64_t off = start + address(j + ox);
      if (off + kRun * kBpb <= src.held) {
        CopyHeld<kEndian>(src, off, dst + j * kBpb, kRun * kBpb);
      } else {
        for (uint32_t k = 0; k < kRun; ++k)
          CopyBlock<kBpb, kEndian>(src, start + address(j + k + ox), dst + (j + k) * kBpb, bpb);
      }
    }
    for (; j < bx; ++j) CopyBlock<kBpb, kEndian>(src, start + address(j + ox), dst + j * kBpb, bpb);
  }
}

template <uint32_t kBpb, uint32_t kEndian>
void GatherRowsFor(const GuestLayout& layout, const GuestRegionSource& src, const LevelLocation& loc,
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
      if (first + row_bytes <= src.held) {
        CopyHeld<kEndian>(src, first, dst, size_t(row_bytes));  // the whole row exists
      } else {
        GatherRow<kBpb, kEndian>(
            src, row_start, loc.bx, loc.tail.x, bpb, [&](uint32_t x) { return uint64_t(x) * bpb; }, dst);
      }
    } else if (layout.dim != kDim3D) {
      GatherTiledRow2D<kBpb, kEndian>(src, loc.start, loc.bx, loc.tail.x, y, rec.pitch_blocks, bpb, log2bpb, dst);
    } else {
      const uint32_t pitch = rec.pitch_blocks, height = rec.height_blocks;
      GatherRow<kBpb, kEndian>(
          src, loc.start, loc.bx, loc.tail.x, bpb,
          [&](uint32_t x) { return uint64_t(TiledAddress3D(x, y, z, pitch, height, log2bpb)); }, dst);
    }
  }
}

template <uint32_t kBpb>
void GatherRowsSwapped(const GuestLayout& layout, const GuestRegionSource& src, const LevelLocation& loc,
                       uint32_t first_row, uint32_t row_count, uint8_t* out) {
  switch (src.endian & 3u) {
    case 0: GatherRowsFor<kBpb, 0>(layout, src, loc, first_row, row_count, out); break;
    case 1: GatherRowsFor<kBpb, 1>(layout, src, loc, first_row, row_count, out); break;
    case 2: GatherRowsFor<kBpb, 2>(layout, src, loc, first_row, row_count, out); break;
    default: GatherRowsFor<kBpb, 3>(layout, src, loc, first_row, row_count, out); break;
  }
}

}  // namespace

void GatherRows(const GuestLayout& layout, const GuestRegionSources& regions, const LevelLocation& location,
                uint32_t first_row, uint32_t row_count, uint8_t* out) {
  const GuestRegionSource& src = location.region == GuestRegion::base ? regions.base : regions.mip;
  switch (GuestBytesPerBlock(GuestFormatRow(layout.format))) {
    case 16: GatherRowsSwapped<16>(layout, src, location, first_row, row_count, out); break;
    case 8: GatherRowsSwapped<8>(layout, src, location, first_row, row_count, out); break;
    case 4: GatherRowsSwapped<4>(layout, src, location, first_row, row_count, out); break;
    // One- and two-byte texels are common too; a call per block costs more than the block.
    case 2: GatherRowsSwapped<2>(layout, src, location, first_row, row_count, out); break;
    case 1: GatherRowsSwapped<1>(layout, src, location, first_row, row_count, out); break;
    default: GatherRowsSwapped<0>(layout, src, location, first_row, row_count, out); break;
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
  GatherRows(layout, {CopySource(regions.base), CopySource(regions.mip)}, location, first_row, row_count,
             out.data.data());
  return true;
}

bool UntileLevel(const GuestLayout& layout, const GuestRegionCopies& regions, uint32_t level, uint32_t layer,
                 LevelBlocks& out) {
  uint32_t bx = 0, by = 0, bz = 0;
  LevelBlockCounts(layout, level, bx, by, bz);
  return UntileRows(layout, regions, level, layer, 0, by * bz, out);
}

}  // namespace mivo
