// The mip tail measurements and the contact sheet, on textures built in
// memory with known texels.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <vector>

#include "texdump/tail_check.h"

namespace mivo {
namespace {

using Pixels = std::vector<uint8_t>;

// A level whose pixel (x, y) is `at(x, y)`.
Rgba8Level Level(uint32_t width, uint32_t height, const std::function<std::array<uint8_t, 4>(uint32_t, uint32_t)>& at) {
  Rgba8Level level{width, height, {}};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const std::array<uint8_t, 4> p = at(x, y);
      level.pixels.insert(level.pixels.end(), p.begin(), p.end());
    }
  }
  return level;
}

Rgba8Level Solid(uint32_t width, uint32_t height, std::array<uint8_t, 4> rgba) {
  return Level(width, height, [&](uint32_t, uint32_t) { return rgba; });
}

// Every pixel different: R from x, G from y, B from the level's tag.
Rgba8Level Distinct(uint32_t width, uint32_t height, uint8_t tag) {
  return Level(width, height, [&](uint32_t x, uint32_t y) { return std::array<uint8_t, 4>{uint8_t(x * 20), uint8_t(y * 20), tag, 9}; });
}

// An RGBA8_UNORM texture whose levels min_level, min_level + 1, ... hold `levels`.
HostTextureData RgbaTexture(const std::vector<Rgba8Level>& levels, uint32_t min_level = 0) {
  HostTextureData texture;
  texture.host_format = HostFormat::RGBA8_UNORM;
  texture.width = levels[0].width;
  texture.height = levels[0].height;
  texture.min_level = min_level;
  texture.levels = min_level + uint32_t(levels.size());
  for (uint32_t k = 0; k < levels.size(); ++k) {
    EXPECT_TRUE(AddLevel(texture, min_level + k, levels[k].width, levels[k].height));
    std::memcpy(texture.data.data() + texture.level_records.back().offset, levels[k].pixels.data(),
                levels[k].pixels.size());
  }
  return texture;
}

MipTailResult Analyze(const HostTextureData& texture) {
  DistinctMap distinct;
  return AnalyzeMipTail(texture, distinct);
}

// Quads whose colour sums are 1, 2, 3 and 1019: +2 rounding gives 0, 1, 1, 255.
// Alpha is 255 minus the colour, so its sums round the other way (255, 255, 254, 0).
const Rgba8Level kQuads = Level(4, 4, [](uint32_t x, uint32_t y) {
  constexpr uint8_t kValues[4][4] = {{0, 0, 0, 1}, {1, 1, 0, 0}, {1, 1, 1, 0}, {255, 255, 255, 254}};
  const uint8_t v = kValues[(y / 2) * 2 + x / 2][(y % 2) * 2 + x % 2];
  return std::array<uint8_t, 4>{v, v, v, uint8_t(255 - v)};
});
const Pixels kQuadsBox = {0, 0, 0, 255, 1, 1, 1, 255, 1, 1, 1, 254, 255, 255, 255, 0};

// 3x3: 8, 12, 16, 20 in the top-left quad, 200 in the last row and column.
const Rgba8Level kOdd = Level(3, 3, [](uint32_t x, uint32_t y) {
  const uint8_t v = uint8_t(x == 2 || y == 2 ? 200 : 8 + 4 * (y * 2 + x));
  return std::array<uint8_t, 4>{v, v, v, v};
});

TEST(MipTail, BoxPredictionRoundsPlusTwoAndRepeatsTheLastRowAndColumn) {
  EXPECT_EQ(BoxReduce(kQuads, 2, 2).pixels, kQuadsBox);
  EXPECT_EQ(BoxReduce(kOdd, 1, 1).pixels, (Pixels{14, 14, 14, 14})) << "a 1x1 level reads rows and columns 0 and 1 only";
  const Rgba8Level two = BoxReduce(kOdd, 2, 2);
  EXPECT_EQ(two.pixels[3 * 4], 200) << "texel (1, 1) repeats the last row and column";
  EXPECT_EQ(two.pixels[1 * 4], 200);
  EXPECT_EQ(BoxReduce(Solid(1, 1, {50, 60, 70, 80}), 2, 1).pixels, (Pixels{50, 60, 70, 80, 50, 60, 70, 80}))
      << "a level wider than the one above";
  EXPECT_EQ(BoxReduce(Rgba8Level{2, 2, {}}, 1, 1).pixels, (Pixels{0, 0, 0, 0})) << "no pixels above: a black box";
}

TEST(MipTail, WorkedCasesMeasureEachMipAgainstItsBoxAndFlatPredictions) {
  // Box texels with R = 10, 20, 30, 42: their mean 25.5 rounds to 26.
  const Rgba8Level reds = Level(4, 4, [](uint32_t x, uint32_t y) {
    constexpr uint8_t kReds[4] = {10, 20, 30, 42};
    return std::array<uint8_t, 4>{kReds[(y / 2) * 2 + x / 2], 7, 0, 255};
  });
  struct Case {
    const char* name;
    std::vector<Rgba8Level> levels;
    std::vector<double> box_mae, flat_mae;
    double worst_box, best_flat;
  };
  const Case cases[] = {
      // A level under four texels never counts for the best flat score.
      {"1x1 over 1x1", {Solid(1, 1, {10, 20, 30, 40}), Solid(1, 1, {10, 20, 30, 40})}, {0.0}, {0.0}, 0.0, -1.0},
      {"1x1 off", {Solid(1, 1, {10, 20, 30, 40}), Solid(1, 1, {14, 20, 30, 46})}, {2.5}, {2.5}, 2.5, -1.0},
      {"4x4 over its 2x2 box", {kQuads, Rgba8Level{2, 2, kQuadsBox}}, {0.0}, {1525 / 16.0}, 0.0, 1525 / 16.0},
      {"3x3 over 1x1", {kOdd, Solid(1, 1, {14, 14, 14, 14})}, {0.0}, {0.0}, 0.0, -1.0},
      {"flat mip at the box mean", {reds, Solid(2, 2, {26, 7, 0, 255})}, {(16 + 6 + 4 + 16) / 16.0}, {0.0}, 42 / 16.0,
       0.0},
      // 8x8 grey, a 4x4 mip off by 8 in red, a 2x2 mip off by 2, a 1x1 mip far off.
      {"chain",
       {Solid(8, 8, {100, 100, 100, 100}), Solid(4, 4, {108, 100, 100, 100}), Solid(2, 2, {110, 100, 100, 100}),
        Solid(1, 1, {0, 0, 0, 0})},
       {2.0, 0.5, 102.5},
       {2.0, 0.5, 102.5},
       102.5,
       0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const MipTailResult result = Analyze(RgbaTexture(c.levels));
    ASSERT_EQ(result.levels.size(), c.levels.size());
    EXPECT_EQ(result.boxes.size(), c.levels.size() - 1);
    EXPECT_EQ(result.box_mae, c.box_mae);
    EXPECT_EQ(result.flat_mae, c.flat_mae);
    EXPECT_EQ(result.worst_box_mae, c.worst_box);
    EXPECT_EQ(result.best_flat_mae, c.best_flat);
  }
}

TEST(MipTail, SameHostDataIsOneContentAndEqualViewsOfDifferentBytesAreTwo) {
  DistinctMap distinct;
  const HostTextureData texture = RgbaTexture({Distinct(4, 4, 1), Distinct(2, 2, 2)});
  const MipTailResult first = AnalyzeMipTail(texture, distinct);
  const MipTailResult again = AnalyzeMipTail(texture, distinct);
  EXPECT_EQ(first.distinct_id, 0);
  EXPECT_FALSE(first.seen);
  EXPECT_EQ(again.distinct_id, 0);
  EXPECT_TRUE(again.seen);

  // An R8 texture and an RGBA8 texture that look the same once expanded.
  HostTextureData red;
  red.host_format = HostFormat::R8_UNORM;
  red.width = red.height = 2;
  red.levels = 1;
  ASSERT_TRUE(AddLevel(red, 0, 2, 2));
  red.data = {0, 80, 160, 240};
  const HostTextureData rgba = RgbaTexture({Rgba8Level{2, 2, {0, 0, 0, 255, 80, 0, 0, 255, 160, 0, 0, 255, 240, 0, 0, 255}}});
  const MipTailResult from_red = AnalyzeMipTail(red, distinct);
  const MipTailResult from_rgba = AnalyzeMipTail(rgba, distinct);
  ASSERT_EQ(from_red.levels.size(), 1u);
  EXPECT_EQ(from_red.levels[0].pixels, rgba.data);
  EXPECT_EQ(from_red.distinct_id, 1);
  EXPECT_EQ(from_rgba.distinct_id, 2);
  EXPECT_FALSE(from_rgba.seen);
  EXPECT_EQ(distinct.size(), 3u);
}

TEST(MipTail, ExtractionStartsAtTheFirstStoredLevelAndStopsAtAGap) {
  HostTextureData texture = RgbaTexture({Solid(4, 4, {1, 2, 3, 4}), Solid(2, 2, {1, 2, 3, 4})}, 2);
  texture.levels = 6;  // levels 4 and 5 are missing
  const MipTailResult result = Analyze(texture);
  ASSERT_EQ(result.levels.size(), 2u);
  EXPECT_EQ(result.levels[0].width, 4u);
  EXPECT_EQ(result.box_mae.size(), 1u);

  texture.min_level = 1;  // no record for level 1: nothing is extracted, but the content is numbered
  DistinctMap distinct{{0x1234, 0}};
  const MipTailResult none = AnalyzeMipTail(texture, distinct);
  EXPECT_TRUE(none.levels.empty());
  EXPECT_TRUE(none.box_mae.empty());
  EXPECT_EQ(none.worst_box_mae, 0.0);
  EXPECT_EQ(none.best_flat_mae, -1.0);
  EXPECT_EQ(none.distinct_id, 1);
  EXPECT_EQ(BuildTailSheet(none).pixels.size(), 0u);
}

const uint8_t* At(const TailSheet& sheet, uint32_t x, uint32_t y) {
  return sheet.pixels.data() + (uint64_t(y) * sheet.width + x) * 4;
}

TEST(MipTail, LevelWithoutPixelsIsNotMeasurableAndPredictsNothingBelowIt) {
  HostTextureData texture = RgbaTexture({Solid(4, 4, {9, 9, 9, 9}), Solid(2, 2, {9, 9, 9, 9}), Solid(1, 1, {9, 9, 9, 9})});
  texture.level_records[1].offset = texture.data.size();  // its bytes lie outside the data
  const MipTailResult result = Analyze(texture);
  ASSERT_EQ(result.levels.size(), 3u);
  EXPECT_TRUE(result.levels[1].pixels.empty());
  EXPECT_EQ(result.box_mae, (std::vector<double>{-1.0, 9.0})) << "the last level is compared with a black box";
  EXPECT_EQ(result.flat_mae, (std::vector<double>{-1.0, 9.0}));
  EXPECT_EQ(result.worst_box_mae, 9.0);
  EXPECT_EQ(result.best_flat_mae, -1.0);

  const TailSheet sheet = BuildTailSheet(result);
  EXPECT_EQ(At(sheet, 6, 0)[3], 0) << "the level without pixels leaves its cell transparent";
  EXPECT_EQ(At(sheet, 6, 6)[3], 255) << "its box image is still drawn";
}

TEST(TailSheet, ThreeLevelsOfEightFourTwoMakeAThirtyByEighteenSheet) {
  const MipTailResult result = Analyze(RgbaTexture({Distinct(8, 8, 1), Distinct(4, 4, 2), Distinct(2, 2, 3)}));
  const TailSheet sheet = BuildTailSheet(result);
  ASSERT_EQ(sheet.width, 30u);
  ASSERT_EQ(sheet.height, 18u);
  ASSERT_EQ(sheet.pixels.size(), 30u * 18u * 4u);
  auto expect_pixel = [&](uint32_t x, uint32_t y, Pixels rgba) {
    EXPECT_EQ(Pixels(At(sheet, x, y), At(sheet, x, y) + 4), rgba) << "at " << x << ", " << y;
  };
  for (uint32_t y = 0; y < 18; ++y) {
    for (uint32_t x = 0; x < 30; ++x) {
      const uint32_t cell = x / 10, cx = x % 10;
      if (cx >= 8 || y == 8 || y == 9 || (cell == 0 && y >= 10)) {  // gutters, and no box under level 0
        expect_pixel(x, y, {0, 0, 0, 0});
        continue;
      }
      const uint32_t scale = 1u << cell;  // 1, 2, 4
      const Rgba8Level& image = y < 8 ? result.levels[cell] : result.boxes[cell - 1];
      const uint8_t* source = image.pixels.data() + (((y < 8 ? y : y - 10) / scale) * image.width + cx / scale) * 4;
      expect_pixel(x, y, {source[0], source[1], source[2], 255});
    }
  }
  expect_pixel(13, 5, {20, 40, 2, 255});  // level 1 texel (1, 2), drawn two by two
  expect_pixel(27, 7, {20, 20, 3, 255});  // level 2 texel (1, 1), drawn four by four
}

}  // namespace
}  // namespace mivo
