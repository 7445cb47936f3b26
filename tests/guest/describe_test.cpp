#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "guest/describe.h"
#include "support/dump_builder.h"

namespace mivo {
namespace {

using test::FetchFields;
using test::MakeFetchConstant;
using G = GuestFormat;

constexpr uint32_t kBase = 0x10000, kMip = 0x20000;

GuestTextureInfo Describe(const FetchFields& f, uint8_t assume_mips_in_base_tail = 0) {
  GuestTextureInfo info;
  std::string error;
  EXPECT_TRUE(DescribeTexture(MakeFetchConstant(f), info, &error, assume_mips_in_base_tail)) << error;
  return info;
}

std::string DescribeError(const FetchConstant& fetch, GuestTextureInfo& info) {
  std::string error;
  EXPECT_FALSE(DescribeTexture(fetch, info, &error));
  return error;
}

TEST(DescribeTexture, RefusedTexturesGiveTheirMessage) {
  GuestTextureInfo info;
  FetchConstant fetch;
  fetch.words[0] = 1;
  EXPECT_EQ(DescribeError(fetch, info), "not a texture fetch constant (type 1)");
  fetch.words[0] = 0xFFFFFFFF;
  info.width = 77;
  info.host_format = HostFormat::BC7_UNORM;
  info.view = 0;
  EXPECT_EQ(DescribeError(fetch, info), "not a texture fetch constant (type 3)");
  EXPECT_FALSE(DescribeTexture(fetch, info, nullptr)) << "no error string is fine";
  EXPECT_EQ(info.width, 0u) << "the description is reset";
  EXPECT_EQ(info.host_format, HostFormat::UNKNOWN);
  EXPECT_EQ(info.view, kIdentityView);
  EXPECT_EQ(info.dim, kDim2D);

  // Mips announced but no level to hold them, and no base either.
  const FetchFields no_address{.width = 64, .height = 64, .mip_address = kMip};
  EXPECT_EQ(DescribeError(MakeFetchConstant(no_address), info), "no base or mip address");
  EXPECT_EQ(info.width, 64u) << "the description stays filled as far as it got";
  // Address bits 29-31 lie outside the page field.
  fetch = MakeFetchConstant({.base_address = kBase, .width = 4, .height = 4});
  fetch.words[1] = (fetch.words[1] & 0xFFFu) | 0xE0000000u;
  EXPECT_EQ(DescribeError(fetch, info), "no base or mip address");
}

struct FormatCase {
  const char* what;
  FetchFields fields;
  const char* host;        // null: not checked
  const char* conversion;  // null: not checked
  const char* flags;
  int decompressed = -1;   // -1: not checked
};

TEST(DescribeTexture, HostFormatConversionAndFlagsFollowSizeSignsAndSwizzle) {
  const FormatCase cases[] = {
      // Block formats: one unaligned side is enough to decode; CTX1 always decodes.
      {"unaligned DXT1", {.format = G::k_DXT1, .base_address = kBase, .width = 6, .height = 6}, "RGBA8_UNORM",
       "dxt1_to_rgba8", "-", 1},
      {"aligned DXT1", {.format = G::k_DXT1, .base_address = kBase, .width = 8, .height = 8}, "BC1_UNORM", "copy", "-",
       0},
      {"DXT5 8x6", {.format = G::k_DXT4_5, .base_address = kBase, .width = 8, .height = 6}, "RGBA8_UNORM", nullptr,
       "-"},
      {"DXT5 6x8", {.format = G::k_DXT4_5, .base_address = kBase, .width = 6, .height = 8}, "RGBA8_UNORM",
       "dxt5_to_rgba8", "-"},
      {"CTX1", {.format = G::k_CTX1, .base_address = kBase, .width = 8, .height = 8}, "RG8_UNORM", nullptr, "-", 1},
      // The signed variant needs every channel the swizzle reads signed.
      {"signed DXN, constants in Z and W",
       {.signs = {1, 1}, .format = G::k_DXN, .base_address = kBase, .width = 8, .height = 8, .swizzle = {0, 1, 4, 5}},
       "BC5_SNORM", nullptr, "-"},
      {"signed unaligned DXN",
       {.signs = {1, 1}, .format = G::k_DXN, .base_address = kBase, .width = 6, .height = 6, .swizzle = {0, 1, 4, 5}},
       "RG8_SNORM", "dxn_to_rg8s", "-"},
      {"mixed unaligned DXN",
       {.signs = {1, 0}, .format = G::k_DXN, .base_address = kBase, .width = 6, .height = 6, .swizzle = {0, 1, 4, 5}},
       "RG8_UNORM", "dxn_to_rg8", "signs"},
      {"mixed DXN",
       {.signs = {1, 0}, .format = G::k_DXN, .base_address = kBase, .width = 8, .height = 8, .swizzle = {0, 1, 4, 5}},
       "BC5_UNORM", nullptr, "signs"},
      {"no signed variant",
       {.signs = {1, 1, 1, 1}, .format = G::k_DXT1, .base_address = kBase, .width = 8, .height = 8}, "BC1_UNORM",
       nullptr, "signs"},
      {"unread channels do not count",
       {.signs = {0, 0, 1, 3}, .base_address = kBase, .width = 4, .height = 4, .swizzle = {0, 1, 0, 5}}, "RGBA8_UNORM",
       nullptr, "-"},
      {"all signed", {.signs = {1, 1, 1, 1}, .base_address = kBase, .width = 4, .height = 4}, "RGBA8_SNORM", nullptr,
       "-"},
      {"gamma among signed", {.signs = {3, 1, 1, 1}, .base_address = kBase, .width = 4, .height = 4}, "RGBA8_UNORM",
       nullptr, "gamma+signs"},
      {"bias and gamma", {.signs = {2, 3}, .base_address = kBase, .width = 4, .height = 4}, "RGBA8_UNORM", nullptr,
       "bias+gamma"},
      {"format's own gamma", {.format = G::k_8_8_8_8_GAMMA_EDRAM, .base_address = kBase, .width = 4, .height = 4},
       "RGBA8_UNORM", nullptr, "gamma"},
      {"exp adjust", {.base_address = kBase, .width = 4, .height = 4, .exp_adjust = 0x20}, "RGBA8_UNORM", nullptr,
       "exp"},
      // Integer applies to non-float formats (blocks included); norm32 to non-integer 32-bit ones.
      {"int float", {.format = G::k_32_FLOAT, .base_address = kBase, .is_integer = true}, nullptr, nullptr, "-"},
      {"int 32", {.format = G::k_32, .base_address = kBase, .is_integer = true}, nullptr, nullptr, "int"},
      {"int DXT1", {.format = G::k_DXT1, .base_address = kBase, .width = 4, .height = 4, .is_integer = true},
       "BC1_UNORM", nullptr, "int"},
      {"norm32", {.format = G::k_32, .base_address = kBase}, nullptr, nullptr, "norm32"},
      {"norm32 pair", {.format = G::k_32_32, .base_address = kBase}, nullptr, nullptr, "norm32"},
      {"norm32 quad", {.format = G::k_32_32_32_32, .base_address = kBase}, nullptr, nullptr, "norm32"},
      {"float pair", {.format = G::k_32_32_FLOAT, .base_address = kBase}, nullptr, nullptr, "-"},
  };
  for (const FormatCase& c : cases) {
    const GuestTextureInfo info = Describe(c.fields);
    if (c.host) {
      EXPECT_STREQ(HostFormatName(info.host_format), c.host) << c.what;
    }
    if (c.conversion) {
      EXPECT_STREQ(ConversionName(info.conversion), c.conversion) << c.what;
    }
    EXPECT_EQ(FlagsText(info.flags), c.flags) << c.what;
    if (c.decompressed >= 0) {
      EXPECT_EQ(info.decompressed, c.decompressed) << c.what;
    }
  }
}

struct RangeCase {
  const char* what;
  FetchFields fields;
  uint8_t assume;
  uint32_t min_level, max_level, base_address, mip_address;
  bool mips_in_base_tail = false;
};

TEST(DescribeTexture, LevelRangeRules) {
  const FetchFields packed16{.tiled = true, .format = G::k_DXT1, .base_address = kBase, .width = 16, .height = 16,
                             .max_level = 4, .packed = true};
  FetchFields packed16_min7 = packed16;
  packed16_min7.min_level = 7;
  const RangeCase cases[] = {
      {"mips without base start at 1", {.width = 64, .height = 64, .max_level = 6, .mip_address = kMip}, 0, 1, 6, 0,
       kMip},
      {"a later start drops the base",
       {.base_address = 0x1000, .width = 64, .height = 64, .min_level = 2, .max_level = 6, .mip_address = kMip}, 0, 2,
       6, 0, kMip},
      {"base and mips", {.base_address = 0x1000, .width = 64, .height = 64, .max_level = 6, .mip_address = kMip}, 0, 0,
       6, 0x1000, kMip},
      {"max clamped to the largest side",
       {.base_address = kBase, .width = 64, .height = 64, .max_level = 9, .mip_address = kMip}, 0, 0, 6, kBase, kMip},
      {"min clamped too, max never below min",
       {.base_address = kBase, .width = 64, .height = 64, .min_level = 12, .max_level = 9, .mip_address = kMip}, 0, 6,
       6, 0, kMip},
      {"mip address without levels dropped",
       {.base_address = kBase, .width = 64, .height = 64, .mip_address = kMip}, 0, 0, 0, kBase, 0},
      {"1x1 has no mips", {.base_address = kBase, .max_level = 5, .mip_address = kMip}, 0, 0, 0, kBase, 0},
      {"3D counts its depth",
       {.base_address = kBase, .width = 16, .height = 16, .depth = 32, .max_level = 15, .dimension = kDim3D,
        .mip_address = kMip},
       0, 0, 5, kBase, kMip},
      {"1D", {.base_address = kBase, .width = 300, .max_level = 15, .dimension = kDim1D, .mip_address = kMip}, 0, 0, 8,
       kBase, kMip},
      {"mips assumed in the base tail", packed16, 1, 0, 4, kBase, 0, true},
      {"base tail not assumed", packed16, 0, 0, 0, kBase, 0},
      {"the option counts only when it is 1", packed16, 2, 0, 0, kBase, 0},
      {"base tail: min clamped to max", packed16_min7, 1, 4, 4, kBase, 0, true},
  };
  for (const RangeCase& c : cases) {
    const LevelRange r = ComputeLevelRange(MakeFetchConstant(c.fields), c.assume);
    EXPECT_EQ(r.min_level, c.min_level) << c.what;
    EXPECT_EQ(r.max_level, c.max_level) << c.what;
    EXPECT_EQ(r.base_address, c.base_address) << c.what;
    EXPECT_EQ(r.mip_address, c.mip_address) << c.what;
    EXPECT_EQ(r.mips_in_base_tail, c.mips_in_base_tail) << c.what;
    const GuestTextureInfo info = Describe(c.fields, c.assume);
    EXPECT_EQ(info.min_level, c.min_level) << c.what;
    EXPECT_EQ(info.levels, c.max_level + 1) << c.what;
  }
}

TEST(DescribeTexture, MipsInTheBaseTailOnlyForAPackedBaseInsideTheTail) {
  const FetchFields f{.tiled = true, .format = G::k_DXT1, .base_address = kBase, .width = 16, .height = 16,
                      .max_level = 4, .packed = true};
  EXPECT_TRUE(HasMipsInBaseTail(MakeFetchConstant(f)));
  FetchFields larger = f, with_mips = f, unpacked = f, line = f, tiny = f;
  larger.width = larger.height = 32;  // its base lies above the tail
  with_mips.mip_address = kMip;
  unpacked.packed = false;
  line.dimension = kDim1D;
  for (const FetchFields& g : {larger, with_mips, unpacked, line})
    EXPECT_FALSE(HasMipsInBaseTail(MakeFetchConstant(g)));
  EXPECT_FALSE(ComputeLevelRange(MakeFetchConstant(larger), 1).mips_in_base_tail);
  // The candidate test does not clamp the max level to the texture's size.
  tiny.width = tiny.height = 1;
  EXPECT_TRUE(HasMipsInBaseTail(MakeFetchConstant(tiny)));
  EXPECT_FALSE(ComputeLevelRange(MakeFetchConstant(tiny), 1).mips_in_base_tail);
}

TEST(DescribeTexture, LayersAndDepthByDimension) {
  struct {
    FetchFields fields;
    uint32_t width, height, depth, layers;
  } const cases[] = {
      {{.base_address = kBase, .width = 32, .height = 32, .dimension = kDimCube}, 32, 32, 1, 6},
      {{.base_address = kBase, .width = 16, .height = 16, .depth = 32, .dimension = kDim3D}, 16, 16, 32, 1},
      {{.base_address = kBase, .width = 16, .height = 16, .depth = 4}, 16, 16, 1, 1},  // not stacked
      {{.stacked = true, .base_address = kBase, .width = 16, .height = 16, .depth = 4}, 16, 16, 1, 4},
      {{.base_address = kBase, .width = 300, .dimension = kDim1D}, 300, 1, 1, 1},
  };
  for (const auto& c : cases) {
    const GuestTextureInfo info = Describe(c.fields);
    EXPECT_EQ(info.dim, c.fields.dimension);
    EXPECT_EQ(std::vector<uint32_t>({info.width, info.height, info.depth, info.layers}),
              std::vector<uint32_t>({c.width, c.height, c.depth, c.layers}))
        << DimensionName(c.fields.dimension);
  }
}

TEST(DescribeTexture, ViewMapsTheSwizzleThroughTheFormatsChannelMap) {
  const FetchFields odd{.base_address = kBase, .swizzle = {6, 7, 5, 0}};
  EXPECT_EQ(GuestSwizzleText(MakeFetchConstant(odd)), "??1X");
  EXPECT_EQ(ViewText(Describe(odd).view), "001R") << "swizzles 6 and 7 read as zero";
  // 5_6_5 holds guest W in host B.
  EXPECT_EQ(ViewText(Describe({.format = G::k_5_6_5, .base_address = kBase, .swizzle = {3, 2, 1, 4}}).view), "BBG0");
  EXPECT_EQ(Describe({.base_address = kBase}).view, kIdentityView);
  EXPECT_EQ(ViewText(Describe({.format = G::k_DXN, .base_address = kBase, .width = 8, .height = 8}).view), "RGGG");
}

TEST(DescribeTexture, LogarithmsAndPackedTailLevelAtTheirEdges) {
  EXPECT_EQ(std::vector<uint32_t>({FloorLog2(0), FloorLog2(1), FloorLog2(0xFFFFFFFFu)}),
            std::vector<uint32_t>({0, 0, 31}));
  EXPECT_EQ(std::vector<uint32_t>({CeilLog2(1), CeilLog2(2), CeilLog2(3), CeilLog2(0x80000001u)}),
            std::vector<uint32_t>({0, 1, 2, 32}));
  EXPECT_EQ(std::vector<uint32_t>({PackedTailLevel(16, 16), PackedTailLevel(17, 64), PackedTailLevel(256, 1024),
                                   PackedTailLevel(1, 4096)}),
            std::vector<uint32_t>({0, 1, 4, 0}));
}

TEST(DescriptionTexts, SignsTilingAndFlagsReadAsReported) {
  FetchFields f{.signs = {0, 1, 2, 3}};
  EXPECT_EQ(SignText(MakeFetchConstant(f)), "uSbg");
  EXPECT_EQ(TilingText(MakeFetchConstant(f)), "linear");
  f.tiled = f.packed = true;
  EXPECT_EQ(TilingText(MakeFetchConstant(f)), "tiled packed");
  EXPECT_EQ(FlagsText(0), "-");
  EXPECT_EQ(FlagsText(kFlagBias | kFlagNorm32), "bias+norm32");
  EXPECT_EQ(FlagsText(0xFF), "bias+gamma+signs+exp+int+norm32") << "bits above the six are not named";
}

}  // namespace
}  // namespace mivo
