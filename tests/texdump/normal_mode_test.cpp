// The normal mode of the built mivo_texdump: its lines, CSV report and images.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/content_key.h"
#include "support/png_read.h"
#include "support/texdump_run.h"
#include "texdump/dds_writer.h"
#include "texdump/report.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using test::Hex16;

class TexdumpNormalMode : public test::TexdumpRun {};

std::string HostHash(const HostTextureData& t) { return Hex16(HashHostData(t.data.data(), t.data.size())); }

TEST_F(TexdumpNormalMode, DecodedFailedAndUnreadableDumpsGiveTheirLinesAndRows) {
  const test::PlacedDump good = test::MakePlacedDump(test::Rgba8Fields(4, 4), 1);
  const test::PlacedDump cube = test::MakePlacedDump(test::Rgba8Fields(4, 4, kDimCube), 6);  // has no content key
  test::FetchFields not_texture = test::Rgba8Fields(4, 4);
  not_texture.type = 0;
  Write("in/a.bin", good.bytes);
  Write("in/b.bin", test::MakeDumpBytes(MakeFetchConstant(not_texture), std::vector<uint8_t>(4096, 1), {}));
  Write("in/c.bin", {'n', 'o', 'p', 'e'});
  Write("in/d.bin", cube.bytes);

  const test::ProgramResult result = Run({"--no-images", "--out", "o/p", "--csv", "report.csv", "in"});
  EXPECT_EQ(result.out,
            "a: k_8_8_8_8 none linear 2D 4x4x1 levels 0-0 signs uuuu swizzle XYZW -> RGBA8_UNORM copy view RGBA "
            "flags -\n"
            "b: k_8_8_8_8 none linear 2D 0x0x1 levels 0-0 signs uuuu swizzle XYZW -> UNKNOWN copy view RGBA flags - "
            "FAILED: not a texture fetch constant (type 0)\n"
            "in/c.bin: not a MVTX file\n"
            "d: k_8_8_8_8 none linear cube 4x4x6 levels 0-0 signs uuuu swizzle XYZW -> RGBA8_UNORM copy view RGBA "
            "flags -\n"
            "4 textures, 2 failed\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_TRUE(fs::is_directory(dir_ / "o/p")) << "--no-images still creates the output folder";
  EXPECT_TRUE(fs::is_empty(dir_ / "o/p"));

  const uint64_t key = ComputeContentKey(good.expected);
  ASSERT_NE(key, 0u);
  EXPECT_EQ(Text("report.csv"),
            std::string(kCsvHeader) +
                "a,00100000,00000000,k_8_8_8_8,none,linear,2D,4,4,1,0,1,0,uuuu,XYZW,RGBA8_UNORM,copy,RGBA,-,0,1," +
                HostHash(good.expected) + ",," + Hex16(key) + "," + Hex16(key) + "__a\n" +
                "b,00100000,00000000,k_8_8_8_8,none,linear,2D,0,0,1,0,1,0,uuuu,XYZW,UNKNOWN,copy,RGBA,-,0,0,"
                "CBF29CE484222325,not a texture fetch constant (type 0),0000000000000000,\n"
                "d,00100000,00000000,k_8_8_8_8,none,linear,cube,4,4,6,0,1,0,uuuu,XYZW,RGBA8_UNORM,copy,RGBA,-,0,1," +
                HostHash(cube.expected) + ",,0000000000000000,\n");
}

TEST_F(TexdumpNormalMode, ImagesHoldEveryLevelAsDecodedAndTheFirstLevelOfEveryLayerStacked) {
  test::FetchFields plain = test::Rgba8Fields(8, 8);
  plain.max_level = 3;
  plain.mip_address = 0x00200000;
  struct Case {
    const char* name;
    test::PlacedDump dump;
    uint32_t png_height;
  };
  const Case cases[] = {{"mipped", test::MakePlacedDump(plain, 2), 8},
                        {"cube", test::MakePlacedDump(test::Rgba8Fields(8, 8, kDimCube), 3), 48},
                        {"volume", test::MakePlacedDump(test::Rgba8Fields(8, 8, kDim3D, 4), 4), 32}};
  for (const Case& c : cases) Write(std::string(c.name) + ".bin", c.dump.bytes);

  const test::ProgramResult result = Run({"--out", "deep/er/images", "mipped.bin", "cube.bin", "volume.bin"});
  EXPECT_EQ(result.status, 0) << result.out;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path stem = dir_ / "deep/er/images" / c.name;
    EXPECT_EQ(test::ReadFileBytes(stem.string() + ".dds"), BuildDds(c.dump.expected));
    const test::DecodedPng png = test::DecodePngFile(stem.string() + ".png");
    EXPECT_EQ(png.width, 8u);
    EXPECT_EQ(png.height, c.png_height);
    // RGBA8 through the identity view: the PNG holds the decoded bytes, and
    // in every texture here the first level of each layer comes first in order.
    const std::vector<uint8_t>& data = c.dump.expected.data;
    const size_t first_levels = size_t(8) * c.png_height * 4;
    ASSERT_GE(data.size(), first_levels);
    EXPECT_EQ(png.rgba, std::vector<uint8_t>(data.begin(), data.begin() + first_levels));
  }
}

TEST_F(TexdumpNormalMode, CsvGetsItsHeaderEvenWithoutRowsAndOneThatCannotBeOpenedIsSkipped) {
  Write("junk.bin", std::vector<uint8_t>(3, 0));
  const test::ProgramResult junk = Run({"--csv", "r.csv", "junk.bin"});
  EXPECT_EQ(junk.out, "junk.bin: not a MVTX file\n1 textures, 1 failed\n");
  EXPECT_EQ(Text("r.csv"), kCsvHeader);

  Write("good.bin", test::MakePlacedDump(test::Rgba8Fields(4, 4), 5).bytes);
  fs::create_directory(dir_ / "taken");  // a folder cannot be opened as the report
  const test::ProgramResult result = Run({"--csv", "taken", "--out", "img", "good.bin"});
  EXPECT_EQ(result.status, 1) << "a report that was asked for and not written fails the run";
  EXPECT_EQ(test::LastLine(result.out), "1 textures, 0 failed\n");
  EXPECT_TRUE(fs::is_empty(dir_ / "taken"));
  EXPECT_EQ(Names("img"), (std::vector<std::string>{"good.dds", "good.png"}));
}

}  // namespace
}  // namespace mivo
