// PSNR figures in integers: they must agree with the formula computed in
// double precision (away from rounding ties) and cover signed channels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "packbuild/fidelity.h"

namespace mivo {
namespace {

TEST(Fidelity, IntegerDecibelsMatchTheFormula) {
  EXPECT_EQ(CentiDecibels(0, 100), kExactDb);
  EXPECT_EQ(CentiDecibels(65025, 1), 0);
  EXPECT_EQ(CentiDecibels(1, 1), 4813);  // 10 log10(65025) = 48.1308
  uint64_t state = 27;
  for (int i = 0; i < 2000; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t samples = 1 + (state >> 40) % 50000000;
    const uint64_t error = 1 + (state >> 8) % (65025 * samples);
    const double exact = 1000.0 * std::log10(65025.0 * double(samples) / double(error));
    if (std::fabs(exact - std::floor(exact) - 0.5) < 1e-6) continue;  // a tie: either rounding is right
    EXPECT_EQ(CentiDecibels(error, samples), int32_t(std::lround(exact))) << error << " " << samples;
  }
}

TEST(Fidelity, ChannelsByFormat) {
  const std::vector<uint8_t> a = {10, 20, 30, 40, 50, 60, 70, 80};
  std::vector<uint8_t> b = a;
  b[3] = 41;  // alpha of texel 0 only
  Fidelity f = MeasureLevel(HostFormat::RGBA8_UNORM, a.data(), b.data(), 2);
  EXPECT_EQ(f.kind, MeasureKind::rgb_alpha);
  EXPECT_EQ(f.centi_db[0], kExactDb);
  EXPECT_EQ(f.centi_db[1], CentiDecibels(1, 2));
  EXPECT_EQ(FidelityText(f), "RGB exact, A 51.14 dB");

  // Colour under alpha 0 in both does not count; under alpha 0 in one does.
  std::vector<uint8_t> hidden = {10, 20, 30, 0, 50, 60, 70, 80};
  std::vector<uint8_t> black = {0, 0, 0, 0, 50, 60, 71, 80};
  f = MeasureLevel(HostFormat::RGBA8_UNORM, hidden.data(), black.data(), 2);
  EXPECT_EQ(f.centi_db[0], CentiDecibels(1, 3));
  EXPECT_EQ(f.centi_db[1], kExactDb);
  black[3] = 1;
  f = MeasureLevel(HostFormat::RGBA8_UNORM, hidden.data(), black.data(), 2);
  EXPECT_EQ(f.centi_db[0], CentiDecibels(100 + 400 + 900 + 1, 6));

  // Signed bytes: -127 against 127 is 254 steps apart, not 2.
  const std::vector<uint8_t> s = {0x81, 0, 5, 5};
  const std::vector<uint8_t> t = {0x7F, 0, 5, 5};
  f = MeasureLevel(HostFormat::RG8_SNORM, s.data(), t.data(), 2);
  EXPECT_EQ(f.kind, MeasureKind::rg);
  EXPECT_EQ(f.centi_db[0], CentiDecibels(254 * 254, 2));
  EXPECT_EQ(FidelityText(f), "R " + DecibelText(CentiDecibels(254 * 254, 2)) + " dB, G exact");

  f = MeasureLevel(HostFormat::R8_UNORM, a.data(), b.data(), 8);
  EXPECT_EQ(FidelityText(f), "R " + DecibelText(CentiDecibels(1, 8)) + " dB");
}

}  // namespace
}  // namespace mivo
