#include <gtest/gtest.h>

#include <vector>

#include "guest/layout.h"
#include "support/dump_builder.h"

namespace mivo {
namespace {

using test::FetchFields;
using test::MakeFetchConstant;

using U64s = std::vector<uint64_t>;

// pitch_blocks, row_pitch, height_blocks, slice_size, extent_x, extent_y, extent_z, extent_bytes.
U64s Fields(const GuestLevelLayout& r) {
  return {r.pitch_blocks, r.row_pitch, r.height_blocks, r.slice_size,
          r.extent_x,     r.extent_y,  r.extent_z,      r.extent_bytes};
}
U64s Extents(const GuestExtents& e) { return {e.base_address, e.base_size, e.mip_address, e.mip_size}; }

constexpr FetchFields kRgba100x50{.pitch = 4, .base_address = 0x1000, .width = 100, .height = 50};

FetchFields PackedDxt1(uint32_t mip_address) {
  return {.pitch = 1, .tiled = true, .format = GuestFormat::k_DXT1, .base_address = 0x10000, .width = 16,
          .height = 16, .max_level = 4, .packed = true, .mip_address = mip_address};
}

TEST(GuestLayout, Rgba100x50TouchesUpToItsLastTexelOrWholeMacroTiles) {
  const GuestLayout linear = ComputeGuestLayout(MakeFetchConstant(kRgba100x50), 0);
  EXPECT_EQ(Fields(linear.base), (U64s{128, 512, 64, 32768, 100, 50, 1, 25488}));
  EXPECT_EQ((U64s{linear.base_size, linear.mip_size}), (U64s{25488, 0}));
  EXPECT_EQ(linear.tail_level, kNotPacked);
  FetchFields tiled = kRgba100x50;
  tiled.tiled = true;
  const GuestLayout layout = ComputeGuestLayout(MakeFetchConstant(tiled), 0);
  EXPECT_EQ((U64s{layout.base.extent_bytes, layout.base_size}), (U64s{32768, 32768}));
}

TEST(GuestLayout, OnlyLinearMipRowsAreRoundedTo256Bytes) {
  FetchFields f{.pitch = 1, .format = GuestFormat::k_8, .base_address = 0x1000, .width = 32, .height = 32,
                .max_level = 1, .mip_address = 0x8000};
  GuestLayout linear = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(linear.base.row_pitch, 32u);
  EXPECT_EQ(linear.mips[1].pitch_blocks, 32u);
  EXPECT_EQ(linear.mips[1].row_pitch, 256u);
  f.tiled = true;
  GuestLayout tiled = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(tiled.mips[1].row_pitch, 32u);
}

TEST(GuestLayout, CubeLevelsSpanSixFacesAndMipsFollowEachOther) {
  const GuestLayout layout = ComputeGuestLayout(
      MakeFetchConstant({.pitch = 2, .tiled = true, .base_address = 0x1000, .width = 64, .height = 64,
                         .max_level = 2, .dimension = kDimCube, .mip_address = 0x100000}),
      0);
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
  // Level 0 sits 4 blocks to the right in the tail tile.
  EXPECT_EQ(Fields(layout.base), (U64s{32, 256, 32, 8192, 8, 4, 1, layout.base.extent_bytes}));
  EXPECT_EQ(Fields(layout.mips[0]), Fields(layout.base));
  EXPECT_EQ((U64s{layout.base_size, layout.mip_size}), (U64s{8192, 8192}));
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

  EXPECT_EQ(Extents(ComputeGuestExtents(fetch, 0)), (U64s{0x10000, 8192, 0x20000, 8192}));
}

TEST(GuestLayout, MipsAssumedInTheBaseTailAreLocatedInTheBaseRecord) {
  const FetchConstant fetch = MakeFetchConstant(PackedDxt1(0));
  const GuestLayout layout = ComputeGuestLayout(fetch, 1);
  EXPECT_TRUE(layout.mips_in_base_tail);
  EXPECT_EQ((U64s{layout.base.extent_x, layout.base.extent_y, layout.base_size, layout.mip_size}),
            (U64s{8, 4, 8192, 0}));
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
  const FetchConstant fetch = MakeFetchConstant({.pitch = 2, .base_address = 0x1000, .width = 64, .height = 64,
                                                 .min_level = 2, .max_level = 6, .mip_address = 0x40000});
  const GuestLayout layout = ComputeGuestLayout(fetch, 0);
  EXPECT_FALSE(layout.has_base);
  EXPECT_EQ(layout.base.slice_size, 0u);
  EXPECT_EQ(layout.base_size, 0u);
  EXPECT_EQ(layout.mips[1].offset, 0u);
  EXPECT_NE(layout.mips[1].slice_size, 0u);
  EXPECT_EQ(layout.mips[2].offset, layout.mips[1].slice_size);
  LevelLocation loc;
  EXPECT_FALSE(LocateLevel(layout, 0, 0, loc));
  EXPECT_EQ(Extents(ComputeGuestExtents(fetch, 0)), (U64s{0, 0, 0x40000, layout.mip_size}));
}

TEST(GuestLayout, LevelsBeyondTheTailReadTheTailRecordAtTheirOwnOffsets) {
  const GuestLayout layout = ComputeGuestLayout(
      MakeFetchConstant({.pitch = 8, .tiled = true, .base_address = 0x1000, .width = 256, .height = 256,
                         .max_level = 8, .packed = true, .mip_address = 0x100000}),
      0);
  EXPECT_EQ(layout.tail_level, 4u);
  EXPECT_EQ(layout.last_level, 8u);
  EXPECT_EQ(layout.mips[5].slice_size, 0u);
  LevelLocation loc;
  ASSERT_TRUE(LocateLevel(layout, 7, 0, loc));
  EXPECT_EQ(loc.record, &layout.mips[4]);
  EXPECT_EQ(loc.tail.y, 8u);  // place 3 in the tail: 16 >> 1
}

TEST(PackedMipOffset, TailLevelsSitAlongTheLongerSideThenStepIntoLaterSlices) {
  constexpr uint32_t kRgba = uint32_t(GuestFormat::k_8_8_8_8), kDxt1 = uint32_t(GuestFormat::k_DXT1);
  // Level 6 of a 16x16 tail lands 16 >> 4 = 1 texel down, below 4, so it moves
  // on in z: 4 slices, or (8 - 6) x 4 when the volume is deep enough.
  const struct {
    uint32_t width, height, depth, format, level, x, y, z;
  } cases[] = {{16, 16, 1, kRgba, 0, 16, 0, 0}, {32, 16, 1, kRgba, 0, 0, 16, 0}, {16, 16, 1, kDxt1, 0, 4, 0, 0},
               {16, 16, 1, kRgba, 4, 0, 4, 0},  {16, 16, 64, kRgba, 6, 0, 1, 4}, {16, 16, 256, kRgba, 6, 0, 1, 8}};
  for (const auto& c : cases) {
    TailOffset off;
    ASSERT_TRUE(PackedMipOffset(c.width, c.height, c.depth, c.format, c.level, off));
    EXPECT_EQ(std::vector<uint32_t>({off.x, off.y, off.z}), std::vector<uint32_t>({c.x, c.y, c.z}))
        << c.width << "x" << c.height << "x" << c.depth << " level " << c.level;
  }
  TailOffset off;
  EXPECT_FALSE(PackedMipOffset(256, 256, 1, kRgba, 3, off)) << "above the tail";
  EXPECT_EQ(off.x + off.y + off.z, 0u);
}

TEST(GuestLayout, HugeSizesDoNotWrapThirtyTwoBits) {
  const GuestLayout layout = ComputeGuestLayout(
      MakeFetchConstant({.pitch = 256, .format = GuestFormat::k_32_32_32_32_FLOAT, .stacked = true,
                         .base_address = 0x1000, .width = 8192, .height = 8192, .depth = 64}),
      0);
  EXPECT_EQ(layout.base.slice_size, 8192ull * 8192 * 16);
  EXPECT_EQ(layout.base_size, 63 * layout.base.slice_size + 8192ull * 16 + 8191ull * 8192 * 16);
}

}  // namespace
}  // namespace mivo
