#include <gtest/gtest.h>

#include <array>
#include <initializer_list>

#include "texdump/dump_images.h"

namespace mivo {
namespace {

// An R8 texture of `width` x `height` at level 0 whose records are given as
// {mip, layer, fill value}; each record's size halves with its mip.
HostTextureData R8Texture(uint32_t width, uint32_t height, uint32_t levels, uint32_t min_level, uint32_t layers,
                          std::initializer_list<std::array<uint32_t, 3>> records) {
  HostTextureData t;
  t.host_format = HostFormat::R8_UNORM;
  t.width = width;
  t.height = height;
  t.levels = levels;
  t.min_level = min_level;
  t.layers = layers;
  for (const auto& [mip, layer, value] : records) {
    LevelRecord r;
    r.mip = mip;
    r.layer = layer;
    r.width = r.row_pitch = width >> mip;
    r.height = height >> mip;
    r.slice_size = r.size = r.width * r.height;
    r.offset = t.data.size();
    t.data.resize(t.data.size() + r.size, uint8_t(value));
    t.level_records.push_back(r);
  }
  return t;
}

TEST(FirstLevelImage, StartsAtTheFirstStoredLevelAndSkipsLayersWithoutIt) {
  // Layer 1 has no level 1, and the later level 2 is not shown.
  StackedImage image;
  ASSERT_TRUE(StackFirstLevel(R8Texture(8, 8, 3, 1, 3, {{1, 0, 10}, {2, 0, 99}, {1, 2, 30}}), image));
  EXPECT_EQ(image.width, 4u);
  EXPECT_EQ(image.height, 8u);
  ASSERT_EQ(image.pixels.size(), 4u * 8 * 4);
  EXPECT_EQ(image.pixels[0], 10);
  EXPECT_EQ(image.pixels[3], 255) << "R8 is opaque";
  EXPECT_EQ(image.pixels[4 * 4 * 4], 30) << "the third layer follows the first directly";

  EXPECT_FALSE(StackFirstLevel(R8Texture(4, 4, 2, 0, 1, {{1, 0, 1}}), image)) << "no record of the first level";

  HostTextureData outside = R8Texture(4, 4, 1, 0, 2, {{0, 0, 1}, {0, 1, 2}});
  outside.level_records[1].offset = 1000;  // outside the data: nothing to expand, no rows
  ASSERT_TRUE(StackFirstLevel(outside, image));
  EXPECT_EQ(image.height, 4u);
  EXPECT_EQ(image.pixels.size(), 64u);
}

}  // namespace
}  // namespace mivo
