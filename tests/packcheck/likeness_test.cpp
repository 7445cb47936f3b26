#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "packcheck/hints.h"
#include "packcheck/likeness.h"

namespace mivo {
namespace {

RgbaImage Filled(uint32_t width, uint32_t height, std::vector<uint8_t> texel) {
  RgbaImage image{width, height, {}};
  for (uint32_t i = 0; i < width * height; ++i) image.pixels.insert(image.pixels.end(), texel.begin(), texel.end());
  return image;
}

// A picture with structure at every scale, from a fixed integer sequence.
RgbaImage Pattern(uint32_t width, uint32_t height, uint32_t seed) {
  RgbaImage image{width, height, {}};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t v = (x * 37 + y * 91 + seed) * 2654435761u;
      image.pixels.insert(image.pixels.end(), {uint8_t(v >> 24), uint8_t((x * 8 + seed) & 255), uint8_t(y * 5), 255});
    }
  }
  return image;
}

TEST(ResampleByArea, WeighsPartlyCoveredTexelsByAreaAndKeepsTransparentColourOut) {
  // Three texels to two: each output covers one and a half source texels.
  RgbaImage row{3, 1, {0, 0, 0, 255, 90, 30, 3, 255, 180, 60, 9, 255}};
  EXPECT_EQ(ResampleByArea(row, 2, 1).pixels, (std::vector<uint8_t>{30, 10, 1, 255, 150, 50, 7, 255}));
  // A premultiplying upscaler leaves black in transparent texels: the visible
  // colour survives, alpha is the plain area mean, and a wholly transparent
  // area keeps its plain colour mean.
  RgbaImage cutout{4, 1, {200, 100, 50, 255, 0, 0, 0, 0, 10, 20, 30, 0, 30, 40, 50, 0}};
  EXPECT_EQ(ResampleByArea(cutout, 2, 1).pixels, (std::vector<uint8_t>{200, 100, 50, 128, 20, 30, 40, 0}));
  // Growing is the same rule: each output texel lies inside one source texel.
  EXPECT_EQ(ResampleByArea(RgbaImage{1, 1, {7, 8, 9, 10}}, 2, 3).pixels, Filled(2, 3, {7, 8, 9, 10}).pixels);
}

TEST(CompareImages, IdenticalVisibleTexelsGiveFullLikenessWhateverHiddenTexelsHold) {
  RgbaImage original = Pattern(20, 12, 1);
  RgbaImage copy = original;
  for (uint32_t i = 0; i < 20; ++i) original.pixels[i * 4 + 3] = 0;  // the top row is cut out
  for (uint32_t i = 0; i < 20; ++i) copy.pixels[i * 4] ^= 0xFF;      // and holds other colours in the copy
  const Likeness same = CompareImages(original, copy, true);
  EXPECT_TRUE(same.colour_compared);
  EXPECT_EQ(same.ssim, 1.0);
  EXPECT_EQ(same.psnr, std::numeric_limits<double>::infinity());
  EXPECT_EQ(same.original_transparent, 20u);
  EXPECT_EQ(same.alpha_lost, 1.0);  // the copy's top row is opaque
  EXPECT_EQ(same.alpha_added, 0.0);

  const Likeness other = CompareImages(original, Pattern(20, 12, 99), false);
  EXPECT_LT(other.ssim, 0.3);
  EXPECT_LT(other.psnr, 15.0);
  EXPECT_FALSE(other.alpha_compared);
  EXPECT_EQ(other.alpha_lost, 0.0);
}

TEST(CompareImages, SmallImagesGetOneWindowAndFullyHiddenOnesNoColourFigures) {
  // 4x4, under the window: one window over all of it. Luma 100 against 110
  // everywhere: (2*100*110 + C1) / (100^2 + 110^2 + C1), variances zero.
  const Likeness flat = CompareImages(Filled(4, 4, {100, 100, 100, 255}), Filled(4, 4, {110, 110, 110, 255}), true);
  const double c1 = (0.01 * 255) * (0.01 * 255);
  EXPECT_NEAR(flat.ssim, (2 * 100 * 110 + c1) / (100 * 100 + 110 * 110 + c1), 1e-12);
  EXPECT_NEAR(flat.psnr, 10 * std::log10(255.0 * 255.0 / 100.0), 1e-9);

  const Likeness hidden = CompareImages(Filled(8, 8, {1, 2, 3, 0}), Filled(8, 8, {1, 2, 3, 255}), true);
  EXPECT_TRUE(hidden.measured);
  EXPECT_FALSE(hidden.colour_compared);
  EXPECT_EQ(hidden.alpha_lost, 1.0);
}

TEST(PortableLog10, AgreesWithTheLibraryAcrossMagnitudes) {
  for (double x : {1e-300, 0.001, 0.7071, 1.0, 2.0, 3.0, 10.0, 65025.0, 6.5025e4 / 7.0, 1e300}) {
    EXPECT_NEAR(PortableLog10(x), std::log10(x), 4e-16 * std::fabs(std::log10(x)) + 1e-16) << x;
  }
}

TEST(FormatFixed, RoundsHalfAwayFromZeroAndSpellsInfinity) {
  EXPECT_EQ(FormatFixed(0.125, 2), "0.13");  // exactly half
  EXPECT_EQ(FormatFixed(-0.125, 2), "-0.13");
  EXPECT_EQ(FormatFixed(-0.0001, 2), "0.00");
  EXPECT_EQ(FormatFixed(12.0504, 4), "12.0504");
  EXPECT_EQ(FormatFixed(0.99996, 4), "1.0000");
  EXPECT_EQ(FormatFixed(7.6, 0), "8");
  EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 2), "inf");
}

Likeness Colour(double ssim) {
  Likeness l;
  l.measured = l.colour_compared = true;
  l.ssim = ssim;
  l.psnr = 20;
  return l;
}

Likeness Alpha(uint64_t transparent, uint64_t opaque, double lost, double added) {
  Likeness l = Colour(0.99);
  l.alpha_compared = true;
  l.original_transparent = transparent;
  l.original_opaque = opaque;
  l.alpha_lost = lost;
  l.alpha_added = added;
  return l;
}

TEST(JudgeLikeness, FloorAloneInSmallPacksAndFarBelowTheMedianInLargeOnes) {
  std::vector<Likeness> small = {Colour(0.49), Colour(0.51), Likeness{}};
  std::vector<Hint> hints = JudgeLikeness(small);
  EXPECT_EQ(hints[0].kinds, "looks unlike its original");
  EXPECT_EQ(hints[0].detail, "looks unlike its original (SSIM 0.490, PSNR 20.00 dB)");
  EXPECT_EQ(hints[1].kinds, "");
  EXPECT_EQ(hints[2].kinds, "");

  // 21 compared rows: a restyled pack with a median of 0.45 flags only what
  // lies 0.25 below it.
  std::vector<Likeness> restyled(19, Colour(0.45));
  restyled.push_back(Colour(0.21));
  restyled.push_back(Colour(0.19));
  hints = JudgeLikeness(restyled);
  EXPECT_EQ(hints[0].kinds, "");
  EXPECT_EQ(hints[19].kinds, "");
  EXPECT_EQ(hints[20].detail, "looks unlike its original (SSIM 0.190, PSNR 20.00 dB, the pack's median SSIM 0.450)");
}

TEST(JudgeLikeness, AlphaHintsNeedRealCutoutsAndMostOfThemGone) {
  const std::vector<Hint> hints = JudgeLikeness({
      Alpha(100, 900, 0.9, 0.0),   // lost
      Alpha(100, 900, 0.89, 0.0),  // mostly kept
      Alpha(9, 991, 1.0, 0.0),     // under 1% of the texels: no cut-outs to speak of
      Alpha(3, 1, 1.0, 0.0),       // under 4 texels
      Alpha(500, 500, 0.0, 0.2),   // added
      Alpha(500, 500, 0.95, 0.5),  // both
  });
  EXPECT_EQ(hints[0].detail, "alpha lost (90.0% of the original's cut-out texels are opaque)");
  EXPECT_EQ(hints[1].kinds, "");
  EXPECT_EQ(hints[2].kinds, "");
  EXPECT_EQ(hints[3].kinds, "");
  EXPECT_EQ(hints[4].detail, "alpha added (20.0% of the original's opaque texels are transparent)");
  EXPECT_EQ(hints[5].kinds, "alpha lost; alpha added");
}

}  // namespace
}  // namespace mivo
