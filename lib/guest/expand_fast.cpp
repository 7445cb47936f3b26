#include "guest/expand_fast.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "guest/bc7_decode.h"
#include "guest/block_decode.h"
#include "guest/byte_order.h"
#include "guest/cpu_features.h"
#include "guest/expand_values.h"

#ifdef MIVO_X86_SIMD
#include <immintrin.h>
#endif

namespace mivo {
namespace {

using namespace expand;

using CodeValue = float (*)(uint32_t);

// The float path's stage-1 value of each code, written as it writes it.
float Over15(uint32_t code) { return float(code) / 15.0f; }
float Over31(uint32_t code) { return float(code) / 31.0f; }
float Over63(uint32_t code) { return float(code) / 63.0f; }
float Over1023(uint32_t code) { return float(code) / 1023.0f; }
float Over3(uint32_t code) { return float(code) / 3.0f; }
float Plain(uint32_t code) { return float(code); }

// One stored channel: `bits` bits at `shift` of the texel value; bits 0
// marks a channel the format lacks (0 for R, G, B and 1 for A).
struct StoredChannel {
  uint8_t shift = 0;
  uint8_t bits = 0;
  CodeValue value = nullptr;
};

using BlockDecoder = void (*)(const uint8_t* block, uint8_t* out);

struct FastFormat {
  HostFormat format;
  uint8_t texel_bytes;  // as stored, or as the block decoder writes them
  BlockDecoder decode;  // null for plain formats
  StoredChannel channels[4];
};

void Bc1(const uint8_t* block, uint8_t* out) { DecodeBc1Block(block, false, out); }
void Bc4Snorm(const uint8_t* block, uint8_t* out) { DecodeBc4SnormBlock(block, reinterpret_cast<int8_t*>(out)); }
void Bc5Snorm(const uint8_t* block, uint8_t* out) { DecodeBc5SnormBlock(block, reinterpret_cast<int8_t*>(out)); }

constexpr StoredChannel U8(int byte) { return {uint8_t(8 * byte), 8, Unorm8}; }
constexpr StoredChannel S8(int byte) { return {uint8_t(8 * byte), 8, Snorm8}; }

using H = HostFormat;
const FastFormat kFastFormats[] = {
    {H::R8_UNORM, 1, nullptr, {U8(0)}},
    {H::RG8_UNORM, 2, nullptr, {U8(0), U8(1)}},
    {H::RGBA8_UNORM, 4, nullptr, {U8(0), U8(1), U8(2), U8(3)}},
    {H::R8_SNORM, 1, nullptr, {S8(0)}},
    {H::RG8_SNORM, 2, nullptr, {S8(0), S8(1)}},
    {H::RGBA8_SNORM, 4, nullptr, {S8(0), S8(1), S8(2), S8(3)}},
    {H::BGRA4_UNORM, 2, nullptr, {{8, 4, Over15}, {4, 4, Over15}, {0, 4, Over15}, {12, 4, Over15}}},
    {H::B5G6R5_UNORM, 2, nullptr, {{11, 5, Over31}, {5, 6, Over63}, {0, 5, Over31}}},
    {H::B5G5R5A1_UNORM, 2, nullptr, {{10, 5, Over31}, {5, 5, Over31}, {0, 5, Over31}, {15, 1, Plain}}},
    {H::R10G10B10A2_UNORM, 4, nullptr, {{0, 10, Over1023}, {10, 10, Over1023}, {20, 10, Over1023}, {30, 2, Over3}}},
    {H::BC1_UNORM, 4, Bc1, {U8(0), U8(1), U8(2), U8(3)}},
    {H::BC2_UNORM, 4, DecodeBc2Block, {U8(0), U8(1), U8(2), U8(3)}},
    {H::BC3_UNORM, 4, DecodeBc3Block, {U8(0), U8(1), U8(2), U8(3)}},
    {H::BC4_UNORM, 1, DecodeBc4Block, {U8(0)}},
    {H::BC4_SNORM, 1, Bc4Snorm, {S8(0)}},
    {H::BC5_UNORM, 2, DecodeBc5Block, {U8(0), U8(1)}},
    {H::BC5_SNORM, 2, Bc5Snorm, {S8(0), S8(1)}},
    {H::BC7_UNORM, 4, DecodeBc7Block, {U8(0), U8(1), U8(2), U8(3)}},
};

const FastFormat* FindFastFormat(HostFormat format) {
  for (const FastFormat& row : kFastFormats) {
    if (row.format == format) return &row;
  }
  return nullptr;
}

// Output channel c of a texel value v is lut[(v >> shift) & mask]; a
// constant or missing channel has mask 0 and its byte in lut[0].
struct ChannelMap {
  uint32_t shift;
  uint32_t mask;
  uint8_t lut[1024];
};

struct TexelMap {
  ChannelMap channels[4];
  bool identity;  // four bytes R, G, B, A that come out unchanged
  bool bytewise;  // every output channel looks up one whole stored byte
  uint8_t byte[4];
  // Every output channel is a stored byte unchanged or a constant: four
  // texels at a time are one byte shuffle (`control`) or-ed with `fixed`.
  bool shuffle;
  uint8_t control[16];
  uint32_t fixed;
};

void BuildTexelMap(const FastFormat& f, uint16_t view, bool is_signed, TexelMap& map) {
  map.identity = f.texel_bytes == 4;
  for (int c = 0; c < 4; ++c) {
    const ViewChannel vc = ViewSelector(view, c, is_signed);
    ChannelMap& m = map.channels[c];
    const StoredChannel* stored = vc.source <= 3 && f.channels[vc.source].bits != 0 ? &f.channels[vc.source] : nullptr;
    if (stored == nullptr) {
      const float missing = vc.source == 3 || vc.source == 5 ? 1.0f : 0.0f;
      m.shift = m.mask = 0;
      m.lut[0] = ToByte(missing * vc.scale + vc.bias);
      map.identity = false;
      continue;
    }
    m.shift = stored->shift;
    m.mask = (1u << stored->bits) - 1;
    for (uint32_t code = 0; code <= m.mask; ++code) {
      m.lut[code] = ToByte(stored->value(code) * vc.scale + vc.bias);
      map.identity = map.identity && m.lut[code] == code;
    }
    map.identity = map.identity && m.shift == uint32_t(8 * c) && m.mask == 255;
  }
  // Byte-sized codes are looked up straight from the stored bytes; a
  // constant channel then reads byte 0 through a table that is all constant.
  map.bytewise = true;
  map.shuffle = true;
  map.fixed = 0;
  for (int c = 0; c < 4; ++c) {
    ChannelMap& m = map.channels[c];
    if (m.mask == 0) std::fill(m.lut + 1, m.lut + 256, m.lut[0]);
    map.bytewise = map.bytewise && (m.mask == 0 || (m.mask == 255 && m.shift % 8 == 0));
    map.byte[c] = uint8_t(m.mask == 0 ? 0 : m.shift / 8);
    bool unchanged = m.mask == 255 && m.shift % 8 == 0;
    for (uint32_t code = 0; unchanged && code < 256; ++code) unchanged = m.lut[code] == code;
    map.shuffle = map.shuffle && (m.mask == 0 || unchanged);
    if (m.mask == 0) map.fixed |= uint32_t(m.lut[0]) << (8 * c);
    for (uint32_t t = 0; t < 4; ++t) {
      map.control[4 * t + c] = m.mask == 0 ? 0x80 : uint8_t(t * f.texel_bytes + map.byte[c]);
    }
  }
}

inline void MapTexel(uint32_t v, const TexelMap& map, uint8_t* out) {
  const ChannelMap* m = map.channels;
  out[0] = m[0].lut[(v >> m[0].shift) & m[0].mask];
  out[1] = m[1].lut[(v >> m[1].shift) & m[1].mask];
  out[2] = m[2].lut[(v >> m[2].shift) & m[2].mask];
  out[3] = m[3].lut[(v >> m[3].shift) & m[3].mask];
}

inline uint32_t LoadTexel(const uint8_t* p, uint32_t bytes) {
  return bytes == 1 ? p[0] : bytes == 2 ? LoadLe16(p) : LoadLe32(p);
}

template <uint32_t Bytes>
void MapRow(const uint8_t* src, uint32_t count, const TexelMap& map, uint8_t* out) {
  for (uint32_t x = 0; x < count; ++x, src += Bytes, out += 4) MapTexel(LoadTexel(src, Bytes), map, out);
}

template <uint32_t Bytes>
void MapRowBytes(const uint8_t* src, uint32_t count, const TexelMap& map, uint8_t* out) {
  const ChannelMap* m = map.channels;
  const uint8_t b0 = map.byte[0], b1 = map.byte[1], b2 = map.byte[2], b3 = map.byte[3];
  for (uint32_t x = 0; x < count; ++x, src += Bytes, out += 4) {
    out[0] = m[0].lut[src[b0]];
    out[1] = m[1].lut[src[b1]];
    out[2] = m[2].lut[src[b2]];
    out[3] = m[3].lut[src[b3]];
  }
}

#ifdef MIVO_X86_SIMD
// Four texels at a time; the last few go the lookup way.
template <uint32_t Bytes>
__attribute__((target("ssse3"))) void ShuffleRow(const uint8_t* src, uint32_t count, const TexelMap& map,
                                                 uint8_t* out) {
  const __m128i control = _mm_loadu_si128(reinterpret_cast<const __m128i*>(map.control));
  const __m128i fixed = _mm_set1_epi32(int(map.fixed));
  uint32_t x = 0;
  for (; x + 4 <= count; x += 4, src += 4 * Bytes, out += 16) {
    __m128i texels;
    if constexpr (Bytes == 1) {
      texels = _mm_cvtsi32_si128(int(LoadLe32(src)));
    } else if constexpr (Bytes == 2) {
      texels = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src));
    } else {
      texels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_shuffle_epi8(texels, control), fixed));
  }
  MapRowBytes<Bytes>(src, count - x, map, out);
}
#endif

void MapTexels(const uint8_t* src, uint32_t bytes, uint32_t count, const TexelMap& map, uint8_t* out) {
#ifdef MIVO_X86_SIMD
  if (map.shuffle && CpuHasSsse3()) {
    switch (bytes) {
      case 1: return ShuffleRow<1>(src, count, map, out);
      case 2: return ShuffleRow<2>(src, count, map, out);
      default: return ShuffleRow<4>(src, count, map, out);
    }
  }
#endif
  if (map.bytewise) {
    switch (bytes) {
      case 1: return MapRowBytes<1>(src, count, map, out);
      case 2: return MapRowBytes<2>(src, count, map, out);
      default: return MapRowBytes<4>(src, count, map, out);
    }
  }
  switch (bytes) {
    case 1: return MapRow<1>(src, count, map, out);
    case 2: return MapRow<2>(src, count, map, out);
    default: return MapRow<4>(src, count, map, out);
  }
}

void ExpandPlainRows(const FastFormat& f, const TexelMap& map, const uint8_t* base, uint64_t row_pitch, uint32_t width,
                     uint32_t first_row, uint32_t rows, uint8_t* out) {
  const uint64_t out_row = uint64_t(width) * 4;
  for (uint32_t y = first_row; y < first_row + rows; ++y) {
    const uint8_t* src = base + y * row_pitch;
    uint8_t* dst = out + y * out_row;
    if (map.identity) {
      std::memcpy(dst, src, out_row);
    } else {
      MapTexels(src, f.texel_bytes, width, map, dst);
    }
  }
}

void ExpandBlockBands(const FastFormat& f, const TexelMap& map, const uint8_t* base, uint64_t row_pitch, uint32_t width,
                      uint32_t height, uint32_t first_band, uint32_t bands, uint8_t* out) {
  const uint32_t block_bytes = HostFormatRow(f.format).bytes_per_block;
  const uint64_t out_row = uint64_t(width) * 4;
  uint8_t decoded[64];
  for (uint32_t by = first_band; by < first_band + bands; ++by) {
    const uint32_t y0 = by * 4;
    const uint32_t rows = std::min(4u, height - y0);
    const uint8_t* src = base + by * row_pitch;
    uint8_t* band_out = out + y0 * out_row;
    for (uint32_t x0 = 0; x0 < width; x0 += 4, src += block_bytes) {
      f.decode(src, decoded);
      const uint32_t cols = std::min(4u, width - x0);
      for (uint32_t ty = 0; ty < rows; ++ty) {
        const uint8_t* texels = decoded + 4 * ty * f.texel_bytes;
        uint8_t* dst = band_out + ty * out_row + uint64_t(x0) * 4;
        if (map.identity) {
          std::memcpy(dst, texels, size_t(cols) * 4);
        } else {
          MapTexels(texels, f.texel_bytes, cols, map, dst);
        }
      }
    }
  }
}

// Half-float formats: no signed remap applies to them, so every half maps to
// one byte whatever the view; the table is built once, on first use.
uint32_t HalfChannels(HostFormat format) {
  switch (format) {
    case H::R16_FLOAT: return 1;
    case H::RG16_FLOAT: return 2;
    case H::RGBA16_FLOAT: return 4;
    default: return 0;
  }
}

const std::array<uint8_t, 65536>& HalfBytes() {
  static const std::array<uint8_t, 65536> table = [] {
    std::array<uint8_t, 65536> bytes{};
    const ViewChannel plain{0, 1.0f, 0.0f};
    for (uint32_t h = 0; h < 65536; ++h) bytes[h] = ToByte(Half(h) * plain.scale + plain.bias);
    return bytes;
  }();
  return table;
}

void ExpandHalfRows(uint32_t channels, uint16_t view, const uint8_t* base, uint64_t row_pitch, uint32_t width,
                    uint32_t first_row, uint32_t rows, uint8_t* out) {
  const std::array<uint8_t, 65536>& bytes = HalfBytes();
  // Output channels that read a stored half: its byte offset and the bit
  // where its byte goes; the others are constants already in `fixed`.
  uint32_t offset[4], shift[4], reads = 0, fixed = 0;
  for (uint32_t c = 0; c < 4; ++c) {
    const ViewChannel vc = ViewSelector(view, int(c), false);
    if (vc.source < channels) {
      offset[reads] = 2 * vc.source;
      shift[reads++] = 8 * c;
    } else {
      fixed |= uint32_t(ToByte(vc.source == 3 || vc.source == 5 ? 1.0f : 0.0f)) << (8 * c);
    }
  }
  const uint64_t out_row = uint64_t(width) * 4;
  for (uint32_t y = first_row; y < first_row + rows; ++y) {
    const uint8_t* src = base + y * row_pitch;
    uint8_t* dst = out + y * out_row;
    for (uint32_t x = 0; x < width; ++x, src += 2 * channels, dst += 4) {
      uint32_t texel = fixed;
      for (uint32_t i = 0; i < reads; ++i) texel |= uint32_t(bytes[LoadLe16(src + offset[i])]) << shift[i];
      StoreLe32(dst, texel);
    }
  }
}

}  // namespace

bool HasFastExpansion(HostFormat format) { return FindFastFormat(format) != nullptr || HalfChannels(format) != 0; }

void ExpandBandsFast(HostFormat format, uint16_t view, const uint8_t* base, uint64_t row_pitch, uint32_t width,
                     uint32_t height, uint32_t first_band, uint32_t band_count, uint8_t* out) {
  if (band_count == 0) return;
  if (const uint32_t channels = HalfChannels(format); channels != 0) {
    return ExpandHalfRows(channels, view, base, row_pitch, width, first_band, band_count, out);
  }
  const FastFormat* f = FindFastFormat(format);
  if (f == nullptr) return;
  TexelMap map;
  BuildTexelMap(*f, view, IsSignedFormat(format), map);
  if (f->decode == nullptr) {
    ExpandPlainRows(*f, map, base, row_pitch, width, first_band, band_count, out);
  } else {
    ExpandBlockBands(*f, map, base, row_pitch, width, height, first_band, band_count, out);
  }
}

}  // namespace mivo
