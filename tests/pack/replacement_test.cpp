// Texel values of loaded replacements. Which files load, as what and with
// which message, is the golden case packcheck-faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/dds_writer.h"
#include "common/png_writer.h"
#include "pack/replacement.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

using enum HostFormat;
using Bytes = std::vector<uint8_t>;

// An RGBA PNG of width x 1 .. height from texels given as RGB (alpha 255).
Bytes RgbPng(uint32_t width, uint32_t height, const Bytes& rgb) {
  Bytes rgba;
  for (size_t i = 0; i < rgb.size(); i += 3) rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
  return BuildPng(width, height, rgba.data());
}

class ReplacementTest : public ::testing::Test {
 protected:
  HostTextureData Load(const Bytes& file, HostFormat original, const std::string& name) {
    std::ofstream(dir_ / name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    ManifestEntry entry;
    entry.replacement_file = name;
    entry.original_host_format = original;
    std::string error;
    EXPECT_TRUE(LoadReplacement(dir_.path(), entry, texture_, error)) << error;
    return texture_;
  }
  Bytes Level(uint32_t mip) const {
    const LevelRecord& r = texture_.level_records.at(mip);
    return Bytes(texture_.data.begin() + ptrdiff_t(r.offset), texture_.data.begin() + ptrdiff_t(r.offset + r.size));
  }
  test::TempFolder dir_;
  HostTextureData texture_;  // reused: a load must leave only the new texture in it
};

TEST_F(ReplacementTest, GeneratedLevelsAverageTheirFootprints) {
  Bytes ramp;
  for (uint8_t i = 0; i < 16; ++i) ramp.insert(ramp.end(), {uint8_t(i * 10), 0, 0});
  const struct {
    const char* what;
    Bytes png;
    HostFormat original;
    uint32_t mip;
    Bytes expected;
  } rows[] = {
      {"2x2 footprints: (0+10+80+90)/4 = 45, ...", RgbPng(8, 2, ramp), R8_UNORM, 1, {45, 65, 85, 105}},
      {"8x2 level 2", RgbPng(8, 2, ramp), R8_UNORM, 2, {55, 95}},
      {"8x2 level 3", RgbPng(8, 2, ramp), R8_UNORM, 3, {75}},
      {"3x2 halves to 1x1 over all six: 30.33",
       RgbPng(3, 2, {10, 0, 0, 20, 0, 0, 61, 0, 0, 10, 0, 0, 20, 0, 0, 61, 0, 0}),
       R8_UNORM,
       1,
       {30}},
      {"5 columns: [0,2) gives 0.5 -> 1, [2,5) gives 5",
       RgbPng(5, 1, {0, 0, 0, 1, 0, 0, 3, 0, 0, 4, 0, 0, 8, 0, 0}),
       R8_UNORM,
       1,
       {1, 5}},
      {"RGBA channels apart", RgbPng(2, 1, {0, 255, 100, 1, 1, 103}), RGBA8_UNORM, 1, {1, 128, 102, 255}},
      // Two-channel texels average as unit vectors with a rebuilt z.
      {"a flat normal stays flat",
       RgbPng(2, 2, {128, 128, 0, 128, 128, 0, 128, 128, 0, 128, 128, 0}),
       RG8_UNORM,
       1,
       {128, 128}},
      {"opposite x, no z: the tiny common y is normalised to full length",
       RgbPng(2, 1, {255, 128, 0, 0, 128, 0}),
       RG8_UNORM,
       1,
       {128, 255}},
      {"signed -127 and 127 cancel exactly: no direction", RgbPng(2, 1, {0, 255, 0, 255, 0, 0}), RG8_SNORM, 1, {0, 0}},
      {"(0.598, 0.801) and (0, 1): x / |(0.598, 0, 1.801)| = 0.3153 -> 40",
       RgbPng(2, 1, {204, 128, 0, 128, 128, 0}),
       RG8_SNORM,
       1,
       {40, 0}},
      // Onto signed bytes: 0 -> -127, 255 -> 127, 127 and 128 -> 0, 64 -> round(-63.25), 1 -> -126, 2 -> -125.
      {"signed mapping",
       RgbPng(4, 1, {0, 255, 0, 127, 128, 0, 255, 64, 0, 1, 2, 0}),
       RG8_SNORM,
       0,
       {0x81, 0x7F, 0, 0, 0x7F, 0xC1, 0x82, 0x83}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Load(row.png, row.original, "r.png");
    EXPECT_EQ(texture_.levels, texture_.level_records.size());
    EXPECT_EQ(Level(row.mip), row.expected);
  }
}

TEST_F(ReplacementTest, PlainDdsWithoutACompleteChainRegeneratesFromItsBase) {
  // 4x4 RGBA8 holding two of its three levels: the second is noise that is
  // dropped, and both lower levels are generated from the base.
  HostTextureData partial;
  partial.host_format = RGBA8_UNORM;
  partial.width = partial.height = 4;
  ASSERT_TRUE(AddLevel(partial, 0, 4, 4) && AddLevel(partial, 1, 2, 2));
  Bytes base;
  for (int i = 0; i < 16; ++i) base.insert(base.end(), 4, uint8_t(i % 4 * 4));
  std::copy(base.begin(), base.end(), partial.data.begin());
  std::fill(partial.data.begin() + 64, partial.data.end(), 99);
  partial.levels = 2;
  Load(BuildDds(partial), RGBA8_UNORM, "r.dds");
  ASSERT_EQ(texture_.level_records.size(), 3u);
  EXPECT_EQ(Level(0), base);
  EXPECT_EQ(Level(1), (Bytes{2, 2, 2, 2, 10, 10, 10, 10, 2, 2, 2, 2, 10, 10, 10, 10}));
  EXPECT_EQ(Level(2), (Bytes{6, 6, 6, 6}));
}

// Our DDS writer's files load back as their format, the table's last (BC7) included.
TEST_F(ReplacementTest, DdsFilesOfOurWriterLoadBackAsTheirFormat) {
  for (HostFormat format : {RGBA8_UNORM, BC1_UNORM, BC7_UNORM}) {
    HostTextureData t;
    t.host_format = format;
    t.width = t.height = 4;
    t.levels = 3;
    for (uint32_t m = 0; m < 3; ++m) ASSERT_TRUE(AddLevel(t, m, 4 >> m, 4 >> m));
    Load(BuildDds(t), format, "r.dds");
    EXPECT_EQ(texture_.host_format, format) << HostFormatName(format);
  }
}

}  // namespace
}  // namespace mivo
