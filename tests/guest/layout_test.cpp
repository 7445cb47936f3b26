#include <gtest/gtest.h>

#include <vector>

#include "guest/layout.h"
#include "support/dump_builder.h"

namespace mivo {
namespace {

using test::FetchFields;
using test::MakeFetchConstant;

TEST(GuestLayout, OnlyLinearMipRowsAreRoundedTo256Bytes) {
  FetchFields f{.pitch = 1,
                .format = GuestFormat::k_8,
                .base_address = 0x1000,
                .width = 32,
                .height = 32,
                .max_level = 1,
                .mip_address = 0x8000};
  GuestLayout linear = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(linear.base.row_pitch, 32u);
  EXPECT_EQ(linear.mips[1].pitch_blocks, 32u);
  EXPECT_EQ(linear.mips[1].row_pitch, 256u);
  f.tiled = true;
  GuestLayout tiled = ComputeGuestLayout(MakeFetchConstant(f), 0);
  EXPECT_EQ(tiled.mips[1].row_pitch, 32u);
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
  const GuestLayout layout = ComputeGuestLayout(MakeFetchConstant({.pitch = 256,
                                                                   .format = GuestFormat::k_32_32_32_32_FLOAT,
                                                                   .stacked = true,
                                                                   .base_address = 0x1000,
                                                                   .width = 8192,
                                                                   .height = 8192,
                                                                   .depth = 64}),
                                                0);
  EXPECT_EQ(layout.base.slice_size, 8192ull * 8192 * 16);
  EXPECT_EQ(layout.base_size, 63 * layout.base.slice_size + 8192ull * 16 + 8191ull * 8192 * 16);
}

}  // namespace
}  // namespace mivo
