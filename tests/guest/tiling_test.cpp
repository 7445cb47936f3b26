#include <gtest/gtest.h>

#include <set>

#include "guest/tiling.h"

namespace mivo {
namespace {

TEST(TiledAddress, TwoDimensionalWorkedOffsets) {
  EXPECT_EQ(TiledAddress2D(0, 0, 32, 2), 0u);
  EXPECT_EQ(TiledAddress2D(1, 0, 32, 2), 4u);
  EXPECT_EQ(TiledAddress2D(8, 0, 32, 2), 64u);
  EXPECT_EQ(TiledAddress2D(0, 1, 32, 2), 16u);
  EXPECT_EQ(TiledAddress2D(0, 2, 32, 2), 256u);
  EXPECT_EQ(TiledAddress2D(0, 16, 32, 2), 2048u);
  EXPECT_EQ(TiledAddress2D(32, 0, 64, 2), 4096u);
  EXPECT_EQ(TiledAddress2D(0, 32, 64, 2), 8192u);
}

TEST(TiledAddress, ThreeDimensionalWorkedOffsets) {
  EXPECT_EQ(TiledAddress3D(1, 0, 0, 32, 32, 2), 4u);
  EXPECT_EQ(TiledAddress3D(0, 0, 1, 32, 32, 2), 1024u);
  EXPECT_EQ(TiledAddress3D(0, 0, 4, 32, 32, 2), 18560u);
  EXPECT_EQ(TiledAddress3D(0, 16, 0, 32, 32, 2), 8192u);
}

// Every block of a level must get its own bytes, whatever the block size.
TEST(TiledAddress, BlocksNeverShareBytes) {
  for (uint32_t b = 0; b <= 4; ++b) {
    std::set<uint32_t> seen2d, seen3d;
    for (uint32_t y = 0; y < 64; ++y) {
      for (uint32_t x = 0; x < 64; ++x) {
        const uint32_t a = TiledAddress2D(x, y, 64, b);
        EXPECT_EQ(a % (1u << b), 0u);
        EXPECT_TRUE(seen2d.insert(a >> b).second) << "2D b=" << b << " x=" << x << " y=" << y;
      }
    }
    for (uint32_t z = 0; z < 8; ++z) {
      for (uint32_t y = 0; y < 32; ++y) {
        for (uint32_t x = 0; x < 32; ++x) {
          EXPECT_TRUE(seen3d.insert(TiledAddress3D(x, y, z, 32, 32, b) >> b).second)
              << "3D b=" << b << " x=" << x << " y=" << y << " z=" << z;
        }
      }
    }
  }
}

}  // namespace
}  // namespace mivo
