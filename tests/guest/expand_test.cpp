#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "guest/expand.h"
#include "support/byte_lists.h"

namespace mivo {
namespace {

using test::Bytes;
using test::Cat;
using test::Floats;
using test::Le;
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

TEST(ExpandRgba8, FirstPixelOfEachFormatFamily) {
  const Case cases[] = {
      {"8-bit unsigned", H::RGBA8_UNORM, {1, 128, 254, 77}, {1, 128, 254, 77}},
      {"missing channels", H::RG8_UNORM, {10, 20}, {10, 20, 0, 255}},
      {"R8", H::R8_UNORM, {200}, {200, 0, 0, 255}},
      // Signed: -1..1 to 0..255, -128 clamps to -1, missing channels show mid grey.
      {"snorm -127", H::R8_SNORM, {0x81}, {0, 128, 128, 255}},
      {"snorm -128", H::R8_SNORM, {0x80}, {0, 128, 128, 255}},
      {"snorm 127", H::R8_SNORM, {0x7F}, {255, 128, 128, 255}},
      {"snorm zero", H::RG8_SNORM, {0, 0}, {128, 128, 128, 255}},
      {"snorm quad", H::RGBA8_SNORM, {0, 0x81, 0x40, 0}, {128, 0, 192, 128}},
      {"snorm16 pair", H::RG16_SNORM, {0, 0, 0x00, 0x80}, {128, 0, 128, 255}},
      {"snorm16 quad", H::RGBA16_SNORM, {0xFF, 0x7F, 0, 0, 0x01, 0x80, 0, 0}, {255, 128, 0, 128}},
      {"snorm16 zero", H::R16_SNORM, {0, 0}, {128, 128, 128, 255}},
      // Constants in the view are not remapped for signed formats.
      {"constants, signed", H::R8_SNORM, {0x7F}, {255, 0, 255, 0}, View(5, 4, 0, 7)},
      {"constants, unsigned", H::R8_UNORM, {0x40}, {255, 0, 0x40, 0}, View(5, 4, 0, 7)},
      {"reversed view", H::RGBA8_UNORM, {1, 2, 3, 4}, {4, 3, 2, 1}, View(3, 2, 1, 0)},
      // Integers scale (0x8000 -> 127.502, 0x7FFF -> 127.498) or clamp.
      {"unorm16 up", H::R16_UNORM, Le(2, {0x8000}), {128, 0, 0, 255}},
      {"unorm16 down", H::R16_UNORM, Le(2, {0x7FFF}), {127, 0, 0, 255}},
      {"unorm16 quad", H::RGBA16_UNORM, {0xFF, 0xFF, 0, 0, 0x01, 0x01, 0xFF, 0xFF}, {255, 0, 1, 255}},
      {"uint32: -5 is huge", H::RG32_UINT, Le(4, {300, uint32_t(-5)}), {255, 255, 0, 255}},
      {"sint32", H::RG32_SINT, Le(4, {300, uint32_t(-5)}), {255, 0, 0, 255}},
      {"uint32 small", H::R32_UINT, Le(4, {100}), {100, 0, 0, 255}},
      // Floats clamp to 0..1 (NaN to 0) and round half away.
      {"float above 1", H::R32_FLOAT, Floats({1.5f}), {255, 0, 0, 255}},
      {"float negative", H::R32_FLOAT, Floats({-0.25f}), {0, 0, 0, 255}},
      {"float NaN", H::R32_FLOAT, Floats({NAN}), {0, 0, 0, 255}},
      {"float half step", H::R32_FLOAT, Floats({0.5f / 255.0f}), {1, 0, 0, 255}},
      {"halves 0.5, 1, -2, inf", H::RGBA16_FLOAT, Le(2, {0x3800, 0x3C00, 0xC000, 0x7C00}), {128, 255, 0, 255}},
      {"half", H::R16_FLOAT, Le(2, {0x3800}), {128, 0, 0, 255}},
      {"float quad", H::RGBA32_FLOAT, Floats({0.25f, 0.0f, 1.0f, 0.75f}), {64, 0, 255, 191}},
      // Packed layouts.
      {"BGRA4: A15 R8 G12 B4", H::BGRA4_UNORM, Le(2, {0xF8C4}), {136, 204, 68, 255}},
      {"565 red", H::B5G6R5_UNORM, Le(2, {0xF800}), {255, 0, 0, 255}},
      {"565 green 1/63", H::B5G6R5_UNORM, Le(2, {0x0020}), {0, 4, 0, 255}},
      {"5551 red", H::B5G5R5A1_UNORM, Le(2, {0x7C00}), {255, 0, 0, 0}},
      {"5551 blue", H::B5G5R5A1_UNORM, Le(2, {0x801F}), {0, 0, 255, 255}},
      {"10_10_10_2", H::R10G10B10A2_UNORM, Le(4, {0x400003FF}), {255, 0, 0, 85}},
      {"10_10_10_2 mid", H::R10G10B10A2_UNORM, Le(4, {0x80000200u | 0x200u << 20}), {128, 0, 128, 170}},
      // Block formats, 4x4.
      {"BC2 explicit alpha", H::BC2_UNORM, Cat(Bytes(8, 0x55), SolidBc1(0x07E0)), {0, 255, 0, 85}},
      {"BC4", H::BC4_UNORM, SolidBc4(100), {100, 0, 0, 255}},
      {"BC4 signed zero", H::BC4_SNORM, SolidBc4(0), {128, 128, 128, 255}},
      {"BC5 signed", H::BC5_SNORM, Cat(SolidBc4(0), SolidBc4(0x81)), {128, 0, 128, 255}},
      {"BC5", H::BC5_UNORM, Cat(SolidBc4(0), SolidBc4(0x81)), {0, 0x81, 0, 255}},
  };
  for (const Case& c : cases) {
    const bool block = IsBlockCompressed(c.format);
    const Bytes out = Expand(Texture(c.format, block ? 4 : 1, block ? 4 : 1, c.data, c.view));
    ASSERT_GE(out.size(), 4u) << c.what;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), c.expected) << c.what;
  }
}

TEST(ExpandRgba8, SixBySixBc1DecodesWholeBlocksAndClips) {
  // The fourth block is three-colour with texel 15 transparent: it would land at (7, 7), clipped.
  const Bytes transparent_last = {0, 0, 0xFF, 0xFF, 0, 0, 0, 0xC0};
  const Bytes data = Cat(Cat(SolidBc1(0xF800), SolidBc1(0x07E0)), Cat(SolidBc1(0x001F), transparent_last));
  const Bytes out = Expand(Texture(H::BC1_UNORM, 6, 6, data));
  ASSERT_EQ(out.size(), 6u * 6 * 4);
  const Bytes colours[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {0, 0, 0, 255}};
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      EXPECT_EQ(Bytes(&out[(y * 6 + x) * 4], &out[(y * 6 + x) * 4 + 4]), colours[(y / 4) * 2 + x / 4]) << x << "," << y;
  const Bytes whole = Expand(Texture(H::BC1_UNORM, 4, 4, transparent_last));
  EXPECT_EQ(Bytes(whole.end() - 4, whole.end()), Bytes(4, 0)) << "unclipped, the last texel is transparent black";
}

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
