// Reading MVTX dump files (messages, the version-1 fix-up) and staging
// their images in guest memory.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "guest/read_texture.h"
#include "support/external_tools.h"
#include "support/guest_image_builder.h"
#include "support/temp_folder.h"
#include "texdump/dump_file.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;
using test::PatternBytes;

FetchConstant FetchWithWords(uint32_t word1, uint32_t word5) {
  FetchConstant fetch;
  fetch.words[0] = 2;
  fetch.words[1] = word1;
  fetch.words[5] = word5;
  return fetch;
}

class DumpReader : public ::testing::Test {
 protected:
  bool Read(const Bytes& bytes, TextureDump& dump, std::string& error) {
    test::WriteFileBytes(dir_ / "dump.bin", bytes);
    return ReadTextureDump(dir_ / "dump.bin", dump, error);
  }
  test::TempFolder dir_;
};

TEST_F(DumpReader, ImagesAreSplitByTheHeaderSizesAndTrailingBytesAreIgnored) {
  const FetchConstant fetch = FetchWithWords(0x00012346, 0x00034A00);
  for (const auto& [base, mip] : {std::pair{PatternBytes(300, 1), PatternBytes(17, 9)}, std::pair{Bytes{}, Bytes{}}}) {
    Bytes bytes = test::MakeDumpBytes(fetch, base, mip);
    bytes.push_back(0xAB);
    TextureDump dump;
    std::string error;
    ASSERT_TRUE(Read(bytes, dump, error)) << error;
    EXPECT_EQ(dump.version, 2u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(dump.fetch.words[i], fetch.words[i]);
    EXPECT_EQ(dump.base_image, base);
    EXPECT_EQ(dump.mip_image, mip);
    EXPECT_FALSE(dump.version1_shifted);
  }
}

TEST_F(DumpReader, EveryRefusalGivesItsMessage) {
  const Bytes header = test::MakeDumpBytes(FetchWithWords(0, 0), {}, {});
  Bytes short_header = header, wrong_magic = header, huge = header, wrapping = header;
  short_header.pop_back();  // 39 bytes are not a header, whatever they say
  wrong_magic[3] = 'Y';
  std::fill(huge.begin() + 32, huge.end(), 0xFF);
  // 40 + 0xFFFFFFFF + 1 is 40 in 32 bits: exactly the header this file has.
  std::fill(wrapping.begin() + 32, wrapping.begin() + 36, 0xFF);
  wrapping[36] = 1;
  Bytes one_short = test::MakeDumpBytes(FetchWithWords(0, 0), PatternBytes(100, 1), PatternBytes(10, 2));
  one_short.pop_back();
  struct Case {
    Bytes bytes;
    const char* message;
    uint32_t version;  // as read, also when refused
  };
  const Case cases[] = {
      {{}, "not a MVTX file", 0},
      {short_header, "not a MVTX file", 0},
      {wrong_magic, "not a MVTX file", 0},
      {test::MakeDumpBytes(FetchWithWords(0, 0), {}, {}, 0), "unknown MVTX version", 0},
      {test::MakeDumpBytes(FetchWithWords(0, 0), {}, {}, 3), "unknown MVTX version", 3},
      {test::MakeDumpBytes(FetchWithWords(0, 0), {}, {}, 0xFFFFFFFFu), "unknown MVTX version", 0xFFFFFFFFu},
      {one_short, "truncated", 2},
      {huge, "truncated", 2},
      {wrapping, "truncated", 2},
  };
  for (const Case& c : cases) {
    TextureDump dump;
    std::string error;
    EXPECT_FALSE(Read(c.bytes, dump, error));
    EXPECT_EQ(error, c.message) << c.bytes.size() << " bytes";
    EXPECT_EQ(dump.version, c.version) << c.bytes.size() << " bytes";
  }
  TextureDump dump;
  std::string error;
  EXPECT_FALSE(ReadTextureDump(dir_ / "missing.bin", dump, error));
  EXPECT_EQ(error, "not a MVTX file");
  EXPECT_FALSE(ReadTextureDump(dir_.path(), dump, error)) << "a folder is not a dump";
  EXPECT_EQ(error, "not a MVTX file");
}

TEST_F(DumpReader, Version1HighAddressImagesMoveOnePageTowardTheirStart) {
  const Bytes base = PatternBytes(8192, 1), mip = PatternBytes(64, 2);
  Bytes moved_base(base.begin() + 4096, base.end());
  moved_base.resize(8192, 0);
  struct Case {
    uint32_t version, word1, word5;
    Bytes base, mip, want_base, want_mip;
    bool shifted;
  };
  const Case cases[] = {
      {1, 0xE0001000u, 0, base, mip, moved_base, mip, true},                    // the mip word is below the limit
      {1, 0, 0xFFFFF000u, {}, PatternBytes(4096, 3), {}, Bytes(4096, 0), true},  // at most one page: all zeros
      {1, 0xDFFFFFFFu, 0xDFFFFFFFu, base, mip, base, mip, false},               // one below the limit
      {2, 0xE0001000u, 0xE0001000u, base, mip, base, mip, false},               // version 2 images are already right
      {1, 0, 0xE0000000u, base, {}, base, {}, false},                           // nothing to move
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.version << " " << c.word1 << " " << c.word5);
    TextureDump dump;
    std::string error;
    ASSERT_TRUE(Read(test::MakeDumpBytes(FetchWithWords(c.word1, c.word5), c.base, c.mip, c.version), dump, error));
    EXPECT_EQ(dump.version1_shifted, c.shifted);
    EXPECT_EQ(dump.base_image, c.want_base);
    EXPECT_EQ(dump.mip_image, c.want_mip);
  }
}

// A 64x64 k_8_8_8_8 texture with six mips in a mip region: a 16 KiB base region.
test::FetchFields MippedRgba() {
  test::FetchFields f;
  f.width = f.height = 64;
  f.pitch = 2;
  f.max_level = 6;
  f.base_address = 0x0ABC0000;
  f.mip_address = 0x0DEF0000;
  return f;
}

TEST(DumpStaging, ImagesLandOnPagesWithEmptyPagesAroundThemAndTheWordsAreRebased) {
  const FetchConstant mipped = test::MakeFetchConstant(MippedRgba());
  const test::GuestImages images = test::PlaceGuestTexture(mipped, test::NoisePattern(10));
  const uint32_t rebased_word1 = (mipped.words[1] & 0xFFFu) | 0x1000u;
  const uint32_t low_word5 = mipped.words[5] & 0xFFFu;
  struct Case {
    FetchConstant fetch;
    Bytes base, mip;
    uint64_t mip_offset, memory_size;
    uint32_t word1, word5;  // as staged
  };
  const Case cases[] = {
      // The words rebased with their low 12 bits kept.
      {FetchWithWords(0x12345C86u, 0x0ABCDA00u), PatternBytes(100, 1), PatternBytes(10, 2), 12288, 16394, 0x1C86,
       0x3A00},
      {FetchWithWords(0, 0x2000), {}, PatternBytes(4096, 1), 8192, 8192 + 4096 + 4096, 0, 8192},
      // Bits 29-31 are not part of the address: a zero address stays zero,
      // and a page-sized base image still gets a free page after it.
      {FetchWithWords(0xE0000C86u, 0xA00), PatternBytes(4096, 1), PatternBytes(4096, 2), 12288, 12288 + 8192,
       0xE0000C86u, 0xA00},
      {mipped, images.base, images.mip, 0x6000, 0x6000 + images.mip.size() + 0x1000, rebased_word1, low_word5 | 0x6000},
      // A short base image with no mip image needs no gap: nothing follows it.
      {mipped, Bytes(100, 1), {}, 0x3000, 0x4000, rebased_word1, low_word5 | 0x3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.base.size() << " + " << c.mip.size());
    TextureDump dump;
    dump.fetch = c.fetch;
    dump.base_image = c.base;
    dump.mip_image = c.mip;
    const StagedDump staged = StageDumpInGuestMemory(dump);
    EXPECT_EQ(staged.mip_offset, c.mip_offset);
    EXPECT_EQ(staged.fetch.words[1], c.word1);
    EXPECT_EQ(staged.fetch.words[5], c.word5);
    EXPECT_EQ(staged.fetch.words[0], c.fetch.words[0]);
    ASSERT_EQ(staged.memory.size(), c.memory_size);
    EXPECT_TRUE(std::equal(c.base.begin(), c.base.end(), staged.memory.begin() + 0x1000));
    EXPECT_TRUE(std::equal(c.mip.begin(), c.mip.end(), staged.memory.begin() + c.mip_offset));
    const auto sum = [](const Bytes& b) { return std::accumulate(b.begin(), b.end(), size_t(0)); };
    EXPECT_EQ(sum(staged.memory), sum(c.base) + sum(c.mip)) << "everything else is zero";
  }
}

TEST(DumpStaging, ShortBaseImageReadsZerosNotTheMipImage) {
  const FetchConstant fetch = test::MakeFetchConstant(MippedRgba());
  const test::BlockPattern pattern = test::NoisePattern(9);
  const test::GuestImages images = test::PlaceGuestTexture(fetch, pattern);
  TextureDump dump;
  dump.fetch = fetch;
  dump.base_image.assign(images.base.begin(), images.base.begin() + 1000);  // 16 KiB region, 1000 bytes kept
  dump.mip_image = images.mip;
  const StagedDump staged = StageDumpInGuestMemory(dump);
  EXPECT_EQ(staged.base_address, 0x0ABC0000u);  // as read from the dump
  EXPECT_EQ(staged.mip_address, 0x0DEF0000u);

  HostTextureData got;
  std::string error;
  ASSERT_TRUE(ReadGuestTexture(staged.fetch, staged.View(), got, &error)) << error;
  const HostTextureData want = test::ExpectedTexture(fetch, pattern);
  ASSERT_EQ(got.data.size(), want.data.size());
  const uint64_t base_size = got.level_records[0].size;
  EXPECT_TRUE(std::equal(got.data.begin(), got.data.begin() + 1000, want.data.begin()));
  EXPECT_EQ(std::count(got.data.begin() + 1000, got.data.begin() + base_size, 0), int64_t(base_size - 1000));
  EXPECT_TRUE(std::equal(got.data.begin() + base_size, got.data.end(), want.data.begin() + base_size));
}

TEST(DumpStaging, BaseRegionClaimedFarPastItsImageCostsNoMemory) {
  // A row pitch of 511 x 32 texels for a 1-texel-wide texture: the base
  // region spans 458 MB, the images 64 bytes each.
  test::FetchFields f;
  f.height = 7000;
  f.pitch = 511;
  f.max_level = 1;
  f.base_address = 0x00100000;
  f.mip_address = 0x00200000;
  TextureDump dump;
  dump.fetch = test::MakeFetchConstant(f);
  dump.base_image.assign(64, 0x11);
  dump.mip_image.assign(64, 0x22);
  const StagedDump staged = StageDumpInGuestMemory(dump);
  EXPECT_LT(staged.memory.size(), 0x200000u) << "the mip region (under 1 MiB) is laid out; the base gap is not";
  HostTextureData got;
  std::string error;
  ASSERT_TRUE(ReadGuestTexture(staged.fetch, staged.View(), got, &error)) << error;
  ASSERT_EQ(got.level_records.size(), 2u);
  // Each level's first texel comes from its own image; every other row lies
  // past the images and reads zero.
  for (const LevelRecord& level : got.level_records) {
    const uint8_t fill = level.mip == 0 ? 0x11 : 0x22;
    for (uint64_t i = 0; i < level.size; ++i) ASSERT_EQ(got.data[level.offset + i], i < 4 ? fill : 0) << i;
  }
}

}  // namespace
}  // namespace mivo
