// Small inputs that claim huge contents fail with their message without
// first allocating what they claim.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/dds_writer.h"
#include "guest/read_texture.h"
#include "pack/manifest.h"
#include "pack/replacement.h"
#include "support/dump_builder.h"
#include "texdump/dump_file.h"

namespace mivo {
namespace {

TEST(ResourceBounds, ManifestOfOneHugeLineIsOneInvalidRow) {
  // Millions of words on one line: only the first few are looked at.
  std::string text = "MVTP 1\n";
  while (text.size() + 2 <= kMaxManifestBytes) text += "a ";
  PackManifest entries;
  ErrorCode error = ErrorCode::ok;
  EXPECT_FALSE(ParsePackManifestText(text, entries, error));
  EXPECT_EQ(error, ErrorCode::manifest_row);
  text += "aa";
  EXPECT_FALSE(ParsePackManifestText(text, entries, error));
  EXPECT_EQ(error, ErrorCode::manifest_missing);
}

TEST(ResourceBounds, DdsHeaderClaimingLevelsItLacksAllocatesOnlyWhatTheFileHolds) {
  // R8 with a 64 MiB base level, but only 1000 bytes of data: our writer's
  // file of a small texture with its header's size and level count changed.
  HostTextureData small;
  small.host_format = HostFormat::R8_UNORM;
  small.width = small.height = 8;
  small.levels = 1;
  ASSERT_TRUE(AddLevel(small, 0, 1000, 1));
  std::vector<uint8_t> file = BuildDds(small);
  const auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  put(12, 8192);  // height
  put(16, 8192);  // width
  put(28, 14);    // levels
  HostTextureData texture;
  ErrorCode error = ErrorCode::ok;
  EXPECT_FALSE(LoadReplacementBytes(file, false, HostFormat::R8_UNORM, texture, error));
  EXPECT_EQ(error, ErrorCode::dds_truncated);
  EXPECT_LE(texture.data.capacity(), 1000u);
  put(28, 15);  // one more than the chain
  EXPECT_FALSE(LoadReplacementBytes(file, false, HostFormat::R8_UNORM, texture, error));
  EXPECT_EQ(error, ErrorCode::dds_shape);
}

TEST(ResourceBounds, FetchConstantClaimingAHuge3DTextureFailsWithoutStagingIt) {
  // 16 GiB of texels.
  const test::FetchFields f{.format = GuestFormat::k_32_32_32_32_FLOAT,
                            .base_address = 0x1000,
                            .width = 2048,
                            .height = 2048,
                            .depth = 1024,
                            .dimension = kDim3D,
                            .mip_address = 0x2000};
  TextureDump dump;
  dump.version = 2;
  dump.fetch = test::MakeFetchConstant(f);
  dump.base_image.assign(256, 1);
  dump.mip_image.assign(256, 2);
  const StagedDump staged = StageDumpInGuestMemory(dump);
  EXPECT_LT(staged.memory_size, 0x10000u);
  HostTextureData texture;
  ErrorCode error = ErrorCode::ok;
  EXPECT_FALSE(ReadGuestTexture(staged.fetch, staged.Memory(), texture, error));
  EXPECT_EQ(error, ErrorCode::texture_too_large);
  EXPECT_EQ(texture.data.capacity(), 0u);
}

TEST(ResourceBounds, MipRegionClaimedFarPastItsImageCostsNoMemory) {
  // 256x256 RGBA8: a whole 256 KiB base image, 64 bytes of an 85 KiB mip region.
  const test::FetchFields f{
      .pitch = 8, .base_address = 0x10000, .width = 256, .height = 256, .max_level = 8, .mip_address = 0x80000};
  TextureDump dump;
  dump.version = 2;
  dump.fetch = test::MakeFetchConstant(f);
  dump.base_image.assign(256 * 256 * 4, 1);
  dump.mip_image.assign(64, 2);
  const StagedDump staged = StageDumpInGuestMemory(dump);
  EXPECT_EQ(staged.base_offset, 0x1000u) << "the image that overshoots its region less goes first";
  EXPECT_LT(staged.memory_size, dump.base_image.size() + 0x10000);
}

}  // namespace
}  // namespace mivo
