// Damaged replacement files and damaged manifests through the built
// mivo_packcheck: every row gets its line, the summary counts them, and
// nothing crashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
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

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<uint8_t> DdsFile(const char* fourcc, uint32_t dxgi, uint32_t width, uint32_t height, uint32_t mips,
                             size_t data_bytes) {
  test::DdsFields fields;
  fields.fourcc = fourcc;
  fields.dxgi_format = dxgi;
  fields.width = width;
  fields.height = height;
  fields.mip_count = mips;
  std::vector<uint8_t> file = test::MakeDdsHeader(fields);
  const std::vector<uint8_t> data = test::PatternBytes(data_bytes, 7);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

// Valid replacements of several kinds, each with the original it stands for.
struct Kind {
  HostFormat original;
  const char* extension;
  std::vector<uint8_t> bytes;
};

std::vector<Kind> ValidKinds() {
  return {
      {HostFormat::RGBA8_UNORM, ".png", test::MakePngBytes(8, 4, 8, 6, test::PatternBytes(128, 1))},
      {HostFormat::R8_UNORM, ".png", test::MakePngBytes(5, 3, 8, 0, test::PatternBytes(15, 2))},
      {HostFormat::RG8_SNORM, ".png", test::MakePngBytes(4, 4, 8, 2, test::PatternBytes(48, 3))},
      {HostFormat::BC1_UNORM, ".dds", DdsFile("DXT1", 0, 8, 8, 4, 56)},
      {HostFormat::BC3_UNORM, ".dds", DdsFile("DXT5", 0, 8, 4, 1, 32)},
      {HostFormat::RGBA8_UNORM, ".dds", DdsFile("DX10", 28, 4, 2, 3, 44)},
      {HostFormat::RG8_UNORM, ".dds", DdsFile("DX10", 83, 4, 4, 1, 16)},
  };
}

std::vector<uint8_t> Mutate(std::vector<uint8_t> bytes, std::mt19937& rng) {
  if (rng() % 4 == 0) {
    bytes.resize(rng() % bytes.size());
    return bytes;
  }
  const uint32_t flips = 1 + rng() % 4;
  for (uint32_t i = 0; i < flips; ++i) bytes[rng() % bytes.size()] ^= uint8_t(1u << (rng() % 8));
  return bytes;
}

void WriteManifestText(const fs::path& folder, const std::string& text) {
  test::WriteFileBytes(folder / "pack.txt", std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ManifestText(const fs::path& folder) {
  std::ifstream in(folder / "pack.txt", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PackcheckRobustness : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "pack");
    fs::create_directories(dir_ / "template");
  }
  test::ProgramResult Run() { return test::RunProgram(MIVO_PACKCHECK_PATH, {"pack", "template"}, dir_.path()); }
  test::TempFolder dir_;
};

TEST_F(PackcheckRobustness, DamagedReplacementFilesEachGetTheirLineAndAreCounted) {
  std::mt19937 rng(7);
  const std::vector<Kind> kinds = ValidKinds();
  PackManifest rows;
  constexpr uint32_t kRows = 300;
  for (uint32_t i = 0; i < kRows; ++i) {
    const Kind& kind = kinds[i % kinds.size()];
    char bf_name[24];
    std::snprintf(bf_name, sizeof bf_name, "bf_%08X_%08X", i, i * 7);
    ManifestEntry row;
    row.hash = 0x1000 + i;
    row.bf_name = bf_name;
    row.original_host_format = kind.original;
    row.original_width = 64;
    row.original_height = 64;
    row.replacement_file = FormatContentKey(row.hash, row.bf_name) + kind.extension;
    // Every seventh file stays intact, so both outcomes occur.
    test::WriteFileBytes(dir_ / "pack" / row.replacement_file, i % 7 == 0 ? kind.bytes : Mutate(kind.bytes, rng));
    rows.push_back(row);
  }
  ASSERT_TRUE(WritePackManifest(rows, dir_ / "pack"));
  ASSERT_TRUE(WritePackManifest(rows, dir_ / "template"));

  const test::ProgramResult result = Run();
  EXPECT_EQ(result.err, "");
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), kRows + 1) << result.out;
  uint32_t invalid = 0;
  for (uint32_t i = 0; i < kRows; ++i) {
    const bool ok = lines[i].rfind("OK " + rows[i].replacement_file + ": ", 0) == 0;
    const bool bad = lines[i].rfind("INVALID " + rows[i].replacement_file + ": ", 0) == 0;
    EXPECT_TRUE(ok || bad) << lines[i];
    if (i % 7 == 0) {
      EXPECT_TRUE(ok) << lines[i];
    }
    invalid += bad;
  }
  EXPECT_GT(invalid, kRows / 4);
  EXPECT_EQ(lines.back(), std::to_string(kRows) + " entries, " + std::to_string(invalid) + " errors");
  EXPECT_EQ(result.status, 1);
}

TEST_F(PackcheckRobustness, DamagedManifestsFailWithOneLineOrAreCheckedToTheSummary) {
  std::mt19937 rng(11);
  const std::vector<Kind> kinds = ValidKinds();
  PackManifest rows;
  for (uint32_t i = 0; i < kinds.size(); ++i) {
    ManifestEntry row;
    row.hash = 0xABC00 + i;
    row.bf_name = "bf_0000000" + std::to_string(i) + "_00000000";
    row.original_host_format = kinds[i].original;
    row.original_width = row.original_height = 32;
    row.replacement_file = FormatContentKey(row.hash, row.bf_name) + kinds[i].extension;
    test::WriteFileBytes(dir_ / "pack" / row.replacement_file, kinds[i].bytes);
    rows.push_back(row);
  }
  ASSERT_TRUE(WritePackManifest(rows, dir_ / "pack"));
  ASSERT_TRUE(WritePackManifest(rows, dir_ / "template"));
  const std::string pack_text = ManifestText(dir_ / "pack");
  const std::vector<uint8_t> pack_bytes(pack_text.begin(), pack_text.end());
  const std::string template_text = pack_text;

  uint32_t refused = 0, checked = 0;
  for (uint32_t round = 0; round < 60; ++round) {
    std::vector<uint8_t> damaged = Mutate(pack_bytes, rng);
    // Damage the template too in one round of three.
    const bool damage_template = round % 3 == 2;
    const std::string text(damaged.begin(), damaged.end());
    WriteManifestText(dir_ / (damage_template ? "template" : "pack"), text);
    WriteManifestText(dir_ / (damage_template ? "pack" : "template"), template_text);

    const test::ProgramResult result = Run();
    EXPECT_EQ(result.err, "");
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_FALSE(lines.empty());
    if (lines[0].rfind("manifest: ", 0) == 0) {
      EXPECT_EQ(lines.size(), 1u) << result.out;
      EXPECT_EQ(result.status, 1);
      ++refused;
      continue;
    }
    // Read: the summary counts the pack's rows and the error lines.
    uint32_t errors = 0;
    for (size_t i = 0; i + 1 < lines.size(); ++i) errors += lines[i].rfind("OK ", 0) != 0;
    const std::string& summary = lines.back();
    EXPECT_NE(summary.find(" entries, " + std::to_string(errors) + " errors"), std::string::npos) << result.out;
    EXPECT_EQ(result.status, errors == 0 ? 0 : 1) << result.out;
    ++checked;
  }
  EXPECT_GT(refused, 0u);
  EXPECT_GT(checked, 0u);
}

}  // namespace
}  // namespace mivo

#endif  // MIVO_PACKCHECK_PATH
