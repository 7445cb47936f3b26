// The texture fetch constant, the three format tables (guest formats, host
// formats, conversions) and the texture record passed between all stages.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace mivo {

// Six 32-bit words as the guest GPU reads them, word 0 first, in host order.
struct FetchConstant {
  uint32_t words[6] = {};
};

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

enum Dimension : uint8_t { kDim1D = 0, kDim2D = 1, kDim3D = 2, kDimCube = 3 };

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

enum class HostFormat : uint8_t {
  UNKNOWN, R8_UNORM, R8_SNORM, RG8_UNORM, RG8_SNORM, R16_UNORM, R16_SNORM, R16_FLOAT,
  BGRA4_UNORM, B5G6R5_UNORM, B5G5R5A1_UNORM, RGBA8_UNORM, RGBA8_SNORM, R10G10B10A2_UNORM, RG16_UNORM, RG16_SNORM,
  RG16_FLOAT, R32_UINT, R32_SINT, R32_FLOAT, RGBA16_FLOAT, RGBA16_UNORM, RGBA16_SNORM, RG32_UINT,
  RG32_SINT, RG32_FLOAT, RGBA32_UINT, RGBA32_SINT, RGBA32_FLOAT, BC1_UNORM, BC2_UNORM, BC3_UNORM,
  BC4_UNORM, BC4_SNORM, BC5_UNORM, BC5_SNORM, BC7_UNORM,
};
constexpr uint32_t kHostFormatCount = 37;

// Names that would start with a digit carry a "c" prefix; ConversionName()
// gives the text used in reports.
enum class Conversion : uint8_t {
  copy, c565_to_rgba8, c1555_to_rgba8, c4444_to_rgba8, c655_to_rgba8,
  c11_11_10_to_rgba16, c10_11_11_to_rgba16, c11_11_10_to_rgba16s, c10_11_11_to_rgba16s, c2_10_10_10_to_rgba16s,
  dxt1_to_rgba8, dxt3_to_rgba8, dxt5_to_rgba8, dxn_to_rg8, dxn_to_rg8s,
  dxt5a_to_r8, dxt5a_to_r8s, dxt3a_to_r8, dxt3a_as_1111_to_rgba8, ctx1_to_rg8,
  cr_y1_cb_y0_to_rgba8, y1_cr_y0_cb_to_rgba8, depth24_to_float, depth20e4_to_float, rgb32_to_rgba32f,
  c1_to_r8, c1_reverse_to_r8, split_block_to_texels, fixed16_to_half, c7e3_to_rgba16f,
};
constexpr uint32_t kConversionCount = 30;

// Guest format kinds (only used to set `decompressed`).
enum GuestFormatKind : uint8_t { kKindPlain = 0, kKindBlock = 1, kKindPairs = 2, kKindOther = 3 };

struct GuestFormatInfo {
  const char* name;
  uint8_t kind;
  uint8_t block_width;   // texels; the unit in which the texture is addressed
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

enum class TextureFamily : uint8_t { none = 0, bc1 = 1, four_channel = 2, two_channel = 3, two_channel_signed = 4, one_channel = 5 };

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
const char* HostFormatName(uint32_t code);
inline const char* HostFormatName(HostFormat f) { return HostFormatName(uint32_t(f)); }
const char* ConversionName(uint32_t code);
inline const char* ConversionName(Conversion c) { return ConversionName(uint32_t(c)); }
const char* EndianName(uint32_t code);
const char* DimensionName(uint32_t code);
TextureFamily GetTextureFamily(HostFormat f);  // none for codes outside the table
bool IsBlockCompressed(HostFormat f);  // BC1..BC7
bool IsFloatFormat(HostFormat f);      // the six float host formats

// GuestTextureInfo flag bits.
enum TextureFlag : uint8_t {
  kFlagBias = 1u << 0, kFlagGamma = 1u << 1, kFlagSigns = 1u << 2,
  kFlagExp = 1u << 3, kFlagInt = 1u << 4, kFlagNorm32 = 1u << 5,
};
constexpr uint32_t kFlagCount = 6;
const char* FlagName(uint32_t bit);

// Host view selectors: 0..3 host R, G, B, A; 4 constant 0; 5 constant 1.
constexpr uint16_t kIdentityView = 0x688;

struct GuestTextureInfo {
  HostFormat host_format = HostFormat::UNKNOWN;
  Conversion conversion = Conversion::copy;
  uint8_t dim = kDim2D;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth = 1;
  uint32_t layers = 1;
  uint32_t levels = 1;
  uint32_t min_level = 0;
  uint16_t view = kIdentityView;
  uint8_t flags = 0;
  uint8_t decompressed = 0;
};

struct LevelRecord {
  uint32_t mip = 0;
  uint32_t layer = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth = 1;
  uint32_t row_pitch = 0;   // bytes per row of host blocks
  uint32_t slice_size = 0;  // row_pitch x block rows
  uint64_t offset = 0;      // into HostTextureData::data
  uint64_t size = 0;        // slice_size x depth
};

// One texture in a host format with all its levels, back to back in `data`.
struct HostTextureData : GuestTextureInfo {
  std::vector<uint8_t> data;
  std::vector<LevelRecord> level_records;
};

constexpr uint64_t kMaxTexelBytes = 0x8000000;  // 128 MiB per texture

// Host row pitch and slice size of a level of `format` (64-bit: untrusted
// sizes must not wrap).
uint64_t HostRowPitch(HostFormat format, uint32_t width);
uint64_t HostSliceSize(HostFormat format, uint32_t width, uint32_t height);

// True for a single-layer, single-slice 2D texture starting at level 0 in one
// of the ten pack formats.
bool IsPackable(const GuestTextureInfo& info);

// Appends a zeroed depth-1 level on layer 0; false (and nothing changed) when
// the texture would exceed 128 MiB of texel data.
bool AddLevel(HostTextureData& texture, uint32_t mip, uint32_t width, uint32_t height);

// The first record with that mip and layer, or null.
const LevelRecord* FindLevel(const HostTextureData& texture, uint32_t mip, uint32_t layer);

}  // namespace mivo
