#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "guest/expand.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;

// A one-level texture of `format` whose data is `bytes`.
HostTextureData Texture(HostFormat format, uint32_t width, uint32_t height, const Bytes& bytes,
                        uint16_t view = kIdentityView) {
  HostTextureData t;
  t.host_format = format;
  t.view = view;
  EXPECT_TRUE(AddLevel(t, 0, width, height));
  EXPECT_EQ(t.data.size(), bytes.size());
  std::memcpy(t.data.data(), bytes.data(), std::min(bytes.size(), t.data.size()));
  return t;
}

Bytes Expand(const HostTextureData& t) { return ExpandToRgba8(t, t.level_records[0], 0); }

// Expands a 1x1 texel of `format` from its stored bytes.
Bytes One(HostFormat format, const Bytes& bytes, uint16_t view = kIdentityView) {
  return Expand(Texture(format, 1, 1, bytes, view));
}

Bytes Le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes FloatBytes(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return Le32(bits);
}

// A view with selectors r, g, b, a.
constexpr uint16_t View(int r, int g, int b, int a) { return uint16_t(r | g << 3 | b << 6 | a << 9); }

TEST(ExpandRgba8, EightBitUnsignedFormatsKeepTheirBytesAndFillMissingChannels) {
  EXPECT_EQ(One(HostFormat::RGBA8_UNORM, {1, 128, 254, 77}), (Bytes{1, 128, 254, 77}));
  EXPECT_EQ(One(HostFormat::RG8_UNORM, {10, 20}), (Bytes{10, 20, 0, 255}));
  EXPECT_EQ(One(HostFormat::R8_UNORM, {200}), (Bytes{200, 0, 0, 255}));
}

TEST(ExpandRgba8, SignedFormatsShowZeroAsMidGreyAndClampMinus128) {
  EXPECT_EQ(One(HostFormat::R8_SNORM, {0x81}), (Bytes{0, 128, 128, 255}));
  EXPECT_EQ(One(HostFormat::R8_SNORM, {0x80}), (Bytes{0, 128, 128, 255}));
  EXPECT_EQ(One(HostFormat::R8_SNORM, {0x7F}), (Bytes{255, 128, 128, 255}));
  EXPECT_EQ(One(HostFormat::RG8_SNORM, {0, 0}), (Bytes{128, 128, 128, 255}));
  EXPECT_EQ(One(HostFormat::RGBA8_SNORM, {0, 0x81, 0x40, 0}), (Bytes{128, 0, 192, 128}));
  EXPECT_EQ(One(HostFormat::RG16_SNORM, {0, 0, 0x00, 0x80}), (Bytes{128, 0, 128, 255}));
  Bytes rgba16 = {0xFF, 0x7F, 0, 0, 0x01, 0x80, 0, 0};
  EXPECT_EQ(One(HostFormat::RGBA16_SNORM, rgba16), (Bytes{255, 128, 0, 128}));
  EXPECT_EQ(One(HostFormat::R16_SNORM, {0, 0}), (Bytes{128, 128, 128, 255}));
}

TEST(ExpandRgba8, ConstantsInTheViewAreNotRemappedForSignedFormats) {
  // Red from constant 1, green from constant 0, blue from red, alpha unused selector 7.
  const uint16_t view = View(5, 4, 0, 7);
  EXPECT_EQ(One(HostFormat::R8_SNORM, {0x7F}, view), (Bytes{255, 0, 255, 0}));
  EXPECT_EQ(One(HostFormat::R8_UNORM, {0x40}, view), (Bytes{255, 0, 0x40, 0}));
  EXPECT_EQ(One(HostFormat::RGBA8_UNORM, {1, 2, 3, 4}, View(3, 2, 1, 0)), (Bytes{4, 3, 2, 1}));
}

TEST(ExpandRgba8, SixteenBitAndThirtyTwoBitIntegersScaleOrClamp) {
  EXPECT_EQ(One(HostFormat::R16_UNORM, Le16(0x8000)), (Bytes{128, 0, 0, 255}));  // 127.502
  EXPECT_EQ(One(HostFormat::R16_UNORM, Le16(0x7FFF)), (Bytes{127, 0, 0, 255}));  // 127.498
  Bytes rgba16 = {0xFF, 0xFF, 0, 0, 0x01, 0x01, 0xFF, 0xFF};
  EXPECT_EQ(One(HostFormat::RGBA16_UNORM, rgba16), (Bytes{255, 0, 1, 255}));
  Bytes two = Le32(300);
  Bytes minus = Le32(uint32_t(-5));
  two.insert(two.end(), minus.begin(), minus.end());
  EXPECT_EQ(One(HostFormat::RG32_UINT, two), (Bytes{255, 255, 0, 255}));  // -5 is huge unsigned
  EXPECT_EQ(One(HostFormat::RG32_SINT, two), (Bytes{255, 0, 0, 255}));
  EXPECT_EQ(One(HostFormat::R32_UINT, Le32(100)), (Bytes{100, 0, 0, 255}));
}

TEST(ExpandRgba8, FloatsClampAboveOneAndBelowZeroAndRoundHalfAway) {
  EXPECT_EQ(One(HostFormat::R32_FLOAT, FloatBytes(1.5f)), (Bytes{255, 0, 0, 255}));
  EXPECT_EQ(One(HostFormat::R32_FLOAT, FloatBytes(-0.25f)), (Bytes{0, 0, 0, 255}));
  EXPECT_EQ(One(HostFormat::R32_FLOAT, FloatBytes(NAN)), (Bytes{0, 0, 0, 255}));
  EXPECT_EQ(One(HostFormat::R32_FLOAT, FloatBytes(0.5f / 255.0f)), (Bytes{1, 0, 0, 255}));
  // Halves: 0.5 -> 127.5 -> 128; 1.0; -2; infinity.
  Bytes halves = {0x00, 0x38, 0x00, 0x3C, 0x00, 0xC0, 0x00, 0x7C};
  EXPECT_EQ(One(HostFormat::RGBA16_FLOAT, halves), (Bytes{128, 255, 0, 255}));
  EXPECT_EQ(One(HostFormat::R16_FLOAT, {0x00, 0x38}), (Bytes{128, 0, 0, 255}));
  Bytes rgba32;
  for (float f : {0.25f, 0.0f, 1.0f, 0.75f}) {
    const Bytes b = FloatBytes(f);
    rgba32.insert(rgba32.end(), b.begin(), b.end());
  }
  EXPECT_EQ(One(HostFormat::RGBA32_FLOAT, rgba32), (Bytes{64, 0, 255, 191}));
}

TEST(ExpandRgba8, PackedSixteenAndThirtyTwoBitLayouts) {
  // BGRA4: A 15, R 8, G 12, B 4.
  EXPECT_EQ(One(HostFormat::BGRA4_UNORM, Le16(0xF8C4)), (Bytes{136, 204, 68, 255}));
  EXPECT_EQ(One(HostFormat::B5G6R5_UNORM, Le16(0xF800)), (Bytes{255, 0, 0, 255}));
  EXPECT_EQ(One(HostFormat::B5G6R5_UNORM, Le16(0x0020)), (Bytes{0, 4, 0, 255}));  // 1/63
  EXPECT_EQ(One(HostFormat::B5G5R5A1_UNORM, Le16(0x7C00)), (Bytes{255, 0, 0, 0}));
  EXPECT_EQ(One(HostFormat::B5G5R5A1_UNORM, Le16(0x801F)), (Bytes{0, 0, 255, 255}));
  EXPECT_EQ(One(HostFormat::R10G10B10A2_UNORM, Le32(0x400003FF)), (Bytes{255, 0, 0, 85}));
  EXPECT_EQ(One(HostFormat::R10G10B10A2_UNORM, Le32(0x80000200u << 0 | 0x200u << 20)), (Bytes{128, 0, 128, 170}));
}

// A BC1 block of one solid colour c0 (indices 0), or with index 3 in
// three-colour mode when `transparent_last` is set.
Bytes SolidBc1(uint16_t c0, bool transparent_last = false) {
  if (transparent_last) return {0, 0, uint8_t(c0), uint8_t(c0 >> 8), 0, 0, 0, 0xC0};
  return {uint8_t(c0), uint8_t(c0 >> 8), 0, 0, 0, 0, 0, 0};
}

TEST(ExpandRgba8, SixBySixBc1DecodesWholeBlocksAndClips) {
  Bytes data;
  for (const Bytes& b : {SolidBc1(0xF800), SolidBc1(0x07E0), SolidBc1(0x001F), SolidBc1(0xFFFF, true)})
    data.insert(data.end(), b.begin(), b.end());
  const Bytes out = Expand(Texture(HostFormat::BC1_UNORM, 6, 6, data));
  ASSERT_EQ(out.size(), 6u * 6 * 4);
  const Bytes colours[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {0, 0, 0, 255}};
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      EXPECT_EQ(Bytes(out.begin() + (y * 6 + x) * 4, out.begin() + (y * 6 + x) * 4 + 4), colours[(y / 4) * 2 + x / 4])
          << x << "," << y;
  // The fourth block's transparent texel 15 would land at (7, 7) and is clipped.
}

// The first pixel of a 4x4 block texture.
Bytes FirstPixel(HostFormat format, const Bytes& block) {
  const Bytes out = Expand(Texture(format, 4, 4, block));
  return Bytes(out.begin(), out.begin() + 4);
}

TEST(ExpandRgba8, BlockFormatsFillTheirChannels) {
  // BC1 three-colour mode: index 3 (last texel) is transparent black.
  const Bytes bc1 = Expand(Texture(HostFormat::BC1_UNORM, 4, 4, SolidBc1(0xFFFF, true)));
  EXPECT_EQ(Bytes(bc1.end() - 4, bc1.end()), (Bytes{0, 0, 0, 0}));
  // BC2 colour with explicit alpha 0x5 -> 85.
  Bytes bc2(8, 0x55);
  const Bytes colour = SolidBc1(0x07E0);
  bc2.insert(bc2.end(), colour.begin(), colour.end());
  EXPECT_EQ(FirstPixel(HostFormat::BC2_UNORM, bc2), (Bytes{0, 255, 0, 85}));
  // BC4 and BC5 halves with both endpoints at the given byte.
  auto solid4 = [](uint8_t e) { return Bytes{e, e, 0, 0, 0, 0, 0, 0}; };
  EXPECT_EQ(FirstPixel(HostFormat::BC4_UNORM, solid4(100)), (Bytes{100, 0, 0, 255}));
  EXPECT_EQ(FirstPixel(HostFormat::BC4_SNORM, solid4(0)), (Bytes{128, 128, 128, 255}));
  Bytes bc5 = solid4(0);
  const Bytes green = solid4(0x81);
  bc5.insert(bc5.end(), green.begin(), green.end());
  EXPECT_EQ(FirstPixel(HostFormat::BC5_SNORM, bc5), (Bytes{128, 0, 128, 255}));
  EXPECT_EQ(FirstPixel(HostFormat::BC5_UNORM, bc5), (Bytes{0, 0x81, 0, 255}));
}

TEST(ExpandRgba8, Bc7AndUnknownReadNothing) {
  EXPECT_EQ(Expand(Texture(HostFormat::BC7_UNORM, 5, 3, Bytes(32, 0xFF))), Bytes(5 * 3 * 4, 0));
  HostTextureData unknown;
  LevelRecord record;
  record.width = 2;
  record.height = 1;
  EXPECT_EQ(ExpandToRgba8(unknown, record, 0), (Bytes{0, 0, 0, 255, 0, 0, 0, 255}));
}

TEST(ExpandRgba8, ReadsTheRequestedSliceOfAVolume) {
  HostTextureData t;
  t.host_format = HostFormat::R8_UNORM;
  t.data = {1, 2, 3, 4, 5, 6};
  LevelRecord record;
  record.width = 2, record.height = 1, record.depth = 3;
  record.row_pitch = 2, record.slice_size = 2, record.size = 6;
  EXPECT_EQ(ExpandToRgba8(t, record, 2), (Bytes{5, 0, 0, 255, 6, 0, 0, 255}));
  EXPECT_TRUE(ExpandToRgba8(t, record, 3).empty());
}

TEST(ExpandRgba8, RecordsOutsideTheDataGiveNothing) {
  HostTextureData t = Texture(HostFormat::RGBA8_UNORM, 2, 2, Bytes(16, 9));
  LevelRecord record = t.level_records[0];
  record.offset = 4;  // last texel would run past the end
  EXPECT_TRUE(ExpandToRgba8(t, record, 0).empty());
  record.offset = ~uint64_t(0);
  EXPECT_TRUE(ExpandToRgba8(t, record, 0).empty());
  record = t.level_records[0];
  record.row_pitch = 4;  // rows would overlap
  EXPECT_TRUE(ExpandToRgba8(t, record, 0).empty());
  record = t.level_records[0];
  record.width = record.height = 0xFFFFFFFF;
  EXPECT_TRUE(ExpandToRgba8(t, record, 0).empty());
  EXPECT_EQ(ExpandToRgba8(t, t.level_records[0], 0), Bytes(16, 9));
}

}  // namespace
}  // namespace mivo
