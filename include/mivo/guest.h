// mivo, guest textures: the records a host passes around, and reading a
// guest texture out of guest memory into a host format.
//
// Every operation that can fail returns false and assigns one fixed message
// to the caller's `error` string, or its cause to an ErrorCode (mivo/error.h);
// bad input never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mivo/error.h"

namespace mivo {

// Six 32-bit words as the guest GPU reads them, word 0 first, in host order.
struct FetchConstant {
  uint32_t words[6] = {};
};

enum Dimension : uint8_t { kDim1D = 0, kDim2D = 1, kDim3D = 2, kDimCube = 3 };

// Rows of codes, laid out by hand.
// clang-format off
enum class HostFormat : uint8_t {
  UNKNOWN, R8_UNORM, R8_SNORM, RG8_UNORM, RG8_SNORM, R16_UNORM, R16_SNORM, R16_FLOAT,
  BGRA4_UNORM, B5G6R5_UNORM, B5G5R5A1_UNORM, RGBA8_UNORM, RGBA8_SNORM, R10G10B10A2_UNORM, RG16_UNORM, RG16_SNORM,
  RG16_FLOAT, R32_UINT, R32_SINT, R32_FLOAT, RGBA16_FLOAT, RGBA16_UNORM, RGBA16_SNORM, RG32_UINT,
  RG32_SINT, RG32_FLOAT, RGBA32_UINT, RGBA32_SINT, RGBA32_FLOAT, BC1_UNORM, BC2_UNORM, BC3_UNORM,
  BC4_UNORM, BC4_SNORM, BC5_UNORM, BC5_SNORM, BC7_UNORM,
};
// clang-format on
constexpr uint32_t kHostFormatCount = 37;

// Names that would start with a digit carry a "c" prefix; ConversionName()
// gives the text used in reports.
// Rows of codes, laid out by hand.
// clang-format off
enum class Conversion : uint8_t {
  copy, c565_to_rgba8, c1555_to_rgba8, c4444_to_rgba8, c655_to_rgba8,
  c11_11_10_to_rgba16, c10_11_11_to_rgba16, c11_11_10_to_rgba16s, c10_11_11_to_rgba16s, c2_10_10_10_to_rgba16s,
  dxt1_to_rgba8, dxt3_to_rgba8, dxt5_to_rgba8, dxn_to_rg8, dxn_to_rg8s,
  dxt5a_to_r8, dxt5a_to_r8s, dxt3a_to_r8, dxt3a_as_1111_to_rgba8, ctx1_to_rg8,
  cr_y1_cb_y0_to_rgba8, y1_cr_y0_cb_to_rgba8, depth24_to_float, depth20e4_to_float, rgb32_to_rgba32f,
  c1_to_r8, c1_reverse_to_r8, split_block_to_texels, fixed16_to_half, c7e3_to_rgba16f,
};
// clang-format on
constexpr uint32_t kConversionCount = 30;

// Names as reports and manifests write them; codes past the table give the
// last row's name.
const char* HostFormatName(uint32_t code);
inline const char* HostFormatName(HostFormat f) { return HostFormatName(uint32_t(f)); }
const char* ConversionName(uint32_t code);
inline const char* ConversionName(Conversion c) { return ConversionName(uint32_t(c)); }

// Host view selectors: 0..3 host R, G, B, A; 4 constant 0; 5 constant 1.
constexpr uint16_t kIdentityView = 0x688;

// What a texture decodes to, before its texels are read.
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
  uint8_t flags = 0;  // bias, gamma, signs, exp, int, norm32 from bit 0 up
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

// True for a single-layer, single-slice 2D texture starting at level 0 in one
// of the ten formats a replacement pack may hold.
bool IsPackable(const GuestTextureInfo& info);

// Appends a zeroed depth-1 level on layer 0; false (and nothing changed) when
// the texture would exceed 128 MiB of texel data.
bool AddLevel(HostTextureData& texture, uint32_t mip, uint32_t width, uint32_t height);

// The first record with that mip and layer, or null.
const LevelRecord* FindLevel(const HostTextureData& texture, uint32_t mip, uint32_t layer);

// A read-only window of guest memory.
struct GuestMemoryView {
  const uint8_t* data = nullptr;  // only read
  size_t size = 0;                // bytes in the buffer
  uint32_t guest_address = 0;     // guest address of data[0]
};

// Fills `info` (reset first). `assume_mips_in_base_tail` 1 reads the mips of
// a texture without a mip address from its base level's packed tail.
bool DescribeTexture(const FetchConstant& fetch, GuestTextureInfo& info, std::string& error,
                     uint8_t assume_mips_in_base_tail = 0);
bool DescribeTexture(const FetchConstant& fetch, GuestTextureInfo& info, ErrorCode& code,
                     uint8_t assume_mips_in_base_tail = 0);

// Fills `texture` (reset first) with every level and layer that can be
// located, from min_level up. The messages: DescribeTexture's, "texture too
// large", "texture memory outside guest memory", "no level could be read".
bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemoryView& view, HostTextureData& texture,
                      std::string& error, uint8_t assume_mips_in_base_tail = 0);
bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemoryView& view, HostTextureData& texture,
                      ErrorCode& code, uint8_t assume_mips_in_base_tail = 0);

}  // namespace mivo
