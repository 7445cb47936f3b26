// The fields of the texture fetch constant and the three format tables
// (guest formats, host formats, conversions). The records passed between all
// stages are public, in mivo/guest.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "mivo/guest.h"

namespace mivo {

// Fields of the fetch constant that the system reads. Bit 0 is the LSB.
inline uint32_t FetchType(const FetchConstant& f) { return f.words[0] & 3u; }
// Sign of guest channel ch (0..3 = X..W): 0 unsigned, 1 signed, 2 biased, 3 gamma.
inline uint32_t FetchSign(const FetchConstant& f, uint32_t ch) { return (f.words[0] >> (2 + 2 * ch)) & 3u; }
// Row pitch of the base level in units of 32 texels.
inline uint32_t FetchPitch(const FetchConstant& f) { return (f.words[0] >> 22) & 0x1FFu; }
inline bool FetchTiled(const FetchConstant& f) { return (f.words[0] >> 31) != 0; }
inline uint32_t FetchFormat(const FetchConstant& f) { return f.words[1] & 0x3Fu; }
inline uint32_t FetchEndian(const FetchConstant& f) { return (f.words[1] >> 6) & 3u; }
inline bool FetchStacked(const FetchConstant& f) { return ((f.words[1] >> 10) & 1u) != 0; }
inline uint32_t FetchBaseAddress(const FetchConstant& f) { return f.words[1] & 0x1FFFF000u; }
inline bool FetchIsInteger(const FetchConstant& f) { return (f.words[3] & 1u) != 0; }
// Swizzle of channel ch: 0..3 guest X..W, 4 constant 0, 5 constant 1, 6/7 read as 0.
inline uint32_t FetchSwizzle(const FetchConstant& f, uint32_t ch) { return (f.words[3] >> (1 + 3 * ch)) & 7u; }
inline uint32_t FetchExpAdjust(const FetchConstant& f) { return (f.words[3] >> 13) & 0x3Fu; }
inline uint32_t FetchMinLevel(const FetchConstant& f) { return (f.words[4] >> 2) & 0xFu; }
inline uint32_t FetchMaxLevel(const FetchConstant& f) { return (f.words[4] >> 6) & 0xFu; }
inline uint32_t FetchDimension(const FetchConstant& f) { return (f.words[5] >> 9) & 3u; }
inline bool FetchPacked(const FetchConstant& f) { return ((f.words[5] >> 11) & 1u) != 0; }
inline uint32_t FetchMipAddress(const FetchConstant& f) { return f.words[5] & 0x1FFFF000u; }

// Rows of codes, laid out by hand.
// clang-format off
enum class GuestFormat : uint8_t {
  k_1_REVERSE, k_1, k_8, k_1_5_5_5, k_5_6_5, k_6_5_5, k_8_8_8_8, k_2_10_10_10,
  k_8_A, k_8_B, k_8_8, k_Cr_Y1_Cb_Y0_REP, k_Y1_Cr_Y0_Cb_REP, k_16_16_EDRAM, k_8_8_8_8_A, k_4_4_4_4,
  k_10_11_11, k_11_11_10, k_DXT1, k_DXT2_3, k_DXT4_5, k_16_16_16_16_EDRAM, k_24_8, k_24_8_FLOAT,
  k_16, k_16_16, k_16_16_16_16, k_16_EXPAND, k_16_16_EXPAND, k_16_16_16_16_EXPAND, k_16_FLOAT, k_16_16_FLOAT,
  k_16_16_16_16_FLOAT, k_32, k_32_32, k_32_32_32_32, k_32_FLOAT, k_32_32_FLOAT, k_32_32_32_32_FLOAT, k_32_AS_8,
  k_32_AS_8_8, k_16_MPEG, k_16_16_MPEG, k_8_INTERLACED, k_32_AS_8_INTERLACED, k_32_AS_8_8_INTERLACED, k_16_INTERLACED, k_16_MPEG_INTERLACED,
  k_16_16_MPEG_INTERLACED, k_DXN, k_8_8_8_8_AS_16_16_16_16, k_DXT1_AS_16_16_16_16, k_DXT2_3_AS_16_16_16_16, k_DXT4_5_AS_16_16_16_16, k_2_10_10_10_AS_16_16_16_16, k_10_11_11_AS_16_16_16_16,
  k_11_11_10_AS_16_16_16_16, k_32_32_32_FLOAT, k_DXT3A, k_DXT5A, k_CTX1, k_DXT3A_AS_1_1_1_1, k_8_8_8_8_GAMMA_EDRAM, k_2_10_10_10_FLOAT_EDRAM,
};
// clang-format on

// Guest format kinds (only used to set `decompressed`).
enum GuestFormatKind : uint8_t { kKindPlain = 0, kKindBlock = 1, kKindPairs = 2, kKindOther = 3 };

struct GuestFormatInfo {
  const char* name;
  uint8_t kind;
  uint8_t block_width;  // texels; the unit in which the texture is addressed
  uint8_t block_height;
  uint8_t bits_per_texel;
};

// Bytes per guest block = block width x block height x bits per texel / 8.
inline uint32_t GuestBytesPerBlock(const GuestFormatInfo& g) {
  return uint32_t(g.block_width) * g.block_height * g.bits_per_texel / 8;
}

struct FormatDecode {
  HostFormat host_format;
  Conversion conversion;
  HostFormat signed_host_format;  // UNKNOWN: no signed variant
  Conversion signed_conversion;
  HostFormat unaligned_host_format;  // UNKNOWN: no decoder for unaligned BC sizes
  Conversion unaligned_conversion;
  HostFormat unaligned_signed_host_format;
  Conversion unaligned_signed_conversion;
  uint16_t channel_map;  // host channel of guest X, Y, Z, W: 3 bits each, X in bits 0-2
  uint8_t extra_flags;
};

enum class TextureFamily : uint8_t {
  none = 0,
  bc1 = 1,
  four_channel = 2,
  two_channel = 3,
  two_channel_signed = 4,
  one_channel = 5
};

struct HostFormatInfo {
  const char* name;
  uint8_t block_edge;       // 1, or 4 for the BC formats
  uint8_t bytes_per_block;  // bytes per texel for plain formats
  bool pack_format;         // a replacement pack may hold it
  TextureFamily family;
};

// Lookups. Guest codes wrap modulo 64; host format and conversion codes above
// the last row clamp to it; endian and dimension codes wrap modulo 4.
const GuestFormatInfo& GuestFormatRow(uint32_t code);
const FormatDecode& FormatDecodeRow(uint32_t code);
const HostFormatInfo& HostFormatRow(uint32_t code);
inline const HostFormatInfo& HostFormatRow(HostFormat f) { return HostFormatRow(uint32_t(f)); }
const char* GuestFormatName(uint32_t code);
const char* EndianName(uint32_t code);
const char* DimensionName(uint32_t code);
// A code inside the host format table. The lookups above clamp a code past
// it to the last row, BC7, for its name; anything that decides by the row
// (family, packable, sizes) asks this first, so a stray code never passes
// as BC7.
inline bool IsKnownHostFormat(HostFormat f) { return uint32_t(f) < kHostFormatCount; }
TextureFamily GetTextureFamily(HostFormat f);  // none for codes outside the table
bool IsBlockCompressed(HostFormat f);          // BC1..BC7
bool IsFloatFormat(HostFormat f);              // the six float host formats

// GuestTextureInfo flag bits.
enum TextureFlag : uint8_t {
  kFlagBias = 1u << 0,
  kFlagGamma = 1u << 1,
  kFlagSigns = 1u << 2,
  kFlagExp = 1u << 3,
  kFlagInt = 1u << 4,
  kFlagNorm32 = 1u << 5,
};
constexpr uint32_t kFlagCount = 6;
const char* FlagName(uint32_t bit);

// Host row pitch and slice size of a level of `format` (64-bit: untrusted
// sizes must not wrap).
uint64_t HostRowPitch(HostFormat format, uint32_t width);
uint64_t HostSliceSize(HostFormat format, uint32_t width, uint32_t height);

}  // namespace mivo
