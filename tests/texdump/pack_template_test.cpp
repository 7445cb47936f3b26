// Runs the built mivo_texdump with --pack-template and checks the template
// folder it leaves: replacement files byte for byte and pack.txt.
#include <gtest/gtest.h>


#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "guest/expand.h"
#include "pack/content_key.h"
#include "pack/manifest.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/png_read.h"
#include "support/guest_image_builder.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "texdump/dds_writer.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using test::FetchFields;

constexpr const char* kManifestHead =
    "MVTP 1\n# hash bf_name original_host_format original_width original_height replacement_file\n";

struct PlacedDump {
  std::vector<uint8_t> bytes;
  HostTextureData expected;
};

PlacedDump MakePlacedDump(const FetchFields& f, uint32_t seed) {
  const FetchConstant fetch = MakeFetchConstant(f);
  const test::BlockPattern pattern = test::NoisePattern(seed);
  const test::GuestImages images = test::PlaceGuestTexture(fetch, pattern);
  return {test::MakeDumpBytes(fetch, images.base, images.mip), test::ExpectedTexture(fetch, pattern)};
}

FetchFields Rgba8Fields(uint32_t width, uint32_t height, uint32_t dimension = kDim2D) {
  FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.dimension = dimension;
  f.width = width;
  f.height = height;
  f.pitch = (width + 31) / 32;
  f.base_address = 0x00100000;
  return f;
}

std::string Hex16(uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(v));
  return text;
}

std::string ReadText(const fs::path& path) {
  const std::vector<uint8_t> bytes = test::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> FileNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> DecodePng(const fs::path& path, uint32_t& width, uint32_t& height) {
  test::DecodedPng png = test::DecodePngFile(path);
  width = png.width;
  height = png.height;
  return std::move(png.rgba);
}

std::string Row(uint64_t key, const std::string& bf_name, const char* format, uint32_t width, uint32_t height,
                const char* ext) {
  return Hex16(key) + " " + bf_name + " " + format + " " + std::to_string(width) + " " + std::to_string(height) +
         " " + Hex16(key) + "__" + bf_name + ext + "\n";
}

class TexdumpPackTemplate : public ::testing::Test {
 protected:
  test::ProgramResult Run(const std::vector<std::string>& args) {
    test::ProgramResult result = test::RunProgram(MIVO_TEXDUMP_PATH, args, dir_.path());
    EXPECT_EQ(result.err, "") << "nothing may go to standard error";
    return result;
  }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    fs::create_directories((dir_ / name).parent_path());
    test::WriteFileBytes(dir_ / name, bytes);
  }
  PackManifest ReadTemplate() {
    PackManifest entries;
    std::string error;
    EXPECT_TRUE(ReadPackManifest(dir_ / "tpl", entries, error)) << error;
    return entries;
  }
  std::string Summary(const test::ProgramResult& result) {
    const size_t last = result.out.rfind('\n', result.out.size() - 2);
    return result.out.substr(last == std::string::npos ? 0 : last + 1);
  }

  test::TempFolder dir_;
};

TEST_F(TexdumpPackTemplate, OnlyDumpsNamedByAFullAliasGetAReplacement) {
  const PlacedDump picked = MakePlacedDump(Rgba8Fields(32, 8), 1);
  Write("in/bf_0000000a_0000000B.bin", picked.bytes);
  uint32_t seed = 2;
  for (const char* name : {"bf_0000000a_000000b", "bf_0000000a_0000000bc", "bf_zzzzzzzz_zzzzzzzz",
                           "bf_0000000a-0000000b", "xx_0000000a_0000000b", "BF_0000000a_0000000b"}) {
    Write(std::string("in/") + name + ".bin", MakePlacedDump(Rgba8Fields(32, 8), seed++).bytes);
  }
  // A well-named texture that no pack can replace.
  Write("in/bf_0000000c_0000000d.bin", MakePlacedDump(Rgba8Fields(4, 4, kDimCube), seed++).bytes);

  const test::ProgramResult result = Run({"--no-images", "--pack-template", "tpl", "in"});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(Summary(result), "8 textures, 0 failed\n");

  const uint64_t key = ComputeContentKey(picked.expected);
  ASSERT_NE(key, 0u);
  const std::string file = Hex16(key) + "__bf_0000000a_0000000B.dds";
  EXPECT_EQ(ReadText(dir_ / "tpl/pack.txt"),
            kManifestHead + Row(key, "bf_0000000a_0000000B", "RGBA8_UNORM", 32, 8, ".dds"));
  EXPECT_EQ(FileNames(dir_ / "tpl"), (std::vector<std::string>{file, "pack.txt"}));
  EXPECT_EQ(test::ReadFileBytes(dir_ / "tpl" / file), BuildDds(picked.expected));
  EXPECT_EQ(ReadTemplate().size(), 1u);
}

TEST_F(TexdumpPackTemplate, RepeatedContentReusesTheFirstAliasAndGetsNoSecondReplacement) {
  // Linear rows back to back: the same bytes read as 32x8 and as 64x4 decode
  // to the same base level, so the key is shared but the originals differ.
  const std::vector<uint8_t> texels = test::PatternBytes(32 * 8 * 4, 7);
  const std::vector<uint8_t> narrow = test::MakeDumpBytes(MakeFetchConstant(Rgba8Fields(32, 8)), texels, {});
  Write("in/bf_00000001_00000001.bin", narrow);
  Write("in/bf_00000002_00000002.bin", narrow);
  Write("in/bf_00000003_00000003.bin", test::MakeDumpBytes(MakeFetchConstant(Rgba8Fields(64, 4)), texels, {}));

  const test::ProgramResult result = Run({"--no-images", "--csv", "r.csv", "--pack-template", "tpl", "in"});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(Summary(result), "3 textures, 0 failed\n");

  const PackManifest entries = ReadTemplate();
  ASSERT_EQ(entries.size(), 2u);
  const uint64_t key = entries[0].hash;
  EXPECT_EQ(entries[1].hash, key);
  EXPECT_EQ(ReadText(dir_ / "tpl/pack.txt"), kManifestHead +
                                                 Row(key, "bf_00000001_00000001", "RGBA8_UNORM", 32, 8, ".dds") +
                                                 Row(key, "bf_00000003_00000003", "RGBA8_UNORM", 64, 4, ".dds"));
  EXPECT_EQ(FileNames(dir_ / "tpl").size(), 3u);

  // The second dump's pack key carries the first one's alias.
  const std::string csv = ReadText(dir_ / "r.csv");
  const std::string first_key = "," + Hex16(key) + "__bf_00000001_00000001\n";
  const size_t at = csv.find(first_key);
  ASSERT_NE(at, std::string::npos) << csv;
  EXPECT_NE(csv.find(first_key, at + 1), std::string::npos) << csv;
  EXPECT_EQ(csv.find("__bf_00000002_00000002"), std::string::npos) << csv;
  EXPECT_NE(csv.find("__bf_00000003_00000003\n"), std::string::npos) << csv;
}

TEST_F(TexdumpPackTemplate, PngReplacementHoldsTheStoredChannelsWhateverTheView) {
  FetchFields f = Rgba8Fields(32, 8);
  f.swizzle[0] = 4;  // red reads constant 0
  f.swizzle[3] = 5;  // alpha reads constant 1
  const PlacedDump dump = MakePlacedDump(f, 9);
  Write("bf_0000cafe_00000001.bin", dump.bytes);

  const test::ProgramResult result =
      Run({"--out", "img", "--pack-template", "tpl", "--pack-png", "bf_0000cafe_00000001.bin"});
  EXPECT_EQ(result.status, 0) << result.out;
  const uint64_t key = ComputeContentKey(dump.expected);
  const std::string file = Hex16(key) + "__bf_0000cafe_00000001.png";
  EXPECT_EQ(ReadText(dir_ / "tpl/pack.txt"),
            kManifestHead + Row(key, "bf_0000cafe_00000001", "RGBA8_UNORM", 32, 8, ".png"));

  HostTextureData plain = dump.expected;
  plain.view = kIdentityView;
  const LevelRecord* base = FindLevel(plain, 0, 0);
  ASSERT_NE(base, nullptr);
  uint32_t width = 0, height = 0;
  const std::vector<uint8_t> pixels = DecodePng(dir_ / "tpl" / file, width, height);
  EXPECT_EQ(width, 32u);
  EXPECT_EQ(height, 8u);
  EXPECT_EQ(pixels, ExpandToRgba8(plain, *base, 0));
  // The ordinary image shows the view, so the two really differ.
  EXPECT_NE(DecodePng(dir_ / "img/bf_0000cafe_00000001.png", width, height), pixels);
}

TEST_F(TexdumpPackTemplate, TemplateWithoutEligibleDumpsStillGetsItsManifest) {
  Write("sample.bin", MakePlacedDump(Rgba8Fields(32, 8), 1).bytes);
  Write("bf_00000001_00000002.bin", std::vector<uint8_t>{'n', 'o'});
  const test::ProgramResult result = Run({"--no-images", "--pack-template", "a/b/tpl", "sample.bin"});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(ReadText(dir_ / "a/b/tpl/pack.txt"), kManifestHead);
  EXPECT_EQ(FileNames(dir_ / "a/b/tpl"), std::vector<std::string>{"pack.txt"});

  // An unreadable dump fails as always, and leaves the manifest empty.
  const test::ProgramResult failed = Run({"--pack-template", "tpl2", "bf_00000001_00000002.bin"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(ReadText(dir_ / "tpl2/pack.txt"), kManifestHead);
}

TEST_F(TexdumpPackTemplate, ReplacementThatCannotBeWrittenFailsTheDumpAndSkipsItsImages) {
  const PlacedDump blocked = MakePlacedDump(Rgba8Fields(32, 8), 11);
  const PlacedDump fine = MakePlacedDump(Rgba8Fields(32, 8), 12);
  Write("in/bf_00000001_00000001.bin", blocked.bytes);
  Write("in/bf_00000002_00000002.bin", fine.bytes);
  // A folder in the way of the first replacement file.
  const std::string blocked_file = Hex16(ComputeContentKey(blocked.expected)) + "__bf_00000001_00000001.dds";
  fs::create_directories(dir_ / "tpl" / blocked_file);

  const test::ProgramResult result = Run({"--out", "img", "--pack-template", "tpl", "in"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(Summary(result), "2 textures, 1 failed\n");
  const uint64_t fine_key = ComputeContentKey(fine.expected);
  EXPECT_EQ(ReadText(dir_ / "tpl/pack.txt"),
            kManifestHead + Row(fine_key, "bf_00000002_00000002", "RGBA8_UNORM", 32, 8, ".dds"));
  EXPECT_EQ(FileNames(dir_ / "img"),
            (std::vector<std::string>{"bf_00000002_00000002.dds", "bf_00000002_00000002.png"}));
}

TEST_F(TexdumpPackTemplate, ManifestThatCannotBeWrittenCountsOneFailure) {
  Write("bf_00000001_00000001.bin", MakePlacedDump(Rgba8Fields(32, 8), 1).bytes);
  fs::create_directories(dir_ / "tpl/pack.txt");
  const test::ProgramResult result = Run({"--no-images", "--pack-template", "tpl", "bf_00000001_00000001.bin"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(Summary(result), "1 textures, 1 failed\n");
}

TEST_F(TexdumpPackTemplate, TemplateOfTheBundledSamplesReadsBackAndListsEveryFileItHolds) {
  const test::ProgramResult result =
      Run({"--no-images", "--pack-template", "tpl", (fs::path(MIVO_SOURCE_DIR) / "samples").string()});
  EXPECT_EQ(result.status, 0) << result.out;
  const PackManifest entries = ReadTemplate();
  EXPECT_GE(entries.size(), 5u);
  std::vector<std::string> listed = {"pack.txt"};
  for (const ManifestEntry& e : entries) listed.push_back(e.replacement_file);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(FileNames(dir_ / "tpl"), listed);
}

}  // namespace
}  // namespace mivo
