// The command line of the built mivo_texdump: exact lines and exit statuses.
#include <gtest/gtest.h>

#include <string>
#include <system_error>
#include <vector>

#include "support/texdump_run.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: mivo_texdump [--out DIR] [--csv FILE] [--no-images] [--pack-template DIR] [--pack-png] "
    "[--tail-check FILE [--tail-images DIR]] FILE_OR_DIR...\n";
const std::string kDumpLine =
    "dump: k_8_8_8_8 none linear 2D 4x4x1 levels 0-0 signs uuuu swizzle XYZW -> RGBA8_UNORM copy view RGBA flags -\n";
const std::string kDumpOk = kDumpLine + "1 textures, 0 failed\n";

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

class TexdumpCli : public test::TexdumpRun {};

TEST_F(TexdumpCli, ArgumentsGiveTheirExactLinesAndStatus) {
  const std::vector<uint8_t> valid = test::MakeDumpBytes(
      test::MakeFetchConstant(test::Rgba8Fields(4, 4)), std::vector<uint8_t>(512, 0x80), {});
  std::vector<uint8_t> truncated = valid, unknown_version = valid;
  truncated.pop_back();
  unknown_version[4] = 3;
  // Header sizes far beyond the file, and sizes whose 32-bit sum wraps to 0.
  std::vector<uint8_t> huge = test::MakeDumpBytes({}, {}, {}), wrapping = huge;
  std::fill(huge.begin() + 32, huge.end(), 0xFF);
  std::fill(wrapping.begin() + 32, wrapping.begin() + 36, 0xFF);
  wrapping[36] = 1;
  Write("dump.bin", valid);
  Write("dump.dat", valid);
  Write("notes.txt", Bytes("hello"));
  Write("huge.bin", huge);
  Write("wrapping.bin", wrapping);
  Write("first.bin", Bytes("x"));
  Write("blocker", Bytes("a file where a folder is needed"));
  Write("dumps/a.bin", truncated);
  Write("dumps/B.bin", unknown_version);
  Write("dumps/c.BIN", Bytes("not taken: the extension differs in case"));
  Write("dumps/d.txt", Bytes("not taken"));
  Write("dumps/sub/e.bin", Bytes("not taken: subfolders are not entered"));
  fs::create_directories(dir_ / "dumps/f.bin");  // entries are not checked for being files
  fs::create_directories(dir_ / "empty");
  fs::create_symlink("loop", dir_ / "loop");
  const std::string loop_reason = std::make_error_code(std::errc::too_many_symbolic_link_levels).message();

  struct Case {
    std::vector<std::string> args;
    std::string out;
    int status;
  };
  const Case cases[] = {
      {{}, kUsage, 2},
      {{"--no-images", "--pack-png"}, kUsage, 2},
      {{"--out", "images", "--csv", "report.csv"}, kUsage, 2},
      {{"--csv"}, "unknown option --csv\n", 2},  // a value option given last
      {{"dump.bin", "--out"}, "unknown option --out\n", 2},
      {{"missing.bin", "--verbose", "dump.bin"}, "unknown option --verbose\n", 2},
      {{"--"}, "unknown option --\n", 2},
      {{"x", "--Out", "y"}, "unknown option --Out\n", 2},
      {{"-v", "-"}, "-v: not a MVTX file\n-: not a MVTX file\n2 textures, 2 failed\n", 1},
      {{"first.bin", "dumps"},
       "first.bin: not a MVTX file\ndumps/B.bin: unknown MVTX version\ndumps/a.bin: truncated\n"
       "dumps/f.bin: not a MVTX file\n4 textures, 4 failed\n",
       1},
      {{"empty"}, "0 textures, 0 failed\n", 0},
      {{"dump.dat"}, kDumpOk, 0},
      {{"notes.txt"}, "notes.txt: not a MVTX file\n1 textures, 1 failed\n", 1},
      {{"--no-images", "huge.bin", "wrapping.bin", "dump.bin"},
       "huge.bin: truncated\nwrapping.bin: truncated\n" + kDumpLine + "3 textures, 2 failed\n",
       1},
      {{"bad.bin", "loop", "later.bin"}, "bad.bin: not a MVTX file\ncannot read the status of loop: " + loop_reason + "\n",
       1},
      {{"--pack-template", "blocker/pack", "dump.bin"}, "", 1},
      {{"--out", "--verbose", "--no-images", "dump.bin"}, kDumpOk, 0},
      {{"--out", "first", "--out", "second/nested", "--no-images", "dump.bin"}, kDumpOk, 0},
      {{"--tail-images", "sheets", "--no-images", "dump.bin"}, kDumpOk, 0},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    const std::vector<std::string> before = Names();
    const test::ProgramResult result = Run(c.args);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.status, c.status);
    if (c.status == 2) {
      EXPECT_EQ(Names(), before) << "a usage error creates no folder and no file";
    }
  }
  EXPECT_TRUE(fs::exists(dir_ / "dump.png")) << "images go to the current folder by default";
  EXPECT_TRUE(fs::is_directory(dir_ / "--verbose")) << "an option value is taken whatever it looks like";
  EXPECT_FALSE(fs::exists(dir_ / "first")) << "a later option replaces an earlier one";
  EXPECT_TRUE(fs::is_directory(dir_ / "second/nested")) << "the image folder is created even without images";
  EXPECT_FALSE(fs::exists(dir_ / "sheets")) << "--tail-images without --tail-check has no effect";
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

}  // namespace
}  // namespace mivo
