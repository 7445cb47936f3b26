// The bundled samples, the generator that writes them, and the test-support
// pieces it is built from (block encoders, guest memory placement).
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "guest/describe.h"
#include "guest/read_texture.h"
#include "support/dump_builder.h"
#include "texdump/dump_file.h"
#include "support/block_encode.h"
#include "support/external_tools.h"
#include "support/guest_writer.h"
#include "support/samples.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

TEST(Samples, BundledFilesAreExactlyWhatTheGeneratorWritesAndFitThePackTemplateForm) {
  const fs::path folder = fs::path(MIVO_SOURCE_DIR) / "samples";
  const std::regex form("bf_[0-9A-F]{8}_[0-9A-F]{8}");
  const auto table = test::SampleTable();
  std::set<std::string> expected_names, found_names;
  uint64_t total = 0;
  for (uint32_t i = 0; i < table.size(); ++i) {
    const std::string name = std::string(table[i].name) + ".bin";
    expected_names.insert(name);
    const std::vector<uint8_t> bytes = test::ReadFileBytes(folder / name);
    EXPECT_TRUE(bytes == test::MakeSampleDump(i)) << name << " is stale: run mivo_make_samples samples";
    total += bytes.size();
    EXPECT_TRUE(std::regex_match(table[i].name, form)) << name;
    GuestTextureInfo info;
    std::string error;
    EXPECT_TRUE(DescribeTexture(test::MakeFetchConstant(test::SampleFields(i)), info, &error)) << name << error;
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) found_names.insert(entry.path().filename().string());
  EXPECT_EQ(found_names, expected_names);
  EXPECT_LT(total, 300u * 1024u) << "samples stay small";
}

// A dump's bytes read back the way the dump tool reads them.
HostTextureData DecodeSampleDump(const std::vector<uint8_t>& bytes, uint8_t assume_mips_in_base_tail) {
  TextureDump dump;
  std::string error;
  EXPECT_TRUE(ParseTextureDump(bytes.data(), bytes.size(), dump, error)) << error;
  const StagedDump staged = StageDumpInGuestMemory(dump);
  HostTextureData texture;
  EXPECT_TRUE(ReadGuestTexture(staged.fetch, staged.View(), texture, &error, assume_mips_in_base_tail)) << error;
  return texture;
}

TEST(Samples, TiledSamplesDecodeToTheSamePicturesAsTheirLinearTwins) {
  const auto table = test::SampleTable();
  uint32_t twins = 0;
  for (uint32_t t = 0; t < table.size(); ++t) {
    const test::SampleSpec& tiled = table[t];
    for (uint32_t l = 0; l < table.size() && tiled.tiled; ++l) {
      const test::SampleSpec& linear = table[l];
      if (linear.tiled || linear.format != tiled.format || linear.dimension != tiled.dimension ||
          linear.width != tiled.width || linear.height != tiled.height || linear.depth != tiled.depth ||
          linear.max_level != tiled.max_level || linear.mip_region != tiled.mip_region ||
          linear.packed != tiled.packed || linear.picture != tiled.picture || linear.version != tiled.version) {
        continue;
      }
      for (uint8_t option : {0, 1}) {
        const HostTextureData a = DecodeSampleDump(test::MakeSampleDump(t), option);
        const HostTextureData b = DecodeSampleDump(test::MakeSampleDump(l), option);
        EXPECT_EQ(a.level_records.size(), b.level_records.size()) << tiled.name;
        EXPECT_TRUE(a.data == b.data) << tiled.name << " differs from " << linear.name;
        EXPECT_FALSE(a.data.empty());
      }
      ++twins;
    }
  }
  EXPECT_EQ(twins, 7u);
}

test::FetchFields WriterFields(GuestFormat format, uint32_t size, uint32_t pitch, bool packed, uint32_t max_level,
                               uint32_t mip_address, uint32_t dimension = kDim2D) {
  test::FetchFields f;
  f.format = format;
  f.dimension = dimension;
  f.width = f.height = size;
  f.pitch = pitch;
  f.base_address = 0x10000;
  f.packed = packed;
  f.max_level = max_level;
  f.mip_address = mip_address;
  return f;
}

TEST(GuestWriter, LevelsLandAtTheirWorkedOffsets) {
  const test::FetchFields dxt1_tail = WriterFields(GuestFormat::k_DXT1, 16, 1, true, 4, 0);
  const test::FetchFields chain = WriterFields(GuestFormat::k_8_8_8_8, 64, 2, false, 6, 0x20000);
  const test::FetchFields rgba_tail = WriterFields(GuestFormat::k_8_8_8_8, 32, 1, true, 5, 0x20000);
  struct Case {
    const char* name;
    test::FetchFields fields;
    uint32_t level, layer, block_bytes;
    bool in_mip;
    size_t image_size;  // 0: not checked
    std::vector<size_t> filled, zero;
  };
  const Case cases[] = {
      // DXT1 rows are 32 blocks of 8 bytes; level 0 sits 4 blocks to the right in the shared tile.
      {"dxt1 level 0", dxt1_tail, 0, 0, 4 * 4 * 8, false, 3 * 256 + 8 * 8, {32, 3 * 256 + 63}, {31}},
      {"dxt1 level 1", dxt1_tail, 1, 0, 2 * 2 * 8, false, 0, {16, 256 + 31}, {}},  // at (2, 0) blocks
      {"dxt1 level 3", dxt1_tail, 3, 0, 8, false, 0, {512}, {}},                  // at (0, 2) blocks
      // Level 1 takes one 8 KiB slice (32 rows of 256 bytes), so level 2 starts at 8192.
      {"chain level 2", chain, 2, 0, 16 * 16 * 4, true, 8192 + 15 * 256 + 64, {8192}, {8191}},
      {"tail level 1", rgba_tail, 1, 0, 16 * 16 * 4, true, 0, {64}, {63}},             // at (16, 0)
      {"tail level 4", rgba_tail, 4, 0, 2 * 2 * 4, true, 0, {8 * 256, 9 * 256 + 7}, {}},  // at (0, 8)
      {"cube face 5", WriterFields(GuestFormat::k_8_8_8_8, 8, 1, false, 0, 0, kDimCube), 0, 5, 8 * 8 * 4, false,
       5 * 4096 + 7 * 128 + 32, {5 * 4096}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::GuestImages images;
    test::PlaceGuestLevel(c.fields, c.level, c.layer, std::vector<uint8_t>(c.block_bytes, 0xA5), images);
    const std::vector<uint8_t>& image = c.in_mip ? images.mip : images.base;
    EXPECT_TRUE((c.in_mip ? images.base : images.mip).empty());
    if (c.image_size != 0) {
      EXPECT_EQ(image.size(), c.image_size);
    }
    for (size_t at : c.filled) EXPECT_EQ(image.at(at), 0xA5) << at;
    for (size_t at : c.zero) EXPECT_EQ(image.at(at), 0) << at;
  }
  std::vector<uint8_t> wrong(5);
  test::GuestImages images;
  EXPECT_THROW(test::PlaceGuestLevel(chain, 1, 0, wrong, images), std::logic_error) << "wrong block count";
  EXPECT_THROW(test::PlaceGuestLevel(chain, 9, 0, std::vector<uint8_t>(4), images), std::logic_error) << "no level 9";

  // Tiled: single texels at their tiled addresses.
  std::vector<uint8_t> blocks(32 * 32 * 4);
  const std::pair<size_t, size_t> texels[] = {{1, 4}, {8, 64}, {32, 16}, {2 * 32, 256}, {16 * 32, 2048}};  // texel, address
  for (uint8_t i = 0; i < 5; ++i) blocks[texels[i].first * 4] = i + 1;
  test::FetchFields tiled = WriterFields(GuestFormat::k_8_8_8_8, 32, 1, false, 0, 0);
  tiled.tiled = true;
  test::PlaceGuestLevel(tiled, 0, 0, blocks, images);
  for (uint8_t i = 0; i < 5; ++i) EXPECT_EQ(images.base.at(texels[i].second), i + 1) << texels[i].second;
}

TEST(GuestWriter, EndianSwapsPadToWordsAndUndoThemselves) {
  std::vector<uint8_t> image = {0x11, 0x22, 0x33, 0x44, 0x55};
  test::ApplyEndianSwap(2, image);
  EXPECT_EQ(image, (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0x55}));
  test::ApplyEndianSwap(2, image);
  EXPECT_EQ(image, (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0, 0, 0}));
  std::vector<uint8_t> halves = {0x11, 0x22, 0x33, 0x44};
  test::ApplyEndianSwap(3, halves);
  EXPECT_EQ(halves, (std::vector<uint8_t>{0x33, 0x44, 0x11, 0x22}));
  test::ApplyEndianSwap(1, halves);
  EXPECT_EQ(halves, (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
}

TEST(BlockEncoders, EndpointsComeFromTheBlockExtremesInTheDecodersByteOrder) {
  uint8_t rgba[64];
  for (int i = 0; i < 16; ++i) {
    const bool bright = i % 2 == 0;
    rgba[4 * i + 0] = bright ? 255 : 0;
    rgba[4 * i + 1] = bright ? 255 : 0;
    rgba[4 * i + 2] = bright ? 255 : 0;
    rgba[4 * i + 3] = bright ? 200 : 10;
  }
  uint8_t bc3[16];
  test::EncodeBc3Block(rgba, bc3);
  EXPECT_EQ(bc3[0], 200);  // alpha endpoints: max first, so eight-value mode
  EXPECT_EQ(bc3[1], 10);
  EXPECT_EQ(bc3[8] | bc3[9] << 8, 0xFFFF);  // colour endpoints, little-endian 565
  EXPECT_EQ(bc3[10] | bc3[11] << 8, 0x0000);
  const uint32_t indices = bc3[12] | bc3[13] << 8 | bc3[14] << 16 | uint32_t(bc3[15]) << 24;
  EXPECT_EQ(indices, 0x44444444u) << "even texels take c0 (index 0), odd ones c1 (index 1)";

  uint8_t rg[32];
  for (int i = 0; i < 16; ++i) {
    rg[2 * i] = i < 8 ? 200 : 20;     // R
    rg[2 * i + 1] = i < 8 ? 90 : 30;  // G
  }
  uint8_t ctx1[8];
  test::EncodeCtx1Block(rg, ctx1);
  EXPECT_EQ((std::vector<uint8_t>(ctx1, ctx1 + 4)), (std::vector<uint8_t>{90, 200, 30, 20}));
  EXPECT_EQ(ctx1[4] | ctx1[5] << 8 | ctx1[6] << 16 | uint32_t(ctx1[7]) << 24, 0x55550000u);
}

TEST(BlockEncoders, HalfFloatsRoundToNearestEven) {
  EXPECT_EQ(test::FloatToHalf(1.0f), 0x3C00);
  EXPECT_EQ(test::FloatToHalf(-2.0f), 0xC000);
  EXPECT_EQ(test::FloatToHalf(70000.0f), 0x7C00);
  EXPECT_EQ(test::FloatToHalf(0x1p-24f), 0x0001);
  EXPECT_EQ(test::FloatToHalf(1.0f + 0x1p-11f), 0x3C00) << "a tie goes to the even neighbour";
  EXPECT_EQ(test::FloatToHalf(1.0f + 0x3p-11f), 0x3C02);
}

}  // namespace
}  // namespace mivo
