#include <gtest/gtest.h>

#include <vector>

#include "guest/error_measure.h"

namespace mivo {
namespace {

TEST(ErrorMeasure, PsnrFiguresRoundToHundredths) {
  const struct {
    ErrorSum sum;
    const char* text;
  } kCases[] = {
      {{1, 1}, "48.13"},     // 10 log10(65025) = 48.1308
      {{65025, 1}, "0.00"},  // the largest error of a byte
      {{3, 1000}, "73.36"},  // 10 log10(65025000 / 3) = 73.3596
      {{1, 1000000}, "108.13"}, {{0, 16}, "inf"}, {{0, 0}, "-"},
  };
  for (const auto& c : kCases) EXPECT_EQ(FormatPsnr(c.sum), c.text) << c.sum.squared_error << "/" << c.sum.samples;
}

// A 5x5 RGBA level: RGB pooled, alpha apart, and the worst block the partial
// one whose single texel is far off, though its sum is not the largest.
TEST(ErrorMeasure, PoolsChannelsAndFindsTheWorstBlockByMeanError) {
  std::vector<uint8_t> original(5 * 5 * 4, 100), decoded = original;
  for (int i = 0; i < 16; ++i) decoded[((i / 4) * 5 + i % 4) * 4] = 102;  // block 0: R off by 2
  decoded[(4 * 5 + 4) * 4 + 3] = 90;                                      // last block: A off by 10
  const LevelError e = MeasureLevelError(original.data(), decoded.data(), 5, 5, 4, false);
  EXPECT_EQ(e.rgb.squared_error, 64u);
  EXPECT_EQ(e.rgb.samples, 75u);
  EXPECT_EQ(e.alpha.squared_error, 100u);
  EXPECT_EQ(e.channel[0].squared_error, 64u);
  EXPECT_EQ(e.worst_block.squared_error, 100u);
  EXPECT_EQ(e.worst_block.samples, 4u);
  LevelError total = e;
  AddLevelError(total, e);
  EXPECT_EQ(total.rgb.samples, 150u);
  EXPECT_EQ(total.worst_block.squared_error, 100u);
  // Signed bytes compare as values: -127 against 127 is 254 apart.
  const uint8_t low = 0x81, high = 0x7F;
  EXPECT_EQ(MeasureLevelError(&low, &high, 1, 1, 1, true).channel[0].squared_error, 254u * 254u);
}

}  // namespace
}  // namespace mivo
