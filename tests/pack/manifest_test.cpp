#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "pack/manifest.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInvalidRow = "invalid manifest row";
constexpr const char* kMismatch = "unsupported format, duplicate key or filename does not match identity";
constexpr const char* kDuplicateContent = "duplicate original content: keep one canonical BF alias";
constexpr const char* kOversized = "missing/oversized pack.txt";
constexpr const char* kVersion = "unsupported pack version";
constexpr const char* kHeaderAndComment =
    "MVTP 1\n# hash bf_name original_host_format original_width original_height replacement_file\n";

class ManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("mivo_manifest_" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteText(const std::string& text) {
    std::ofstream out(dir_ / "pack.txt", std::ios::binary);
    out << text;
  }
  // Reads `text` as pack.txt; returns the error ("" when accepted).
  std::string Read(const std::string& text) {
    WriteText(text);
    std::string error;
    bool ok = ReadPackManifest(dir_, entries_, error);
    EXPECT_EQ(ok, error.empty()) << error;
    return error;
  }
  std::string ReadRows(const std::string& rows) { return Read("MVTP 1\n" + rows); }

  fs::path dir_;
  PackManifest entries_;
};

// A valid row: hash, alias, format, size, and a file name built to match.
std::string Row(const std::string& hash, const std::string& bf, const std::string& format = "RGBA8_UNORM",
                const std::string& width = "64", const std::string& height = "32", const std::string& ext = ".dds") {
  std::string upper = hash;
  for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
  return hash + " " + bf + " " + format + " " + width + " " + height + " " + upper + "__" + bf + ext + "\n";
}

std::string HashText(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
  return text;
}

const std::string kBf = "bf_0000abcd_1234ABCD";
const std::string kHash = "00000000000000AB";

TEST_F(ManifestTest, ManifestsWithoutRowsAreEmpty) {
  EXPECT_EQ(Read("MVTP 1"), "");
  EXPECT_EQ(Read("MVTP 1\n"), "");
  EXPECT_EQ(Read(kHeaderAndComment), "");
  EXPECT_EQ(Read("MVTP 1\r\n\r\n\n#\n# anything\r\n"), "");
  EXPECT_TRUE(entries_.empty());
}

TEST_F(ManifestTest, MissingDirectoryOrOversizedFileIsRefusedBeforeReading) {
  std::string error = "stale text";
  EXPECT_FALSE(ReadPackManifest(dir_, entries_, error));
  EXPECT_EQ(error, kOversized);

  fs::create_directory(dir_ / "pack.txt");
  EXPECT_FALSE(ReadPackManifest(dir_, entries_, error));
  EXPECT_EQ(error, kOversized);
  fs::remove(dir_ / "pack.txt");

  // Padded with a comment line up to exactly 8 MiB, then one byte more.
  std::string text = "MVTP 1\n" + Row(kHash, kBf) + "#";
  text.resize(kMaxManifestBytes - 1, 'x');
  text += '\n';
  ASSERT_EQ(text.size(), 8388608u);
  EXPECT_EQ(Read(text), "");
  EXPECT_EQ(entries_.size(), 1u);
  EXPECT_EQ(Read(text + "\n"), kOversized);
  EXPECT_TRUE(entries_.empty());
}

TEST_F(ManifestTest, AnythingButTheExactHeaderIsAnUnsupportedVersion) {
  for (const char* text : {"", "\n", "MVTP 2\n", "MVTP 1 \n", " MVTP 1\n", "\xEF\xBB\xBFMVTP 1\n", "# c\nMVTP 1\n",
                           "\nMVTP 1\n", "MVTP 1\r\r\n", "mvtp 1\n", "MVTP 10\n"}) {
    EXPECT_EQ(Read(text), kVersion) << '"' << text << '"';
  }
  EXPECT_EQ(Read("MVTP 1\r\n" + Row(kHash, kBf)), "");
}

TEST_F(ManifestTest, CrlfRowsAndSurroundingBlanksAreAccepted) {
  std::string row = Row(kHash, kBf);
  row.insert(row.size() - 1, "\r");
  EXPECT_EQ(Read("MVTP 1\r\n" + row), "");
  EXPECT_EQ(ReadRows(" \t" + Row(kHash, kBf).insert(16, "\t\v\f ").insert(0, "\f")), "");
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].hash, 0xABu);
  EXPECT_EQ(entries_[0].bf_name, kBf);
  EXPECT_EQ(entries_[0].original_host_format, HostFormat::RGBA8_UNORM);
  EXPECT_EQ(entries_[0].original_width, 64u);
  EXPECT_EQ(entries_[0].original_height, 32u);
  EXPECT_EQ(entries_[0].replacement_file, kHash + "__" + kBf + ".dds");
}

TEST_F(ManifestTest, BlankLinesAndIndentedHashesAreInvalidRowsNotSkipped) {
  EXPECT_EQ(ReadRows(" \n"), kInvalidRow);
  EXPECT_EQ(ReadRows("\t\r\n"), kInvalidRow);
  EXPECT_EQ(ReadRows(" # comment\n"), kInvalidRow);
  EXPECT_EQ(ReadRows("#" + Row(kHash, kBf)), "");
}

TEST_F(ManifestTest, RowsWithWrongFieldCountsOrNumbersAreInvalid) {
  std::string row = Row(kHash, kBf);
  row.pop_back();
  EXPECT_EQ(ReadRows(row + " extra\n"), kInvalidRow);
  EXPECT_EQ(ReadRows(kHash + " " + kBf + " RGBA8_UNORM 64 32\n"), kInvalidRow);
  for (const char* width : {"0", "8193", "-1", "+16", "16x", "4294967296", "99999999999999999999", "0x10"}) {
    EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM", width)), kInvalidRow) << width;
    EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM", "16", width)), kInvalidRow) << width;
  }
  EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM", "8192", "8192")), "");
  EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM", "0001", "1")), "");
}

TEST_F(ManifestTest, MalformedHashesAndAliasesAreInvalidRows) {
  for (const char* hash : {"0000000000000000", "00000000000000A", "000000000000000AB", "000000000000000G",
                           "0x000000000000AB"}) {
    EXPECT_EQ(ReadRows(Row(hash, kBf)), kInvalidRow) << hash;
  }
  for (const char* bf : {"BF_0000abcd_1234abcd", "bf-0000abcd_1234abcd", "bf_0000abcd-1234abcd", "bf_0000abcd_1234abc",
                         "bf_0000abcd_1234abcde", "bf_0000abcg_1234abcd", "bf_zzzzzzzz_zzzzzzzz"}) {
    EXPECT_EQ(ReadRows(Row(kHash, bf)), kInvalidRow) << bf;
  }
  // An invalid field outranks a format that would be refused later.
  EXPECT_EQ(ReadRows(Row(kHash, kBf, "R16_UNORM", "0")), kInvalidRow);
}

TEST_F(ManifestTest, RowLimitAccepts32768RowsAndRefusesTheNext) {
  std::string text = "MVTP 1\n";
  for (uint64_t i = 1; i <= kMaxManifestEntries; ++i) text += Row(HashText(i), kBf);
  EXPECT_EQ(Read(text), "");
  EXPECT_EQ(entries_.size(), 32768u);
  EXPECT_EQ(entries_.back().hash, 32768u);
  // Even a row that would otherwise fail for its format is refused as a row.
  EXPECT_EQ(Read(text + Row(HashText(40000), kBf, "UNKNOWN")), kInvalidRow);
  EXPECT_EQ(entries_.size(), 32768u);
}

TEST_F(ManifestTest, FormatsOutsideThePackSetOrInWrongCaseAreRefused) {
  for (const char* format : {"rgba8_unorm", "R16_UNORM", "UNKNOWN", "BC4_UNORM", "R8_SNORM", "RGBA8_UNORM\x01"}) {
    EXPECT_EQ(ReadRows(Row(kHash, kBf, format)), kMismatch) << format;
  }
  const char* pack_formats[] = {"R8_UNORM",  "RG8_UNORM", "RG8_SNORM", "RGBA8_UNORM", "BC1_UNORM",
                                "BC2_UNORM", "BC3_UNORM", "BC5_UNORM", "BC5_SNORM",   "BC7_UNORM"};
  std::string rows;
  for (uint64_t i = 0; i < 10; ++i) rows += Row(HashText(i + 1), kBf, pack_formats[i]);
  EXPECT_EQ(ReadRows(rows), "");
  ASSERT_EQ(entries_.size(), 10u);
  EXPECT_EQ(entries_[1].original_host_format, HostFormat::RG8_UNORM);
  EXPECT_EQ(entries_[9].original_host_format, HostFormat::BC7_UNORM);
}

TEST_F(ManifestTest, ReplacementFileMustBeTheUpperCaseKeyWithLowerCaseExtension) {
  // A lower-case hash is read, but the file name still carries upper case.
  EXPECT_EQ(ReadRows(Row("00000000000000ab", kBf)), "");
  EXPECT_EQ(entries_[0].hash, 0xABu);
  EXPECT_EQ(ReadRows("00000000000000ab " + kBf + " RGBA8_UNORM 4 4 00000000000000ab__" + kBf + ".dds\n"), kMismatch);

  EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM", "4", "4", ".png")), "");
  for (const char* ext : {".DDS", ".PNG", ".Png", ".jpg", ".dds.png.dds2", "", "."}) {
    EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM", "4", "4", ext)), kMismatch) << ext;
  }
  std::string key = kHash + "__" + kBf;
  for (std::string file : {"sub/" + key + ".dds", "./" + key + ".dds", "sub\\" + key + ".dds", key + "_.dds",
                           kHash + "__bf_0000abcd_1234abce.dds", kHash + ".dds"}) {
    EXPECT_EQ(ReadRows(kHash + " " + kBf + " RGBA8_UNORM 4 4 " + file + "\n"), kMismatch) << file;
  }
}

TEST_F(ManifestTest, SameHashAndAliasTwiceIsADuplicateKeyWhateverElseDiffers) {
  EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM") + Row(kHash, kBf, "BC1_UNORM")), kMismatch);
  EXPECT_EQ(entries_.size(), 1u);
  EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM", "4", "4", ".dds") +
                     Row(kHash, kBf, "RGBA8_UNORM", "8", "4", ".png")),
            kMismatch);
  // Hash case does not make a new key.
  EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM") + Row("00000000000000ab", kBf, "BC1_UNORM")), kMismatch);
}

TEST_F(ManifestTest, SameContentUnderTwoAliasesIsADuplicateOriginal) {
  const std::string other = "bf_00000000_00000001";
  EXPECT_EQ(ReadRows(Row(kHash, kBf) + Row(kHash, other)), kDuplicateContent);
  EXPECT_EQ(entries_.size(), 1u);
  EXPECT_EQ(ReadRows(Row(kHash, kBf, "RGBA8_UNORM", "64", "32") + Row(kHash, other, "RGBA8_UNORM", "32", "64") +
                     Row(kHash, "bf_00000000_00000002", "BC1_UNORM", "64", "32")),
            "");
  EXPECT_EQ(entries_.size(), 3u);
}

TEST_F(ManifestTest, FailureKeepsEarlierRowsAndReplacesTheMessage) {
  WriteText("MVTP 1\n" + Row(HashText(1), kBf) + Row(HashText(2), kBf) + "bad\n" + Row(HashText(3), kBf));
  std::string error = "earlier message";
  entries_.resize(5);
  EXPECT_FALSE(ReadPackManifest(dir_, entries_, error));
  EXPECT_EQ(error, kInvalidRow);
  ASSERT_EQ(entries_.size(), 2u);
  EXPECT_EQ(entries_[1].hash, 2u);

  WriteText("MVTP 1\n" + Row(HashText(1), kBf));
  error = "untouched";
  EXPECT_TRUE(ReadPackManifest(dir_, entries_, error));
  EXPECT_EQ(error, "untouched");
  EXPECT_EQ(entries_.size(), 1u);
}

TEST_F(ManifestTest, WrittenManifestHasExactBytesAndReadsBackUnchanged) {
  PackManifest entries = {
      {0xFEDCBA9876543210ull, "bf_deadBEEF_00000001", "FEDCBA9876543210__bf_deadBEEF_00000001.dds",
       HostFormat::BC7_UNORM, 8192, 1},
      {0x1, "bf_00000000_00000002", "0000000000000001__bf_00000000_00000002.png", HostFormat::R8_UNORM, 3, 5},
  };
  ASSERT_TRUE(WritePackManifest(entries, dir_));
  std::ifstream in(dir_ / "pack.txt", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), std::string(kHeaderAndComment) +
                             "FEDCBA9876543210 bf_deadBEEF_00000001 BC7_UNORM 8192 1 "
                             "FEDCBA9876543210__bf_deadBEEF_00000001.dds\n"
                             "0000000000000001 bf_00000000_00000002 R8_UNORM 3 5 "
                             "0000000000000001__bf_00000000_00000002.png\n");
  std::string error;
  ASSERT_TRUE(ReadPackManifest(dir_, entries_, error)) << error;
  EXPECT_EQ(entries_, entries);

  ASSERT_TRUE(WritePackManifest({}, dir_));
  EXPECT_EQ(fs::file_size(dir_ / "pack.txt"), std::string(kHeaderAndComment).size());
  EXPECT_FALSE(WritePackManifest(entries, dir_ / "missing"));
}

TEST(ContentIdentity, JoinsUpperCaseHashFormatCodeAndSize) {
  EXPECT_EQ(MakeContentIdentity(1, HostFormat::RGBA8_UNORM, 256, 128), "0000000000000001:11:256:128");
  EXPECT_EQ(MakeContentIdentity(0xABCDEF0123456789ull, HostFormat::BC7_UNORM, 1, 8192),
            "ABCDEF0123456789:36:1:8192");
}

TEST_F(ManifestTest, WholeFileReaderStopsAtItsCeilingWithoutAllocating) {
  std::vector<uint8_t> bytes = {9, 9};
  EXPECT_FALSE(ReadWholeFile(dir_ / "missing", bytes));
  EXPECT_FALSE(ReadWholeFile(dir_, bytes));

  WriteText(std::string("ab\0c", 4));
  ASSERT_TRUE(ReadWholeFile(dir_ / "pack.txt", bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{'a', 'b', 0, 'c'}));
  WriteText("");
  ASSERT_TRUE(ReadWholeFile(dir_ / "pack.txt", bytes));
  EXPECT_TRUE(bytes.empty());

  // Sparse files: cheap to make at any size.
  fs::path big = dir_ / "big.dds";
  { std::ofstream(big, std::ios::binary).put('x'); }
  fs::resize_file(big, kMaxWholeFileBytes + 1);
  bytes.assign(3, 1);
  EXPECT_FALSE(ReadWholeFile(big, bytes));
  EXPECT_LT(bytes.capacity(), 1024u);
  fs::resize_file(big, kMaxWholeFileBytes);
  ASSERT_TRUE(ReadWholeFile(big, bytes));
  EXPECT_EQ(bytes.size(), kMaxWholeFileBytes);
  EXPECT_EQ(bytes[0], 'x');
}

}  // namespace
}  // namespace mivo
