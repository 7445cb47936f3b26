#include "guest/formats.h"

namespace mivo {
namespace {

constexpr GuestFormatInfo kGuestFormats[64] = {
    {"k_1_REVERSE", 3, 8, 1, 1},
    {"k_1", 3, 8, 1, 1},
    {"k_8", 0, 1, 1, 8},
    {"k_1_5_5_5", 0, 1, 1, 16},
    {"k_5_6_5", 0, 1, 1, 16},
    {"k_6_5_5", 0, 1, 1, 16},
    {"k_8_8_8_8", 0, 1, 1, 32},
    {"k_2_10_10_10", 0, 1, 1, 32},
    {"k_8_A", 0, 1, 1, 8},
    {"k_8_B", 0, 1, 1, 8},
    {"k_8_8", 0, 1, 1, 16},
    {"k_Cr_Y1_Cb_Y0_REP", 2, 2, 1, 16},
    {"k_Y1_Cr_Y0_Cb_REP", 2, 2, 1, 16},
    {"k_16_16_EDRAM", 0, 1, 1, 32},
    {"k_8_8_8_8_A", 0, 1, 1, 32},
    {"k_4_4_4_4", 0, 1, 1, 16},
    {"k_10_11_11", 0, 1, 1, 32},
    {"k_11_11_10", 0, 1, 1, 32},
    {"k_DXT1", 1, 4, 4, 4},
    {"k_DXT2_3", 1, 4, 4, 8},
    {"k_DXT4_5", 1, 4, 4, 8},
    {"k_16_16_16_16_EDRAM", 0, 1, 1, 64},
    {"k_24_8", 0, 1, 1, 32},
    {"k_24_8_FLOAT", 0, 1, 1, 32},
    {"k_16", 0, 1, 1, 16},
    {"k_16_16", 0, 1, 1, 32},
    {"k_16_16_16_16", 0, 1, 1, 64},
    {"k_16_EXPAND", 0, 1, 1, 16},
    {"k_16_16_EXPAND", 0, 1, 1, 32},
    {"k_16_16_16_16_EXPAND", 0, 1, 1, 64},
    {"k_16_FLOAT", 0, 1, 1, 16},
    {"k_16_16_FLOAT", 0, 1, 1, 32},
    {"k_16_16_16_16_FLOAT", 0, 1, 1, 64},
    {"k_32", 0, 1, 1, 32},
    {"k_32_32", 0, 1, 1, 64},
    {"k_32_32_32_32", 0, 1, 1, 128},
    {"k_32_FLOAT", 0, 1, 1, 32},
    {"k_32_32_FLOAT", 0, 1, 1, 64},
    {"k_32_32_32_32_FLOAT", 0, 1, 1, 128},
    {"k_32_AS_8", 3, 4, 1, 8},
    {"k_32_AS_8_8", 3, 2, 1, 16},
    {"k_16_MPEG", 3, 1, 1, 16},
    {"k_16_16_MPEG", 3, 1, 1, 32},
    {"k_8_INTERLACED", 3, 1, 1, 8},
    {"k_32_AS_8_INTERLACED", 3, 4, 1, 8},
    {"k_32_AS_8_8_INTERLACED", 3, 1, 1, 16},
    {"k_16_INTERLACED", 3, 1, 1, 16},
    {"k_16_MPEG_INTERLACED", 3, 1, 1, 16},
    {"k_16_16_MPEG_INTERLACED", 3, 1, 1, 32},
    {"k_DXN", 1, 4, 4, 8},
    {"k_8_8_8_8_AS_16_16_16_16", 0, 1, 1, 32},
    {"k_DXT1_AS_16_16_16_16", 1, 4, 4, 4},
    {"k_DXT2_3_AS_16_16_16_16", 1, 4, 4, 8},
    {"k_DXT4_5_AS_16_16_16_16", 1, 4, 4, 8},
    {"k_2_10_10_10_AS_16_16_16_16", 0, 1, 1, 32},
    {"k_10_11_11_AS_16_16_16_16", 0, 1, 1, 32},
    {"k_11_11_10_AS_16_16_16_16", 0, 1, 1, 32},
    {"k_32_32_32_FLOAT", 0, 1, 1, 96},
    {"k_DXT3A", 1, 4, 4, 4},
    {"k_DXT5A", 1, 4, 4, 4},
    {"k_CTX1", 1, 4, 4, 4},
    {"k_DXT3A_AS_1_1_1_1", 1, 4, 4, 4},
    {"k_8_8_8_8_GAMMA_EDRAM", 3, 1, 1, 32},
    {"k_2_10_10_10_FLOAT_EDRAM", 3, 1, 1, 32},
};

// Channel maps: host channel of guest X, Y, Z, W, three bits each.
constexpr uint16_t RRRR = 0x000;
constexpr uint16_t RGBA = 0x688;
constexpr uint16_t RGBB = 0x488;
constexpr uint16_t RGGG = 0x248;

using H = HostFormat;
using C = Conversion;
constexpr H NONE = H::UNKNOWN;
constexpr C NOCV = C::copy;

// clang-format off
#define PLAIN(h, c, map) {H::h, C::c, NONE, NOCV, NONE, NOCV, NONE, NOCV, map, 0}
#define SIGNED(h, c, sh, sc, map) {H::h, C::c, H::sh, C::sc, NONE, NOCV, NONE, NOCV, map, 0}
// clang-format on

constexpr FormatDecode kFormatDecodes[64] = {
    PLAIN(R8_UNORM, c1_reverse_to_r8, RRRR),
    PLAIN(R8_UNORM, c1_to_r8, RRRR),
    SIGNED(R8_UNORM, copy, R8_SNORM, copy, RRRR),
    PLAIN(RGBA8_UNORM, c1555_to_rgba8, RGBA),
    PLAIN(RGBA8_UNORM, c565_to_rgba8, RGBB),
    PLAIN(RGBA8_UNORM, c655_to_rgba8, RGBB),
    SIGNED(RGBA8_UNORM, copy, RGBA8_SNORM, copy, RGBA),
    SIGNED(R10G10B10A2_UNORM, copy, RGBA16_SNORM, c2_10_10_10_to_rgba16s, RGBA),
    SIGNED(R8_UNORM, copy, R8_SNORM, copy, RRRR),
    SIGNED(R8_UNORM, copy, R8_SNORM, copy, RRRR),
    SIGNED(RG8_UNORM, copy, RG8_SNORM, copy, RGGG),
    PLAIN(RGBA8_UNORM, cr_y1_cb_y0_to_rgba8, RGBB),
    PLAIN(RGBA8_UNORM, y1_cr_y0_cb_to_rgba8, RGBB),
    SIGNED(RG16_FLOAT, fixed16_to_half, RG16_FLOAT, fixed16_to_half, RGGG),
    SIGNED(RGBA8_UNORM, copy, RGBA8_SNORM, copy, RGBA),
    PLAIN(RGBA8_UNORM, c4444_to_rgba8, RGBA),
    SIGNED(RGBA16_UNORM, c11_11_10_to_rgba16, RGBA16_SNORM, c11_11_10_to_rgba16s, RGBB),
    SIGNED(RGBA16_UNORM, c10_11_11_to_rgba16, RGBA16_SNORM, c10_11_11_to_rgba16s, RGBB),
    {H::BC1_UNORM, C::copy, NONE, NOCV, H::RGBA8_UNORM, C::dxt1_to_rgba8, NONE, NOCV, RGBA, 0},
    {H::BC2_UNORM, C::copy, NONE, NOCV, H::RGBA8_UNORM, C::dxt3_to_rgba8, NONE, NOCV, RGBA, 0},
    {H::BC3_UNORM, C::copy, NONE, NOCV, H::RGBA8_UNORM, C::dxt5_to_rgba8, NONE, NOCV, RGBA, 0},
    SIGNED(RGBA16_FLOAT, fixed16_to_half, RGBA16_FLOAT, fixed16_to_half, RGBA),
    SIGNED(R32_FLOAT, depth24_to_float, R32_FLOAT, depth24_to_float, RRRR),
    SIGNED(R32_FLOAT, depth20e4_to_float, R32_FLOAT, depth20e4_to_float, RRRR),
    SIGNED(R16_UNORM, copy, R16_SNORM, copy, RRRR),
    SIGNED(RG16_UNORM, copy, RG16_SNORM, copy, RGGG),
    SIGNED(RGBA16_UNORM, copy, RGBA16_SNORM, copy, RGBA),
    SIGNED(R16_FLOAT, copy, R16_FLOAT, copy, RRRR),
    SIGNED(RG16_FLOAT, copy, RG16_FLOAT, copy, RGGG),
    SIGNED(RGBA16_FLOAT, copy, RGBA16_FLOAT, copy, RGBA),
    SIGNED(R16_FLOAT, copy, R16_FLOAT, copy, RRRR),
    SIGNED(RG16_FLOAT, copy, RG16_FLOAT, copy, RGGG),
    SIGNED(RGBA16_FLOAT, copy, RGBA16_FLOAT, copy, RGBA),
    SIGNED(R32_UINT, copy, R32_SINT, copy, RRRR),
    SIGNED(RG32_UINT, copy, RG32_SINT, copy, RGGG),
    SIGNED(RGBA32_UINT, copy, RGBA32_SINT, copy, RGBA),
    SIGNED(R32_FLOAT, copy, R32_FLOAT, copy, RRRR),
    SIGNED(RG32_FLOAT, copy, RG32_FLOAT, copy, RGGG),
    SIGNED(RGBA32_FLOAT, copy, RGBA32_FLOAT, copy, RGBA),
    SIGNED(R8_UNORM, split_block_to_texels, R8_SNORM, split_block_to_texels, RRRR),
    SIGNED(RG8_UNORM, split_block_to_texels, RG8_SNORM, split_block_to_texels, RGGG),
    SIGNED(R16_UNORM, copy, R16_SNORM, copy, RRRR),
    SIGNED(RG16_UNORM, copy, RG16_SNORM, copy, RGGG),
    SIGNED(R8_UNORM, copy, R8_SNORM, copy, RRRR),
    SIGNED(R8_UNORM, split_block_to_texels, R8_SNORM, split_block_to_texels, RRRR),
    SIGNED(RG8_UNORM, copy, RG8_SNORM, copy, RGGG),
    SIGNED(R16_UNORM, copy, R16_SNORM, copy, RRRR),
    SIGNED(R16_UNORM, copy, R16_SNORM, copy, RRRR),
    SIGNED(RG16_UNORM, copy, RG16_SNORM, copy, RGGG),
    {H::BC5_UNORM, C::copy, H::BC5_SNORM, C::copy, H::RG8_UNORM, C::dxn_to_rg8, H::RG8_SNORM, C::dxn_to_rg8s, RGGG, 0},
    SIGNED(RGBA8_UNORM, copy, RGBA8_SNORM, copy, RGBA),
    {H::BC1_UNORM, C::copy, NONE, NOCV, H::RGBA8_UNORM, C::dxt1_to_rgba8, NONE, NOCV, RGBA, 0},
    {H::BC2_UNORM, C::copy, NONE, NOCV, H::RGBA8_UNORM, C::dxt3_to_rgba8, NONE, NOCV, RGBA, 0},
    {H::BC3_UNORM, C::copy, NONE, NOCV, H::RGBA8_UNORM, C::dxt5_to_rgba8, NONE, NOCV, RGBA, 0},
    SIGNED(R10G10B10A2_UNORM, copy, RGBA16_SNORM, c2_10_10_10_to_rgba16s, RGBA),
    SIGNED(RGBA16_UNORM, c11_11_10_to_rgba16, RGBA16_SNORM, c11_11_10_to_rgba16s, RGBB),
    SIGNED(RGBA16_UNORM, c10_11_11_to_rgba16, RGBA16_SNORM, c10_11_11_to_rgba16s, RGBB),
    SIGNED(RGBA32_FLOAT, rgb32_to_rgba32f, RGBA32_FLOAT, rgb32_to_rgba32f, RGBB),
    PLAIN(R8_UNORM, dxt3a_to_r8, RRRR),
    {H::BC4_UNORM, C::copy, H::BC4_SNORM, C::copy, H::R8_UNORM, C::dxt5a_to_r8, H::R8_SNORM, C::dxt5a_to_r8s, RRRR, 0},
    PLAIN(RG8_UNORM, ctx1_to_rg8, RGGG),
    PLAIN(RGBA8_UNORM, dxt3a_as_1111_to_rgba8, RGBA),
    {H::RGBA8_UNORM, C::copy, NONE, NOCV, NONE, NOCV, NONE, NOCV, RGBA, kFlagGamma},
    PLAIN(RGBA16_FLOAT, c7e3_to_rgba16f, RGBA),
};

#undef PLAIN
#undef SIGNED

using F = TextureFamily;
constexpr HostFormatInfo kHostFormats[kHostFormatCount] = {
    {"UNKNOWN", 1, 0, false, F::none},
    {"R8_UNORM", 1, 1, true, F::one_channel},
    {"R8_SNORM", 1, 1, false, F::none},
    {"RG8_UNORM", 1, 2, true, F::two_channel},
    {"RG8_SNORM", 1, 2, true, F::two_channel_signed},
    {"R16_UNORM", 1, 2, false, F::none},
    {"R16_SNORM", 1, 2, false, F::none},
    {"R16_FLOAT", 1, 2, false, F::none},
    {"BGRA4_UNORM", 1, 2, false, F::none},
    {"B5G6R5_UNORM", 1, 2, false, F::none},
    {"B5G5R5A1_UNORM", 1, 2, false, F::none},
    {"RGBA8_UNORM", 1, 4, true, F::four_channel},
    {"RGBA8_SNORM", 1, 4, false, F::none},
    {"R10G10B10A2_UNORM", 1, 4, false, F::none},
    {"RG16_UNORM", 1, 4, false, F::none},
    {"RG16_SNORM", 1, 4, false, F::none},
    {"RG16_FLOAT", 1, 4, false, F::none},
    {"R32_UINT", 1, 4, false, F::none},
    {"R32_SINT", 1, 4, false, F::none},
    {"R32_FLOAT", 1, 4, false, F::none},
    {"RGBA16_FLOAT", 1, 8, false, F::none},
    {"RGBA16_UNORM", 1, 8, false, F::none},
    {"RGBA16_SNORM", 1, 8, false, F::none},
    {"RG32_UINT", 1, 8, false, F::none},
    {"RG32_SINT", 1, 8, false, F::none},
    {"RG32_FLOAT", 1, 8, false, F::none},
    {"RGBA32_UINT", 1, 16, false, F::none},
    {"RGBA32_SINT", 1, 16, false, F::none},
    {"RGBA32_FLOAT", 1, 16, false, F::none},
    {"BC1_UNORM", 4, 8, true, F::bc1},
    {"BC2_UNORM", 4, 16, true, F::four_channel},
    {"BC3_UNORM", 4, 16, true, F::four_channel},
    {"BC4_UNORM", 4, 8, false, F::none},
    {"BC4_SNORM", 4, 8, false, F::none},
    {"BC5_UNORM", 4, 16, true, F::two_channel},
    {"BC5_SNORM", 4, 16, true, F::two_channel_signed},
    {"BC7_UNORM", 4, 16, true, F::four_channel},
};

// Rows of codes, laid out by hand.
// clang-format off
constexpr const char* kConversionNames[kConversionCount] = {
    "copy", "565_to_rgba8", "1555_to_rgba8", "4444_to_rgba8", "655_to_rgba8",
    "11_11_10_to_rgba16", "10_11_11_to_rgba16", "11_11_10_to_rgba16s", "10_11_11_to_rgba16s", "2_10_10_10_to_rgba16s",
    "dxt1_to_rgba8", "dxt3_to_rgba8", "dxt5_to_rgba8", "dxn_to_rg8", "dxn_to_rg8s",
    "dxt5a_to_r8", "dxt5a_to_r8s", "dxt3a_to_r8", "dxt3a_as_1111_to_rgba8", "ctx1_to_rg8",
    "cr_y1_cb_y0_to_rgba8", "y1_cr_y0_cb_to_rgba8", "depth24_to_float", "depth20e4_to_float", "rgb32_to_rgba32f",
    "1_to_r8", "1_reverse_to_r8", "split_block_to_texels", "fixed16_to_half", "7e3_to_rgba16f",
};
// clang-format on

constexpr const char* kEndianNames[4] = {"none", "8in16", "8in32", "16in32"};
constexpr const char* kDimensionNames[4] = {"1D", "2D", "3D", "cube"};
constexpr const char* kFlagNames[kFlagCount] = {"bias", "gamma", "signs", "exp", "int", "norm32"};

uint32_t ClampHost(uint32_t code) { return code < kHostFormatCount ? code : kHostFormatCount - 1; }

uint32_t CeilDiv(uint32_t a, uint32_t b) { return a / b + (a % b != 0); }

}  // namespace

const GuestFormatInfo& GuestFormatRow(uint32_t code) { return kGuestFormats[code & 63u]; }
const FormatDecode& FormatDecodeRow(uint32_t code) { return kFormatDecodes[code & 63u]; }
const HostFormatInfo& HostFormatRow(uint32_t code) { return kHostFormats[ClampHost(code)]; }
const char* GuestFormatName(uint32_t code) { return GuestFormatRow(code).name; }
const char* HostFormatName(uint32_t code) { return HostFormatRow(code).name; }
const char* ConversionName(uint32_t code) {
  return kConversionNames[code < kConversionCount ? code : kConversionCount - 1];
}
const char* EndianName(uint32_t code) { return kEndianNames[code & 3u]; }
const char* DimensionName(uint32_t code) { return kDimensionNames[code & 3u]; }
const char* FlagName(uint32_t bit) { return bit < kFlagCount ? kFlagNames[bit] : ""; }
TextureFamily GetTextureFamily(HostFormat f) {
  return IsKnownHostFormat(f) ? HostFormatRow(f).family : TextureFamily::none;
}

bool IsBlockCompressed(HostFormat f) { return f >= HostFormat::BC1_UNORM && f <= HostFormat::BC7_UNORM; }

bool IsFloatFormat(HostFormat f) {
  switch (f) {
    case HostFormat::R16_FLOAT:
    case HostFormat::RG16_FLOAT:
    case HostFormat::R32_FLOAT:
    case HostFormat::RGBA16_FLOAT:
    case HostFormat::RG32_FLOAT:
    case HostFormat::RGBA32_FLOAT: return true;
    default: return false;
  }
}

uint64_t HostRowPitch(HostFormat format, uint32_t width) {
  const HostFormatInfo& row = HostFormatRow(format);
  return uint64_t(row.bytes_per_block) * CeilDiv(width, row.block_edge);
}

uint64_t HostSliceSize(HostFormat format, uint32_t width, uint32_t height) {
  return HostRowPitch(format, width) * CeilDiv(height, HostFormatRow(format).block_edge);
}

bool IsPackable(const GuestTextureInfo& info) {
  return info.dim == kDim2D && info.depth == 1 && info.layers == 1 && info.min_level == 0 &&
         IsKnownHostFormat(info.host_format) && HostFormatRow(info.host_format).pack_format;
}

bool AddLevel(HostTextureData& texture, uint32_t mip, uint32_t width, uint32_t height) {
  const uint64_t row_pitch = HostRowPitch(texture.host_format, width);
  const uint64_t slice_size = HostSliceSize(texture.host_format, width, height);
  const uint64_t offset = texture.data.size();
  // 64-bit so that a huge replacement header cannot wrap past the ceiling.
  if (offset + slice_size > kMaxTexelBytes) return false;
  LevelRecord record;
  record.mip = mip;
  record.layer = 0;
  record.width = width;
  record.height = height;
  record.depth = 1;
  record.row_pitch = uint32_t(row_pitch);
  record.slice_size = uint32_t(slice_size);
  record.offset = offset;
  record.size = slice_size;
  texture.level_records.push_back(record);
  texture.data.resize(offset + slice_size, 0);
  return true;
}

const LevelRecord* FindLevel(const HostTextureData& texture, uint32_t mip, uint32_t layer) {
  for (const LevelRecord& record : texture.level_records) {
    if (record.mip == mip && record.layer == layer) return &record;
  }
  return nullptr;
}

}  // namespace mivo
