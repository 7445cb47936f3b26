// Damaged replacement files and damaged manifests through the built
// mivo_packcheck: every row gets its line, the summary counts them, and
// nothing crashes.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
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
using Bytes = std::vector<uint8_t>;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Standard error carries hints only, never a crash report.
bool OnlyHints(const std::string& err) {
  for (const std::string& line : Lines(err)) {
    if (!StartsWith(line, "mivo_packcheck: hint: ")) return false;
  }
  return true;
}

// Valid replacements of several kinds, each with the original it stands for.
struct Kind {
  HostFormat original;
  const char* extension;
  Bytes bytes;
};

std::vector<Kind> ValidKinds() {
  using test::MakePngBytes, test::PatternBytes;
  const auto dds = [](const test::DdsFields& fields, size_t data_bytes) {
    return test::MakeDdsFile(fields, PatternBytes(data_bytes, 7));
  };
  return {
      {HostFormat::RGBA8_UNORM, ".png", MakePngBytes(8, 4, 8, 6, PatternBytes(128, 1))},
      {HostFormat::R8_UNORM, ".png", MakePngBytes(5, 3, 8, 0, PatternBytes(15, 2))},
      {HostFormat::RG8_SNORM, ".png", MakePngBytes(4, 4, 8, 2, PatternBytes(48, 3))},
      {HostFormat::BC1_UNORM, ".dds", dds({.width = 8, .height = 8, .mip_count = 4, .fourcc = "DXT1"}, 56)},
      {HostFormat::BC3_UNORM, ".dds", dds({.width = 8, .height = 4, .mip_count = 1, .fourcc = "DXT5"}, 32)},
      {HostFormat::RGBA8_UNORM, ".dds", dds({.width = 4, .height = 2, .mip_count = 3, .dxgi_format = 28}, 44)},
      {HostFormat::RG8_UNORM, ".dds", dds({.width = 4, .height = 4, .mip_count = 1, .dxgi_format = 83}, 16)},
  };
}

// Truncation in one case of four, else one to four bit flips.
Bytes Mutate(Bytes bytes, std::mt19937& rng) {
  if (rng() % 4 == 0) {
    bytes.resize(rng() % bytes.size());
    return bytes;
  }
  for (uint32_t flips = 1 + rng() % 4; flips > 0; --flips) bytes[rng() % bytes.size()] ^= uint8_t(1u << (rng() % 8));
  return bytes;
}

class PackcheckRobustness : public ::testing::Test {
 protected:
  test::ProgramResult Run() { return test::RunProgram(MIVO_PACKCHECK_PATH, {"pack", "template"}, dir_.path()); }
  test::TempFolder dir_;
};

TEST_F(PackcheckRobustness, DamagedReplacementFilesEachGetTheirLineAndAreCounted) {
  std::mt19937 rng(7);
  const std::vector<Kind> kinds = ValidKinds();
  constexpr uint32_t kRows = 300;
  std::vector<test::PackFile> files;
  for (uint32_t i = 0; i < kRows; ++i) {
    const Kind& kind = kinds[i % kinds.size()];
    // Every seventh file stays intact, so both outcomes occur.
    files.push_back(test::MakePackFile(0x1000 + i, kind.original, 64, 64, kind.extension,
                                       i % 7 == 0 ? kind.bytes : Mutate(kind.bytes, rng)));
  }
  test::WritePack(dir_ / "pack", files);
  test::WritePack(dir_ / "template", files);

  const test::ProgramResult result = Run();
  EXPECT_TRUE(OnlyHints(result.err)) << result.err;
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), kRows + 1) << result.out;
  uint32_t invalid = 0;
  for (uint32_t i = 0; i < kRows; ++i) {
    const bool ok = StartsWith(lines[i], "OK " + files[i].entry.replacement_file + ": ");
    const bool bad = StartsWith(lines[i], "INVALID " + files[i].entry.replacement_file + ": ");
    EXPECT_TRUE(ok || (bad && i % 7 != 0)) << lines[i];
    invalid += bad;
  }
  EXPECT_GT(invalid, kRows / 4);
  EXPECT_EQ(lines.back(), std::to_string(kRows) + " entries, " + std::to_string(invalid) + " errors");
  EXPECT_EQ(result.status, 1);
}

TEST_F(PackcheckRobustness, DamagedManifestsFailWithOneLineOrAreCheckedToTheSummary) {
  std::mt19937 rng(11);
  const std::vector<Kind> kinds = ValidKinds();
  std::vector<test::PackFile> files;
  for (uint32_t i = 0; i < kinds.size(); ++i) {
    files.push_back(test::MakePackFile(0xABC00 + i, kinds[i].original, 32, 32, kinds[i].extension, kinds[i].bytes));
  }
  test::WritePack(dir_ / "pack", files);
  test::WritePack(dir_ / "template", files);
  const Bytes manifest = test::ReadFileBytes(dir_ / "pack" / "pack.txt");

  uint32_t refused = 0, checked = 0;
  for (uint32_t round = 0; round < 60; ++round) {
    // The template is the damaged one in one round of three.
    const bool damage_template = round % 3 == 2;
    test::WriteFileBytes(dir_ / (damage_template ? "template" : "pack") / "pack.txt", Mutate(manifest, rng));
    test::WriteFileBytes(dir_ / (damage_template ? "pack" : "template") / "pack.txt", manifest);

    const test::ProgramResult result = Run();
    EXPECT_TRUE(OnlyHints(result.err)) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_FALSE(lines.empty());
    if (StartsWith(lines[0], "manifest: ")) {
      EXPECT_EQ(lines.size(), 1u) << result.out;
      EXPECT_EQ(result.status, 1);
      ++refused;
      continue;
    }
    // Read: the summary counts the pack's rows and the error lines.
    uint32_t errors = 0;
    for (size_t i = 0; i + 1 < lines.size(); ++i) errors += !StartsWith(lines[i], "OK ");
    EXPECT_NE(lines.back().find(" entries, " + std::to_string(errors) + " errors"), std::string::npos) << result.out;
    EXPECT_EQ(result.status, errors == 0 ? 0 : 1) << result.out;
    ++checked;
  }
  EXPECT_GT(refused, 0u);
  EXPECT_GT(checked, 0u);
}

}  // namespace
}  // namespace mivo

#endif  // MIVO_PACKCHECK_PATH
