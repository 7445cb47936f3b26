#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pack/content_key.h"
#include "pack/manifest.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/replacement_files.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

#ifdef MIVO_PACKCHECK_PATH

namespace mivo {
namespace {

namespace fs = std::filesystem;

ManifestEntry Row(uint64_t hash, const char* bf_name, HostFormat format, uint32_t width, uint32_t height,
                  const char* extension) {
  ManifestEntry row;
  row.hash = hash;
  row.bf_name = bf_name;
  row.original_host_format = format;
  row.original_width = width;
  row.original_height = height;
  row.replacement_file = FormatContentKey(hash, bf_name) + extension;
  return row;
}

std::vector<uint8_t> RgbaPng() { return test::MakePngBytes(4, 2, 8, 6, test::PatternBytes(32, 1)); }
std::vector<uint8_t> RedPng() { return test::MakePngBytes(3, 3, 8, 0, test::PatternBytes(9, 2)); }

std::vector<uint8_t> Bc1Dds() {
  test::DdsFields fields;
  fields.fourcc = "DXT1";
  fields.width = 8;
  fields.height = 8;
  fields.mip_count = 4;
  std::vector<uint8_t> file = test::MakeDdsHeader(fields);
  const std::vector<uint8_t> blocks = test::PatternBytes(56, 3);
  file.insert(file.end(), blocks.begin(), blocks.end());
  return file;
}

class PackcheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pack_ = dir_ / "pack";
    template_ = dir_ / "template";
    fs::create_directories(pack_);
    fs::create_directories(template_);
    rows_ = {Row(0x1122334455667788ull, "bf_00001000_00002000", HostFormat::RGBA8_UNORM, 64, 32, ".png"),
             Row(0xABCull, "bf_0000A000_0000B000", HostFormat::BC1_UNORM, 128, 128, ".dds"),
             Row(0x42ull, "bf_0000C000_0000D000", HostFormat::R8_UNORM, 16, 16, ".png")};
    files_ = {RgbaPng(), Bc1Dds(), RedPng()};
  }

  // Writes a folder with a manifest of `rows` and the standard file of each.
  void WriteFolder(const fs::path& folder, const PackManifest& rows) {
    ASSERT_TRUE(WritePackManifest(rows, folder));
    for (const ManifestEntry& row : rows) {
      for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].hash == row.hash) test::WriteFileBytes(folder / row.replacement_file, files_[i]);
      }
    }
  }

  test::ProgramResult Check(const std::vector<std::string>& args) {
    return test::RunProgram(MIVO_PACKCHECK_PATH, args, dir_.path());
  }
  test::ProgramResult Check() { return Check({pack_.string(), template_.string()}); }

  test::TempFolder dir_;
  fs::path pack_, template_;
  PackManifest rows_;
  std::vector<std::vector<uint8_t>> files_;
};

TEST_F(PackcheckTest, WrongArgumentCountPrintsUsageAndExitsWithTwo) {
  const std::string usage = "usage: mivo_packcheck PACK_FOLDER EXTRACTED_TEMPLATE_FOLDER\n";
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"a"}, std::vector<std::string>{"a", "b", "c"}}) {
    const test::ProgramResult result = Check(args);
    EXPECT_EQ(result.status, 2) << args.size();
    EXPECT_EQ(result.out, usage) << args.size();
  }
}

TEST_F(PackcheckTest, UnreadableManifestsEndTheRunBeforeAnythingElse) {
  // The pack's manifest is read first; the template is not looked at.
  test::ProgramResult result = Check({pack_.string(), "/nonexistent"});
  EXPECT_EQ(result.out, "manifest: missing/oversized pack.txt\n");
  EXPECT_EQ(result.status, 1);
  WriteFolder(pack_, rows_);
  test::WriteFileBytes(template_ / "pack.txt", {'M', 'V', 'T', 'P', ' ', '2', '\n'});
  result = Check();
  EXPECT_EQ(result.out, "manifest: unsupported pack version\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(PackcheckTest, MatchingPackPrintsOneOkLinePerRowAndPasses) {
  WriteFolder(template_, rows_);
  WriteFolder(pack_, rows_);
  test::WriteFileBytes(pack_ / "notes.txt", {'h', 'i'});
  test::WriteFileBytes(pack_ / "extra.PNG", RgbaPng());
  const test::ProgramResult result = Check();
  EXPECT_EQ(result.out,
            "OK 1122334455667788__bf_00001000_00002000.png: 4x2 RGBA8_UNORM, 3 mips, 44 bytes\n"
            "OK 0000000000000ABC__bf_0000A000_0000B000.dds: 8x8 BC1_UNORM, 4 mips, 56 bytes\n"
            "OK 0000000000000042__bf_0000C000_0000D000.png: 3x3 R8_UNORM, 2 mips, 10 bytes\n"
            "3 entries, 0 errors\n");
  EXPECT_EQ(result.status, 0);
  // A template checked against itself passes too.
  const test::ProgramResult self = Check({template_.string(), template_.string()});
  EXPECT_EQ(self.status, 0);
  EXPECT_NE(self.out.find("3 entries, 0 errors\n"), std::string::npos);
}

TEST_F(PackcheckTest, EveryMistakeIsReportedAndCounted) {
  WriteFolder(template_, rows_);
  PackManifest pack = rows_;
  pack[0].original_width = 65;  // the original is not what the template says
  pack.push_back(Row(0x77ull, "bf_00000001_00000002", HostFormat::RGBA8_UNORM, 8, 8, ".png"));  // unknown key
  WriteFolder(pack_, pack);
  test::WriteFileBytes(pack_ / pack.back().replacement_file, RgbaPng());  // valid, but never loaded
  std::vector<uint8_t> broken = Bc1Dds();
  broken.pop_back();
  test::WriteFileBytes(pack_ / rows_[1].replacement_file, broken);
  fs::remove(pack_ / rows_[2].replacement_file);
  test::WriteFileBytes(pack_ / "extra.png", RgbaPng());
  test::WriteFileBytes(pack_ / "extra.PNG", RgbaPng());

  const test::ProgramResult result = Check();
  EXPECT_EQ(result.out,
            "ORIGINAL MISMATCH 1122334455667788__bf_00001000_00002000\n"
            "INVALID 0000000000000ABC__bf_0000A000_0000B000.dds: truncated DDS mip data\n"
            "INVALID 0000000000000042__bf_0000C000_0000D000.png: replacement absent or outside pack\n"
            "UNKNOWN KEY 0000000000000077__bf_00000001_00000002\n"
            "UNLISTED/UNKNOWN FILE extra.png\n"
            "4 entries, 5 errors\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(PackcheckTest, PackWithoutRowsReportsEveryReplacementFileAsUnlisted) {
  WriteFolder(template_, rows_);
  ASSERT_TRUE(WritePackManifest({}, pack_));
  test::WriteFileBytes(pack_ / "only.dds", Bc1Dds());
  fs::create_directory(pack_ / "sub");
  test::WriteFileBytes(pack_ / "sub" / "deeper.png", RgbaPng());
  const test::ProgramResult result = Check();
  EXPECT_EQ(result.out, "UNLISTED/UNKNOWN FILE only.dds\n0 entries, 1 errors\n");
  EXPECT_EQ(result.status, 1);
}

}  // namespace
}  // namespace mivo

#endif  // MIVO_PACKCHECK_PATH
