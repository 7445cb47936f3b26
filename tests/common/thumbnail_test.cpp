#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/thumbnail.h"

namespace mivo {
namespace {

TEST(Thumbnail, EachPixelIsTheRoundedMeanOfItsBoxAndEverySideKeepsAPixel) {
  // 5x3 to a long side of 2: boxes of columns 0-1 and 2-4, all three rows.
  std::vector<uint8_t> image;
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 5; ++x) {
      image.insert(image.end(), {uint8_t(x * 10 + y), uint8_t(x == 4 && y == 2 ? 101 : 100), 7,
                                 uint8_t(x == 0 && y == 0 ? 0 : 255)});
    }
  }
  const RgbaImage thumb = MakeThumbnail(image.data(), 5, 3, 2);
  EXPECT_EQ(thumb.width * 10 + thumb.height, 21u);
  // Red 36/6 and 279/9; alpha 1275/6 = 212.5 rounds up; green 901/9 rounds down.
  EXPECT_EQ(thumb.pixels, (std::vector<uint8_t>{6, 100, 7, 213, 31, 100, 7, 255}));

  EXPECT_EQ(MakeThumbnail(image.data(), 1, 1).pixels, (std::vector<uint8_t>{0, 100, 7, 0}));
  // 4096x16 becomes 128x1; each pixel averages a 32x16 box of one red value.
  std::vector<uint8_t> strip(size_t(4096) * 16 * 4);
  for (size_t i = 0; i < strip.size(); i += 4) strip[i] = uint8_t((i / 4 % 4096) / 32);
  const RgbaImage line = MakeThumbnail(strip.data(), 4096, 16);
  ASSERT_EQ(line.width * 10 + line.height, 1281u);
  for (uint32_t x = 0; x < 128; ++x) EXPECT_EQ(line.pixels[x * 4], x);
}

}  // namespace
}  // namespace mivo
