#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
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

// Every texel of a block comes from its decoder: a solid 4x4 block of the
// 565 colour 0x4040 and values 0x40 gives sixteen equal texels.
TEST(ExpandRgba8, SolidBlocksFillAllSixteenTexels) {
  const Bytes half = {0x40, 0x40, 0, 0, 0, 0, 0, 0};  // equal endpoints, every index 0
  const std::pair<H, Bytes> cases[] = {{H::BC1_UNORM, {66, 8, 0, 255}},      {H::BC2_UNORM, {66, 8, 0, 68}},
                                       {H::BC3_UNORM, {66, 8, 0, 64}},       {H::BC4_UNORM, {64, 0, 0, 255}},
                                       {H::BC4_SNORM, {192, 128, 128, 255}}, {H::BC5_UNORM, {64, 64, 0, 255}},
                                       {H::BC5_SNORM, {192, 192, 128, 255}}};
  for (const auto& [format, texel] : cases) {
    Bytes block = format == H::BC2_UNORM ? Bytes(8, 0x44) : half;  // BC2: explicit alpha 4 of 15
    if (HostFormatRow(uint32_t(format)).bytes_per_block == 16) block.insert(block.end(), half.begin(), half.end());
    const HostTextureData t = Texture(format, 4, 4, block);
    const Bytes out = ExpandToRgba8(t, t.level_records[0], 0);
    ASSERT_EQ(out.size(), 64u) << HostFormatName(format);
    for (int i = 0; i < 16; ++i)
      EXPECT_TRUE(std::equal(texel.begin(), texel.end(), out.begin() + 4 * i)) << HostFormatName(format) << " " << i;
  }
}

// Block rows are read up to the level's last only: a wide BC1 level in a
// buffer of exactly its size, where a row more would run off its pages.
TEST(ExpandRgba8, ReadsNoBlockRowPastTheLevel) {
  const Bytes zeros(size_t(4096 / 4) * (128 / 4) * 8, 0);
  EXPECT_EQ(Expand(Texture(H::BC1_UNORM, 4096, 128, zeros)).size(), 4096u * 128 * 4);
}

// Mode 5, rotation 1 (alpha and red swap), red endpoints 0 and 255, every
// other field all ones: texel 0 (index 1) has red 84, shown as alpha.
TEST(ExpandRgba8, Bc7BlocksAreDecodedAndClipped) {
  Bytes blocks(32, 0xFF);
  blocks[0] = blocks[16] = 0x60;
  blocks[1] = blocks[17] = 0x80;
  const Bytes out = Expand(Texture(H::BC7_UNORM, 5, 3, blocks));
  ASSERT_EQ(out.size(), 5u * 3 * 4);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{255, 255, 255, 84}));
  EXPECT_EQ(Bytes(out.end() - 4, out.end()), (Bytes{255, 255, 255, 255}));
}

TEST(ExpandRgba8, UnknownReadsNothing) {
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
