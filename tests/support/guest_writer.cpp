#include "support/guest_writer.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "guest/describe.h"

namespace mivo::test {
namespace {

constexpr uint32_t kNoTail = 0xFFFFFFFFu;

uint32_t Align(uint32_t x, uint32_t n) { return (x + n - 1) / n * n; }
uint32_t CeilDiv(uint32_t a, uint32_t b) { return (a + b - 1) / b; }

struct TextureShape {
  uint32_t width, height, depth, layers;
  uint32_t bw, bh, bpb;
  uint32_t tail_level;  // kNoTail when the texture is not packed
  bool mips_in_base_tail;
};

TextureShape ShapeOf(const FetchFields& f) {
  const FetchConstant fetch = MakeFetchConstant(f);
  const LevelRange range = ComputeLevelRange(fetch, 1);
  const GuestFormatInfo& g = GuestFormatRow(uint32_t(f.format));
  TextureShape s;
  s.width = range.width;
  s.height = range.height;
  s.depth = f.dimension == kDim3D ? range.depth_or_layers : 1;
  s.layers = f.dimension == kDim3D ? 1 : range.depth_or_layers;
  s.bw = g.block_width;
  s.bh = g.block_height;
  s.bpb = GuestBytesPerBlock(g);
  s.tail_level = f.packed ? PackedTailLevel(s.width, s.height) : kNoTail;
  s.mips_in_base_tail = range.mips_in_base_tail && CeilLog2(std::min(s.width, s.height)) < 5;
  return s;
}

// Row pitch, rows of blocks per slice and bytes per layer of one level record.
struct RecordPitch {
  uint32_t row_pitch, height_blocks, slice_size;
};

RecordPitch PitchOf(const FetchFields& f, const TextureShape& s, bool base_record, uint32_t k) {
  const uint32_t pw = s.width < 2 ? 1 : 1u << CeilLog2(s.width);
  const uint32_t ph = s.height < 2 ? 1 : 1u << CeilLog2(s.height);
  const uint32_t row_texels = base_record ? f.pitch * 32 : std::max(1u, pw >> k);
  const uint32_t column_texels = base_record ? s.height : std::max(1u, ph >> k);
  RecordPitch p;
  const uint32_t pitch_blocks = Align(CeilDiv(row_texels, s.bw), 32);
  p.row_pitch = pitch_blocks * s.bpb;
  // Linear mip rows are padded to 256 bytes; base rows never are.
  if (!base_record) p.row_pitch = Align(p.row_pitch, 256);
  p.height_blocks = f.dimension == kDim1D ? 1 : Align(CeilDiv(column_texels, s.bh), 32);
  uint32_t slice = p.row_pitch * p.height_blocks;
  if (f.dimension == kDim3D) slice *= Align(s.depth, 4);
  p.slice_size = Align(slice, 4096);
  return p;
}

// Where level m sits inside the packed tail, in blocks and slices.
void TailOffset(const TextureShape& s, uint32_t m, uint32_t& ox, uint32_t& oy, uint32_t& oz) {
  ox = oy = oz = 0;
  const uint32_t lw = CeilLog2(s.width), lh = CeilLog2(s.height), smaller = std::min(lw, lh);
  if (smaller > m + 4) return;
  const uint32_t t = smaller > 4 ? smaller - 4 : 0;
  const uint32_t p = m - t;
  uint32_t x = 0, y = 0;
  if (p <= 2) {
    (lh < lw ? y : x) = 16u >> p;
  } else {
    const uint32_t q = p - 2;
    (lh < lw ? x : y) = (1u << ((lh < lw ? lw : lh) - t)) >> q;
    const uint32_t offset = std::max(x, y);
    const uint32_t ld = CeilLog2(s.depth);
    if (offset < 4) oz = ld > p + 1 ? (ld - p) * 4 : 4;
  }
  ox = x / s.bw;
  oy = y / s.bh;
}

void Swap(std::vector<uint8_t>& image, size_t i, size_t j) { std::swap(image[i], image[j]); }

}  // namespace

void PlaceGuestLevel(const FetchFields& f, uint32_t level, uint32_t layer, const std::vector<uint8_t>& blocks,
                     GuestImages& images) {
  if (f.tiled) throw std::logic_error("tiled layouts are not written yet");
  const TextureShape s = ShapeOf(f);
  if (layer >= s.layers) throw std::logic_error("no such layer");
  const uint32_t bx = CeilDiv(std::max(1u, s.width >> level), s.bw);
  const uint32_t by = CeilDiv(std::max(1u, s.height >> level), s.bh);
  const uint32_t bz = std::max(1u, s.depth >> level);
  if (blocks.size() != size_t(bx) * by * bz * s.bpb) throw std::logic_error("wrong block count for the level");

  const bool in_base = level == 0 || s.mips_in_base_tail;
  uint64_t start = 0;
  RecordPitch pitch;
  if (in_base) {
    pitch = PitchOf(f, s, true, 0);
  } else {
    if (f.mip_address == 0) throw std::logic_error("the texture has no mip region");
    // Mip records are laid out one after another; a tail level shares its record.
    const uint32_t record = s.tail_level == 0 ? 1 : std::min(s.tail_level, level);
    for (uint32_t i = 1; i < record; ++i) start += uint64_t(s.layers) * PitchOf(f, s, false, i).slice_size;
    pitch = PitchOf(f, s, false, s.tail_level == 0 ? 0 : record);
  }
  start += uint64_t(layer) * pitch.slice_size;
  uint32_t ox = 0, oy = 0, oz = 0;
  if (s.tail_level <= level) TailOffset(s, level, ox, oy, oz);

  std::vector<uint8_t>& image = in_base ? images.base : images.mip;
  const uint8_t* src = blocks.data();
  for (uint32_t z = 0; z < bz; ++z) {
    for (uint32_t y = 0; y < by; ++y, src += size_t(bx) * s.bpb) {
      const uint64_t row = start + (uint64_t(z + oz) * pitch.height_blocks + y + oy) * pitch.row_pitch + uint64_t(ox) * s.bpb;
      const uint64_t end = row + uint64_t(bx) * s.bpb;
      if (image.size() < end) image.resize(size_t(end), 0);
      std::copy(src, src + size_t(bx) * s.bpb, image.begin() + std::ptrdiff_t(row));
    }
  }
}

void ApplyEndianSwap(uint32_t endian, std::vector<uint8_t>& image) {
  image.resize(Align(uint32_t(image.size()), 4), 0);
  for (size_t i = 0; i < image.size(); i += 4) {
    switch (endian & 3u) {
      case 1: Swap(image, i, i + 1); Swap(image, i + 2, i + 3); break;
      case 2: Swap(image, i, i + 3); Swap(image, i + 1, i + 2); break;
      case 3: Swap(image, i, i + 2); Swap(image, i + 1, i + 3); break;
      default: break;
    }
  }
}

}  // namespace mivo::test
