#include "guest/convert.h"

#include <algorithm>
#include <cstring>

#include "guest/block_decode.h"
#include "guest/byte_order.h"

namespace mivo {
namespace {

inline void StoreFloat(uint8_t* p, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  StoreLe32(p, bits);
}
inline float FloatFromBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Bit replication of an n-bit field to 8 bits.
inline uint8_t Expand5(uint32_t x) { return uint8_t((x << 3) | (x >> 2)); }
inline uint8_t Expand6(uint32_t x) { return uint8_t((x << 2) | (x >> 4)); }
inline uint8_t Expand4(uint32_t x) { return uint8_t((x << 4) | x); }
inline uint8_t Expand1(uint32_t x) { return x ? 255 : 0; }

inline uint32_t Field(uint32_t v, int shift, int bits) { return (v >> shift) & ((1u << bits) - 1); }

// 16-bit unsigned normalised from an 11- or 10-bit field, by bit replication.
inline uint32_t Unorm16(uint32_t v, int shift, int bits) {
  const uint32_t x = Field(v, shift, bits);
  return bits == 11 ? (x << 5) | (x >> 6) : (x << 6) | (x >> 4);
}

// 16-bit signed normalised from an n-bit two's-complement field: the most
// negative code reads as the next one up, and the scaling rounds half away
// from zero.
inline uint32_t Snorm16(uint32_t v, int shift, int bits) {
  int32_t x = int32_t(v << (32 - shift - bits)) >> (32 - bits);
  const int32_t m = (1 << (bits - 1)) - 1;
  if (x < -m) x = -m;
  const int32_t bias = x >= 0 ? (m >> 1) : -(m >> 1);
  return uint32_t(uint16_t(int16_t((x * 32767 + bias) / m)));
}

inline void Store4x16(uint8_t* d, uint32_t x, uint32_t y, uint32_t z, uint32_t w) {
  StoreLe16(d, x);
  StoreLe16(d + 2, y);
  StoreLe16(d + 4, z);
  StoreLe16(d + 6, w);
}

// A 10-bit float with 3 exponent and 7 mantissa bits, exactly as a float.
inline float Float7e3(uint32_t c) {
  const uint32_t e = c >> 7, m = c & 0x7F;
  if (e == 0) return float(m) * (1.0f / 512.0f);
  return FloatFromBits((e + 124) << 23 | m << 16);
}

// A 24-bit float with 4 exponent and 20 mantissa bits, as a float. Exponent 0
// is a denormal of the small format but a normal float.
inline float Float20e4(uint32_t f) {
  const uint32_t e = f >> 20, m = f & 0xFFFFF;
  if (e != 0) return FloatFromBits((e + 112) << 23 | m << 3);
  if (m == 0) return 0.0f;
  int k = 19;
  while (!(m >> k)) --k;
  return FloatFromBits(uint32_t(k + 93) << 23 | ((m << (20 - k)) & 0xFFFFF) << 3);
}

// Nearest float to 32 / 32767: maps the signed 16-bit range onto about -32..32.
const float kFixed16Scale = FloatFromBits(0x3A800100);

// --- texel path: one element in, one host texel out ---

void Convert565(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe16(s);
  d[0] = Expand5(Field(v, 0, 5));
  d[1] = Expand6(Field(v, 5, 6));
  d[2] = Expand5(Field(v, 11, 5));
  d[3] = 255;
}

void Convert1555(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe16(s);
  d[0] = Expand5(Field(v, 0, 5));
  d[1] = Expand5(Field(v, 5, 5));
  d[2] = Expand5(Field(v, 10, 5));
  d[3] = Expand1(Field(v, 15, 1));
}

void Convert4444(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe16(s);
  d[0] = Expand4(Field(v, 0, 4));
  d[1] = Expand4(Field(v, 4, 4));
  d[2] = Expand4(Field(v, 8, 4));
  d[3] = Expand4(Field(v, 12, 4));
}

void Convert655(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe16(s);
  d[0] = Expand5(Field(v, 0, 5));
  d[1] = Expand5(Field(v, 5, 5));
  d[2] = Expand6(Field(v, 10, 6));
  d[3] = 255;
}

void Convert11_11_10(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe32(s);
  Store4x16(d, Unorm16(v, 0, 11), Unorm16(v, 11, 11), Unorm16(v, 22, 10), 0xFFFF);
}

void Convert10_11_11(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe32(s);
  Store4x16(d, Unorm16(v, 0, 10), Unorm16(v, 10, 11), Unorm16(v, 21, 11), 0xFFFF);
}

void Convert11_11_10s(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe32(s);
  Store4x16(d, Snorm16(v, 0, 11), Snorm16(v, 11, 11), Snorm16(v, 22, 10), 32767);
}

void Convert10_11_11s(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe32(s);
  Store4x16(d, Snorm16(v, 0, 10), Snorm16(v, 10, 11), Snorm16(v, 21, 11), 32767);
}

void Convert2_10_10_10s(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe32(s);
  Store4x16(d, Snorm16(v, 0, 10), Snorm16(v, 10, 10), Snorm16(v, 20, 10), Snorm16(v, 30, 2));
}

void ConvertDepth24(const uint8_t* s, uint8_t* d) {
  const uint32_t depth = LoadLe32(s) >> 8;
  // Adding the top bit makes 0xFFFFFF land exactly on 1.0.
  StoreFloat(d, float(depth + (depth >> 23)) * (1.0f / 16777216.0f));
}

void ConvertDepth20e4(const uint8_t* s, uint8_t* d) { StoreFloat(d, Float20e4(LoadLe32(s) >> 8)); }

void ConvertRgb32(const uint8_t* s, uint8_t* d) {
  std::memcpy(d, s, 12);
  StoreFloat(d + 12, 1.0f);
}

void Convert7e3(const uint8_t* s, uint8_t* d) {
  const uint32_t v = LoadLe32(s);
  const float alpha = float(v >> 30) / 3.0f;
  Store4x16(d, FloatToHalf(Float7e3(Field(v, 0, 10))), FloatToHalf(Float7e3(Field(v, 10, 10))),
            FloatToHalf(Float7e3(Field(v, 20, 10))), FloatToHalf(alpha));
}

template <int Channels>
void ConvertFixed16(const uint8_t* s, uint8_t* d) {
  for (int c = 0; c < Channels; ++c) {
    const int32_t value = std::max<int32_t>(int16_t(LoadLe16(s + 2 * c)), -32767);
    StoreLe16(d + 2 * c, FloatToHalf(float(value) * kFixed16Scale));
  }
}

// --- block path: one guest block in, its texels (row by row) out ---

void DecodeDxt1(const uint8_t* b, uint8_t* t) { DecodeBc1Block(b, false, t); }
void DecodeDxt3(const uint8_t* b, uint8_t* t) { DecodeBc2Block(b, t); }
void DecodeDxt5(const uint8_t* b, uint8_t* t) { DecodeBc3Block(b, t); }
void DecodeDxn(const uint8_t* b, uint8_t* t) { DecodeBc5Block(b, t); }
void DecodeDxnSigned(const uint8_t* b, uint8_t* t) { DecodeBc5SnormBlock(b, reinterpret_cast<int8_t*>(t)); }
void DecodeDxt5a(const uint8_t* b, uint8_t* t) { DecodeBc4Block(b, t); }
void DecodeDxt5aSigned(const uint8_t* b, uint8_t* t) { DecodeBc4SnormBlock(b, reinterpret_cast<int8_t*>(t)); }

void DecodeDxt3a(const uint8_t* b, uint8_t* t) {
  for (int k = 0; k < 8; ++k) {
    t[2 * k] = uint8_t((b[k] & 15) * 17);
    t[2 * k + 1] = uint8_t((b[k] >> 4) * 17);
  }
}

void DecodeDxt3aAs1111(const uint8_t* b, uint8_t* t) {
  for (int i = 0; i < 16; ++i) {
    const uint32_t nibble = (b[i / 2] >> (4 * (i & 1))) & 15;
    for (int c = 0; c < 4; ++c) t[4 * i + c] = Expand1(nibble & (1u << c));
  }
}

void DecodeCtx1(const uint8_t* b, uint8_t* t) {
  const uint8_t red[4] = {b[1], b[3], uint8_t((b[3] + 2 * b[1]) / 3), uint8_t((b[1] + 2 * b[3]) / 3)};
  const uint8_t green[4] = {b[0], b[2], uint8_t((b[2] + 2 * b[0]) / 3), uint8_t((b[0] + 2 * b[2]) / 3)};
  const uint32_t indices = LoadLe32(b + 4);
  for (int i = 0; i < 16; ++i) {
    const uint32_t index = (indices >> (2 * i)) & 3;
    t[2 * i] = red[index];
    t[2 * i + 1] = green[index];
  }
}

// The YUV pairs keep the stored channels (R = Cr, G = Y, B = Cb).
void DecodeCrY1CbY0(const uint8_t* b, uint8_t* t) {
  const uint8_t texels[8] = {b[3], b[0], b[1], 255, b[3], b[2], b[1], 255};
  std::memcpy(t, texels, 8);
}

void DecodeY1CrY0Cb(const uint8_t* b, uint8_t* t) {
  const uint8_t texels[8] = {b[2], b[1], b[0], 255, b[2], b[3], b[0], 255};
  std::memcpy(t, texels, 8);
}

void DecodeBits(const uint8_t* b, uint8_t* t) {
  for (int i = 0; i < 8; ++i) t[i] = Expand1(b[0] & (1u << i));
}

void DecodeBitsReversed(const uint8_t* b, uint8_t* t) {
  for (int i = 0; i < 8; ++i) t[i] = Expand1(b[0] & (0x80u >> i));
}

template <int Bytes>
void DecodeSplit(const uint8_t* b, uint8_t* t) {
  std::memcpy(t, b, Bytes);
}

// --- the three loops ---

// True when `bytes` per row over `rows` rows and `slices` slices stay inside
// the pitches the caller gave (rows do not overlap each other).
bool PitchesHold(const TexelConversion& job, uint64_t row_bytes, uint64_t rows) {
  if (row_bytes > job.row_pitch) return false;
  return job.bz <= 1 || rows == 0 || (rows - 1) * job.row_pitch + row_bytes <= job.slice_pitch;
}

void CopyLoop(const TexelConversion& job, uint32_t block_bytes) {
  const uint64_t row_bytes = uint64_t(job.bx) * block_bytes;
  if (!PitchesHold(job, row_bytes, job.by)) return;
  const uint8_t* src = job.src;
  for (uint32_t z = 0; z < job.bz; ++z) {
    for (uint32_t y = 0; y < job.by; ++y, src += row_bytes)
      std::memcpy(job.dst + z * job.slice_pitch + y * job.row_pitch, src, row_bytes);
  }
}

template <uint32_t SrcBytes, uint32_t DstBytes, void (*Convert)(const uint8_t*, uint8_t*)>
void TexelLoop(const TexelConversion& job) {
  if (!PitchesHold(job, uint64_t(job.bx) * DstBytes, job.by)) return;
  const uint8_t* src = job.src;
  for (uint32_t z = 0; z < job.bz; ++z) {
    for (uint32_t y = 0; y < job.by; ++y) {
      uint8_t* dst = job.dst + z * job.slice_pitch + y * job.row_pitch;
      for (uint32_t x = 0; x < job.bx; ++x, src += SrcBytes, dst += DstBytes) Convert(src, dst);
    }
  }
}

// Decodes every block into a stack scratch and copies the texels that fall
// inside width x height; the rest of a partial block is dropped.
template <uint32_t BlockWidth, uint32_t BlockHeight, uint32_t BlockBytes, uint32_t TexelBytes,
          void (*Decode)(const uint8_t*, uint8_t*)>
void BlockLoop(const TexelConversion& job) {
  constexpr uint32_t kRowBytes = BlockWidth * TexelBytes;
  const uint64_t width = std::min<uint64_t>(job.width, uint64_t(job.bx) * BlockWidth);
  const uint64_t height = std::min<uint64_t>(job.height, uint64_t(job.by) * BlockHeight);
  if (!PitchesHold(job, width * TexelBytes, height)) return;
  uint8_t texels[BlockWidth * BlockHeight * TexelBytes];
  const uint8_t* src = job.src;
  const uint64_t src_row = uint64_t(job.bx) * BlockBytes;
  for (uint32_t z = 0; z < job.bz; ++z) {
    uint8_t* slice = job.dst + z * job.slice_pitch;
    for (uint32_t y = 0; y < job.by; ++y, src += src_row) {
      const uint64_t row0 = uint64_t(y) * BlockHeight;
      if (row0 >= height) continue;
      const uint64_t rows = std::min<uint64_t>(BlockHeight, height - row0);
      uint8_t* dst_row = slice + row0 * job.row_pitch;
      for (uint32_t x = 0; x < job.bx; ++x) {
        const uint64_t col0 = uint64_t(x) * BlockWidth;
        if (col0 >= width) break;
        Decode(src + uint64_t(x) * BlockBytes, texels);
        uint8_t* dst = dst_row + col0 * TexelBytes;
        if (rows == BlockHeight && width - col0 >= BlockWidth) {
          for (uint32_t ty = 0; ty < BlockHeight; ++ty)
            std::memcpy(dst + ty * job.row_pitch, texels + ty * kRowBytes, kRowBytes);
        } else {
          const uint64_t bytes = std::min<uint64_t>(BlockWidth, width - col0) * TexelBytes;
          for (uint32_t ty = 0; ty < rows; ++ty) std::memcpy(dst + ty * job.row_pitch, texels + ty * kRowBytes, bytes);
        }
      }
    }
  }
}

// The guest and host formats agree with what a conversion reads and writes.
bool Shapes(const TexelConversion& job, uint32_t block_width, uint32_t block_height, uint32_t block_bytes,
            uint32_t host_bytes) {
  const GuestFormatInfo& guest = GuestFormatRow(uint32_t(job.guest_format));
  return guest.block_width == block_width && guest.block_height == block_height &&
         GuestBytesPerBlock(guest) == block_bytes && HostFormatRow(job.host_format).bytes_per_block == host_bytes;
}

template <uint32_t SrcBytes, uint32_t DstBytes, void (*Convert)(const uint8_t*, uint8_t*)>
void Texel(const TexelConversion& job) {
  if (Shapes(job, 1, 1, SrcBytes, DstBytes)) TexelLoop<SrcBytes, DstBytes, Convert>(job);
}

template <uint32_t BlockWidth, uint32_t BlockHeight, uint32_t BlockBytes, uint32_t TexelBytes,
          void (*Decode)(const uint8_t*, uint8_t*)>
void Block(const TexelConversion& job) {
  if (Shapes(job, BlockWidth, BlockHeight, BlockBytes, TexelBytes))
    BlockLoop<BlockWidth, BlockHeight, BlockBytes, TexelBytes, Decode>(job);
}

}  // namespace

void ConvertTexels(const TexelConversion& job) {
  if (!job.src || !job.dst || job.bx == 0 || job.by == 0 || job.bz == 0) return;
  const uint32_t guest_bytes = GuestBytesPerBlock(GuestFormatRow(uint32_t(job.guest_format)));
  switch (job.conversion) {
    case Conversion::copy:
      if (guest_bytes != 0 && HostFormatRow(job.host_format).bytes_per_block == guest_bytes) CopyLoop(job, guest_bytes);
      return;
    case Conversion::c565_to_rgba8: return Texel<2, 4, Convert565>(job);
    case Conversion::c1555_to_rgba8: return Texel<2, 4, Convert1555>(job);
    case Conversion::c4444_to_rgba8: return Texel<2, 4, Convert4444>(job);
    case Conversion::c655_to_rgba8: return Texel<2, 4, Convert655>(job);
    case Conversion::c11_11_10_to_rgba16: return Texel<4, 8, Convert11_11_10>(job);
    case Conversion::c10_11_11_to_rgba16: return Texel<4, 8, Convert10_11_11>(job);
    case Conversion::c11_11_10_to_rgba16s: return Texel<4, 8, Convert11_11_10s>(job);
    case Conversion::c10_11_11_to_rgba16s: return Texel<4, 8, Convert10_11_11s>(job);
    case Conversion::c2_10_10_10_to_rgba16s: return Texel<4, 8, Convert2_10_10_10s>(job);
    case Conversion::dxt1_to_rgba8: return Block<4, 4, 8, 4, DecodeDxt1>(job);
    case Conversion::dxt3_to_rgba8: return Block<4, 4, 16, 4, DecodeDxt3>(job);
    case Conversion::dxt5_to_rgba8: return Block<4, 4, 16, 4, DecodeDxt5>(job);
    case Conversion::dxn_to_rg8: return Block<4, 4, 16, 2, DecodeDxn>(job);
    case Conversion::dxn_to_rg8s: return Block<4, 4, 16, 2, DecodeDxnSigned>(job);
    case Conversion::dxt5a_to_r8: return Block<4, 4, 8, 1, DecodeDxt5a>(job);
    case Conversion::dxt5a_to_r8s: return Block<4, 4, 8, 1, DecodeDxt5aSigned>(job);
    case Conversion::dxt3a_to_r8: return Block<4, 4, 8, 1, DecodeDxt3a>(job);
    case Conversion::dxt3a_as_1111_to_rgba8: return Block<4, 4, 8, 4, DecodeDxt3aAs1111>(job);
    case Conversion::ctx1_to_rg8: return Block<4, 4, 8, 2, DecodeCtx1>(job);
    case Conversion::cr_y1_cb_y0_to_rgba8: return Block<2, 1, 4, 4, DecodeCrY1CbY0>(job);
    case Conversion::y1_cr_y0_cb_to_rgba8: return Block<2, 1, 4, 4, DecodeY1CrY0Cb>(job);
    case Conversion::depth24_to_float: return Texel<4, 4, ConvertDepth24>(job);
    case Conversion::depth20e4_to_float: return Texel<4, 4, ConvertDepth20e4>(job);
    case Conversion::rgb32_to_rgba32f: return Texel<12, 16, ConvertRgb32>(job);
    case Conversion::c1_to_r8: return Block<8, 1, 1, 1, DecodeBits>(job);
    case Conversion::c1_reverse_to_r8: return Block<8, 1, 1, 1, DecodeBitsReversed>(job);
    case Conversion::split_block_to_texels:
      // The guest's 32-bit element holds four 8-bit or two 16-bit texels.
      if (GuestFormatRow(uint32_t(job.guest_format)).bits_per_texel == 16)
        return Block<2, 1, 4, 2, DecodeSplit<4>>(job);
      return Block<4, 1, 4, 1, DecodeSplit<4>>(job);
    case Conversion::fixed16_to_half:
      if (guest_bytes == 8) return Texel<8, 8, ConvertFixed16<4>>(job);
      return Texel<4, 4, ConvertFixed16<2>>(job);
    case Conversion::c7e3_to_rgba16f: return Texel<4, 8, Convert7e3>(job);
  }
}

}  // namespace mivo
