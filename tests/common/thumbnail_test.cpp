#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/thumbnail.h"

namespace mivo {
namespace {

TEST(Thumbnail, EachPixelIsTheRoundedMeanOfItsBox) {
  // 5x3 to a long side of 2: boxes of columns 0-1 and 2-4, all three rows.
  std::vector<uint8_t> image;
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 5; ++x) {
      const uint8_t alpha = x == 0 && y == 0 ? 0 : 255;
      const uint8_t green = x == 4 && y == 2 ? 101 : 100;
      image.insert(image.end(), {uint8_t(x * 10 + y), green, 7, alpha});
    }
  }
  const RgbaImage thumb = MakeThumbnail(image.data(), 5, 3, 2);
  EXPECT_EQ(thumb.width, 2u);
  EXPECT_EQ(thumb.height, 1u);
  // Red 36/6 and 279/9; alpha 1275/6 = 212.5 rounds up; green 901/9 rounds down.
  EXPECT_EQ(thumb.pixels, (std::vector<uint8_t>{6, 100, 7, 213, 31, 100, 7, 255}));
}

TEST(Thumbnail, ExtremeShapesKeepAtLeastOnePixelPerSide) {
  const uint8_t one[4] = {1, 2, 3, 4};
  const RgbaImage single = MakeThumbnail(one, 1, 1);
  EXPECT_EQ(single.pixels, (std::vector<uint8_t>{1, 2, 3, 4}));

  // 4096x16 becomes 128x1; each pixel averages a 32x16 box of one red value.
  std::vector<uint8_t> strip(size_t(4096) * 16 * 4);
  for (size_t i = 0; i < strip.size(); i += 4) strip[i] = uint8_t((i / 4 % 4096) / 32);
  const RgbaImage thumb = MakeThumbnail(strip.data(), 4096, 16);
  ASSERT_EQ(thumb.width, 128u);
  ASSERT_EQ(thumb.height, 1u);
  for (uint32_t x = 0; x < 128; ++x) EXPECT_EQ(thumb.pixels[x * 4], x);
}

}  // namespace
}  // namespace mivo
