// Runs the built mivo_texdump on files written into a fresh folder and
// compares its exact output and exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/dump_builder.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using test::FetchFields;

constexpr const char* kUsage =
    "usage: mivo_texdump [--out DIR] [--csv FILE] [--no-images] [--pack-template DIR] [--pack-png] "
    "[--tail-check FILE [--tail-images DIR]] FILE_OR_DIR...\n";

// A small linear 4x4 k_8_8_8_8 texture whose base image covers its layout.
std::vector<uint8_t> ValidDumpBytes() {
  FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.width = 4;
  f.height = 4;
  f.pitch = 1;
  f.base_address = 0x00100000;
  return test::MakeDumpBytes(test::MakeFetchConstant(f), std::vector<uint8_t>(512, 0x80), {});
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::string LastLine(const std::string& out) {
  const size_t end = out.size() > 0 && out.back() == '\n' ? out.size() - 1 : out.size();
  const size_t start = out.rfind('\n', end == 0 ? 0 : end - 1);
  return out.substr(start == std::string::npos ? 0 : start + 1);
}

class TexdumpCli : public ::testing::Test {
 protected:
  test::ProgramResult Run(const std::vector<std::string>& args) {
    test::ProgramResult result = test::RunProgram(MIVO_TEXDUMP_PATH, args, dir_.path());
    EXPECT_EQ(result.err, "") << "nothing may go to standard error";
    return result;
  }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) { test::WriteFileBytes(dir_ / name, bytes); }
  size_t EntryCount() const {
    return size_t(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()));
  }

  test::TempFolder dir_;
};

TEST_F(TexdumpCli, WithoutInputsPrintsUsageAndExitsTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--no-images", "--pack-png"}, {"--out", "images", "--csv", "report.csv"}}) {
    const test::ProgramResult result = Run(args);
    EXPECT_EQ(result.out, kUsage);
    EXPECT_EQ(result.status, 2);
  }
  EXPECT_EQ(EntryCount(), 0u) << "a usage error creates no folder and no file";
}

TEST_F(TexdumpCli, ValueOptionGivenLastIsAnUnknownOption) {
  const test::ProgramResult result = Run({"--csv"});
  EXPECT_EQ(result.out, "unknown option --csv\n");
  EXPECT_EQ(result.status, 2);

  Write("dump.bin", ValidDumpBytes());
  const test::ProgramResult after_input = Run({"dump.bin", "--out"});
  EXPECT_EQ(after_input.out, "unknown option --out\n");
  EXPECT_EQ(after_input.status, 2);
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(TexdumpCli, UnknownOptionStopsBeforeAnyDumpIsRead) {
  Write("dump.bin", ValidDumpBytes());
  const test::ProgramResult result = Run({"missing.bin", "--verbose", "dump.bin"});
  EXPECT_EQ(result.out, "unknown option --verbose\n");
  EXPECT_EQ(result.status, 2);
}

TEST_F(TexdumpCli, SingleDashWordsAreDumpPaths) {
  const test::ProgramResult result = Run({"-v", "-"});
  EXPECT_EQ(result.out, "-v: not a MVTX file\n-: not a MVTX file\n2 textures, 2 failed\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(TexdumpCli, OptionValueIsTakenWhateverItLooksLike) {
  Write("dump.bin", ValidDumpBytes());
  const test::ProgramResult result = Run({"--out", "--verbose", "--no-images", "dump.bin"});
  EXPECT_EQ(LastLine(result.out), "1 textures, 0 failed\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "--verbose"));
}

TEST_F(TexdumpCli, LaterOptionReplacesEarlierAndImageFolderIsCreatedWithoutImages) {
  Write("dump.bin", ValidDumpBytes());
  const test::ProgramResult result = Run({"--out", "first", "--out", "second/nested", "--no-images", "dump.bin"});
  EXPECT_EQ(result.status, 0);
  EXPECT_FALSE(fs::exists(dir_ / "first"));
  EXPECT_TRUE(fs::is_directory(dir_ / "second/nested"));
}

TEST_F(TexdumpCli, FolderGivesItsDirectBinEntriesInOrdinalPathOrder) {
  fs::create_directories(dir_ / "dumps/sub");
  fs::create_directories(dir_ / "dumps/f.bin");                       // entries are not checked for being files
  auto truncated = ValidDumpBytes();
  truncated.pop_back();
  Write("dumps/a.bin", truncated);
  auto unknown_version = ValidDumpBytes();
  unknown_version[4] = 3;
  Write("dumps/B.bin", unknown_version);
  Write("dumps/c.BIN", Bytes("not taken: the extension differs in case"));
  Write("dumps/d.txt", Bytes("not taken"));
  Write("dumps/sub/e.bin", Bytes("not taken: subfolders are not entered"));
  Write("first.bin", Bytes("x"));

  const test::ProgramResult result = Run({"first.bin", "dumps"});
  EXPECT_EQ(result.out,
            "first.bin: not a MVTX file\n"
            "dumps/B.bin: unknown MVTX version\n"
            "dumps/a.bin: truncated\n"
            "dumps/f.bin: not a MVTX file\n"
            "4 textures, 4 failed\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(TexdumpCli, EmptyFolderIsNoFailure) {
  fs::create_directories(dir_ / "empty");
  const test::ProgramResult result = Run({"empty"});
  EXPECT_EQ(result.out, "0 textures, 0 failed\n");
  EXPECT_EQ(result.status, 0);
}

TEST_F(TexdumpCli, NamedFileIsReadWhateverItsExtension) {
  Write("dump.dat", ValidDumpBytes());
  Write("notes.txt", Bytes("hello"));
  const test::ProgramResult valid = Run({"dump.dat"});
  EXPECT_EQ(LastLine(valid.out), "1 textures, 0 failed\n");
  EXPECT_EQ(valid.status, 0);

  const test::ProgramResult junk = Run({"notes.txt"});
  EXPECT_EQ(junk.out, "notes.txt: not a MVTX file\n1 textures, 1 failed\n");
  EXPECT_EQ(junk.status, 1);
}

TEST_F(TexdumpCli, BadDumpIsCountedAndTheBatchGoesOn) {
  // Header sizes far beyond the file, and sizes whose 32-bit sum would wrap.
  std::vector<uint8_t> huge = test::MakeDumpBytes({}, {}, {});
  for (int i = 32; i < 40; ++i) huge[i] = 0xFF;
  std::vector<uint8_t> wrapping = test::MakeDumpBytes({}, {}, {});
  wrapping[32] = wrapping[33] = wrapping[34] = wrapping[35] = 0xFF;
  wrapping[36] = 1;
  Write("huge.bin", huge);
  Write("wrapping.bin", wrapping);
  Write("dump.bin", ValidDumpBytes());

  const test::ProgramResult result = Run({"huge.bin", "wrapping.bin", "dump.bin"});
  const std::string failures = "huge.bin: truncated\nwrapping.bin: truncated\n";
  EXPECT_EQ(result.out.substr(0, failures.size()), failures);
  EXPECT_EQ(LastLine(result.out), "3 textures, 2 failed\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(TexdumpCli, InputWhoseStatusCannotBeReadEndsTheRunWithOneLine) {
  fs::create_symlink("loop", dir_ / "loop");
  Write("later.bin", Bytes("never read"));
  const test::ProgramResult result = Run({"bad.bin", "loop", "later.bin"});
  const std::string reason = std::make_error_code(std::errc::too_many_symbolic_link_levels).message();
  EXPECT_EQ(result.out, "bad.bin: not a MVTX file\ncannot read the status of loop: " + reason + "\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(TexdumpCli, FolderThatCannotBeListedEndsTheRunWithOneLine) {
  fs::create_directories(dir_ / "locked");
  fs::permissions(dir_ / "locked", fs::perms::none);
  std::error_code ec;
  fs::directory_iterator probe(dir_ / "locked", ec);
  if (!ec) GTEST_SKIP() << "this user can list any folder";

  const test::ProgramResult result = Run({"locked"});
  EXPECT_EQ(result.out, "cannot list the folder locked: " + ec.message() + "\n");
  EXPECT_EQ(result.status, 1);
}

TEST_F(TexdumpCli, PackTemplateFolderThatCannotBeCreatedEndsTheRunSilently) {
  Write("blocker", Bytes("a file where a folder is needed"));
  Write("dump.bin", ValidDumpBytes());
  const test::ProgramResult result = Run({"--pack-template", "blocker/pack", "dump.bin"});
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
}

TEST_F(TexdumpCli, EveryBundledSampleReads) {
  const fs::path samples = fs::path(MIVO_SOURCE_DIR) / "samples";
  const size_t count = size_t(std::distance(fs::directory_iterator(samples), fs::directory_iterator()));
  const test::ProgramResult result = Run({"--no-images", samples.string()});
  EXPECT_EQ(LastLine(result.out), std::to_string(count) + " textures, 0 failed\n");
  EXPECT_EQ(result.status, 0);
}

TEST_F(TexdumpCli, TailImagesWithoutTailCheckHasNoEffect) {
  Write("dump.bin", ValidDumpBytes());
  const test::ProgramResult result = Run({"--tail-images", "sheets", "dump.bin"});
  EXPECT_EQ(result.status, 0);
  EXPECT_FALSE(fs::exists(dir_ / "sheets"));
}

}  // namespace
}  // namespace mivo
