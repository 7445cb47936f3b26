#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/pack_builder.h"
#include "support/replacement_files.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

#ifdef MIVO_PACKCHECK_PATH

namespace mivo {
namespace {

namespace fs = std::filesystem;
using test::MakePackFile;

const std::vector<uint8_t> kRgbaPng = test::MakePngBytes(4, 2, 8, 6, test::PatternBytes(32, 1));

class PackcheckTest : public ::testing::Test {
 protected:
  test::ProgramResult Check(const std::vector<std::string>& args = {"pack", "template"}) {
    return test::RunProgram(MIVO_PACKCHECK_PATH, args, dir_.path());
  }

  test::TempFolder dir_;
  // An RGBA PNG, an 8x8 BC1 DDS with its four levels, a one-channel PNG.
  std::vector<test::PackFile> files_ = {
      MakePackFile(0x1122334455667788ull, HostFormat::RGBA8_UNORM, 64, 32, ".png", kRgbaPng),
      MakePackFile(0xABCull, HostFormat::BC1_UNORM, 128, 128, ".dds",
                   test::MakeDdsFile({.width = 8, .height = 8, .mip_count = 4, .fourcc = "DXT1"},
                                     test::PatternBytes(56, 3))),
      MakePackFile(0x42ull, HostFormat::R8_UNORM, 16, 16, ".png",
                   test::MakePngBytes(3, 3, 8, 0, test::PatternBytes(9, 2))),
  };
};

TEST_F(PackcheckTest, WrongArgumentCountPrintsUsageAndExitsWithTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"a"}, {"a", "b", "c"}}) {
    const test::ProgramResult result = Check(args);
    EXPECT_EQ(result.status, 2) << args.size();
    EXPECT_EQ(result.out, "usage: mivo_packcheck PACK_FOLDER EXTRACTED_TEMPLATE_FOLDER\n") << args.size();
  }
}

TEST_F(PackcheckTest, UnreadableManifestsEndTheRunBeforeAnythingElse) {
  // The pack's manifest is read first; the template is not looked at.
  fs::create_directories(dir_ / "pack");
  test::ProgramResult result = Check({"pack", "/nonexistent"});
  EXPECT_EQ(result.out, "manifest: missing/oversized pack.txt\n");
  EXPECT_EQ(result.status, 1);
  test::WritePack(dir_ / "pack", files_);
  fs::create_directories(dir_ / "template");
  test::WriteFileBytes(dir_ / "template" / "pack.txt", {'M', 'V', 'T', 'P', ' ', '2', '\n'});
  result = Check();
  EXPECT_EQ(result.out, "manifest: unsupported pack version\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(PackcheckTest, MatchingPackPrintsOneOkLinePerRowAndPasses) {
  test::WritePack(dir_ / "template", files_);
  test::WritePack(dir_ / "pack", files_);
  test::WriteFileBytes(dir_ / "pack" / "notes.txt", {'h', 'i'});
  test::WriteFileBytes(dir_ / "pack" / "extra.PNG", kRgbaPng);  // only exact lower-case extensions count
  const test::ProgramResult result = Check();
  EXPECT_EQ(result.out,
            "OK 1122334455667788__bf_11223344_55667788.png: 4x2 RGBA8_UNORM, 3 mips, 44 bytes\n"
            "OK 0000000000000ABC__bf_00000000_00000ABC.dds: 8x8 BC1_UNORM, 4 mips, 56 bytes\n"
            "OK 0000000000000042__bf_00000000_00000042.png: 3x3 R8_UNORM, 2 mips, 10 bytes\n"
            "3 entries, 0 errors\n");
  EXPECT_EQ(result.status, 0);
  // A template checked against itself passes too.
  const test::ProgramResult self = Check({"template", "template"});
  EXPECT_EQ(self.status, 0);
  EXPECT_NE(self.out.find("3 entries, 0 errors\n"), std::string::npos);
}

TEST_F(PackcheckTest, EveryMistakeIsReportedAndCounted) {
  test::WritePack(dir_ / "template", files_);
  std::vector<test::PackFile> pack = files_;
  pack[0].entry.original_width = 65;  // the original is not what the template says
  pack[1].bytes.pop_back();           // a DDS one byte short
  pack.push_back(MakePackFile(0x77, HostFormat::RGBA8_UNORM, 8, 8, ".png", kRgbaPng));  // valid, never loaded
  test::WritePack(dir_ / "pack", pack);
  fs::remove(dir_ / "pack" / pack[2].entry.replacement_file);
  test::WriteFileBytes(dir_ / "pack" / "extra.png", kRgbaPng);
  test::WriteFileBytes(dir_ / "pack" / "extra.PNG", kRgbaPng);

  const test::ProgramResult result = Check();
  EXPECT_EQ(result.out,
            "ORIGINAL MISMATCH 1122334455667788__bf_11223344_55667788\n"
            "INVALID 0000000000000ABC__bf_00000000_00000ABC.dds: truncated DDS mip data\n"
            "INVALID 0000000000000042__bf_00000000_00000042.png: replacement absent or outside pack\n"
            "UNKNOWN KEY 0000000000000077__bf_00000000_00000077\n"
            "UNLISTED/UNKNOWN FILE extra.png\n"
            "4 entries, 5 errors\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(PackcheckTest, PackWithoutRowsReportsEveryReplacementFileAsUnlisted) {
  test::WritePack(dir_ / "template", files_);
  test::WritePack(dir_ / "pack", {});
  test::WriteFileBytes(dir_ / "pack" / "only.dds", files_[1].bytes);
  fs::create_directory(dir_ / "pack" / "sub");
  test::WriteFileBytes(dir_ / "pack" / "sub" / "deeper.png", kRgbaPng);
  const test::ProgramResult result = Check();
  EXPECT_EQ(result.out, "UNLISTED/UNKNOWN FILE only.dds\n0 entries, 1 errors\n");
  EXPECT_EQ(result.status, 1);
}

}  // namespace
}  // namespace mivo

#endif  // MIVO_PACKCHECK_PATH
