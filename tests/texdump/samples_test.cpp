// The bundled samples, the generator that writes them, and the test-support
// pieces it is built from (block encoders, guest memory placement).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "guest/describe.h"
#include "guest/read_texture.h"
#include "support/dump_builder.h"
#include "texdump/dump_file.h"
#include "support/block_encode.h"
#include "support/guest_writer.h"
#include "support/samples.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Samples, BundledFilesAreExactlyWhatTheGeneratorWrites) {
  const fs::path folder = fs::path(MIVO_SOURCE_DIR) / "samples";
  const auto table = test::SampleTable();
  std::set<std::string> expected_names;
  uint64_t total = 0;
  for (uint32_t i = 0; i < table.size(); ++i) {
    const std::string name = std::string(table[i].name) + ".bin";
    expected_names.insert(name);
    const std::vector<uint8_t> bytes = ReadFile(folder / name);
    EXPECT_TRUE(bytes == test::MakeSampleDump(i)) << name << " is stale: run mivo_make_samples samples";
    total += bytes.size();
  }
  std::set<std::string> found_names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    found_names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(found_names, expected_names);
  EXPECT_LT(total, 300u * 1024u) << "samples stay small";
}

TEST(Samples, NamesFitThePackTemplateFormAndEveryFetchConstantDescribes) {
  const std::regex form("bf_[0-9A-F]{8}_[0-9A-F]{8}");
  const auto table = test::SampleTable();
  for (uint32_t i = 0; i < table.size(); ++i) {
    EXPECT_TRUE(std::regex_match(table[i].name, form)) << table[i].name;
    GuestTextureInfo info;
    std::string error;
    EXPECT_TRUE(DescribeTexture(test::MakeFetchConstant(test::SampleFields(i)), info, &error)) << table[i].name << error;
  }
}

TEST(GuestWriter, BaseLevelAndMipsOfASmallPackedTextureShareTheBaseTile) {
  test::FetchFields f;
  f.format = GuestFormat::k_DXT1;
  f.width = f.height = 16;
  f.pitch = 1;
  f.base_address = 0x10000;
  f.packed = true;
  f.max_level = 4;
  test::GuestImages images;
  test::PlaceGuestLevel(f, 0, 0, std::vector<uint8_t>(4 * 4 * 8, 0x11), images);
  // Level 0 sits 16 texels (4 blocks) to the right; rows are 32 blocks of 8 bytes.
  ASSERT_EQ(images.base.size(), 3u * 256u + 8u * 8u);
  EXPECT_EQ(images.base[31], 0);
  EXPECT_EQ(images.base[32], 0x11);
  EXPECT_EQ(images.base[3 * 256 + 63], 0x11);

  test::PlaceGuestLevel(f, 1, 0, std::vector<uint8_t>(2 * 2 * 8, 0x22), images);  // at (2, 0) blocks
  test::PlaceGuestLevel(f, 3, 0, std::vector<uint8_t>(8, 0x33), images);          // at (0, 2) blocks
  EXPECT_EQ(images.base[16], 0x22);
  EXPECT_EQ(images.base[256 + 31], 0x22);
  EXPECT_EQ(images.base[512], 0x33);
  EXPECT_TRUE(images.mip.empty());
}

TEST(GuestWriter, MipLevelsFollowOneAnotherAndTailLevelsShareARecord) {
  test::FetchFields chain;
  chain.format = GuestFormat::k_8_8_8_8;
  chain.width = chain.height = 64;
  chain.pitch = 2;
  chain.base_address = 0x10000;
  chain.mip_address = 0x20000;
  chain.max_level = 6;
  test::GuestImages images;
  test::PlaceGuestLevel(chain, 2, 0, std::vector<uint8_t>(16 * 16 * 4, 0x44), images);
  // Level 1 takes one 8 KiB slice (32 rows of 256 bytes), so level 2 starts at 8192.
  EXPECT_EQ(images.mip.size(), 8192u + 15u * 256u + 64u);
  EXPECT_EQ(images.mip[8191], 0);
  EXPECT_EQ(images.mip[8192], 0x44);

  test::FetchFields packed = chain;
  packed.width = packed.height = 32;
  packed.pitch = 1;
  packed.packed = true;
  packed.max_level = 5;
  test::GuestImages tail;
  test::PlaceGuestLevel(packed, 1, 0, std::vector<uint8_t>(16 * 16 * 4, 0x55), tail);  // at (16, 0)
  test::PlaceGuestLevel(packed, 4, 0, std::vector<uint8_t>(2 * 2 * 4, 0x66), tail);    // at (0, 8)
  EXPECT_EQ(tail.mip[63], 0);
  EXPECT_EQ(tail.mip[64], 0x55);
  EXPECT_EQ(tail.mip[8 * 256], 0x66);
  EXPECT_EQ(tail.mip[9 * 256 + 7], 0x66);

  EXPECT_THROW(test::PlaceGuestLevel(chain, 1, 0, std::vector<uint8_t>(5), images), std::logic_error);
  EXPECT_THROW(test::PlaceGuestLevel(chain, 9, 0, std::vector<uint8_t>(4), images), std::logic_error);
}

TEST(GuestWriter, TiledTexelsLandAtTheirTiledAddresses) {
  test::FetchFields tiled;
  tiled.format = GuestFormat::k_8_8_8_8;
  tiled.width = tiled.height = 32;
  tiled.pitch = 1;
  tiled.tiled = true;
  tiled.base_address = 0x1000;
  std::vector<uint8_t> blocks(32 * 32 * 4);
  blocks[1 * 4] = 1;        // (1, 0)
  blocks[8 * 4] = 2;        // (8, 0)
  blocks[32 * 4] = 3;       // (0, 1)
  blocks[2 * 32 * 4] = 4;   // (0, 2)
  blocks[16 * 32 * 4] = 5;  // (0, 16)
  test::GuestImages images;
  test::PlaceGuestLevel(tiled, 0, 0, blocks, images);
  EXPECT_EQ(images.base[4], 1);
  EXPECT_EQ(images.base[64], 2);
  EXPECT_EQ(images.base[16], 3);
  EXPECT_EQ(images.base[256], 4);
  EXPECT_EQ(images.base[2048], 5);
}

// A dump's bytes read back the way the dump tool reads them.
HostTextureData DecodeSampleDump(const std::vector<uint8_t>& bytes, uint8_t assume_mips_in_base_tail) {
  const fs::path path = fs::temp_directory_path() / "mivo_sample_twin.bin";
  test::WriteFileBytes(path, bytes);
  TextureDump dump;
  std::string error;
  EXPECT_TRUE(ReadTextureDump(path, dump, error)) << error;
  fs::remove(path);
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
    if (!tiled.tiled) continue;
    for (uint32_t l = 0; l < table.size(); ++l) {
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

TEST(GuestWriter, CubeFacesLieOneAlignedSliceApart) {
  test::FetchFields cube;
  cube.format = GuestFormat::k_8_8_8_8;
  cube.dimension = kDimCube;
  cube.width = cube.height = 8;
  cube.pitch = 1;
  cube.base_address = 0x10000;
  test::GuestImages images;
  test::PlaceGuestLevel(cube, 0, 5, std::vector<uint8_t>(8 * 8 * 4, 0x77), images);
  EXPECT_EQ(images.base.size(), 5u * 4096u + 7u * 128u + 32u);
  EXPECT_EQ(images.base[5 * 4096], 0x77);
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
  EXPECT_EQ(test::FloatToHalf(65504.0f), 0x7BFF);
  EXPECT_EQ(test::FloatToHalf(70000.0f), 0x7C00);
  EXPECT_EQ(test::FloatToHalf(0x1p-24f), 0x0001);
  EXPECT_EQ(test::FloatToHalf(0x1p-26f), 0x0000);
  EXPECT_EQ(test::FloatToHalf(1.0f + 0x1p-11f), 0x3C00) << "a tie goes to the even neighbour";
  EXPECT_EQ(test::FloatToHalf(1.0f + 0x3p-11f), 0x3C02);
}

}  // namespace
}  // namespace mivo
