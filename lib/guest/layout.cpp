#include "guest/layout.h"

#include <algorithm>

#include "guest/describe.h"

namespace mivo {
namespace {

uint64_t AlignUp(uint64_t x, uint64_t n) { return (x + n - 1) / n * n; }
uint32_t CeilDiv(uint32_t a, uint32_t b) { return (a + b - 1) / b; }
uint32_t ShiftedSize(uint32_t size, uint32_t level) { return level >= 32 ? 1 : std::max(1u, size >> level); }

struct FormatBlock {
  uint32_t bw, bh, bpb, log2bpb;
};

FormatBlock BlockOf(uint32_t format) {
  const GuestFormatInfo& g = GuestFormatRow(format);
  const uint32_t bpb = GuestBytesPerBlock(g);
  return {g.block_width, g.block_height, bpb, FloorLog2(bpb)};
}

// End of the touched bytes inside one layer of a tiled 2D level: the start
// of the macro tile holding the last block, plus a whole tile's worth.
uint64_t TiledEnd2D(uint64_t x, uint64_t y, uint64_t p, uint32_t log2bpb) {
  if (x == 0 || y == 0) return 0;
  const uint64_t a = (((p + 31) >> 5) * ((y - 1) >> 5) + ((x - 1) >> 5)) << (log2bpb + 7);
  uint64_t e = (a & 0x3F) + (a & ~uint64_t(0x1FF)) * 8 + (a & 0x1C0) * 4;
  if (log2bpb == 0) {
    e += 2560;
  } else if (log2bpb == 1) {
    e += 3072;
  } else {
    e += uint64_t(1024) << log2bpb;
  }
  return e;
}

uint64_t TiledEnd3D(uint64_t x, uint64_t y, uint64_t z, uint64_t p, uint32_t log2bpb) {
  if (x == 0 || y == 0 || z == 0) return 0;
  const uint64_t tiles_per_row = (p + 31) >> 5;
  const uint64_t g = (((x - 1) >> 5) + tiles_per_row * ((((y + 31) >> 5) * 2) * ((z - 1) >> 2) + ((y - 1) >> 5) * 2))
                     << (log2bpb + 6);
  const uint64_t h = log2bpb != 0 ? ((tiles_per_row << 11) + 2048) << log2bpb
                                  : (((p + 31) >> 6) << 12) + (((p + 31) & 32) << 5) + 3072;
  const uint64_t odd_group = (((z - 1) >> 2) & 1) != 0 ? 0x880 : 0;
  return (((g << 2) & 0x3C) | ((g & 0x70) << 4) | ((g & ~uint64_t(0x7F)) << 5) | odd_group) + h;
}

// Lays out level i as record `rec`; `k` is its record index (0 for every
// level of a texture whose tail starts at level 0).
void LayOutLevel(GuestLayout& layout, const FormatBlock& fb, uint32_t pitch_texels, uint32_t pw, uint32_t ph,
                 uint32_t i, uint32_t k, GuestLevelLayout& rec) {
  const bool is_1d = layout.dim == kDim1D;
  const uint32_t row_texels = i == 0 ? pitch_texels : std::max(1u, pw >> k);
  const uint32_t column_texels = i == 0 ? layout.height : std::max(1u, ph >> k);

  rec.pitch_blocks = uint32_t(AlignUp(CeilDiv(row_texels, fb.bw), 32));
  uint64_t row_pitch = uint64_t(rec.pitch_blocks) * fb.bpb;
  // Linear mip rows start on 256-byte boundaries; base levels and tiled
  // textures keep the exact product.
  if (i >= 1 && !layout.tiled) row_pitch = AlignUp(row_pitch, 256);
  rec.row_pitch = uint32_t(row_pitch);

  uint64_t slice = 0;
  uint64_t volume = 0;
  if (is_1d) {
    rec.height_blocks = 1;
    slice = row_pitch;
    volume = slice;
  } else {
    rec.height_blocks = uint32_t(AlignUp(CeilDiv(column_texels, fb.bh), 32));
    slice = row_pitch * rec.height_blocks;
    volume = layout.dim == kDim3D ? AlignUp(layout.depth, 4) * slice : slice;
  }
  rec.slice_size = AlignUp(volume, 4096);

  if (k != layout.tail_level) {
    rec.extent_x = CeilDiv(ShiftedSize(layout.width, k), fb.bw);
    rec.extent_y = CeilDiv(ShiftedSize(layout.height, k), fb.bh);
    rec.extent_z = ShiftedSize(layout.depth, k);
  } else {
    // The packed tail: one record covers every level stored in it.
    const uint32_t last = (i == 0 && !layout.mips_in_base_tail) ? 0 : layout.last_level;
    for (uint32_t m = k; m <= last; ++m) {
      TailOffset off;
      PackedMipOffset(layout.width, layout.height, layout.depth, layout.format, m, off);
      rec.extent_x = std::max(rec.extent_x, CeilDiv(ShiftedSize(layout.width, m), fb.bw) + off.x);
      rec.extent_y = std::max(rec.extent_y, CeilDiv(ShiftedSize(layout.height, m), fb.bh) + off.y);
      rec.extent_z = std::max(rec.extent_z, ShiftedSize(layout.depth, m) + off.z);
    }
  }

  const uint64_t x = rec.extent_x, y = rec.extent_y, z = rec.extent_z;
  uint64_t end = 0;
  if (!layout.tiled) {
    end = x * fb.bpb + (z - 1) * slice + (y - 1) * row_pitch;
  } else if (layout.dim != kDim3D) {
    end = TiledEnd2D(x, y, rec.pitch_blocks, fb.log2bpb);
  } else {
    end = TiledEnd3D(x, y, z, rec.pitch_blocks, fb.log2bpb);
  }
  rec.extent_bytes = uint64_t(layout.layers - 1) * rec.slice_size + end;
}

}  // namespace

GuestLayout ComputeGuestLayout(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail) {
  const LevelRange range = ComputeLevelRange(fetch, assume_mips_in_base_tail);
  GuestLayout layout;
  layout.dim = uint8_t(FetchDimension(fetch));
  layout.format = uint8_t(FetchFormat(fetch));
  layout.tiled = FetchTiled(fetch);
  layout.has_base = range.base_address != 0;
  layout.width = range.width;
  layout.height = layout.dim == kDim1D ? 1 : range.height;
  layout.depth = layout.dim == kDim3D ? range.depth_or_layers : 1;
  layout.layers = layout.dim == kDim3D ? 1 : range.depth_or_layers;
  if (layout.width == 0 || layout.height == 0 || layout.depth == 0 || layout.layers == 0) return layout;

  const uint32_t l = FloorLog2(std::max({layout.width, layout.height, layout.depth}));
  layout.last_level = std::min({l, range.max_level, kMaxLayoutLevel});
  const bool has_mips = std::min(l, range.max_level) != 0;

  if (FetchPacked(fetch)) {
    const uint32_t c = CeilLog2(std::min(layout.width, layout.height));
    layout.tail_level = c >= 4 ? c - 4 : 0;
    layout.mips_in_base_tail = has_mips && c < 5 && range.mips_in_base_tail && layout.has_base;
  }

  uint32_t last_laid_out = 0;
  if (layout.mips_in_base_tail) {
    last_laid_out = 0;
  } else if (layout.tail_level == 0) {
    last_laid_out = has_mips ? 1 : 0;
  } else {
    last_laid_out = std::min(layout.tail_level, layout.last_level);
  }
  const uint32_t first_laid_out = layout.has_base ? 0 : 1;
  if (last_laid_out < first_laid_out) return layout;

  const uint32_t pw = layout.width < 2 ? 1 : 1u << CeilLog2(layout.width);
  const uint32_t ph = layout.height < 2 ? 1 : 1u << CeilLog2(layout.height);
  const FormatBlock fb = BlockOf(layout.format);
  const uint32_t pitch_texels = FetchPitch(fetch) * 32;

  uint64_t running = 0;
  for (uint32_t i = first_laid_out; i <= last_laid_out; ++i) {
    const uint32_t k = layout.tail_level != 0 ? i : 0;
    GuestLevelLayout& rec = i == 0 ? layout.base : layout.mips[k];
    LayOutLevel(layout, fb, pitch_texels, pw, ph, i, k, rec);
    if (i == 0) {
      layout.base_size = rec.extent_bytes;
    } else {
      rec.offset = running;
      layout.mip_size = std::max(layout.mip_size, rec.offset + rec.extent_bytes);
      running += uint64_t(layout.layers) * rec.slice_size;
    }
  }
  return layout;
}

GuestExtents ComputeGuestExtents(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail) {
  const LevelRange range = ComputeLevelRange(fetch, assume_mips_in_base_tail);
  const GuestLayout layout = ComputeGuestLayout(fetch, assume_mips_in_base_tail);
  GuestExtents extents;
  if (range.base_address != 0 && layout.has_base) {
    extents.base_address = range.base_address;
    extents.base_size = layout.base_size;
  }
  if (range.mip_address != 0 && range.max_level != 0) {
    extents.mip_address = range.mip_address;
    extents.mip_size = layout.mip_size;
  }
  return extents;
}

bool PackedMipOffset(uint32_t width, uint32_t height, uint32_t depth, uint32_t format, uint32_t level,
                     TailOffset& offset) {
  offset = {};
  const uint32_t lw = CeilLog2(width), lh = CeilLog2(height);
  const uint32_t s = std::min(lw, lh);
  if (s > level + 4) return false;
  const uint32_t t = s > 4 ? s - 4 : 0;
  const uint32_t p = level - t;  // the level's place in the tail, 0 first

  uint32_t x = 0, y = 0;
  if (p <= 2) {
    (lh < lw ? y : x) = 16u >> p;
  } else {
    const uint32_t q = p - 2;
    uint32_t& along = lh < lw ? x : y;
    along = (1u << ((lh < lw ? lw : lh) - t)) >> std::min(q, 31u);
    // The smallest levels step into further z slices of the tail tile.
    if (along < 4) {
      const uint32_t ld = CeilLog2(depth);
      offset.z = ld > p + 1 ? (ld - p) * 4 : 4;
    }
  }
  const GuestFormatInfo& g = GuestFormatRow(format);
  offset.x = x / g.block_width;
  offset.y = y / g.block_height;
  return true;
}

void LevelBlockCounts(const GuestLayout& layout, uint32_t level, uint32_t& bx, uint32_t& by, uint32_t& bz) {
  const GuestFormatInfo& g = GuestFormatRow(layout.format);
  bx = CeilDiv(ShiftedSize(layout.width, level), g.block_width);
  by = CeilDiv(ShiftedSize(layout.height, level), g.block_height);
  bz = ShiftedSize(layout.depth, level);
}

bool LocateLevel(const GuestLayout& layout, uint32_t level, uint32_t layer, LevelLocation& location) {
  location = {};
  LevelBlockCounts(layout, level, location.bx, location.by, location.bz);
  if (level > layout.last_level || layer >= layout.layers) return false;
  if (level != 0 && !layout.mips_in_base_tail) {
    location.region = GuestRegion::mip;
    location.record = &layout.mips[layout.tail_level != 0 ? std::min(layout.tail_level, level) : 0];
  } else {
    if (!layout.has_base) return false;
    location.region = GuestRegion::base;
    location.record = &layout.base;
  }
  if (layout.tail_level <= level) {
    PackedMipOffset(layout.width, layout.height, layout.depth, layout.format, level, location.tail);
  }
  location.start = uint64_t(layer) * location.record->slice_size + location.record->offset;
  return true;
}

}  // namespace mivo
