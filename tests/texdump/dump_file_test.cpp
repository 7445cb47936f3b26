#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "guest/read_texture.h"
#include "support/dump_builder.h"
#include "texdump/dump_file.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

// Read straight into its staged memory, a dump gives what reading it and then
// staging it gives: every stored dump (version-1 ones and unreadable ones
// among them), a folder and a missing file.
TEST(ReadStagedDump, EqualsReadingThenStaging) {
  const fs::path source(MIVO_SOURCE_DIR);
  std::vector<fs::path> paths = {source / "samples", source / "no such dump.bin"};
  for (const auto& entry : fs::recursive_directory_iterator(source / "tests" / "golden")) {
    if (entry.path().extension() == ".bin") paths.push_back(entry.path());
  }
  for (const auto& entry : fs::directory_iterator(source / "samples")) paths.push_back(entry.path());
  size_t failed = 0, shifted = 0;
  for (const fs::path& path : paths) {
    TextureDump read, direct;
    StagedDump staged;
    std::string read_error, error;
    const bool ok = ReadTextureDump(path, read, read_error);
    ASSERT_EQ(ReadStagedDump(path, direct, staged, error), ok) << path;
    EXPECT_EQ(error, read_error) << path;
    failed += !ok;
    if (!ok) continue;
    const StagedDump want = StageDumpInGuestMemory(read);
    EXPECT_TRUE(staged.images == want.images && staged.base_offset == want.base_offset &&
                staged.mip_offset == want.mip_offset && staged.memory_size == want.memory_size &&
                !std::memcmp(&staged.fetch, &want.fetch, sizeof want.fetch) &&
                staged.base_image_size == read.base_image.size() && staged.mip_image_size == read.mip_image.size() &&
                direct.version1_shifted == read.version1_shifted)
        << path;
    shifted += read.version1_shifted;
  }
  EXPECT_GT(failed, 2u);
  EXPECT_GT(shifted, 0u);
}

TEST(DumpStaging, RegionsThatAreNeverReadCostNoMemory) {
  // A base region of 458 MB beside a mip image that no mip address reads
  // (fuzzing found its like staging 416 MB for a 55-byte dump), and regions
  // of 64 and 21 MiB of words that are no texture fetch constant.
  test::FetchFields no_mip_address;
  no_mip_address.height = 7000;
  no_mip_address.pitch = 511;
  no_mip_address.base_address = 0x00100000;
  test::FetchFields not_a_texture;
  not_a_texture.type = 0;
  not_a_texture.width = not_a_texture.height = 4096;
  not_a_texture.pitch = 128;
  not_a_texture.max_level = 12;
  not_a_texture.base_address = 0x00100000;
  not_a_texture.mip_address = 0x10000000;
  for (const test::FetchFields& f : {no_mip_address, not_a_texture}) {
    TextureDump dump;
    dump.fetch = test::MakeFetchConstant(f);
    dump.base_image.assign(64, 0x11);
    dump.mip_image.assign(64, 0x22);
    EXPECT_LT(StageDumpInGuestMemory(dump).memory_size, 0x10000u) << "type " << f.type;
  }
}

TEST(DumpStaging, RegionsClaimedFarPastTheImagesHoldOnlyTheImages) {
  // 2048x1x512 RGBA8 with mips: 4 MiB of texels, but every level is laid out
  // 32 rows high at full depth, so the regions claim 128 and 127 MiB. Staged
  // as one buffer, the region placed first cost its size in zeros.
  test::FetchFields f;
  f.pitch = 64;
  f.base_address = 0x00100000;
  f.mip_address = 0x08000000;
  f.width = 2048;
  f.depth = 512;
  f.dimension = kDim3D;
  f.max_level = 11;
  TextureDump dump;
  dump.version = 2;
  dump.fetch = test::MakeFetchConstant(f);
  dump.base_image.assign(32, 0x11);
  dump.mip_image.assign(32, 0x22);
  const StagedDump staged = StageDumpInGuestMemory(dump);
  EXPECT_GT(staged.memory_size, uint64_t(120) << 20);
  EXPECT_LE(staged.images.capacity(), 64u);
  HostTextureData texture;
  std::string error;
  ASSERT_TRUE(ReadGuestTexture(staged.fetch, staged.Memory(), texture, error)) << error;
  const LevelRecord* base = FindLevel(texture, 0, 0);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(texture.data[base->offset], 0x11);
  EXPECT_EQ(texture.data[base->offset + 32], 0);
}

}  // namespace
}  // namespace mivo
