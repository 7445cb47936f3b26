// The bundled samples, and the test-support pieces only the generator uses
// (endian swaps, block encoders, half floats). Guest memory placement is
// checked against the reader by the guest reading tests.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <string>

#include "guest/describe.h"
#include "guest/read_texture.h"
#include "support/block_encode.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/guest_writer.h"
#include "support/samples.h"
#include "texdump/dump_file.h"

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
  uint8_t rgba[64], rg[32], bc3[16], ctx1[8];
  for (int i = 0; i < 16; ++i) {
    std::memset(rgba + 4 * i, i % 2 == 0 ? 255 : 0, 3);
    rgba[4 * i + 3] = i % 2 == 0 ? 200 : 10;
    rg[2 * i] = i < 8 ? 200 : 20;     // R
    rg[2 * i + 1] = i < 8 ? 90 : 30;  // G
  }
  test::EncodeBc3Block(rgba, bc3);
  test::EncodeCtx1Block(rg, ctx1);
  // Alpha endpoints max first (eight-value mode), colour endpoints little-endian
  // 565, and even texels take c0 (index 0), odd ones c1 (index 1).
  EXPECT_EQ(std::vector<uint8_t>(bc3, bc3 + 2), (std::vector<uint8_t>{200, 10}));
  EXPECT_EQ(std::vector<uint8_t>(bc3 + 8, bc3 + 16), (std::vector<uint8_t>{0xFF, 0xFF, 0, 0, 0x44, 0x44, 0x44, 0x44}));
  EXPECT_EQ(std::vector<uint8_t>(ctx1, ctx1 + 8), (std::vector<uint8_t>{90, 200, 30, 20, 0, 0, 0x55, 0x55}));
}

TEST(BlockEncoders, HalfFloatsRoundToNearestEven) {
  EXPECT_EQ(test::FloatToHalf(-2.0f), 0xC000);
  EXPECT_EQ(test::FloatToHalf(70000.0f), 0x7C00);
  EXPECT_EQ(test::FloatToHalf(0x1p-24f), 0x0001);
  EXPECT_EQ(test::FloatToHalf(1.0f + 0x1p-11f), 0x3C00) << "a tie goes to the even neighbour";
  EXPECT_EQ(test::FloatToHalf(1.0f + 0x3p-11f), 0x3C02);
}

}  // namespace
}  // namespace mivo
