#include <gtest/gtest.h>

#include "guest/read_texture.h"
#include "support/dump_builder.h"
#include "support/guest_image_builder.h"
#include "texdump/dump_file.h"

namespace mivo {
namespace {

test::FetchFields MippedRgba() {
  test::FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.width = f.height = 64;
  f.pitch = 2;
  f.max_level = 6;
  f.base_address = 0x0ABC0000;
  f.mip_address = 0x0DEF0000;
  return f;
}

TEST(DumpStaging, ShortBaseImageReadsZerosNotTheMipImage) {
  const FetchConstant fetch = test::MakeFetchConstant(MippedRgba());
  const test::BlockPattern pattern = test::NoisePattern(9);
  test::GuestImages images = test::PlaceGuestTexture(fetch, pattern);
  ASSERT_EQ(images.base.size(), 64u * 64 * 4);
  TextureDump dump;
  dump.version = 2;
  dump.fetch = fetch;
  dump.base_image.assign(images.base.begin(), images.base.begin() + 1000);  // 16 KiB region, 1000 bytes kept
  dump.mip_image = images.mip;

  const StagedDump staged = StageDumpInGuestMemory(dump);
  EXPECT_EQ(staged.base_address, 0x0ABC0000u);  // as read from the dump
  EXPECT_EQ(staged.mip_address, 0x0DEF0000u);
  EXPECT_GE(staged.mip_offset, 0x1000u + 64 * 64 * 4 + 0x1000);

  HostTextureData got;
  std::string error;
  ASSERT_TRUE(ReadGuestTexture(staged.fetch, staged.View(), got, &error)) << error;
  const HostTextureData want = test::ExpectedTexture(fetch, pattern);
  ASSERT_EQ(got.data.size(), want.data.size());
  const LevelRecord& base = got.level_records[0];
  EXPECT_TRUE(std::equal(got.data.begin(), got.data.begin() + 1000, want.data.begin()));
  for (uint64_t i = 1000; i < base.size; ++i) ASSERT_EQ(got.data[i], 0) << i;
  EXPECT_TRUE(std::equal(got.data.begin() + base.size, got.data.end(), want.data.begin() + base.size));
}

TEST(DumpStaging, WholeImagesKeepTheirUsualPlaces) {
  const FetchConstant fetch = test::MakeFetchConstant(MippedRgba());
  const test::GuestImages images = test::PlaceGuestTexture(fetch, test::NoisePattern(10));
  TextureDump dump;
  dump.version = 2;
  dump.fetch = fetch;
  dump.base_image = images.base;
  dump.mip_image = images.mip;
  EXPECT_EQ(StageDumpInGuestMemory(dump).mip_offset, 0x1000u + 64 * 64 * 4 + 0x1000);

  // A short base image with no mip image needs no gap: nothing follows it.
  dump.base_image.resize(100);
  dump.mip_image.clear();
  EXPECT_EQ(StageDumpInGuestMemory(dump).mip_offset, 0x3000u);
}

}  // namespace
}  // namespace mivo
