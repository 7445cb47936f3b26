// Runs the built mivo_texdump in its normal mode on dumps written into a
// fresh folder, and checks its lines, CSV report and images exactly.
#include <gtest/gtest.h>


#include <filesystem>
#include <string>
#include <vector>

#include "pack/content_key.h"
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

// A dump whose images hold exactly the bytes its layout touches, and the
// texture that decoding it must give.
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

FetchFields Rgba8Fields(uint32_t dimension, uint32_t width, uint32_t height, uint32_t depth) {
  FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.dimension = dimension;
  f.width = width;
  f.height = height;
  f.depth = depth;
  f.pitch = 1;
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

std::vector<uint8_t> DecodePng(const fs::path& path, uint32_t& width, uint32_t& height) {
  test::DecodedPng png = test::DecodePngFile(path);
  width = png.width;
  height = png.height;
  return std::move(png.rgba);
}

class TexdumpNormalMode : public ::testing::Test {
 protected:
  test::ProgramResult Run(const std::vector<std::string>& args) {
    test::ProgramResult result = test::RunProgram(MIVO_TEXDUMP_PATH, args, dir_.path());
    EXPECT_EQ(result.err, "") << "nothing may go to standard error";
    return result;
  }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) { test::WriteFileBytes(dir_ / name, bytes); }

  test::TempFolder dir_;
};

TEST_F(TexdumpNormalMode, DecodedFailedAndUnreadableDumpsGiveTheirLinesAndRows) {
  fs::create_directory(dir_ / "in");
  const PlacedDump good = MakePlacedDump(Rgba8Fields(kDim2D, 4, 4, 1), 1);
  Write("in/a.bin", good.bytes);
  FetchFields not_texture = Rgba8Fields(kDim2D, 4, 4, 1);
  not_texture.type = 0;
  Write("in/b.bin", test::MakeDumpBytes(MakeFetchConstant(not_texture), std::vector<uint8_t>(4096, 1), {}));
  Write("in/c.bin", std::vector<uint8_t>{'n', 'o', 'p', 'e'});

  const test::ProgramResult result = Run({"--no-images", "--csv", "report.csv", "in"});
  EXPECT_EQ(result.out,
            "a: k_8_8_8_8 none linear 2D 4x4x1 levels 0-0 signs uuuu swizzle XYZW -> RGBA8_UNORM copy view RGBA "
            "flags -\n"
            "b: k_8_8_8_8 none linear 2D 0x0x1 levels 0-0 signs uuuu swizzle XYZW -> UNKNOWN copy view RGBA flags - "
            "FAILED: not a texture fetch constant (type 0)\n"
            "in/c.bin: not a MVTX file\n"
            "3 textures, 2 failed\n");
  EXPECT_EQ(result.status, 1);

  const uint64_t key = ComputeContentKey(good.expected);
  ASSERT_NE(key, 0u);
  EXPECT_EQ(ReadText(dir_ / "report.csv"),
            std::string("name,base,mip,format,endian,tiling,dim,width,height,depth_or_layers,min_level,levels,packed,"
                        "signs,swizzle,host_format,conversion,view,flags,decompressed,ok,host_hash,error,base_xxh3,"
                        "pack_key\n") +
                "a,00100000,00000000,k_8_8_8_8,none,linear,2D,4,4,1,0,1,0,uuuu,XYZW,RGBA8_UNORM,copy,RGBA,-,0,1," +
                Hex16(HashHostData(good.expected.data.data(), good.expected.data.size())) + ",," + Hex16(key) + "," +
                Hex16(key) + "__a\n" +
                "b,00100000,00000000,k_8_8_8_8,none,linear,2D,0,0,1,0,1,0,uuuu,XYZW,UNKNOWN,copy,RGBA,-,0,0,"
                "CBF29CE484222325,not a texture fetch constant (type 0),0000000000000000,\n");
}

TEST_F(TexdumpNormalMode, ImagesHoldEveryLevelAsDecodedAndTheFirstLevelOfEveryLayerStacked) {
  FetchFields plain = Rgba8Fields(kDim2D, 8, 8, 1);
  plain.max_level = 3;
  plain.mip_address = 0x00200000;
  const PlacedDump mipped = MakePlacedDump(plain, 2);
  const PlacedDump cube = MakePlacedDump(Rgba8Fields(kDimCube, 8, 8, 1), 3);
  const PlacedDump volume = MakePlacedDump(Rgba8Fields(kDim3D, 8, 8, 4), 4);
  Write("mipped.bin", mipped.bytes);
  Write("cube.bin", cube.bytes);
  Write("volume.bin", volume.bytes);

  const test::ProgramResult result = Run({"--out", "deep/er/images", "mipped.bin", "cube.bin", "volume.bin"});
  EXPECT_EQ(result.status, 0) << result.out;
  const fs::path out = dir_ / "deep/er/images";

  struct Expectation {
    const char* name;
    const PlacedDump* dump;
    uint32_t png_height;
    size_t png_bytes;  // the first level of every layer or slice
  };
  for (const Expectation& e : {Expectation{"mipped", &mipped, 8, 8 * 8 * 4}, Expectation{"cube", &cube, 48, 6 * 256},
                               Expectation{"volume", &volume, 32, 4 * 256}}) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(test::ReadFileBytes(out / (std::string(e.name) + ".dds")), BuildDds(e.dump->expected));
    uint32_t width = 0, height = 0;
    const std::vector<uint8_t> pixels = DecodePng(out / (std::string(e.name) + ".png"), width, height);
    EXPECT_EQ(width, 8u);
    EXPECT_EQ(height, e.png_height);
    // RGBA8 through the identity view: the PNG holds the decoded bytes, and
    // in every sample here the first level of each layer comes first in order.
    const std::vector<uint8_t>& data = e.dump->expected.data;
    ASSERT_GE(data.size(), e.png_bytes);
    EXPECT_EQ(pixels, std::vector<uint8_t>(data.begin(), data.begin() + e.png_bytes));
  }
}

TEST_F(TexdumpNormalMode, NoImagesStillCreatesTheOutputFolderAndAnEmptyRunStillWritesTheCsvHeader) {
  Write("junk.bin", std::vector<uint8_t>(3, 0));
  const test::ProgramResult result = Run({"--no-images", "--out", "a/b", "--csv", "r.csv", "junk.bin"});
  EXPECT_EQ(result.out, "junk.bin: not a MVTX file\n1 textures, 1 failed\n");
  EXPECT_TRUE(fs::is_directory(dir_ / "a/b"));
  EXPECT_TRUE(fs::is_empty(dir_ / "a/b"));
  EXPECT_EQ(ReadText(dir_ / "r.csv"),
            "name,base,mip,format,endian,tiling,dim,width,height,depth_or_layers,min_level,levels,packed,signs,swizzle,"
            "host_format,conversion,view,flags,decompressed,ok,host_hash,error,base_xxh3,pack_key\n");
}

TEST_F(TexdumpNormalMode, UnopenableCsvIsSkippedAndTheRunGoesOn) {
  const PlacedDump good = MakePlacedDump(Rgba8Fields(kDim2D, 4, 4, 1), 5);
  Write("good.bin", good.bytes);
  fs::create_directory(dir_ / "taken");  // a folder cannot be opened as the report
  const test::ProgramResult result = Run({"--csv", "taken", "--out", "img", "good.bin"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.substr(result.out.size() - 21), "1 textures, 0 failed\n");
  EXPECT_TRUE(fs::is_empty(dir_ / "taken"));
  EXPECT_TRUE(fs::exists(dir_ / "img/good.png"));
  EXPECT_TRUE(fs::exists(dir_ / "img/good.dds"));
}

TEST_F(TexdumpNormalMode, TexturesWithoutKeyHaveZeroKeyAndNoPackKey) {
  Write("cube.bin", MakePlacedDump(Rgba8Fields(kDimCube, 4, 4, 1), 6).bytes);
  Run({"--no-images", "--csv", "r.csv", "cube.bin"});
  const std::string csv = ReadText(dir_ / "r.csv");
  EXPECT_EQ(csv.substr(csv.size() - 19), ",0000000000000000,\n");
  EXPECT_NE(csv.find(",cube,4,4,6,0,1,0,"), std::string::npos);
}

}  // namespace
}  // namespace mivo
