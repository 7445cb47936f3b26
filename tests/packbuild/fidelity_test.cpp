// The figures of a built row: which channels they pool, signed channels as
// signed, and colour that never shows left out.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "guest/error_measure.h"
#include "packbuild/fidelity.h"

namespace mivo {
namespace {

int32_t Db(uint64_t squared_error, uint64_t samples) { return int32_t(PsnrCentiDb({squared_error, samples})); }

TEST(Fidelity, ChannelsByFormat) {
  const std::vector<uint8_t> a = {10, 20, 30, 40, 50, 60, 70, 80};
  std::vector<uint8_t> b = a;
  b[3] = 41;  // alpha of texel 0 only
  Fidelity f = MeasureLevel(HostFormat::RGBA8_UNORM, a.data(), b.data(), 2);
  EXPECT_EQ(f.kind, MeasureKind::rgb_alpha);
  EXPECT_EQ(f.centi_db[0], kExactDb);
  EXPECT_EQ(f.centi_db[1], Db(1, 2));
  EXPECT_EQ(FidelityText(f), "RGB inf, A 51.14 dB");

  // Colour under alpha 0 in both does not count; under alpha 0 in one does.
  std::vector<uint8_t> hidden = {10, 20, 30, 0, 50, 60, 70, 80};
  std::vector<uint8_t> black = {0, 0, 0, 0, 50, 60, 71, 80};
  f = MeasureLevel(HostFormat::RGBA8_UNORM, hidden.data(), black.data(), 2);
  EXPECT_EQ(f.centi_db[0], Db(1, 3));
  EXPECT_EQ(f.centi_db[1], kExactDb);
  black[3] = 1;
  f = MeasureLevel(HostFormat::RGBA8_UNORM, hidden.data(), black.data(), 2);
  EXPECT_EQ(f.centi_db[0], Db(100 + 400 + 900 + 1, 6));

  black[3] = 0;
  hidden[7] = 0;
  black[7] = 0;
  f = MeasureLevel(HostFormat::RGBA8_UNORM, hidden.data(), black.data(), 2);
  EXPECT_EQ(FidelityText(f), "RGB -, A inf");

  // Signed bytes: -127 against 127 is 254 steps apart, not 2.
  const std::vector<uint8_t> s = {0x81, 0, 5, 5};
  const std::vector<uint8_t> t = {0x7F, 0, 5, 5};
  f = MeasureLevel(HostFormat::RG8_SNORM, s.data(), t.data(), 2);
  EXPECT_EQ(f.kind, MeasureKind::rg);
  EXPECT_EQ(f.centi_db[0], Db(254 * 254, 2));
  EXPECT_EQ(FidelityText(f), "R " + DecibelText(Db(254 * 254, 2)) + " dB, G inf");

  f = MeasureLevel(HostFormat::R8_UNORM, a.data(), b.data(), 8);
  EXPECT_EQ(FidelityText(f), "R " + DecibelText(Db(1, 8)) + " dB");
}

}  // namespace
}  // namespace mivo
