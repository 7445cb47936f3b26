#include "guest/expand.h"

#include <algorithm>
#include <cstring>

#include "guest/bc7_decode.h"
#include "guest/block_decode.h"
#include "guest/expand_fast.h"
#include "guest/expand_values.h"

namespace mivo {
namespace {

using namespace expand;

constexpr uint64_t kMaxTexels = uint64_t(1) << 28;
// Below this many output bytes a pool job costs more than it saves.
constexpr uint64_t kPoolMinBytes = uint64_t(1) << 20;

struct Texel {
  float c[4];
};

// Sets the first `Channels` channels of each texel in a row from consecutive
// elements of `ElementBytes` bytes each.
template <int Channels, int ElementBytes, float (*Read)(uint32_t)>
void UnpackChannels(const uint8_t* row, uint32_t width, Texel* out) {
  for (uint32_t x = 0; x < width; ++x, row += Channels * ElementBytes) {
    for (int c = 0; c < Channels; ++c) {
      const uint8_t* p = row + c * ElementBytes;
      const uint32_t v = ElementBytes == 1 ? p[0] : ElementBytes == 2 ? LoadLe16(p) : LoadLe32(p);
      out[x].c[c] = Read(v);
    }
  }
}

template <void (*Set)(uint32_t, Texel&), int ElementBytes>
void UnpackPacked(const uint8_t* row, uint32_t width, Texel* out) {
  for (uint32_t x = 0; x < width; ++x, row += ElementBytes)
    Set(ElementBytes == 2 ? LoadLe16(row) : LoadLe32(row), out[x]);
}

void SetBgra4(uint32_t v, Texel& t) {
  t.c[0] = Bits(v, 8, 4) / 15.0f;
  t.c[1] = Bits(v, 4, 4) / 15.0f;
  t.c[2] = Bits(v, 0, 4) / 15.0f;
  t.c[3] = Bits(v, 12, 4) / 15.0f;
}

void SetB5G6R5(uint32_t v, Texel& t) {
  t.c[0] = Bits(v, 11, 5) / 31.0f;
  t.c[1] = Bits(v, 5, 6) / 63.0f;
  t.c[2] = Bits(v, 0, 5) / 31.0f;
}

void SetB5G5R5A1(uint32_t v, Texel& t) {
  t.c[0] = Bits(v, 10, 5) / 31.0f;
  t.c[1] = Bits(v, 5, 5) / 31.0f;
  t.c[2] = Bits(v, 0, 5) / 31.0f;
  t.c[3] = Bits(v, 15, 1);
}

void SetR10G10B10A2(uint32_t v, Texel& t) {
  t.c[0] = Bits(v, 0, 10) / 1023.0f;
  t.c[1] = Bits(v, 10, 10) / 1023.0f;
  t.c[2] = Bits(v, 20, 10) / 1023.0f;
  t.c[3] = Bits(v, 30, 2) / 3.0f;
}

inline float Half(uint32_t v) { return HalfToFloat(uint16_t(v)); }

// Stage 1 for one row of a plain format.
void UnpackPlainRow(HostFormat format, const uint8_t* row, uint32_t width, Texel* out) {
  switch (format) {
    case HostFormat::R8_UNORM: return UnpackChannels<1, 1, Unorm8>(row, width, out);
    case HostFormat::RG8_UNORM: return UnpackChannels<2, 1, Unorm8>(row, width, out);
    case HostFormat::RGBA8_UNORM: return UnpackChannels<4, 1, Unorm8>(row, width, out);
    case HostFormat::R8_SNORM: return UnpackChannels<1, 1, Snorm8>(row, width, out);
    case HostFormat::RG8_SNORM: return UnpackChannels<2, 1, Snorm8>(row, width, out);
    case HostFormat::RGBA8_SNORM: return UnpackChannels<4, 1, Snorm8>(row, width, out);
    case HostFormat::R16_UNORM: return UnpackChannels<1, 2, Unorm16>(row, width, out);
    case HostFormat::RG16_UNORM: return UnpackChannels<2, 2, Unorm16>(row, width, out);
    case HostFormat::RGBA16_UNORM: return UnpackChannels<4, 2, Unorm16>(row, width, out);
    case HostFormat::R16_SNORM: return UnpackChannels<1, 2, Snorm16>(row, width, out);
    case HostFormat::RG16_SNORM: return UnpackChannels<2, 2, Snorm16>(row, width, out);
    case HostFormat::RGBA16_SNORM: return UnpackChannels<4, 2, Snorm16>(row, width, out);
    case HostFormat::R16_FLOAT: return UnpackChannels<1, 2, Half>(row, width, out);
    case HostFormat::RG16_FLOAT: return UnpackChannels<2, 2, Half>(row, width, out);
    case HostFormat::RGBA16_FLOAT: return UnpackChannels<4, 2, Half>(row, width, out);
    case HostFormat::R32_UINT: return UnpackChannels<1, 4, Uint32>(row, width, out);
    case HostFormat::RG32_UINT: return UnpackChannels<2, 4, Uint32>(row, width, out);
    case HostFormat::RGBA32_UINT: return UnpackChannels<4, 4, Uint32>(row, width, out);
    case HostFormat::R32_SINT: return UnpackChannels<1, 4, Sint32>(row, width, out);
    case HostFormat::RG32_SINT: return UnpackChannels<2, 4, Sint32>(row, width, out);
    case HostFormat::RGBA32_SINT: return UnpackChannels<4, 4, Sint32>(row, width, out);
    case HostFormat::R32_FLOAT: return UnpackChannels<1, 4, Float32>(row, width, out);
    case HostFormat::RG32_FLOAT: return UnpackChannels<2, 4, Float32>(row, width, out);
    case HostFormat::RGBA32_FLOAT: return UnpackChannels<4, 4, Float32>(row, width, out);
    case HostFormat::BGRA4_UNORM: return UnpackPacked<SetBgra4, 2>(row, width, out);
    case HostFormat::B5G6R5_UNORM: return UnpackPacked<SetB5G6R5, 2>(row, width, out);
    case HostFormat::B5G5R5A1_UNORM: return UnpackPacked<SetB5G5R5A1, 2>(row, width, out);
    case HostFormat::R10G10B10A2_UNORM: return UnpackPacked<SetR10G10B10A2, 4>(row, width, out);
    default: return;  // UNKNOWN reads nothing
  }
}

// Stage 1 for one block: its 16 texels, starting from (0, 0, 0, 0).
void UnpackBlock(HostFormat format, const uint8_t* block, Texel texels[16]) {
  uint8_t bytes[64];
  int8_t* signed_bytes = reinterpret_cast<int8_t*>(bytes);
  std::memset(texels, 0, 16 * sizeof(Texel));
  switch (format) {
    case HostFormat::BC1_UNORM: DecodeBc1Block(block, false, bytes); break;
    case HostFormat::BC2_UNORM: DecodeBc2Block(block, bytes); break;
    case HostFormat::BC3_UNORM: DecodeBc3Block(block, bytes); break;
    case HostFormat::BC4_UNORM:
      DecodeBc4Block(block, bytes);
      for (int i = 0; i < 16; ++i) texels[i] = {{Unorm8(bytes[i]), 0, 0, 1}};
      return;
    case HostFormat::BC4_SNORM:
      DecodeBc4SnormBlock(block, signed_bytes);
      for (int i = 0; i < 16; ++i) texels[i] = {{Snorm8(bytes[i]), 0, 0, 1}};
      return;
    case HostFormat::BC5_UNORM:
      DecodeBc5Block(block, bytes);
      for (int i = 0; i < 16; ++i) texels[i] = {{Unorm8(bytes[2 * i]), Unorm8(bytes[2 * i + 1]), 0, 1}};
      return;
    case HostFormat::BC5_SNORM:
      DecodeBc5SnormBlock(block, signed_bytes);
      for (int i = 0; i < 16; ++i) texels[i] = {{Snorm8(bytes[2 * i]), Snorm8(bytes[2 * i + 1]), 0, 1}};
      return;
    case HostFormat::BC7_UNORM: DecodeBc7Block(block, bytes); break;
    default: return;
  }
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 4; ++c) texels[i].c[c] = Unorm8(bytes[4 * i + c]);
}

void ViewRow(const Texel* texels, uint32_t width, uint16_t view, bool is_signed, uint8_t* out) {
  ViewChannel channel[4];
  for (int c = 0; c < 4; ++c) channel[c] = ViewSelector(view, c, is_signed);
  for (uint32_t x = 0; x < width; ++x) {
    const float values[6] = {texels[x].c[0], texels[x].c[1], texels[x].c[2], texels[x].c[3], 0.0f, 1.0f};
    for (int c = 0; c < 4; ++c) {
      out[4 * x + c] = ToByte(values[channel[c].source] * channel[c].scale + channel[c].bias);
    }
  }
}

// The two-stage float expansion of bands first_band .. + band_count - 1.
void ExpandBandsFloat(const HostTextureData& texture, const LevelRecord& level, const uint8_t* base,
                      uint32_t first_band, uint32_t band_count, uint8_t* out) {
  const HostFormatInfo& info = HostFormatRow(texture.host_format);
  const uint32_t edge = info.block_edge, block_bytes = info.bytes_per_block;
  const uint32_t width = level.width, height = level.height;
  const bool is_signed = IsSignedFormat(texture.host_format);
  // One band of `edge` rows at a time keeps the float intermediate small.
  std::vector<Texel> band(uint64_t(width) * edge);
  for (uint32_t b = first_band; b < first_band + band_count; ++b) {
    const uint32_t y0 = b * edge;
    const uint32_t rows = std::min(edge, height - y0);
    const uint8_t* src = base + uint64_t(b) * level.row_pitch;
    std::fill(band.begin(), band.end(), Texel{{0, 0, 0, 1}});
    if (edge == 1) {
      UnpackPlainRow(texture.host_format, src, width, band.data());
    } else {
      Texel texels[16];
      for (uint32_t x0 = 0; x0 < width; x0 += edge, src += block_bytes) {
        UnpackBlock(texture.host_format, src, texels);
        const uint32_t cols = std::min(edge, width - x0);
        for (uint32_t ty = 0; ty < rows; ++ty)
          std::copy_n(texels + 4 * ty, cols, band.data() + uint64_t(ty) * width + x0);
      }
    }
    for (uint32_t ty = 0; ty < rows; ++ty)
      ViewRow(band.data() + uint64_t(ty) * width, width, texture.view, is_signed,
              out + (uint64_t(y0) + ty) * width * 4);
  }
}

// The record's slice z lies inside `data` with rows that do not overlap.
bool LevelFits(const HostTextureData& texture, const LevelRecord& level, uint32_t z, uint32_t edge,
               uint32_t block_bytes) {
  if (z >= std::max<uint32_t>(level.depth, 1)) return false;
  if (uint64_t(level.width) * level.height > kMaxTexels) return false;
  const uint64_t cols = (uint64_t(level.width) + edge - 1) / edge;
  const uint64_t rows = (uint64_t(level.height) + edge - 1) / edge;
  if (cols == 0 || rows == 0) return true;
  const uint64_t row_bytes = cols * block_bytes;
  if (row_bytes > level.row_pitch) return false;
  const uint64_t size = texture.data.size();
  if (level.offset > size) return false;
  const uint64_t start = uint64_t(z) * level.slice_size;
  if (start > size - level.offset) return false;
  return (rows - 1) * level.row_pitch + row_bytes <= size - level.offset - start;
}

const uint8_t* SliceBase(const HostTextureData& texture, const LevelRecord& level, uint32_t z) {
  return texture.data.data() + level.offset + uint64_t(z) * level.slice_size;
}

uint32_t BandCount(const HostTextureData& texture, const LevelRecord& level) {
  const uint32_t edge = HostFormatRow(texture.host_format).block_edge;
  return uint32_t((uint64_t(level.height) + edge - 1) / edge);
}

void ExpandBands(const HostTextureData& texture, const LevelRecord& level, uint32_t z, uint32_t first_band,
                 uint32_t band_count, uint8_t* out) {
  if (HasFastExpansion(texture.host_format)) {
    ExpandBandsFast(texture.host_format, texture.view, SliceBase(texture, level, z), level.row_pitch, level.width,
                    level.height, first_band, band_count, out);
  } else {
    ExpandBandsFloat(texture, level, SliceBase(texture, level, z), first_band, band_count, out);
  }
}

bool Fits(const HostTextureData& texture, const LevelRecord& level, uint32_t z) {
  const HostFormatInfo& info = HostFormatRow(texture.host_format);
  return LevelFits(texture, level, z, info.block_edge, info.bytes_per_block);
}

}  // namespace

bool ExpandToRgba8Into(const HostTextureData& texture, const LevelRecord& level, uint32_t z, uint8_t* out,
                       WorkerPool* pool) {
  if (!Fits(texture, level, z)) return false;
  if (uint64_t(level.width) * level.height == 0) return true;
  const uint32_t bands = BandCount(texture, level);
  const uint64_t bytes = uint64_t(level.width) * level.height * 4;
  const uint32_t chunks =
      pool == nullptr || bytes < kPoolMinBytes ? 1 : uint32_t(std::min<uint64_t>(WorkerCount(*pool) + 1, bands));
  if (chunks <= 1) {
    ExpandBands(texture, level, z, 0, bands, out);
    return true;
  }
  // Chunks write disjoint rows of `out`.
  ParallelFor(*pool, chunks, [&](uint32_t i) {
    const uint32_t first = uint32_t(uint64_t(bands) * i / chunks);
    const uint32_t last = uint32_t(uint64_t(bands) * (i + 1) / chunks);
    ExpandBands(texture, level, z, first, last - first, out);
  });
  return true;
}

std::vector<uint8_t> ExpandToRgba8(const HostTextureData& texture, const LevelRecord& level, uint32_t z) {
  if (!Fits(texture, level, z)) return {};
  std::vector<uint8_t> out(uint64_t(level.width) * level.height * 4);
  ExpandToRgba8Into(texture, level, z, out.data(), nullptr);
  return out;
}

std::vector<uint8_t> ExpandToRgba8Float(const HostTextureData& texture, const LevelRecord& level, uint32_t z) {
  if (!Fits(texture, level, z)) return {};
  std::vector<uint8_t> out(uint64_t(level.width) * level.height * 4);
  if (!out.empty()) {
    ExpandBandsFloat(texture, level, SliceBase(texture, level, z), 0, BandCount(texture, level), out.data());
  }
  return out;
}

}  // namespace mivo
