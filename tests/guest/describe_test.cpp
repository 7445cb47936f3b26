#include <gtest/gtest.h>

#include <string>

#include "guest/describe.h"
#include "support/dump_builder.h"

namespace mivo {
namespace {

using test::FetchFields;
using test::MakeFetchConstant;

FetchFields Texture2D(GuestFormat format, uint32_t width, uint32_t height) {
  FetchFields f;
  f.format = format;
  f.width = width;
  f.height = height;
  f.base_address = 0x00010000;
  return f;
}

GuestTextureInfo Describe(const FetchFields& f, uint8_t assume_mips_in_base_tail = 0) {
  GuestTextureInfo info;
  std::string error;
  EXPECT_TRUE(DescribeTexture(MakeFetchConstant(f), info, &error, assume_mips_in_base_tail)) << error;
  return info;
}

std::string DescribeError(const FetchConstant& fetch) {
  GuestTextureInfo info;
  std::string error;
  EXPECT_FALSE(DescribeTexture(fetch, info, &error));
  return error;
}

std::string HostName(const GuestTextureInfo& info) { return HostFormatName(info.host_format); }
std::string ConversionText(const GuestTextureInfo& info) { return ConversionName(info.conversion); }

TEST(DescribeTexture, WrongTypeIsRefusedWithItsDigitAndTheDescriptionIsReset) {
  FetchConstant fetch;
  fetch.words[0] = 0x00000001;
  EXPECT_EQ(DescribeError(fetch), "not a texture fetch constant (type 1)");
  fetch.words[0] = 0xFFFFFFFF;
  EXPECT_EQ(DescribeError(fetch), "not a texture fetch constant (type 3)");

  GuestTextureInfo info;
  info.width = 77;
  info.host_format = HostFormat::BC7_UNORM;
  info.view = 0;
  EXPECT_FALSE(DescribeTexture(fetch, info, nullptr)) << "no error string is fine";
  EXPECT_EQ(info.width, 0u);
  EXPECT_EQ(info.host_format, HostFormat::UNKNOWN);
  EXPECT_EQ(info.view, kIdentityView);
  EXPECT_EQ(info.dim, kDim2D);
}

TEST(DescribeTexture, UnalignedBlockTextureIsFullyDecodedAndAlignedOneIsCopied) {
  const GuestTextureInfo unaligned = Describe(Texture2D(GuestFormat::k_DXT1, 6, 6));
  EXPECT_EQ(HostName(unaligned), "RGBA8_UNORM");
  EXPECT_EQ(ConversionText(unaligned), "dxt1_to_rgba8");
  EXPECT_EQ(unaligned.decompressed, 1);

  const GuestTextureInfo aligned = Describe(Texture2D(GuestFormat::k_DXT1, 8, 8));
  EXPECT_EQ(HostName(aligned), "BC1_UNORM");
  EXPECT_EQ(ConversionText(aligned), "copy");
  EXPECT_EQ(aligned.decompressed, 0);

  EXPECT_EQ(HostName(Describe(Texture2D(GuestFormat::k_DXT4_5, 8, 6))), "RGBA8_UNORM") << "one side is enough";
  EXPECT_EQ(ConversionText(Describe(Texture2D(GuestFormat::k_DXT4_5, 6, 8))), "dxt5_to_rgba8");
  // CTX1 is always decoded by a block decoder, aligned or not.
  EXPECT_EQ(Describe(Texture2D(GuestFormat::k_CTX1, 8, 8)).decompressed, 1);
}

TEST(DescribeTexture, SignedVariantNeedsEveryReadChannelSigned) {
  FetchFields dxn = Texture2D(GuestFormat::k_DXN, 8, 8);
  dxn.signs[0] = dxn.signs[1] = 1;
  dxn.swizzle[2] = 4;  // constant 0
  dxn.swizzle[3] = 5;  // constant 1
  const GuestTextureInfo snorm = Describe(dxn);
  EXPECT_EQ(HostName(snorm), "BC5_SNORM");
  EXPECT_EQ(FlagsText(snorm.flags), "-");

  dxn.width = dxn.height = 6;
  const GuestTextureInfo snorm_unaligned = Describe(dxn);
  EXPECT_EQ(HostName(snorm_unaligned), "RG8_SNORM");
  EXPECT_EQ(ConversionText(snorm_unaligned), "dxn_to_rg8s");

  dxn.signs[1] = 0;
  const GuestTextureInfo mixed_unaligned = Describe(dxn);
  EXPECT_EQ(HostName(mixed_unaligned), "RG8_UNORM");
  EXPECT_EQ(ConversionText(mixed_unaligned), "dxn_to_rg8");
  EXPECT_EQ(FlagsText(mixed_unaligned.flags), "signs");
  dxn.width = dxn.height = 8;
  EXPECT_EQ(HostName(Describe(dxn)), "BC5_UNORM");

  // A format without a signed variant keeps its format and notes the signs.
  FetchFields dxt1 = Texture2D(GuestFormat::k_DXT1, 8, 8);
  for (uint32_t& sign : dxt1.signs) sign = 1;
  const GuestTextureInfo bc1 = Describe(dxt1);
  EXPECT_EQ(HostName(bc1), "BC1_UNORM");
  EXPECT_EQ(FlagsText(bc1.flags), "signs");
}

TEST(DescribeTexture, ChannelsThatNoSwizzleReadsDoNotCount) {
  FetchFields f = Texture2D(GuestFormat::k_8_8_8_8, 4, 4);
  f.signs[2] = 1;
  f.signs[3] = 3;
  f.swizzle[2] = 0;  // Z reads guest X
  f.swizzle[3] = 5;
  const GuestTextureInfo info = Describe(f);
  EXPECT_EQ(HostName(info), "RGBA8_UNORM");
  EXPECT_EQ(FlagsText(info.flags), "-");
}

TEST(DescribeTexture, SignKindsSetFormatAndFlags) {
  FetchFields f = Texture2D(GuestFormat::k_8_8_8_8, 4, 4);
  for (uint32_t& sign : f.signs) sign = 1;
  EXPECT_EQ(HostName(Describe(f)), "RGBA8_SNORM");

  f.signs[0] = 3;
  const GuestTextureInfo gamma = Describe(f);
  EXPECT_EQ(HostName(gamma), "RGBA8_UNORM");
  EXPECT_EQ(FlagsText(gamma.flags), "gamma+signs");

  f.signs[0] = 2;
  f.signs[1] = 3;
  f.signs[2] = f.signs[3] = 0;
  EXPECT_EQ(FlagsText(Describe(f).flags), "bias+gamma");

  const GuestTextureInfo edram = Describe(Texture2D(GuestFormat::k_8_8_8_8_GAMMA_EDRAM, 4, 4));
  EXPECT_EQ(FlagsText(edram.flags), "gamma") << "the format's own flag";

  FetchFields exp = Texture2D(GuestFormat::k_8_8_8_8, 4, 4);
  exp.exp_adjust = 0x20;
  EXPECT_EQ(FlagsText(Describe(exp).flags), "exp");
}

TEST(DescribeTexture, IntegerFlagSkipsFloatFormatsAndNorm32MarksNonIntegerThirtyTwoBitFormats) {
  FetchFields f = Texture2D(GuestFormat::k_32_FLOAT, 4, 4);
  f.is_integer = true;
  EXPECT_EQ(FlagsText(Describe(f).flags), "-");

  f.format = GuestFormat::k_32;
  EXPECT_EQ(FlagsText(Describe(f).flags), "int");
  f.format = GuestFormat::k_DXT1;  // block formats count as non-float
  EXPECT_EQ(FlagsText(Describe(f).flags), "int");

  f.is_integer = false;
  for (GuestFormat format : {GuestFormat::k_32, GuestFormat::k_32_32, GuestFormat::k_32_32_32_32}) {
    f.format = format;
    EXPECT_EQ(FlagsText(Describe(f).flags), "norm32") << GuestFormatName(uint32_t(format));
  }
  f.format = GuestFormat::k_32_32_FLOAT;
  EXPECT_EQ(FlagsText(Describe(f).flags), "-");
}

TEST(DescribeTexture, MipsWithoutBaseStartAtLevelOneAndALaterStartDropsTheBase) {
  FetchFields f = Texture2D(GuestFormat::k_8_8_8_8, 64, 64);
  f.base_address = 0;
  f.mip_address = 0x00020000;
  f.max_level = 6;
  GuestTextureInfo info = Describe(f);
  EXPECT_EQ(info.min_level, 1u);
  EXPECT_EQ(info.levels, 7u);

  f.base_address = 0x1000;
  f.min_level = 2;
  info = Describe(f);
  EXPECT_EQ(info.min_level, 2u);
  const LevelRange range = ComputeLevelRange(MakeFetchConstant(f), 0);
  EXPECT_EQ(range.base_address, 0u);
  EXPECT_EQ(range.mip_address, 0x00020000u);

  f.min_level = 0;
  const LevelRange with_base = ComputeLevelRange(MakeFetchConstant(f), 0);
  EXPECT_EQ(with_base.base_address, 0x1000u);
  EXPECT_EQ(with_base.min_level, 0u);
}

TEST(DescribeTexture, MaxLevelIsClampedToTheLargestSide) {
  FetchFields f = Texture2D(GuestFormat::k_8_8_8_8, 64, 64);
  f.mip_address = 0x00020000;
  f.max_level = 9;
  EXPECT_EQ(Describe(f).levels, 7u);

  f.min_level = 12;  // min above L is clamped too, and max never falls below min
  const LevelRange range = ComputeLevelRange(MakeFetchConstant(f), 0);
  EXPECT_EQ(range.min_level, 6u);
  EXPECT_EQ(range.max_level, 6u);
}

TEST(DescribeTexture, MipAddressWithoutLevelsIsDroppedAndNoAddressIsRefused) {
  FetchFields f = Texture2D(GuestFormat::k_8_8_8_8, 64, 64);
  f.mip_address = 0x00020000;
  f.max_level = 0;
  const LevelRange range = ComputeLevelRange(MakeFetchConstant(f), 0);
  EXPECT_EQ(range.mip_address, 0u);
  EXPECT_EQ(Describe(f).levels, 1u);

  FetchFields tiny = Texture2D(GuestFormat::k_8_8_8_8, 1, 1);
  tiny.mip_address = 0x00020000;
  tiny.max_level = 5;
  EXPECT_EQ(ComputeLevelRange(MakeFetchConstant(tiny), 0).mip_address, 0u) << "a 1x1 texture has no mips";

  f.base_address = 0;
  GuestTextureInfo info;
  std::string error;
  EXPECT_FALSE(DescribeTexture(MakeFetchConstant(f), info, &error));
  EXPECT_EQ(error, "no base or mip address");
  EXPECT_EQ(info.width, 64u) << "the description stays filled as far as it got";
}

TEST(DescribeTexture, AddressBitsOutsideThePageFieldAreNotAnAddress) {
  FetchConstant fetch = MakeFetchConstant(Texture2D(GuestFormat::k_8_8_8_8, 4, 4));
  fetch.words[1] = (fetch.words[1] & 0xFFFu) | 0xE0000000u;  // bits 29-31 only
  EXPECT_EQ(DescribeError(fetch), "no base or mip address");
}

TEST(DescribeTexture, CubeHasSixLayersAndVolumeCountsItsDepthForLevels) {
  FetchFields cube = Texture2D(GuestFormat::k_8_8_8_8, 32, 32);
  cube.dimension = kDimCube;
  const GuestTextureInfo cube_info = Describe(cube);
  EXPECT_EQ(cube_info.dim, kDimCube);
  EXPECT_EQ(cube_info.layers, 6u);
  EXPECT_EQ(cube_info.depth, 1u);

  FetchFields volume = Texture2D(GuestFormat::k_8_8_8_8, 16, 16);
  volume.dimension = kDim3D;
  volume.depth = 32;
  volume.mip_address = 0x00020000;
  volume.max_level = 15;
  const GuestTextureInfo volume_info = Describe(volume);
  EXPECT_EQ(volume_info.depth, 32u);
  EXPECT_EQ(volume_info.layers, 1u);
  EXPECT_EQ(volume_info.levels, 6u) << "L = floor_log2(32) = 5";
}

TEST(DescribeTexture, LayerCountOfA2DTextureNeedsTheStackedBit) {
  FetchFields f = Texture2D(GuestFormat::k_8_8_8_8, 16, 16);
  f.depth = 4;
  EXPECT_EQ(Describe(f).layers, 1u);
  f.stacked = true;
  EXPECT_EQ(Describe(f).layers, 4u);

  FetchFields line = Texture2D(GuestFormat::k_8_8_8_8, 300, 1);
  line.dimension = kDim1D;
  line.mip_address = 0x00020000;
  line.max_level = 15;
  const GuestTextureInfo info = Describe(line);
  EXPECT_EQ(info.width, 300u);
  EXPECT_EQ(info.height, 1u);
  EXPECT_EQ(info.levels, 9u);
}

TEST(DescribeTexture, SwizzlesSixAndSevenShowAsQuestionMarksAndReadAsZero) {
  FetchFields f = Texture2D(GuestFormat::k_8_8_8_8, 4, 4);
  f.swizzle[0] = 6;
  f.swizzle[1] = 7;
  f.swizzle[2] = 5;
  f.swizzle[3] = 0;
  const FetchConstant fetch = MakeFetchConstant(f);
  EXPECT_EQ(GuestSwizzleText(fetch), "??1X");
  EXPECT_EQ(ViewText(Describe(f).view), "001R");
}

TEST(DescribeTexture, ViewMapsGuestChannelsThroughTheFormatsChannelMap) {
  FetchFields f = Texture2D(GuestFormat::k_5_6_5, 4, 4);  // guest W is held in host B
  f.swizzle[0] = 3;
  f.swizzle[1] = 2;
  f.swizzle[2] = 1;
  f.swizzle[3] = 4;
  EXPECT_EQ(ViewText(Describe(f).view), "BBG0");
  EXPECT_EQ(Describe(Texture2D(GuestFormat::k_8_8_8_8, 4, 4)).view, kIdentityView);
  EXPECT_EQ(ViewText(Describe(Texture2D(GuestFormat::k_DXN, 8, 8)).view), "RGGG");
}

TEST(DescribeTexture, MipsInTheBaseTailOnlyWhenAskedAndTheBaseIsInTheTail) {
  FetchFields f = Texture2D(GuestFormat::k_DXT1, 16, 16);
  f.packed = true;
  f.max_level = 4;
  const FetchConstant fetch = MakeFetchConstant(f);
  EXPECT_TRUE(HasMipsInBaseTail(fetch));

  const LevelRange assumed = ComputeLevelRange(fetch, 1);
  EXPECT_TRUE(assumed.mips_in_base_tail);
  EXPECT_EQ(assumed.max_level, 4u);
  EXPECT_EQ(Describe(f, 1).levels, 5u);
  EXPECT_EQ(Describe(f, 0).levels, 1u);
  EXPECT_EQ(Describe(f, 2).levels, 1u) << "the option counts only when it is 1";

  f.min_level = 7;
  EXPECT_EQ(ComputeLevelRange(MakeFetchConstant(f), 1).min_level, 4u) << "min is clamped to max";

  FetchFields larger = f;
  larger.width = larger.height = 32;  // its base lies above the tail
  EXPECT_FALSE(HasMipsInBaseTail(MakeFetchConstant(larger)));
  EXPECT_FALSE(ComputeLevelRange(MakeFetchConstant(larger), 1).mips_in_base_tail);

  FetchFields with_mips = f;
  with_mips.mip_address = 0x00020000;
  EXPECT_FALSE(HasMipsInBaseTail(MakeFetchConstant(with_mips)));
  FetchFields unpacked = f;
  unpacked.packed = false;
  EXPECT_FALSE(HasMipsInBaseTail(MakeFetchConstant(unpacked)));
  FetchFields line = f;
  line.dimension = kDim1D;
  EXPECT_FALSE(HasMipsInBaseTail(MakeFetchConstant(line)));

  // The candidate test does not clamp the max level to the texture's size.
  FetchFields tiny = f;
  tiny.width = tiny.height = 1;
  EXPECT_TRUE(HasMipsInBaseTail(MakeFetchConstant(tiny)));
  EXPECT_FALSE(ComputeLevelRange(MakeFetchConstant(tiny), 1).mips_in_base_tail);
}

TEST(DescribeTexture, LogarithmsAndPackedTailLevelAtTheirEdges) {
  EXPECT_EQ(FloorLog2(0), 0u);
  EXPECT_EQ(FloorLog2(1), 0u);
  EXPECT_EQ(FloorLog2(0xFFFFFFFFu), 31u);
  EXPECT_EQ(CeilLog2(1), 0u);
  EXPECT_EQ(CeilLog2(2), 1u);
  EXPECT_EQ(CeilLog2(3), 2u);
  EXPECT_EQ(CeilLog2(0x80000001u), 32u);
  EXPECT_EQ(PackedTailLevel(16, 16), 0u);
  EXPECT_EQ(PackedTailLevel(17, 64), 1u);
  EXPECT_EQ(PackedTailLevel(256, 1024), 4u);
  EXPECT_EQ(PackedTailLevel(1, 4096), 0u);
}

TEST(DescriptionTexts, SignsTilingAndFlagsReadAsReported) {
  FetchFields f = Texture2D(GuestFormat::k_8_8_8_8, 4, 4);
  f.signs[0] = 0;
  f.signs[1] = 1;
  f.signs[2] = 2;
  f.signs[3] = 3;
  EXPECT_EQ(SignText(MakeFetchConstant(f)), "uSbg");
  EXPECT_EQ(TilingText(MakeFetchConstant(f)), "linear");
  f.tiled = true;
  f.packed = true;
  EXPECT_EQ(TilingText(MakeFetchConstant(f)), "tiled packed");
  EXPECT_EQ(FlagsText(0), "-");
  EXPECT_EQ(FlagsText(kFlagBias | kFlagNorm32), "bias+norm32");
  EXPECT_EQ(FlagsText(0xFF), "bias+gamma+signs+exp+int+norm32") << "bits above the six are not named";
}

TEST(DescriptionTexts, CodeLookupsWrapOrClamp) {
  EXPECT_STREQ(GuestFormatName(63), "k_2_10_10_10_FLOAT_EDRAM");
  EXPECT_STREQ(GuestFormatName(64), "k_1_REVERSE");
  EXPECT_STREQ(GuestFormatName(0xFFFFFFFFu), "k_2_10_10_10_FLOAT_EDRAM");
  EXPECT_STREQ(HostFormatName(36), "BC7_UNORM");
  EXPECT_STREQ(HostFormatName(37), "BC7_UNORM");
  EXPECT_STREQ(ConversionName(29), "7e3_to_rgba16f");
  EXPECT_STREQ(ConversionName(255), "7e3_to_rgba16f");
  EXPECT_STREQ(EndianName(4), "none");
  EXPECT_STREQ(DimensionName(3), "cube");
  EXPECT_EQ(HostFormatRow(200).bytes_per_block, 16);
}

}  // namespace
}  // namespace mivo
