#include <gtest/gtest.h>

#include "texdump/dump_images.h"

namespace mivo {
namespace {

void AddR8Record(HostTextureData& t, uint32_t mip, uint32_t layer, uint32_t w, uint32_t h, uint8_t value) {
  LevelRecord r;
  r.mip = mip;
  r.layer = layer;
  r.width = w;
  r.height = h;
  r.row_pitch = w;
  r.slice_size = w * h;
  r.offset = t.data.size();
  r.size = r.slice_size;
  t.data.resize(t.data.size() + r.size, value);
  t.level_records.push_back(r);
}

TEST(FirstLevelImage, StartsAtTheFirstStoredLevelAndSkipsLayersWithoutIt) {
  HostTextureData t;
  t.host_format = HostFormat::R8_UNORM;
  t.width = 8;
  t.height = 8;
  t.layers = 3;
  t.levels = 3;
  t.min_level = 1;
  AddR8Record(t, 1, 0, 4, 4, 10);
  AddR8Record(t, 2, 0, 2, 2, 99);  // a later level is not shown
  AddR8Record(t, 1, 2, 4, 4, 30);  // layer 1 has no level 1
  StackedImage image;
  ASSERT_TRUE(StackFirstLevel(t, image));
  EXPECT_EQ(image.width, 4u);
  EXPECT_EQ(image.height, 8u);
  ASSERT_EQ(image.pixels.size(), 4u * 8 * 4);
  EXPECT_EQ(image.pixels[0], 10);
  EXPECT_EQ(image.pixels[3], 255) << "R8 is opaque";
  EXPECT_EQ(image.pixels[4 * 4 * 4], 30) << "the third layer follows the first directly";
}

TEST(FirstLevelImage, NoRecordForTheFirstLevelMeansNoImage) {
  HostTextureData t;
  t.host_format = HostFormat::R8_UNORM;
  t.width = 4;
  t.height = 4;
  t.levels = 2;
  AddR8Record(t, 1, 0, 2, 2, 1);
  StackedImage image;
  EXPECT_FALSE(StackFirstLevel(t, image));
}

TEST(FirstLevelImage, SliceThatExpandsToNothingAddsNoRows) {
  HostTextureData t;
  t.host_format = HostFormat::R8_UNORM;
  t.width = 4;
  t.height = 4;
  t.layers = 2;
  AddR8Record(t, 0, 0, 4, 4, 1);
  AddR8Record(t, 0, 1, 4, 4, 2);
  t.level_records[1].offset = 1000;  // outside the data: nothing to expand
  StackedImage image;
  ASSERT_TRUE(StackFirstLevel(t, image));
  EXPECT_EQ(image.height, 4u);
  EXPECT_EQ(image.pixels.size(), 64u);
}

}  // namespace
}  // namespace mivo
