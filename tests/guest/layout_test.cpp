#include <gtest/gtest.h>

#include "guest/layout.h"
#include "support/dump_builder.h"

namespace mivo {
namespace {

using test::FetchFields;
using test::MakeFetchConstant;

FetchFields Rgba100x50(bool tiled) {
  FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.width = 100;
  f.height = 50;
  f.pitch = 4;
  f.tiled = tiled;
  f.base_address = 0x1000;
  return f;
}

FetchFields PackedDxt1(uint32_t mip_address) {
  FetchFields f;
  f.format = GuestFormat::k_DXT1;
  f.width = f.height = 16;
  f.pitch = 1;
  f.tiled = true;
  f.packed = true;
  f.max_level = 4;
  f.base_address = 0x10000;
  f.mip_address = mip_address;
  return f;
}

TEST(GuestLayout, Linear100x50RgbaTouchesUpToTheLastTexelOfTheLastRow) {
  const GuestLayout layout = ComputeGuestLayout(MakeFetchConstant(Rgba100x50(false)), 0);
  const GuestLevelLayout& base = layout.base;
  EXPECT_EQ(base.pitch_blocks, 128u);
  EXPECT_EQ(base.row_pitch, 512u);
  EXPECT_EQ(base.height_blocks, 64u);
  EXPECT_EQ(base.slice_size, 32768u);
  EXPECT_EQ(base.extent_x, 100u);
  EXPECT_EQ(base.extent_y, 50u);
  EXPECT_EQ(base.extent_z, 1u);
  EXPECT_EQ(base.extent_bytes, 25488u);
  EXPECT_EQ(layout.base_size, 25488u);
  EXPECT_EQ(layout.mip_size, 0u);
  EXPECT_EQ(layout.tail_level, kNotPacked);
}

TEST(GuestLayout, Tiled100x50RgbaTouchesWholeMacroTiles) {
  const GuestLayout layout = ComputeGuestLayout(MakeFetchConstant(Rgba100x50(true)), 0);
  EXPECT_EQ(layout.base.extent_bytes, 32768u);
  EXPECT_EQ(layout.base_size, 32768u);
}

TEST(GuestLayout, OnlyLinearMipRowsAreRoundedTo256Bytes) {
  FetchFields f;
  f.format = GuestFormat::k_8;
  f.width = f.height = 32;
  f.pitch = 1;
  f.max_level = 1;
  f.base_address = 0x1000;
  f.mip_address = 0x8000;
  GuestLayout linear = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(linear.base.row_pitch, 32u);
  EXPECT_EQ(linear.mips[1].pitch_blocks, 32u);
  EXPECT_EQ(linear.mips[1].row_pitch, 256u);
  f.tiled = true;
  GuestLayout tiled = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(tiled.mips[1].row_pitch, 32u);
}

TEST(GuestLayout, CubeLevelsSpanSixFacesAndMipsFollowEachOther) {
  FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.dimension = kDimCube;
  f.width = f.height = 64;
  f.pitch = 2;
  f.tiled = true;
  f.max_level = 2;
  f.base_address = 0x1000;
  f.mip_address = 0x100000;
  const GuestLayout layout = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(layout.layers, 6u);
  for (const GuestLevelLayout* rec : {&layout.base, &layout.mips[1], &layout.mips[2]}) {
    EXPECT_GE(rec->extent_bytes, 5 * rec->slice_size);
    EXPECT_LT(rec->extent_bytes, 6 * rec->slice_size + 1);
  }
  EXPECT_EQ(layout.base_size, layout.base.extent_bytes);
  EXPECT_EQ(layout.mips[1].offset, 0u);
  EXPECT_EQ(layout.mips[2].offset, 6 * layout.mips[1].slice_size);
  EXPECT_EQ(layout.mip_size, layout.mips[2].offset + layout.mips[2].extent_bytes);

  LevelLocation loc;
  ASSERT_TRUE(LocateLevel(layout, 2, 3, loc));
  EXPECT_EQ(loc.region, GuestRegion::mip);
  EXPECT_EQ(loc.start, layout.mips[2].offset + 3 * layout.mips[2].slice_size);
  EXPECT_EQ(loc.bx, 16u);
  EXPECT_FALSE(LocateLevel(layout, 2, 6, loc));
  EXPECT_FALSE(LocateLevel(layout, 3, 0, loc));
}

TEST(GuestLayout, PackedSmallDxt1KeepsAllItsMipsInOneTailTile) {
  const FetchConstant fetch = MakeFetchConstant(PackedDxt1(0x20000));
  const GuestLayout layout = ComputeGuestLayout(fetch, 0);
  EXPECT_EQ(layout.tail_level, 0u);
  EXPECT_FALSE(layout.mips_in_base_tail);
  for (const GuestLevelLayout* rec : {&layout.base, &layout.mips[0]}) {
    EXPECT_EQ(rec->extent_x, 8u);  // level 0 sits 4 blocks to the right
    EXPECT_EQ(rec->extent_y, 4u);
    EXPECT_EQ(rec->pitch_blocks, 32u);
    EXPECT_EQ(rec->row_pitch, 256u);
    EXPECT_EQ(rec->slice_size, 8192u);
  }
  EXPECT_EQ(layout.base_size, 8192u);
  EXPECT_EQ(layout.mip_size, 8192u);
  EXPECT_EQ(layout.mips[1].slice_size, 0u);  // nothing laid out beyond the tail record

  LevelLocation loc;
  ASSERT_TRUE(LocateLevel(layout, 0, 0, loc));
  EXPECT_EQ(loc.region, GuestRegion::base);
  EXPECT_EQ(loc.tail.x, 4u);
  for (uint32_t level = 1; level <= 4; ++level) {
    ASSERT_TRUE(LocateLevel(layout, level, 0, loc)) << level;
    EXPECT_EQ(loc.region, GuestRegion::mip);
    EXPECT_EQ(loc.record, &layout.mips[0]);
    EXPECT_EQ(loc.start, 0u);
  }
  ASSERT_TRUE(LocateLevel(layout, 3, 0, loc));
  EXPECT_EQ(loc.tail.x, 0u);
  EXPECT_EQ(loc.tail.y, 2u);  // 8 texels down

  const GuestExtents extents = ComputeGuestExtents(fetch, 0);
  EXPECT_EQ(extents.base_address, 0x10000u);
  EXPECT_EQ(extents.base_size, 8192u);
  EXPECT_EQ(extents.mip_address, 0x20000u);
  EXPECT_EQ(extents.mip_size, 8192u);
}

TEST(GuestLayout, MipsAssumedInTheBaseTailAreLocatedInTheBaseRecord) {
  const FetchConstant fetch = MakeFetchConstant(PackedDxt1(0));
  const GuestLayout layout = ComputeGuestLayout(fetch, 1);
  EXPECT_TRUE(layout.mips_in_base_tail);
  EXPECT_EQ(layout.base.extent_x, 8u);
  EXPECT_EQ(layout.base.extent_y, 4u);
  EXPECT_EQ(layout.base_size, 8192u);
  EXPECT_EQ(layout.mip_size, 0u);
  EXPECT_EQ(layout.mips[0].slice_size, 0u);
  LevelLocation loc;
  ASSERT_TRUE(LocateLevel(layout, 4, 0, loc));
  EXPECT_EQ(loc.region, GuestRegion::base);
  EXPECT_EQ(loc.tail.y, 1u);

  // Without the option the same texture has one level and no tail mips.
  const GuestLayout plain = ComputeGuestLayout(fetch, 0);
  EXPECT_FALSE(plain.mips_in_base_tail);
  EXPECT_EQ(plain.last_level, 0u);
  EXPECT_EQ(ComputeGuestExtents(fetch, 0).mip_size, 0u);
}

TEST(GuestLayout, TextureWithoutBaseLaysOutMipsFromTheStartOfTheMipRegion) {
  FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.width = f.height = 64;
  f.pitch = 2;
  f.min_level = 2;
  f.max_level = 6;
  f.base_address = 0x1000;
  f.mip_address = 0x40000;
  const FetchConstant fetch = MakeFetchConstant(f);
  const GuestLayout layout = ComputeGuestLayout(fetch, 0);
  EXPECT_FALSE(layout.has_base);
  EXPECT_EQ(layout.base.slice_size, 0u);
  EXPECT_EQ(layout.base_size, 0u);
  EXPECT_EQ(layout.mips[1].offset, 0u);
  EXPECT_NE(layout.mips[1].slice_size, 0u);
  EXPECT_EQ(layout.mips[2].offset, layout.mips[1].slice_size);
  LevelLocation loc;
  EXPECT_FALSE(LocateLevel(layout, 0, 0, loc));
  const GuestExtents extents = ComputeGuestExtents(fetch, 0);
  EXPECT_EQ(extents.base_address, 0u);
  EXPECT_EQ(extents.base_size, 0u);
  EXPECT_EQ(extents.mip_address, 0x40000u);
}

TEST(GuestLayout, LevelsBeyondTheTailReadTheTailRecordAtTheirOwnOffsets) {
  FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.width = f.height = 256;
  f.pitch = 8;
  f.tiled = true;
  f.packed = true;
  f.max_level = 8;
  f.base_address = 0x1000;
  f.mip_address = 0x100000;
  const GuestLayout layout = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(layout.tail_level, 4u);
  EXPECT_EQ(layout.last_level, 8u);
  EXPECT_EQ(layout.mips[5].slice_size, 0u);
  LevelLocation loc;
  ASSERT_TRUE(LocateLevel(layout, 7, 0, loc));
  EXPECT_EQ(loc.record, &layout.mips[4]);
  TailOffset expected;
  ASSERT_TRUE(PackedMipOffset(256, 256, 1, uint32_t(GuestFormat::k_8_8_8_8), 7, expected));
  EXPECT_EQ(loc.tail.y, expected.y);
  EXPECT_EQ(loc.tail.y, 8u);  // place 3 in the tail: 16 >> 1
}

TEST(PackedMipOffset, FirstTailLevelSitsSixteenTexelsAlongTheLongerSide) {
  TailOffset off;
  EXPECT_TRUE(PackedMipOffset(16, 16, 1, uint32_t(GuestFormat::k_8_8_8_8), 0, off));
  EXPECT_EQ(off.x, 16u);
  EXPECT_EQ(off.y, 0u);
  EXPECT_TRUE(PackedMipOffset(32, 16, 1, uint32_t(GuestFormat::k_8_8_8_8), 0, off));
  EXPECT_EQ(off.x, 0u);
  EXPECT_EQ(off.y, 16u);
  EXPECT_TRUE(PackedMipOffset(16, 16, 1, uint32_t(GuestFormat::k_DXT1), 0, off));
  EXPECT_EQ(off.x, 4u);  // in blocks
  EXPECT_FALSE(PackedMipOffset(256, 256, 1, uint32_t(GuestFormat::k_8_8_8_8), 3, off));
  EXPECT_EQ(off.x + off.y + off.z, 0u);
}

TEST(PackedMipOffset, TinyTailLevelsStepIntoLaterSlices) {
  TailOffset off;
  // Level 6 of a 16x16 tail lands 16 >> 4 = 1 texel down, below 4, so it
  // moves on in z: 4 slices unless the volume is deep enough for more.
  EXPECT_TRUE(PackedMipOffset(16, 16, 64, uint32_t(GuestFormat::k_8_8_8_8), 6, off));
  EXPECT_EQ(off.y, 1u);
  EXPECT_EQ(off.z, 4u);
  EXPECT_TRUE(PackedMipOffset(16, 16, 256, uint32_t(GuestFormat::k_8_8_8_8), 6, off));
  EXPECT_EQ(off.z, 8u);  // (8 - 6) x 4
  EXPECT_TRUE(PackedMipOffset(16, 16, 1, uint32_t(GuestFormat::k_8_8_8_8), 4, off));
  EXPECT_EQ(off.y, 4u);
  EXPECT_EQ(off.z, 0u);
}

TEST(GuestLayout, HugeSizesDoNotWrapThirtyTwoBits) {
  FetchFields f;
  f.format = GuestFormat::k_32_32_32_32_FLOAT;
  f.width = f.height = 8192;
  f.pitch = 256;
  f.stacked = true;
  f.depth = 64;
  f.base_address = 0x1000;
  const GuestLayout layout = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(layout.base.slice_size, 8192ull * 8192 * 16);
  EXPECT_EQ(layout.base_size, 63 * layout.base.slice_size + 8192ull * 16 + 8191ull * 8192 * 16);
}

}  // namespace
}  // namespace mivo
