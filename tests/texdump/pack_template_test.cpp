// The pack template written by the built mivo_texdump: replacement files
// byte for byte and pack.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "guest/expand.h"
#include "pack/content_key.h"
#include "pack/manifest.h"
#include "support/png_read.h"
#include "support/samples.h"
#include "support/texdump_run.h"
#include "texdump/dds_writer.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using test::Hex16;
using test::MakePlacedDump;
using test::Rgba8Fields;

constexpr const char* kManifestHead =
    "MVTP 1\n# hash bf_name original_host_format original_width original_height replacement_file\n";

std::string Row(uint64_t key, const std::string& bf_name, uint32_t width, uint32_t height, const char* ext) {
  return Hex16(key) + " " + bf_name + " RGBA8_UNORM " + std::to_string(width) + " " + std::to_string(height) + " " +
         Hex16(key) + "__" + bf_name + ext + "\n";
}

class TexdumpPackTemplate : public test::TexdumpRun {
 protected:
  PackManifest ReadTemplate() {
    PackManifest entries;
    std::string error;
    EXPECT_TRUE(ReadPackManifest(dir_ / "tpl", entries, error)) << error;
    return entries;
  }
};

TEST_F(TexdumpPackTemplate, OnlyDumpsNamedByAFullAliasGetAReplacement) {
  const test::PlacedDump picked = MakePlacedDump(Rgba8Fields(32, 8), 1);
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
  EXPECT_EQ(test::LastLine(result.out), "8 textures, 0 failed\n");

  const uint64_t key = ComputeContentKey(picked.expected);
  ASSERT_NE(key, 0u);
  const std::string file = Hex16(key) + "__bf_0000000a_0000000B.dds";
  EXPECT_EQ(Text("tpl/pack.txt"), kManifestHead + Row(key, "bf_0000000a_0000000B", 32, 8, ".dds"));
  EXPECT_EQ(Names("tpl"), (std::vector<std::string>{file, "pack.txt"}));
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
  EXPECT_EQ(test::LastLine(result.out), "3 textures, 0 failed\n");

  const PackManifest entries = ReadTemplate();
  ASSERT_EQ(entries.size(), 2u);
  const uint64_t key = entries[0].hash;
  EXPECT_EQ(entries[1].hash, key);
  EXPECT_EQ(Text("tpl/pack.txt"), kManifestHead + Row(key, "bf_00000001_00000001", 32, 8, ".dds") +
                                      Row(key, "bf_00000003_00000003", 64, 4, ".dds"));
  EXPECT_EQ(Names("tpl").size(), 3u);

  // The second dump's pack key (the CSV's last column) carries the first one's alias.
  std::istringstream csv(Text("r.csv"));
  std::vector<std::string> pack_keys;
  for (std::string line; std::getline(csv, line);) pack_keys.push_back(line.substr(line.rfind(',') + 1));
  EXPECT_EQ(pack_keys, (std::vector<std::string>{"pack_key", Hex16(key) + "__bf_00000001_00000001",
                                                 Hex16(key) + "__bf_00000001_00000001",
                                                 Hex16(key) + "__bf_00000003_00000003"}));
}

TEST_F(TexdumpPackTemplate, PngReplacementHoldsTheStoredChannelsWhateverTheView) {
  test::FetchFields f = Rgba8Fields(32, 8);
  f.swizzle[0] = 4;  // red reads constant 0
  f.swizzle[3] = 5;  // alpha reads constant 1
  const test::PlacedDump dump = MakePlacedDump(f, 9);
  Write("bf_0000cafe_00000001.bin", dump.bytes);

  const test::ProgramResult result =
      Run({"--out", "img", "--pack-template", "tpl", "--pack-png", "bf_0000cafe_00000001.bin"});
  EXPECT_EQ(result.status, 0) << result.out;
  const uint64_t key = ComputeContentKey(dump.expected);
  const std::string file = Hex16(key) + "__bf_0000cafe_00000001.png";
  EXPECT_EQ(Text("tpl/pack.txt"), kManifestHead + Row(key, "bf_0000cafe_00000001", 32, 8, ".png"));

  HostTextureData plain = dump.expected;
  plain.view = kIdentityView;
  const LevelRecord* base = FindLevel(plain, 0, 0);
  ASSERT_NE(base, nullptr);
  const test::DecodedPng png = test::DecodePngFile(dir_ / "tpl" / file);
  EXPECT_EQ(png.width, 32u);
  EXPECT_EQ(png.height, 8u);
  EXPECT_EQ(png.rgba, ExpandToRgba8(plain, *base, 0));
  // The ordinary image shows the view, so the two really differ.
  EXPECT_NE(test::DecodePngFile(dir_ / "img/bf_0000cafe_00000001.png").rgba, png.rgba);
}

TEST_F(TexdumpPackTemplate, TemplateWithoutEligibleDumpsStillGetsItsManifest) {
  Write("sample.bin", MakePlacedDump(Rgba8Fields(32, 8), 1).bytes);
  Write("bf_00000001_00000002.bin", std::vector<uint8_t>{'n', 'o'});
  const test::ProgramResult result = Run({"--no-images", "--pack-template", "a/b/tpl", "sample.bin"});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(Text("a/b/tpl/pack.txt"), kManifestHead);
  EXPECT_EQ(Names("a/b/tpl"), std::vector<std::string>{"pack.txt"});

  // An unreadable dump fails as always, and leaves the manifest empty.
  const test::ProgramResult failed = Run({"--pack-template", "tpl2", "bf_00000001_00000002.bin"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(Text("tpl2/pack.txt"), kManifestHead);
}

TEST_F(TexdumpPackTemplate, FilesThatCannotBeWrittenCountAsFailures) {
  const test::PlacedDump blocked = MakePlacedDump(Rgba8Fields(32, 8), 11);
  const test::PlacedDump fine = MakePlacedDump(Rgba8Fields(32, 8), 12);
  Write("in/bf_00000001_00000001.bin", blocked.bytes);
  Write("in/bf_00000002_00000002.bin", fine.bytes);
  // A folder in the way of the first replacement file: that dump fails and gets no images.
  fs::create_directories(dir_ / "tpl" / (Hex16(ComputeContentKey(blocked.expected)) + "__bf_00000001_00000001.dds"));
  const test::ProgramResult result = Run({"--out", "img", "--pack-template", "tpl", "in"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(test::LastLine(result.out), "2 textures, 1 failed\n");
  EXPECT_EQ(Text("tpl/pack.txt"),
            kManifestHead + Row(ComputeContentKey(fine.expected), "bf_00000002_00000002", 32, 8, ".dds"));
  EXPECT_EQ(Names("img"), (std::vector<std::string>{"bf_00000002_00000002.dds", "bf_00000002_00000002.png"}));

  // A folder in the way of the manifest: one failure more.
  fs::create_directories(dir_ / "tpl2/pack.txt");
  const test::ProgramResult manifest = Run({"--no-images", "--pack-template", "tpl2", "in/bf_00000002_00000002.bin"});
  EXPECT_EQ(manifest.status, 1);
  EXPECT_EQ(test::LastLine(manifest.out), "1 textures, 1 failed\n");
}

TEST_F(TexdumpPackTemplate, TemplateOfTheBundledSamplesReadsBackAndListsEveryFileItHolds) {
  const test::ProgramResult result =
      Run({"--no-images", "--pack-template", "tpl", (fs::path(MIVO_SOURCE_DIR) / "samples").string()});
  EXPECT_EQ(test::LastLine(result.out), std::to_string(test::SampleTable().size()) + " textures, 0 failed\n");
  const PackManifest entries = ReadTemplate();
  EXPECT_GE(entries.size(), 5u);
  std::vector<std::string> listed = {"pack.txt"};
  for (const ManifestEntry& e : entries) listed.push_back(e.replacement_file);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(Names("tpl"), listed);
}

}  // namespace
}  // namespace mivo
