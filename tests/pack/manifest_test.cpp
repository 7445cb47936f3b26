#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "pack/manifest.h"
#include "pack/whole_file.h"
#include "support/dump_builder.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

constexpr ErrorCode kAccepted = ErrorCode::ok;
constexpr ErrorCode kInvalidRow = ErrorCode::manifest_row;
constexpr ErrorCode kMismatch = ErrorCode::manifest_mismatch;
constexpr ErrorCode kDuplicateContent = ErrorCode::manifest_duplicate_content;
constexpr ErrorCode kOversized = ErrorCode::manifest_missing;
constexpr ErrorCode kVersion = ErrorCode::manifest_version;
constexpr const char* kHeaderAndComment =
    "MVTP 1\n# hash bf_name original_host_format original_width original_height replacement_file\n";

const std::string kBf = "bf_0000abcd_1234ABCD";
const std::string kHash = "00000000000000AB";

// A row whose file name is built to match: the upper-case key plus `ext`.
std::string Row(const std::string& hash, const std::string& bf = kBf, const std::string& format = "RGBA8_UNORM",
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

// The cause for manifest text (ok when accepted); the file reader applies the
// same rules once it has read the file. The string form says the code's message.
ErrorCode Parse(const std::string& text, PackManifest& entries) {
  ErrorCode code = ErrorCode::ok;
  const bool ok = ParsePackManifestText(text, entries, code);
  EXPECT_EQ(ok, code == ErrorCode::ok);
  std::string error;
  PackManifest again;
  EXPECT_EQ(ParsePackManifestText(text, again, error), ok);
  EXPECT_EQ(error, ok ? "" : ErrorMessage(code));
  return code;
}
ErrorCode Parse(const std::string& text) {
  PackManifest entries;
  return Parse(text, entries);
}

TEST(Manifest, EveryRuleRefusesWithItsMessage) {
  std::vector<std::pair<std::string, ErrorCode>> cases = {
      {"MVTP 1", kAccepted},
      {"MVTP 1\n", kAccepted},
      {kHeaderAndComment, kAccepted},
      {"MVTP 1\r\n\r\n\n#\n# anything\r\n", kAccepted},
      {"MVTP 1\r\n" + Row(kHash), kAccepted},
      {"MVTP 1\r\n" + Row(kHash).insert(Row(kHash).size() - 1, "\r"), kAccepted},  // CRLF rows
  };
  for (const char* text : {"", "\n", "MVTP 2\n", "MVTP 1 \n", " MVTP 1\n", "\xEF\xBB\xBFMVTP 1\n", "# c\nMVTP 1\n",
                           "\nMVTP 1\n", "MVTP 1\r\r\n", "mvtp 1\n", "MVTP 10\n"}) {
    cases.push_back({text, kVersion});
  }
  // The rest follow the header.
  std::vector<std::pair<std::string, ErrorCode>> rows = {
      {" \n", kInvalidRow},  // blank-only lines and indented "#" are rows, not skipped
      {"\t\r\n", kInvalidRow},
      {" # comment\n", kInvalidRow},
      {"#" + Row(kHash), kAccepted},
      {Row(kHash).insert(Row(kHash).size() - 1, " extra"), kInvalidRow},
      {kHash + " " + kBf + " RGBA8_UNORM 64 32\n", kInvalidRow},
      {Row(kHash, kBf, "RGBA8_UNORM", "8192", "8192"), kAccepted},
      {Row(kHash, kBf, "RGBA8_UNORM", "0001", "1"), kAccepted},
      {Row(kHash, kBf, "R16_UNORM", "0"), kInvalidRow},  // an invalid field outranks the format
      {Row(kHash, kBf, "RGBA8_UNORM", "4", "4", ".png"), kAccepted},
      {Row("00000000000000ab"), kAccepted},  // a lower-case hash with the upper-case file name
      {"00000000000000ab " + kBf + " RGBA8_UNORM 4 4 00000000000000ab__" + kBf + ".dds\n", kMismatch},
      // Same hash and alias: a duplicate key whatever else differs, hash case included.
      {Row(kHash) + Row(kHash, kBf, "BC1_UNORM"), kMismatch},
      {Row(kHash, kBf, "RGBA8_UNORM", "4", "4") + Row(kHash, kBf, "RGBA8_UNORM", "8", "4", ".png"), kMismatch},
      {Row(kHash) + Row("00000000000000ab", kBf, "BC1_UNORM"), kMismatch},
      // Same identity under another alias is a duplicate original; another size or format is not.
      {Row(kHash) + Row(kHash, "bf_00000000_00000001"), kDuplicateContent},
      {Row(kHash) + Row(kHash, "bf_00000000_00000001", "RGBA8_UNORM", "32", "64") +
           Row(kHash, "bf_00000000_00000002", "BC1_UNORM"),
       kAccepted},
  };
  for (const char* side : {"0", "8193", "-1", "+16", "16x", "4294967296", "99999999999999999999", "0x10"}) {
    rows.push_back({Row(kHash, kBf, "RGBA8_UNORM", side), kInvalidRow});
    rows.push_back({Row(kHash, kBf, "RGBA8_UNORM", "16", side), kInvalidRow});
  }
  for (const char* hash :
       {"0000000000000000", "00000000000000A", "000000000000000AB", "000000000000000G", "0x000000000000AB"}) {
    rows.push_back({Row(hash), kInvalidRow});
  }
  for (const char* bf : {"BF_0000abcd_1234abcd", "bf-0000abcd_1234abcd", "bf_0000abcd-1234abcd", "bf_0000abcd_1234abc",
                         "bf_0000abcd_1234abcde", "bf_0000abcg_1234abcd", "bf_zzzzzzzz_zzzzzzzz"}) {
    rows.push_back({Row(kHash, bf), kInvalidRow});
  }
  for (const char* format : {"rgba8_unorm", "R16_UNORM", "UNKNOWN", "BC4_UNORM", "R8_SNORM", "RGBA8_UNORM\x01"}) {
    rows.push_back({Row(kHash, kBf, format), kMismatch});
  }
  for (const char* ext : {".DDS", ".PNG", ".Png", ".jpg", ".dds.png.dds2", "", "."}) {
    rows.push_back({Row(kHash, kBf, "RGBA8_UNORM", "4", "4", ext), kMismatch});
  }
  const std::string key = kHash + "__" + kBf;
  for (const std::string& file : {"sub/" + key + ".dds", "./" + key + ".dds", "sub\\" + key + ".dds", key + "_.dds",
                                  kHash + "__bf_0000abcd_1234abce.dds", kHash + ".dds"}) {
    rows.push_back({kHash + " " + kBf + " RGBA8_UNORM 4 4 " + file + "\n", kMismatch});
  }
  for (const auto& [text, error] : rows) cases.push_back({"MVTP 1\n" + text, error});
  for (const auto& [text, error] : cases) EXPECT_EQ(Parse(text), error) << '"' << text << '"';
}

TEST(Manifest, AcceptedRowsBecomeEntriesWithTheirFields) {
  PackManifest entries;
  // Any of space, tab, CR, VT and FF separate fields and may surround them.
  ASSERT_EQ(Parse("MVTP 1\n \t" + Row(kHash).insert(16, "\t\v\f ").insert(0, "\f") + Row("00000000000000cd"), entries),
            kAccepted);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (ManifestEntry{0xAB, kBf, kHash + "__" + kBf + ".dds", HostFormat::RGBA8_UNORM, 64, 32}));
  EXPECT_EQ(entries[1].hash, 0xCDu);

  const char* pack_formats[] = {"R8_UNORM",  "RG8_UNORM", "RG8_SNORM", "RGBA8_UNORM", "BC1_UNORM",
                                "BC2_UNORM", "BC3_UNORM", "BC5_UNORM", "BC5_SNORM",   "BC7_UNORM"};
  std::string rows = "MVTP 1\n";
  for (uint64_t i = 0; i < 10; ++i) rows += Row(HashText(i + 1), kBf, pack_formats[i]);
  ASSERT_EQ(Parse(rows, entries), kAccepted);
  ASSERT_EQ(entries.size(), 10u);
  for (size_t i = 0; i < 10; ++i) EXPECT_STREQ(HostFormatName(entries[i].original_host_format), pack_formats[i]);
}

TEST(Manifest, RowLimitAccepts32768RowsAndRefusesTheNextEvenIfItsFormatIsWrong) {
  std::string text = "MVTP 1\n";
  for (uint64_t i = 1; i <= kMaxManifestEntries; ++i) text += Row(HashText(i));
  PackManifest entries;
  EXPECT_EQ(Parse(text, entries), kAccepted);
  EXPECT_EQ(entries.size(), 32768u);
  EXPECT_EQ(entries.back().hash, 32768u);
  EXPECT_EQ(Parse(text + Row(HashText(40000), kBf, "UNKNOWN"), entries), kInvalidRow);
  EXPECT_EQ(entries.size(), 32768u);
}

TEST(Manifest, FailureKeepsEarlierRowsAndReplacesTheMessage) {
  PackManifest entries(5);
  std::string error = "earlier message";
  EXPECT_FALSE(ParsePackManifestText("MVTP 1\n" + Row(HashText(1)) + Row(HashText(2)) + "bad\n" + Row(HashText(3)),
                                     entries, error));
  EXPECT_EQ(error, ErrorMessage(kInvalidRow));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].hash, 2u);
  error = "untouched";
  EXPECT_TRUE(ParsePackManifestText("MVTP 1\n" + Row(HashText(1)), entries, error));
  EXPECT_EQ(error, "untouched");
  EXPECT_EQ(entries.size(), 1u);
}

TEST(ManifestFile, MissingOrOversizedFileIsRefusedBeforeReading) {
  test::TempFolder dir;
  PackManifest entries;
  ErrorCode error = ErrorCode::ok;
  EXPECT_FALSE(ReadPackManifest(dir.path(), entries, error));
  EXPECT_EQ(error, kOversized);
  fs::create_directory(dir / "pack.txt");
  EXPECT_FALSE(ReadPackManifest(dir.path(), entries, error));
  EXPECT_EQ(error, kOversized);
  fs::remove(dir / "pack.txt");

  // Padded with a comment line up to exactly 8 MiB, then one byte more.
  std::string text = "MVTP 1\n" + Row(kHash) + "#";
  text.resize(kMaxManifestBytes - 1, 'x');
  text += '\n';
  test::WriteFileBytes(dir / "pack.txt", std::vector<uint8_t>(text.begin(), text.end()));
  ASSERT_TRUE(ReadPackManifest(dir.path(), entries, error));
  EXPECT_EQ(entries.size(), 1u);
  text += '\n';
  test::WriteFileBytes(dir / "pack.txt", std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_FALSE(ReadPackManifest(dir.path(), entries, error));
  EXPECT_EQ(error, kOversized);
  EXPECT_TRUE(entries.empty());
}

TEST(ManifestFile, WholeFileReaderStopsAtItsCeilingWithoutAllocating) {
  test::TempFolder dir;
  std::vector<uint8_t> bytes = {9, 9};
  EXPECT_FALSE(ReadWholeFile(dir / "missing", bytes));
  EXPECT_FALSE(ReadWholeFile(dir.path(), bytes));
  test::WriteFileBytes(dir / "small", {'a', 'b', 0, 'c'});
  ASSERT_TRUE(ReadWholeFile(dir / "small", bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{'a', 'b', 0, 'c'}));
  test::WriteFileBytes(dir / "small", {});
  ASSERT_TRUE(ReadWholeFile(dir / "small", bytes));
  EXPECT_TRUE(bytes.empty());

  // Sparse files: cheap to make at any size.
  const fs::path big = dir / "big.dds";
  test::WriteFileBytes(big, {'x'});
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
