#include <gtest/gtest.h>

#include <cstring>

#include "common/dds_writer.h"
#include "pack/replacement.h"

namespace mivo {
namespace {

uint32_t Le32(const std::vector<uint8_t>& file, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, &file[offset], 4);
  return v;
}

// A full-chain 2D texture whose bytes count up, so that any reordering shows.
HostTextureData Counting(HostFormat format, uint32_t side) {
  HostTextureData t;
  t.host_format = format;
  t.width = t.height = side;
  t.levels = 0;
  for (uint32_t s = side;; s /= 2) {
    AddLevel(t, t.levels++, s, s);
    if (s == 1) break;
  }
  for (size_t i = 0; i < t.data.size(); ++i) t.data[i] = uint8_t(i * 7 + 3);
  return t;
}

struct LegacyRow {
  HostFormat format;
  const char* four_cc;  // null: bit masks
  uint32_t pixel_flags;
  uint32_t bits;
  uint32_t red_mask;
  uint32_t pitch_or_linear;  // for an 8x8 texture
};

TEST(DdsLegacyHeader, NamesEachFormatAsLegacyReadersExpect) {
  const LegacyRow rows[] = {
      {HostFormat::BC1_UNORM, "DXT1", 0x4, 0, 0, 32},       {HostFormat::BC2_UNORM, "DXT3", 0x4, 0, 0, 64},
      {HostFormat::BC3_UNORM, "DXT5", 0x4, 0, 0, 64},       {HostFormat::BC4_UNORM, "ATI1", 0x4, 0, 0, 32},
      {HostFormat::BC5_UNORM, "ATI2", 0x4, 0, 0, 64},       {HostFormat::RGBA8_UNORM, nullptr, 0x41, 32, 0xFF0000, 32},
      {HostFormat::R8_UNORM, nullptr, 0x20000, 8, 0xFF, 8},
  };
  for (const LegacyRow& row : rows) {
    SCOPED_TRACE(HostFormatName(row.format));
    const HostTextureData t = Counting(row.format, 8);
    const std::vector<uint8_t> file = BuildDds(t, DdsHeaderKind::legacy);
    ASSERT_EQ(file.size(), 128 + t.data.size());
    EXPECT_EQ(Le32(file, 80), row.pixel_flags);
    EXPECT_EQ(Le32(file, 84), row.four_cc ? Le32({row.four_cc, row.four_cc + 4}, 0) : 0u);
    EXPECT_EQ(Le32(file, 88), row.bits);
    EXPECT_EQ(Le32(file, 92), row.red_mask);
    EXPECT_EQ(Le32(file, 20), row.pitch_or_linear);
    EXPECT_EQ(Le32(file, 8), row.four_cc ? 0x000A1007u : 0x0002100Fu);  // linear size or pitch
    EXPECT_EQ(Le32(file, 28), 4u);
    EXPECT_EQ(Le32(file, 108), 0x00401008u);  // complex, texture, mipmap: the chain has four levels
    EXPECT_EQ(LegacyFourCc(row.format) != nullptr, row.four_cc != nullptr);
  }
}

TEST(DdsLegacyHeader, Rgba8TexelsAreWrittenInBgraOrder) {
  const HostTextureData t = Counting(HostFormat::RGBA8_UNORM, 4);
  const std::vector<uint8_t> file = BuildDds(t, DdsHeaderKind::legacy);
  for (size_t i = 0; i < t.data.size(); i += 4) {
    ASSERT_EQ(file[128 + i], t.data[i + 2]);
    ASSERT_EQ(file[128 + i + 1], t.data[i + 1]);
    ASSERT_EQ(file[128 + i + 2], t.data[i]);
    ASSERT_EQ(file[128 + i + 3], t.data[i + 3]);
  }
}

TEST(DdsLegacyHeader, OtherFormatsArraysAndOneDimensionKeepDx10) {
  HostTextureData rg = Counting(HostFormat::RG8_UNORM, 4);
  HostTextureData array = Counting(HostFormat::BC1_UNORM, 4);
  array.layers = 2;
  HostTextureData line = Counting(HostFormat::RGBA8_UNORM, 4);
  line.dim = kDim1D;
  for (const HostTextureData* t : {&rg, &array, &line}) {
    const std::vector<uint8_t> file = BuildDds(*t, DdsHeaderKind::legacy);
    EXPECT_EQ(Le32(file, 84), 0x30315844u);  // "DX10"
    EXPECT_EQ(file, BuildDds(*t));
  }
  // A single level is no complex surface to a legacy reader.
  HostTextureData single = Counting(HostFormat::BC1_UNORM, 4);
  single.levels = 1;
  single.level_records.resize(1);
  single.data.resize(8);
  EXPECT_EQ(Le32(BuildDds(single, DdsHeaderKind::legacy), 108), 0x1000u);
}

// A template file must load to the same texels whichever header it has.
TEST(DdsLegacyHeader, LoaderReadsLegacyFilesLikeTheirDx10Twins) {
  for (const HostFormat format : {HostFormat::BC1_UNORM, HostFormat::BC3_UNORM, HostFormat::BC5_UNORM}) {
    SCOPED_TRACE(HostFormatName(format));
    const HostTextureData t = Counting(format, 16);
    HostTextureData legacy, dx10;
    std::string error;
    ASSERT_TRUE(LoadReplacementBytes(BuildDds(t, DdsHeaderKind::legacy), false, format, legacy, error)) << error;
    ASSERT_TRUE(LoadReplacementBytes(BuildDds(t), false, format, dx10, error)) << error;
    EXPECT_EQ(legacy.host_format, format);
    EXPECT_EQ(legacy.data, dx10.data);
  }
}

}  // namespace
}  // namespace mivo
