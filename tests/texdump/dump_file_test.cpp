#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "support/dump_builder.h"
#include "support/temp_folder.h"
#include "texdump/dump_file.h"

namespace mivo {
namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed = 1) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7 + (i >> 8));
  return bytes;
}

FetchConstant FetchWithWords(uint32_t word1, uint32_t word5) {
  FetchConstant fetch;
  fetch.words[0] = 2;
  fetch.words[1] = word1;
  fetch.words[5] = word5;
  return fetch;
}

class DumpReader : public ::testing::Test {
 protected:
  // Writes `bytes` as a dump file and reads it back.
  bool Read(const std::vector<uint8_t>& bytes, TextureDump& dump, std::string& error) {
    const std::filesystem::path path = dir_ / "dump.bin";
    test::WriteFileBytes(path, bytes);
    return ReadTextureDump(path, dump, error);
  }
  std::string ReadError(const std::vector<uint8_t>& bytes) {
    TextureDump dump;
    std::string error;
    EXPECT_FALSE(Read(bytes, dump, error));
    return error;
  }

  test::TempFolder dir_;
};

TEST_F(DumpReader, HeaderOnlyDumpReadsWithTwoEmptyImages) {
  const FetchConstant fetch = FetchWithWords(0x00012346, 0x00034A00);
  TextureDump dump;
  std::string error;
  ASSERT_TRUE(Read(test::MakeDumpBytes(fetch, {}, {}), dump, error)) << error;
  EXPECT_EQ(dump.version, 2u);
  EXPECT_TRUE(dump.base_image.empty());
  EXPECT_TRUE(dump.mip_image.empty());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dump.fetch.words[i], fetch.words[i]);
  EXPECT_FALSE(dump.version1_shifted);
}

TEST_F(DumpReader, ImagesAreSplitByTheHeaderSizesAndTrailingBytesAreIgnored) {
  const std::vector<uint8_t> base = Pattern(300, 1), mip = Pattern(17, 9);
  std::vector<uint8_t> bytes = test::MakeDumpBytes(FetchWithWords(0, 0), base, mip);
  bytes.push_back(0xAB);
  TextureDump dump;
  std::string error;
  ASSERT_TRUE(Read(bytes, dump, error)) << error;
  EXPECT_EQ(dump.base_image, base);
  EXPECT_EQ(dump.mip_image, mip);
}

TEST_F(DumpReader, ShortMissingOrForeignFilesAreNotDumps) {
  std::vector<uint8_t> short_header = test::MakeDumpBytes(FetchWithWords(0, 0), {}, {});
  short_header.pop_back();
  EXPECT_EQ(ReadError(short_header), "not a MVTX file") << "39 bytes are not a header, whatever they say";
  EXPECT_EQ(ReadError({}), "not a MVTX file");
  std::vector<uint8_t> wrong_magic = test::MakeDumpBytes(FetchWithWords(0, 0), {}, {});
  wrong_magic[3] = 'Y';
  EXPECT_EQ(ReadError(wrong_magic), "not a MVTX file");

  TextureDump dump;
  std::string error;
  EXPECT_FALSE(ReadTextureDump(dir_ / "missing.bin", dump, error));
  EXPECT_EQ(error, "not a MVTX file");
  EXPECT_FALSE(ReadTextureDump(dir_.path(), dump, error)) << "a folder is not a dump";
  EXPECT_EQ(error, "not a MVTX file");
}

TEST_F(DumpReader, OnlyVersionsOneAndTwoAreKnownAndTheVersionReadIsKept) {
  for (uint32_t version : {0u, 3u, 0xFFFFFFFFu}) {
    TextureDump dump;
    std::string error;
    EXPECT_FALSE(Read(test::MakeDumpBytes(FetchWithWords(0, 0), {}, {}, version), dump, error));
    EXPECT_EQ(error, "unknown MVTX version");
    EXPECT_EQ(dump.version, version);
  }
}

TEST_F(DumpReader, SizesBeyondTheFileAreTruncatedEvenWhenTheir32BitSumWraps) {
  std::vector<uint8_t> one_short = test::MakeDumpBytes(FetchWithWords(0, 0), Pattern(100), Pattern(10));
  one_short.pop_back();
  EXPECT_EQ(ReadError(one_short), "truncated");

  std::vector<uint8_t> huge = test::MakeDumpBytes(FetchWithWords(0, 0), {}, {});
  for (int i = 32; i < 40; ++i) huge[i] = 0xFF;
  EXPECT_EQ(ReadError(huge), "truncated");

  // 40 + 0xFFFFFFFF + 1 is 40 in 32 bits: exactly the header this file has.
  std::vector<uint8_t> wrapping = test::MakeDumpBytes(FetchWithWords(0, 0), {}, {});
  wrapping[32] = wrapping[33] = wrapping[34] = wrapping[35] = 0xFF;
  wrapping[36] = 1;
  EXPECT_EQ(ReadError(wrapping), "truncated");
}

TEST_F(DumpReader, Version1HighAddressImageMovesOnePageTowardItsStart) {
  const std::vector<uint8_t> base = Pattern(8192);
  TextureDump dump;
  std::string error;
  ASSERT_TRUE(Read(test::MakeDumpBytes(FetchWithWords(0xE0001000u, 0), base, Pattern(64), 1), dump, error));
  EXPECT_TRUE(dump.version1_shifted);
  ASSERT_EQ(dump.base_image.size(), 8192u);
  EXPECT_TRUE(std::equal(dump.base_image.begin(), dump.base_image.begin() + 4096, base.begin() + 4096));
  EXPECT_EQ(std::count(dump.base_image.begin() + 4096, dump.base_image.end(), 0), 4096);
  EXPECT_EQ(dump.mip_image, Pattern(64)) << "the mip word is below the limit";
}

TEST_F(DumpReader, Version1ImageOfAtMostOnePageBecomesZeros) {
  TextureDump dump;
  std::string error;
  ASSERT_TRUE(Read(test::MakeDumpBytes(FetchWithWords(0, 0xFFFFF000u), {}, Pattern(4096), 1), dump, error));
  EXPECT_TRUE(dump.version1_shifted);
  EXPECT_EQ(dump.mip_image, std::vector<uint8_t>(4096, 0));
}

TEST_F(DumpReader, Version1FixUpNeedsVersion1AHighWordAndAnImage) {
  const std::vector<uint8_t> base = Pattern(8192), mip = Pattern(5000, 3);
  struct Case {
    uint32_t version, word1, word5;
    std::vector<uint8_t> mip;
  };
  const Case cases[] = {
      {1, 0xDFFFFFFFu, 0xDFFFFFFFu, mip},  // one below the limit
      {2, 0xE0001000u, 0xE0001000u, mip},  // version 2 images are already right
      {1, 0, 0xE0000000u, {}},             // nothing to move
  };
  for (const Case& c : cases) {
    TextureDump dump;
    std::string error;
    ASSERT_TRUE(Read(test::MakeDumpBytes(FetchWithWords(c.word1, c.word5), base, c.mip, c.version), dump, error));
    EXPECT_FALSE(dump.version1_shifted) << std::hex << c.word1 << " " << c.word5;
    EXPECT_EQ(dump.base_image, base);
    EXPECT_EQ(dump.mip_image, c.mip);
  }
}

TEST(DumpStaging, ImagesLandOnPagesWithEmptyPagesAroundThem) {
  TextureDump dump;
  dump.fetch = FetchWithWords(0x12345C86u, 0x0ABCD000u | 0x0A00u);
  dump.base_image = Pattern(100, 1);
  dump.mip_image = Pattern(10, 2);
  const StagedDump staged = StageDumpInGuestMemory(dump);

  EXPECT_EQ(staged.mip_offset, 12288u);
  ASSERT_EQ(staged.memory.size(), 16394u);
  const GuestMemoryView view = staged.View();
  EXPECT_EQ(view.data, staged.memory.data());
  EXPECT_EQ(view.size, 16394u);
  EXPECT_EQ(view.guest_address, 0u);
  EXPECT_TRUE(std::equal(dump.base_image.begin(), dump.base_image.end(), staged.memory.begin() + 4096));
  EXPECT_TRUE(std::equal(dump.mip_image.begin(), dump.mip_image.end(), staged.memory.begin() + 12288));
  const size_t total = std::accumulate(staged.memory.begin(), staged.memory.end(), size_t(0));
  const size_t images = std::accumulate(dump.base_image.begin(), dump.base_image.end(), size_t(0)) +
                        std::accumulate(dump.mip_image.begin(), dump.mip_image.end(), size_t(0));
  EXPECT_EQ(total, images) << "everything else is zero";

  // Addresses as read; the words rebased with their low 12 bits kept.
  EXPECT_EQ(staged.base_address, 0x12345000u);
  EXPECT_EQ(staged.mip_address, 0x0ABCD000u);
  EXPECT_EQ(staged.fetch.words[1], 0x1000u | 0xC86u);
  EXPECT_EQ(staged.fetch.words[5], 12288u | 0xA00u);
  EXPECT_EQ(staged.fetch.words[0], 2u);
}

TEST(DumpStaging, EmptyBaseImagePutsTheMipImageAtTwoPages) {
  TextureDump dump;
  dump.fetch = FetchWithWords(0, 0x00002000u);
  dump.mip_image = Pattern(4096);
  const StagedDump staged = StageDumpInGuestMemory(dump);
  EXPECT_EQ(staged.mip_offset, 8192u);
  EXPECT_EQ(staged.memory.size(), 8192u + 4096u + 4096u);
  EXPECT_EQ(staged.fetch.words[5], 8192u);
}

TEST(DumpStaging, ZeroAddressStaysZeroWhateverTheImage) {
  TextureDump dump;
  dump.fetch = FetchWithWords(0xE0000C86u, 0x00000A00u);  // bits 29-31 are not part of the address
  dump.base_image = Pattern(4096);
  dump.mip_image = Pattern(4096);
  const StagedDump staged = StageDumpInGuestMemory(dump);
  EXPECT_EQ(staged.base_address, 0u);
  EXPECT_EQ(staged.mip_address, 0u);
  EXPECT_EQ(staged.fetch.words[1], 0xE0000C86u);
  EXPECT_EQ(staged.fetch.words[5], 0x00000A00u);
  EXPECT_EQ(staged.mip_offset, 12288u) << "a page-sized base image still gets a free page after it";
}

}  // namespace
}  // namespace mivo
