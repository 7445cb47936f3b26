#include <gtest/gtest.h>

#include <set>

#include "guest/tiling.h"

namespace mivo {
namespace {

TEST(TiledAddress, WorkedOffsets) {
  const struct {
    uint32_t x, y, pitch, expected;
  } two_d[] = {{0, 0, 32, 0},   {1, 0, 32, 4},     {8, 0, 32, 64},    {0, 1, 32, 16},
               {0, 2, 32, 256}, {0, 16, 32, 2048}, {32, 0, 64, 4096}, {0, 32, 64, 8192}};
  for (const auto& c : two_d) EXPECT_EQ(TiledAddress2D(c.x, c.y, c.pitch, 2), c.expected) << c.x << "," << c.y;
  const struct {
    uint32_t x, y, z, expected;
  } three_d[] = {{1, 0, 0, 4}, {0, 0, 1, 1024}, {0, 0, 4, 18560}, {0, 16, 0, 8192}};
  for (const auto& c : three_d)
    EXPECT_EQ(TiledAddress3D(c.x, c.y, c.z, 32, 32, 2), c.expected) << c.x << "," << c.y << "," << c.z;
}

// Every block of a level must get its own bytes, whatever the block size.
TEST(TiledAddress, BlocksNeverShareBytes) {
  for (uint32_t b = 0; b <= 4; ++b) {
    std::set<uint32_t> seen2d, seen3d;
    for (uint32_t y = 0; y < 64; ++y)
      for (uint32_t x = 0; x < 64; ++x) {
        const uint32_t a = TiledAddress2D(x, y, 64, b);
        EXPECT_EQ(a % (1u << b), 0u);
        EXPECT_TRUE(seen2d.insert(a >> b).second) << "2D b=" << b << " x=" << x << " y=" << y;
      }
    for (uint32_t z = 0; z < 8; ++z)
      for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 0; x < 32; ++x)
          EXPECT_TRUE(seen3d.insert(TiledAddress3D(x, y, z, 32, 32, b) >> b).second)
              << "3D b=" << b << " x=" << x << " y=" << y << " z=" << z;
  }
}

}  // namespace
}  // namespace mivo
