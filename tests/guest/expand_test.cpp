#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "guest/expand.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;
using H = HostFormat;

// A one-level texture of `format` whose data is `bytes`.
HostTextureData Texture(H format, uint32_t width, uint32_t height, const Bytes& bytes, uint16_t view = kIdentityView) {
  HostTextureData t;
  t.host_format = format;
  t.view = view;
  EXPECT_TRUE(AddLevel(t, 0, width, height));
  EXPECT_EQ(t.data.size(), bytes.size());
  std::memcpy(t.data.data(), bytes.data(), std::min(bytes.size(), t.data.size()));
  return t;
}

Bytes Expand(const HostTextureData& t) { return ExpandToRgba8(t, t.level_records[0], 0); }

// A view with selectors r, g, b, a (0-3 channels, 4 zero, 5 one).
constexpr uint16_t View(int r, int g, int b, int a) { return uint16_t(r | g << 3 | b << 6 | a << 9); }

// A BC1 block of one solid colour (index 0), and a BC4 block with both endpoints at e.
Bytes SolidBc1(uint16_t c0) { return {uint8_t(c0), uint8_t(c0 >> 8), 0, 0, 0, 0, 0, 0}; }
Bytes SolidBc4(uint8_t e) { return {e, e, 0, 0, 0, 0, 0, 0}; }

struct Case {
  const char* what;
  H format;
  Bytes data;  // one texel, or one 4x4 block of which the first pixel is checked
  Bytes expected;
  uint16_t view = kIdentityView;
};

TEST(ExpandRgba8, Bc7AndUnknownReadNothing) {
  EXPECT_EQ(Expand(Texture(H::BC7_UNORM, 5, 3, Bytes(32, 0xFF))), Bytes(5 * 3 * 4, 0));
  LevelRecord record;
  record.width = 2;
  record.height = 1;
  EXPECT_EQ(ExpandToRgba8(HostTextureData{}, record, 0), (Bytes{0, 0, 0, 255, 0, 0, 0, 255}));
}

TEST(ExpandRgba8, ReadsOnlySlicesAndRecordsInsideTheData) {
  HostTextureData volume;
  volume.host_format = H::R8_UNORM;
  volume.data = {1, 2, 3, 4, 5, 6};
  const LevelRecord slices{.width = 2, .height = 1, .depth = 3, .row_pitch = 2, .slice_size = 2, .size = 6};
  EXPECT_EQ(ExpandToRgba8(volume, slices, 2), (Bytes{5, 0, 0, 255, 6, 0, 0, 255}));
  EXPECT_TRUE(ExpandToRgba8(volume, slices, 3).empty());

  const HostTextureData t = Texture(H::RGBA8_UNORM, 2, 2, Bytes(16, 9));
  EXPECT_EQ(ExpandToRgba8(t, t.level_records[0], 0), Bytes(16, 9));
  LevelRecord bad[4];
  for (LevelRecord& r : bad) r = t.level_records[0];
  bad[0].offset = 4;  // the last texel would run past the end
  bad[1].offset = ~uint64_t(0);
  bad[2].row_pitch = 4;  // rows would overlap
  bad[3].width = bad[3].height = 0xFFFFFFFF;
  for (const LevelRecord& r : bad) EXPECT_TRUE(ExpandToRgba8(t, r, 0).empty());
}

}  // namespace
}  // namespace mivo
