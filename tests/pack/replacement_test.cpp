#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pack/replacement.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/replacement_files.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using test::DdsFields;
using test::MakeDdsHeader;
using test::MakePngBytes;

constexpr const char* kAbsent = "replacement absent or outside pack";
constexpr const char* kUnreadable = "replacement unreadable/too large";
constexpr const char* kNot8Bit = "requires an 8-bit PNG";
constexpr const char* kNeedsAlpha = "colour PNG requires an explicit alpha channel";
constexpr const char* kPngDecode = "PNG decode/size failure";
constexpr const char* kBadHeader = "invalid DDS header";
constexpr const char* kNotBounded2D = "DDS must be a bounded single 2D image";
constexpr const char* kDx10Shape = "unsupported DDS DX10 shape/alpha mode";
constexpr const char* kNotLinear = "DDS requires linear BC1/BC3/BC5/BC7 or raw UNORM/RG SNORM; sRGB changes sampling";
constexpr const char* kPremultiplied = "premultiplied DDS is incompatible";
constexpr const char* kPixelFormat = "unsupported DDS pixel format";
constexpr const char* kBcDims = "BC base dimensions must be multiples of four; use PNG/raw DDS for odd sizes";
constexpr const char* kDdsTooLarge = "DDS exceeds 128 MiB";
constexpr const char* kTruncated = "truncated DDS mip data";
constexpr const char* kTrailing = "unexpected trailing DDS data";
constexpr const char* kFamily = "format family/alpha/signedness mismatch";
constexpr const char* kBc7Chain = "BC7 DDS requires a complete mip chain";
constexpr const char* kCannotDecode = "cannot decode DDS for mip generation";
constexpr const char* kMipsTooLarge = "generated mips exceed 128 MiB";

// A BC1 block of opaque white, a BC3 block of opaque white, and a BC5 block
// whose red is 200 and green 100 everywhere.
const std::vector<uint8_t> kWhiteBc1 = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kWhiteBc3 = {255, 255, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kBc5 = {200, 200, 0, 0, 0, 0, 0, 0, 100, 100, 0, 0, 0, 0, 0, 0};

std::vector<uint8_t> Repeat(const std::vector<uint8_t>& unit, size_t count) {
  std::vector<uint8_t> out;
  out.reserve(unit.size() * count);
  for (size_t i = 0; i < count; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

DdsFields Dx10(uint32_t dxgi, uint32_t width, uint32_t height, uint32_t mips = 0) {
  DdsFields f;
  f.dxgi_format = dxgi;
  f.width = width;
  f.height = height;
  f.mip_count = mips;
  return f;
}

DdsFields Legacy(const char* fourcc, uint32_t width, uint32_t height, uint32_t mips = 0) {
  DdsFields f = Dx10(0, width, height, mips);
  f.fourcc = fourcc;
  return f;
}

struct Loaded {
  bool ok = false;
  std::string error;
  HostTextureData texture;
};

class ReplacementTest : public ::testing::Test {
 protected:

  Loaded LoadFile(const std::string& file, HostFormat original, const fs::path& folder) {
    ManifestEntry entry;
    entry.replacement_file = file;
    entry.original_host_format = original;
    Loaded result;
    result.ok = LoadReplacement(folder, entry, result.texture, result.error);
    EXPECT_EQ(result.ok, result.error.empty()) << result.error;
    return result;
  }
  Loaded LoadFile(const std::string& file, HostFormat original) { return LoadFile(file, original, dir_); }

  // Writes `bytes` as the replacement `file` and loads it.
  Loaded Load(const std::vector<uint8_t>& bytes, HostFormat original, const std::string& file = "r.dds") {
    test::WriteFileBytes(dir_ / file, bytes);
    return LoadFile(file, original);
  }
  std::string Error(const std::vector<uint8_t>& bytes, HostFormat original, const std::string& file = "r.dds") {
    return Load(bytes, original, file).error;
  }

  test::TempFolder temp_;
  fs::path dir_ = temp_.path();
};

// Level sizes and offsets of a finished texture: a complete chain, back to back.
void ExpectCompleteChain(const HostTextureData& t) {
  uint32_t w = t.width, h = t.height;
  uint64_t offset = 0;
  ASSERT_EQ(t.level_records.size(), t.levels);
  for (uint32_t i = 0; i < t.levels; ++i) {
    const LevelRecord& r = t.level_records[i];
    EXPECT_EQ(r.mip, i);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
    EXPECT_EQ(r.offset, offset);
    offset += r.size;
    w = std::max(1u, w >> 1);
    h = std::max(1u, h >> 1);
  }
  EXPECT_EQ(w == 1 && h == 1, true);
  EXPECT_EQ(t.data.size(), offset);
  EXPECT_EQ(t.dim, kDim2D);
  EXPECT_EQ(t.view, kIdentityView);
  EXPECT_EQ(t.min_level, 0u);
}

std::vector<uint8_t> LevelBytes(const HostTextureData& t, uint32_t mip) {
  const LevelRecord& r = t.level_records.at(mip);
  return std::vector<uint8_t>(t.data.begin() + ptrdiff_t(r.offset), t.data.begin() + ptrdiff_t(r.offset + r.size));
}

// --- where the file may lie ---------------------------------------------

TEST_F(ReplacementTest, FilesOutsideThePackFolderAreRefusedEvenThroughLinks) {
  const std::vector<uint8_t> png = MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4});
  const fs::path pack = dir_ / "pack";
  fs::create_directories(pack / "sub");
  test::WriteFileBytes(dir_ / "outside.png", png);
  test::WriteFileBytes(pack / "sub" / "deep.png", png);
  fs::create_symlink(dir_ / "outside.png", pack / "link.png");

  EXPECT_EQ(LoadFile("x.png", HostFormat::RGBA8_UNORM, dir_ / "missing").error, "pack folder unavailable");
  EXPECT_EQ(LoadFile("absent.png", HostFormat::RGBA8_UNORM, pack).error, kAbsent);
  EXPECT_EQ(LoadFile("link.png", HostFormat::RGBA8_UNORM, pack).error, kAbsent);
  EXPECT_EQ(LoadFile("sub/deep.png", HostFormat::RGBA8_UNORM, pack).error, kAbsent);
  EXPECT_EQ(LoadFile("../outside.png", HostFormat::RGBA8_UNORM, pack).error, kAbsent);
  EXPECT_EQ(LoadFile("", HostFormat::RGBA8_UNORM, pack).error, kAbsent);
  // A folder bearing the name is found but cannot be read as a file.
  fs::create_directory(pack / "folder.png");
  EXPECT_EQ(LoadFile("folder.png", HostFormat::RGBA8_UNORM, pack).error, kUnreadable);
}

TEST_F(ReplacementTest, LinksInsideThePackAreFollowedAndTheTargetNameChoosesTheDecoder) {
  const fs::path pack = dir_ / "pack";
  fs::create_directories(pack);
  test::WriteFileBytes(pack / "image.png", MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}));
  test::WriteFileBytes(pack / "blocks.dds", Concat(MakeDdsHeader(Legacy("DXT1", 4, 4)), kWhiteBc1));
  fs::create_symlink("image.png", pack / "a.dds");
  fs::create_symlink(pack / "blocks.dds", pack / "b.png");
  // The pack folder itself reached through a link resolves too.
  fs::create_directory_symlink(pack, dir_ / "pack_link");

  const Loaded as_png = LoadFile("a.dds", HostFormat::RGBA8_UNORM, dir_ / "pack_link");
  ASSERT_TRUE(as_png.ok) << as_png.error;
  EXPECT_EQ(as_png.texture.data, (std::vector<uint8_t>{1, 2, 3, 4}));
  const Loaded as_dds = LoadFile("b.png", HostFormat::BC1_UNORM, pack);
  ASSERT_TRUE(as_dds.ok) << as_dds.error;
  EXPECT_EQ(as_dds.texture.host_format, HostFormat::RGBA8_UNORM);
  EXPECT_EQ(as_dds.texture.levels, 3u);
}

TEST_F(ReplacementTest, FilesAboveTheSizeCeilingAreRefusedBeforeParsing) {
  // Sparse: a valid DDS header followed by zeros, one byte over the ceiling.
  test::WriteFileBytes(dir_ / "big.dds", MakeDdsHeader(Dx10(28, 4, 4)));
  fs::resize_file(dir_ / "big.dds", 134217877);
  EXPECT_EQ(LoadFile("big.dds", HostFormat::RGBA8_UNORM).error, kUnreadable);
}

// --- PNG ---------------------------------------------------------------------

TEST_F(ReplacementTest, OnlyEightBitPngFilesAreAccepted) {
  const std::vector<uint8_t> good = MakePngBytes(2, 1, 8, 6, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(Error(std::vector<uint8_t>(good.begin(), good.begin() + 32), HostFormat::RGBA8_UNORM, "r.png"), kNot8Bit);
  std::vector<uint8_t> bad_signature = good;
  bad_signature[1] = 'p';
  EXPECT_EQ(Error(bad_signature, HostFormat::RGBA8_UNORM, "r.png"), kNot8Bit);
  std::vector<uint8_t> no_ihdr = good;
  no_ihdr[12] = 'i';
  EXPECT_EQ(Error(no_ihdr, HostFormat::RGBA8_UNORM, "r.png"), kNot8Bit);
  EXPECT_EQ(Error(MakePngBytes(1, 1, 16, 6, std::vector<uint8_t>(8, 1)), HostFormat::RGBA8_UNORM, "r.png"), kNot8Bit);
  EXPECT_EQ(Error(MakePngBytes(8, 1, 1, 0, {0xAA}), HostFormat::R8_UNORM, "r.png"), kNot8Bit);
  // PNG bytes under a .dds name are read as DDS.
  EXPECT_EQ(Error(good, HostFormat::RGBA8_UNORM, "r.dds"), kBadHeader);
  EXPECT_TRUE(Load(good, HostFormat::RGBA8_UNORM, "r.png").ok);
}

TEST_F(ReplacementTest, ColourOriginalsNeedPngWithAlphaWhileOneAndTwoChannelOnesTakeAny) {
  const std::vector<uint8_t> rgb = MakePngBytes(1, 1, 8, 2, {10, 20, 30});
  const std::vector<uint8_t> grey = MakePngBytes(1, 1, 8, 0, {40});
  const std::vector<uint8_t> palette = MakePngBytes(1, 1, 8, 3, {0}, {{"PLTE", {1, 2, 3}}, {"tRNS", {0}}});
  const std::vector<uint8_t> grey_alpha = MakePngBytes(1, 1, 8, 4, {50, 60});
  for (HostFormat colour : {HostFormat::RGBA8_UNORM, HostFormat::BC1_UNORM, HostFormat::BC7_UNORM}) {
    EXPECT_EQ(Error(rgb, colour, "r.png"), kNeedsAlpha);
    EXPECT_EQ(Error(grey, colour, "r.png"), kNeedsAlpha);
    EXPECT_EQ(Error(palette, colour, "r.png"), kNeedsAlpha);
  }
  const Loaded ga = Load(grey_alpha, HostFormat::BC3_UNORM, "r.png");
  ASSERT_TRUE(ga.ok) << ga.error;
  EXPECT_EQ(ga.texture.data, (std::vector<uint8_t>{50, 50, 50, 60}));

  const Loaded red = Load(rgb, HostFormat::R8_UNORM, "r.png");
  ASSERT_TRUE(red.ok) << red.error;
  EXPECT_EQ(red.texture.host_format, HostFormat::R8_UNORM);
  EXPECT_EQ(red.texture.data, (std::vector<uint8_t>{10}));
  const Loaded rg = Load(rgb, HostFormat::BC5_UNORM, "r.png");
  ASSERT_TRUE(rg.ok) << rg.error;
  EXPECT_EQ(rg.texture.host_format, HostFormat::RG8_UNORM);
  EXPECT_EQ(rg.texture.data, (std::vector<uint8_t>{10, 20}));
}

TEST_F(ReplacementTest, PngForSignedTwoChannelOriginalsIsMappedOntoSignedBytes) {
  const std::vector<uint8_t> rows = {0, 255, 0, 127, 128, 0, 255, 64, 0, 1, 2, 0};
  const Loaded loaded = Load(MakePngBytes(4, 1, 8, 2, rows), HostFormat::BC5_SNORM, "r.png");
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.texture.host_format, HostFormat::RG8_SNORM);
  // 0 -> -127, 255 -> 127, 127 and 128 -> 0, 64 -> round(-63.25) = -63, 1 -> -126, 2 -> -125.
  const std::vector<int8_t> expected = {-127, 127, 0, 0, 127, -63, -126, -125};
  const std::vector<uint8_t> base = LevelBytes(loaded.texture, 0);
  ASSERT_EQ(base.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(int8_t(base[i]), expected[i]) << i;
}

TEST_F(ReplacementTest, PngSizesOutsideTheLimitsAreDecodeFailures) {
  EXPECT_EQ(Error(test::MakePngHeaderOnly(8193, 1, 8, 6), HostFormat::RGBA8_UNORM, "r.png"), kPngDecode);
  EXPECT_EQ(Error(test::MakePngHeaderOnly(8192, 4097, 8, 6), HostFormat::RGBA8_UNORM, "r.png"), kPngDecode);
  EXPECT_EQ(Error(test::MakePngHeaderOnly(0, 1, 8, 6), HostFormat::RGBA8_UNORM, "r.png"), kPngDecode);
}

// Every image of the public suite, for a colour original and a one-channel
// original: the bit depth and colour type in each name decide the outcome.
TEST_F(ReplacementTest, PngSuiteImagesGetTheOutcomeTheirTypeAndDepthGive) {
  const fs::path suite = fs::path(MIVO_SOURCE_DIR) / "tests" / "data" / "pngsuite";
  int checked = 0;
  for (const fs::directory_entry& file : fs::directory_iterator(suite)) {
    const std::string name = file.path().filename().string();
    if (file.path().extension() != ".png" || name[0] == 'x') continue;
    SCOPED_TRACE(name);
    fs::copy_file(file.path(), dir_ / name);
    const std::string depth = name.substr(6, 2);
    const char colour = name[4];
    const bool has_alpha = colour == '4' || colour == '6';
    const Loaded rgba = LoadFile(name, HostFormat::RGBA8_UNORM);
    const Loaded red = LoadFile(name, HostFormat::R8_UNORM);
    if (depth != "08") {
      EXPECT_EQ(rgba.error, kNot8Bit);
      EXPECT_EQ(red.error, kNot8Bit);
    } else {
      EXPECT_EQ(rgba.error, has_alpha ? "" : kNeedsAlpha);
      ASSERT_TRUE(red.ok);
      EXPECT_EQ(red.texture.host_format, HostFormat::R8_UNORM);
      ExpectCompleteChain(red.texture);
      if (has_alpha) {
        EXPECT_EQ(rgba.texture.host_format, HostFormat::RGBA8_UNORM);
        ExpectCompleteChain(rgba.texture);
        for (size_t i = 0; i < red.texture.level_records[0].size; ++i) {
          ASSERT_EQ(red.texture.data[i], rgba.texture.data[i * 4]);
        }
      }
    }
    ++checked;
  }
  EXPECT_EQ(checked, 43);
}

TEST_F(ReplacementTest, CorruptPngSuiteFilesAreRefusedCleanly) {
  struct Case {
    const char* name;
    const char* rgba_error;  // for an RGBA8_UNORM original
    const char* red_error;   // for an R8_UNORM original
  };
  const Case cases[] = {
      {"xc1n0g08.png", kNeedsAlpha, kPngDecode},  // colour type 1
      {"xc9n2c08.png", kNeedsAlpha, kPngDecode},  // colour type 9
      {"xcrn0g04.png", kNot8Bit, kNot8Bit},       // line ends mangled: signature broken
      {"xd0n2c08.png", kNot8Bit, kNot8Bit},       // bit depth 0
      {"xd3n2c08.png", kNot8Bit, kNot8Bit},       // bit depth 3
      {"xd9n2c08.png", kNot8Bit, kNot8Bit},       // bit depth 99
      {"xdtn0g01.png", kNot8Bit, kNot8Bit},       // no image data, 1-bit
      {"xlfn0g04.png", kNot8Bit, kNot8Bit},       // line feeds mangled
      {"xs1n0g01.png", kNot8Bit, kNot8Bit},       // signature byte 1
      {"xs2n0g01.png", kNot8Bit, kNot8Bit},       // signature byte 2
      {"xs4n0g01.png", kNot8Bit, kNot8Bit},       // signature byte 4
      {"xs7n0g01.png", kNot8Bit, kNot8Bit},       // signature byte 7
  };
  const fs::path suite = fs::path(MIVO_SOURCE_DIR) / "tests" / "data" / "pngsuite";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::copy_file(suite / c.name, dir_ / c.name);
    EXPECT_EQ(LoadFile(c.name, HostFormat::RGBA8_UNORM).error, c.rgba_error);
    EXPECT_EQ(LoadFile(c.name, HostFormat::R8_UNORM).error, c.red_error);
  }
}

// --- mip generation ---------------------------------------------------------

TEST_F(ReplacementTest, PngLevelsAreGeneratedDownToOneByOne) {
  const Loaded one = Load(MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}), HostFormat::RGBA8_UNORM, "r.png");
  ASSERT_TRUE(one.ok);
  EXPECT_EQ(one.texture.levels, 1u);
  EXPECT_EQ(one.texture.data.size(), 4u);

  std::vector<uint8_t> rows(8 * 2);
  for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i * 10);
  const Loaded wide = Load(MakePngBytes(8, 2, 8, 0, rows), HostFormat::R8_UNORM, "r.png");
  ASSERT_TRUE(wide.ok);
  ASSERT_EQ(wide.texture.levels, 4u);
  ExpectCompleteChain(wide.texture);
  // 2x2 footprints: (0+10+80+90)/4 = 45, (20+30+100+110)/4 = 65, ...
  EXPECT_EQ(LevelBytes(wide.texture, 1), (std::vector<uint8_t>{45, 65, 85, 105}));
  EXPECT_EQ(LevelBytes(wide.texture, 2), (std::vector<uint8_t>{55, 95}));
  EXPECT_EQ(LevelBytes(wide.texture, 3), (std::vector<uint8_t>{75}));
}

TEST_F(ReplacementTest, OddLevelsAverageFootprintsOfThreeAndRoundHalfAwayFromZero) {
  // 3x1 halves to 1x1 over all three columns: (10 + 20 + 61) / 3 = 30.33.
  const Loaded three = Load(MakePngBytes(3, 1, 8, 0, {10, 20, 61}), HostFormat::R8_UNORM, "r.png");
  ASSERT_TRUE(three.ok);
  EXPECT_EQ(LevelBytes(three.texture, 1), (std::vector<uint8_t>{30}));
  // 5x1: columns [0,2) and [2,5).
  const Loaded five = Load(MakePngBytes(5, 1, 8, 0, {0, 1, 3, 4, 8}), HostFormat::R8_UNORM, "r.png");
  ASSERT_TRUE(five.ok);
  EXPECT_EQ(LevelBytes(five.texture, 1), (std::vector<uint8_t>{1, 5}));  // 0.5 -> 1, 5
  // Every RGBA channel on its own, alpha included.
  const Loaded rgba = Load(MakePngBytes(2, 1, 8, 6, {0, 255, 100, 1, 1, 0, 103, 2}), HostFormat::RGBA8_UNORM, "r.png");
  ASSERT_TRUE(rgba.ok);
  EXPECT_EQ(LevelBytes(rgba.texture, 1), (std::vector<uint8_t>{1, 128, 102, 2}));
}

TEST_F(ReplacementTest, TwoChannelLevelsAverageUnitVectors) {
  // A flat normal stays flat.
  const Loaded flat = Load(MakePngBytes(2, 2, 8, 2, Repeat({128, 128, 0}, 4)), HostFormat::RG8_UNORM, "r.png");
  ASSERT_TRUE(flat.ok);
  EXPECT_EQ(LevelBytes(flat.texture, 1), (std::vector<uint8_t>{128, 128}));
  // Opposite x with no z: the tiny common y is all that is left, and it is
  // normalised to full length rather than averaged to nothing.
  const Loaded opposite = Load(MakePngBytes(2, 1, 8, 2, {255, 128, 0, 0, 128, 0}), HostFormat::RG8_UNORM, "r.png");
  ASSERT_TRUE(opposite.ok);
  EXPECT_EQ(LevelBytes(opposite.texture, 1), (std::vector<uint8_t>{128, 255}));
  // Exactly cancelling vectors have no direction: both channels become 0.
  const Loaded cancel = Load(MakePngBytes(2, 1, 8, 2, {0, 255, 0, 255, 0, 0}), HostFormat::RG8_SNORM, "r.png");
  ASSERT_TRUE(cancel.ok);
  EXPECT_EQ(LevelBytes(cancel.texture, 0), (std::vector<uint8_t>{0x81, 0x7F, 0x7F, 0x81}));
  EXPECT_EQ(LevelBytes(cancel.texture, 1), (std::vector<uint8_t>{0, 0}));
  // Two tilted normals: (x, z) = (0.6, 0.8) and (0, 1) give the bisector.
  // Signed bytes 76 (0.598) and 0 stand for them; the sum's direction is
  // x/len = 0.598 / |(0.598, 0, 1.801)| = 0.3153 -> 40.
  const Loaded tilted = Load(MakePngBytes(2, 1, 8, 2, {204, 128, 0, 128, 128, 0}), HostFormat::RG8_SNORM, "r.png");
  ASSERT_TRUE(tilted.ok);
  const std::vector<uint8_t> base = LevelBytes(tilted.texture, 0);
  ASSERT_EQ(int8_t(base[0]), 76);
  EXPECT_EQ(LevelBytes(tilted.texture, 1), (std::vector<uint8_t>{40, 0}));
}

TEST_F(ReplacementTest, AReusedRecordHoldsOnlyTheNewTexture) {
  Loaded first = Load(MakePngBytes(4, 4, 8, 6, std::vector<uint8_t>(64, 9)), HostFormat::RGBA8_UNORM, "a.png");
  ASSERT_TRUE(first.ok);
  test::WriteFileBytes(dir_ / "b.png", MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}));
  ManifestEntry entry;
  entry.replacement_file = "b.png";
  entry.original_host_format = HostFormat::RGBA8_UNORM;
  std::string error;
  ASSERT_TRUE(LoadReplacement(dir_, entry, first.texture, error));
  EXPECT_EQ(first.texture.level_records.size(), 1u);
  EXPECT_EQ(first.texture.data, (std::vector<uint8_t>{1, 2, 3, 4}));
}

// --- DDS headers --------------------------------------------------------------

TEST_F(ReplacementTest, MalformedDdsHeadersAreRefused) {
  const std::vector<uint8_t> texels(64, 7);
  const std::vector<uint8_t> good = Concat(MakeDdsHeader(Dx10(28, 4, 4)), texels);
  ASSERT_TRUE(Load(good, HostFormat::RGBA8_UNORM).ok);
  EXPECT_EQ(Error(std::vector<uint8_t>(good.begin(), good.begin() + 127), HostFormat::RGBA8_UNORM), kBadHeader);
  std::vector<uint8_t> magic = good;
  magic[3] = 'X';
  EXPECT_EQ(Error(magic, HostFormat::RGBA8_UNORM), kBadHeader);
  DdsFields size = Dx10(28, 4, 4);
  size.header_size = 123;
  EXPECT_EQ(Error(Concat(MakeDdsHeader(size), texels), HostFormat::RGBA8_UNORM), kBadHeader);
  size = Dx10(28, 4, 4);
  size.pixel_format_size = 31;
  EXPECT_EQ(Error(Concat(MakeDdsHeader(size), texels), HostFormat::RGBA8_UNORM), kBadHeader);
}

TEST_F(ReplacementTest, DdsMustBeOneBoundedTwoDimensionalImage) {
  auto error = [&](DdsFields f) { return Error(MakeDdsHeader(f), HostFormat::RGBA8_UNORM); };
  EXPECT_EQ(error(Dx10(28, 0, 4)), kNotBounded2D);
  EXPECT_EQ(error(Dx10(28, 4, 0)), kNotBounded2D);
  EXPECT_EQ(error(Dx10(28, 8193, 4)), kNotBounded2D);
  EXPECT_EQ(error(Dx10(28, 4, 8193)), kNotBounded2D);
  EXPECT_EQ(error(Dx10(28, 4, 4, 4)), kNotBounded2D);  // a 4x4 chain has 3 levels
  DdsFields volume = Dx10(28, 4, 4);
  volume.depth = 2;
  EXPECT_EQ(error(volume), kNotBounded2D);
  DdsFields cube = Dx10(28, 4, 4);
  cube.caps2 = 0xFE00;
  EXPECT_EQ(error(cube), kNotBounded2D);
  // Depth 1 and a mip count of 0 (one level) are fine.
  DdsFields flat = Dx10(28, 4, 4);
  flat.depth = 1;
  const Loaded loaded = Load(Concat(MakeDdsHeader(flat), std::vector<uint8_t>(64, 1)), HostFormat::RGBA8_UNORM);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.texture.levels, 3u);
}

TEST_F(ReplacementTest, Dx10ExtensionShapeFormatAndAlphaModeAreChecked) {
  auto error = [&](DdsFields f) {
    return Error(Concat(MakeDdsHeader(f), std::vector<uint8_t>(64, 1)), HostFormat::RGBA8_UNORM);
  };
  const std::vector<uint8_t> short_dx10 = MakeDdsHeader(Dx10(28, 4, 4));
  EXPECT_EQ(Error(std::vector<uint8_t>(short_dx10.begin(), short_dx10.end() - 1), HostFormat::RGBA8_UNORM),
            kDx10Shape);
  DdsFields f = Dx10(28, 4, 4);
  f.resource_dimension = 2;
  EXPECT_EQ(error(f), kDx10Shape);
  f = Dx10(28, 4, 4);
  f.misc_flag = 4;  // cube
  EXPECT_EQ(error(f), kDx10Shape);
  for (uint32_t array_size : {0u, 2u}) {
    f = Dx10(28, 4, 4);
    f.array_size = array_size;
    EXPECT_EQ(error(f), kDx10Shape);
  }
  f = Dx10(28, 4, 4);
  f.alpha_mode = 4;
  EXPECT_EQ(error(f), kDx10Shape);
  // The shape is checked before the format, the format before the alpha mode.
  f = Dx10(29, 4, 4);
  f.array_size = 0;
  EXPECT_EQ(error(f), kDx10Shape);
  f = Dx10(29, 4, 4);
  f.alpha_mode = 2;
  EXPECT_EQ(error(f), kNotLinear);
  f = Dx10(28, 4, 4);
  f.alpha_mode = 2;
  EXPECT_EQ(error(f), kPremultiplied);
  for (uint32_t alpha : {1u, 3u}) {
    f = Dx10(28, 4, 4);
    f.alpha_mode = alpha;
    EXPECT_EQ(error(f), "");
  }
  // sRGB, BC2, BC4, BGRA, 16-bit and float formats.
  for (uint32_t dxgi : {0u, 2u, 10u, 24u, 29u, 72u, 74u, 78u, 80u, 87u, 99u, 200u}) {
    EXPECT_EQ(error(Dx10(dxgi, 4, 4)), kNotLinear) << dxgi;
  }
}

TEST_F(ReplacementTest, EveryListedDxgiFormatLoadsAsItsHostFormat) {
  struct Row {
    uint32_t dxgi;
    HostFormat format;
    size_t bytes;  // a 4x4 single level
  };
  const Row rows[] = {{28, HostFormat::RGBA8_UNORM, 64}, {49, HostFormat::RG8_UNORM, 32},
                      {51, HostFormat::RG8_SNORM, 32},   {61, HostFormat::R8_UNORM, 16},
                      {71, HostFormat::BC1_UNORM, 8},    {77, HostFormat::BC3_UNORM, 16},
                      {83, HostFormat::BC5_UNORM, 16},   {84, HostFormat::BC5_SNORM, 16},
                      {98, HostFormat::BC7_UNORM, 16}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dxgi);
    // A full chain of a 4x4 texture: three levels; block levels take a block each.
    const size_t chain = IsBlockCompressed(row.format) ? row.bytes * 3 : row.bytes + row.bytes / 4 + row.bytes / 16;
    const Loaded loaded =
        Load(Concat(MakeDdsHeader(Dx10(row.dxgi, 4, 4, 3)), test::PatternBytes(chain, row.dxgi)), row.format);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(loaded.texture.host_format, row.format);
    EXPECT_EQ(loaded.texture.data, test::PatternBytes(chain, row.dxgi));
    ExpectCompleteChain(loaded.texture);
  }
}

TEST_F(ReplacementTest, LegacyFourCharacterCodesMapToBlockFormats) {
  const Loaded dxt1 = Load(Concat(MakeDdsHeader(Legacy("DXT1", 4, 4, 3)), Repeat(kWhiteBc1, 3)), HostFormat::BC1_UNORM);
  ASSERT_TRUE(dxt1.ok) << dxt1.error;
  EXPECT_EQ(dxt1.texture.host_format, HostFormat::BC1_UNORM);
  const Loaded dxt5 = Load(Concat(MakeDdsHeader(Legacy("DXT5", 4, 4, 3)), Repeat(kWhiteBc3, 3)), HostFormat::BC3_UNORM);
  ASSERT_TRUE(dxt5.ok) << dxt5.error;
  EXPECT_EQ(dxt5.texture.host_format, HostFormat::BC3_UNORM);
  for (const char* code : {"ATI2", "BC5U"}) {
    const Loaded bc5 = Load(Concat(MakeDdsHeader(Legacy(code, 4, 4, 3)), Repeat(kBc5, 3)), HostFormat::RG8_UNORM);
    ASSERT_TRUE(bc5.ok) << bc5.error;
    EXPECT_EQ(bc5.texture.host_format, HostFormat::BC5_UNORM);
    // No legacy code is signed.
    EXPECT_EQ(Error(Concat(MakeDdsHeader(Legacy(code, 4, 4, 3)), Repeat(kBc5, 3)), HostFormat::RG8_SNORM), kFamily);
  }
  for (const char* code : {"DXT3", "DXT2", "DXT4", "ATI1", "BC4U", "dxt1"}) {
    EXPECT_EQ(Error(Concat(MakeDdsHeader(Legacy(code, 4, 4)), kWhiteBc3), HostFormat::BC3_UNORM), kPixelFormat) << code;
  }
  // Bit-mask layouts, and codes without the four-character flag, are refused.
  DdsFields masks = Legacy("DXT1", 4, 4);
  masks.pixel_format_flags = 0x41;  // RGB with alpha
  EXPECT_EQ(Error(Concat(MakeDdsHeader(masks), kWhiteBc1), HostFormat::BC1_UNORM), kPixelFormat);
  DdsFields dx10_no_flag = Dx10(28, 4, 4);
  dx10_no_flag.pixel_format_flags = 0;
  EXPECT_EQ(Error(Concat(MakeDdsHeader(dx10_no_flag), std::vector<uint8_t>(64)), HostFormat::RGBA8_UNORM),
            kPixelFormat);
}

TEST_F(ReplacementTest, BlockCompressedDdsNeedsSidesThatAreMultiplesOfFour) {
  EXPECT_EQ(Error(Concat(MakeDdsHeader(Legacy("DXT1", 6, 8)), Repeat(kWhiteBc1, 4)), HostFormat::BC1_UNORM), kBcDims);
  EXPECT_EQ(Error(Concat(MakeDdsHeader(Dx10(98, 8, 2)), Repeat(kWhiteBc3, 2)), HostFormat::BC7_UNORM), kBcDims);
  // Plain formats may have any size.
  EXPECT_TRUE(Load(Concat(MakeDdsHeader(Dx10(61, 3, 5)), std::vector<uint8_t>(15, 1)), HostFormat::R8_UNORM).ok);
}

TEST_F(ReplacementTest, DdsLevelDataMustFillTheFileExactly) {
  // 8x8 BC1 with four levels: 32 + 8 + 8 + 8 bytes.
  const std::vector<uint8_t> header = MakeDdsHeader(Legacy("DXT1", 8, 8, 4));
  const std::vector<uint8_t> file = Concat(header, Repeat(kWhiteBc1, 7));
  const Loaded loaded = Load(file, HostFormat::BC1_UNORM);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  EXPECT_EQ(loaded.texture.data.size(), 56u);
  ExpectCompleteChain(loaded.texture);
  EXPECT_EQ(Error(std::vector<uint8_t>(file.begin(), file.end() - 1), HostFormat::BC1_UNORM), kTruncated);
  EXPECT_EQ(Error(Concat(file, {0}), HostFormat::BC1_UNORM), kTrailing);
  EXPECT_EQ(Error(header, HostFormat::BC1_UNORM), kTruncated);
}

TEST_F(ReplacementTest, DdsLevelsBeyondTheTexelLimitAreRefusedWhateverTheFileLength) {
  // 8192 x 8192 RGBA8 is 256 MiB: refused from the header alone.
  EXPECT_EQ(Error(MakeDdsHeader(Dx10(28, 8192, 8192)), HostFormat::RGBA8_UNORM), kDdsTooLarge);
  // 8192 x 4096 RGBA8 fills 128 MiB; its second level does not fit.
  EXPECT_EQ(Error(MakeDdsHeader(Dx10(28, 8192, 4096, 2)), HostFormat::RGBA8_UNORM), kTruncated);
}

// --- families and chains --------------------------------------------------------

TEST_F(ReplacementTest, ReplacementsMustBelongToTheOriginalsFamily) {
  const std::vector<uint8_t> rgba = Concat(MakeDdsHeader(Dx10(28, 4, 4, 3)), std::vector<uint8_t>(84, 1));
  const std::vector<uint8_t> bc1 = Concat(MakeDdsHeader(Legacy("DXT1", 4, 4, 3)), Repeat(kWhiteBc1, 3));
  const std::vector<uint8_t> bc3 = Concat(MakeDdsHeader(Legacy("DXT5", 4, 4, 3)), Repeat(kWhiteBc3, 3));
  const std::vector<uint8_t> bc7 = Concat(MakeDdsHeader(Dx10(98, 4, 4, 3)), std::vector<uint8_t>(48, 1));
  const std::vector<uint8_t> rg = Concat(MakeDdsHeader(Dx10(49, 4, 4, 3)), std::vector<uint8_t>(42, 1));
  const std::vector<uint8_t> rg_signed = Concat(MakeDdsHeader(Dx10(51, 4, 4, 3)), std::vector<uint8_t>(42, 1));
  const std::vector<uint8_t> bc5_signed = Concat(MakeDdsHeader(Dx10(84, 4, 4, 3)), Repeat(kBc5, 3));
  const std::vector<uint8_t> r8 = Concat(MakeDdsHeader(Dx10(61, 4, 4, 3)), std::vector<uint8_t>(21, 1));

  for (const auto* file : {&rgba, &bc1, &bc3, &bc7}) EXPECT_EQ(Error(*file, HostFormat::BC1_UNORM), "");
  for (const auto* file : {&rgba, &bc3, &bc7}) EXPECT_EQ(Error(*file, HostFormat::RGBA8_UNORM), "");
  EXPECT_EQ(Error(bc1, HostFormat::RGBA8_UNORM), kFamily);
  EXPECT_EQ(Error(bc1, HostFormat::BC3_UNORM), kFamily);
  EXPECT_EQ(Error(rg, HostFormat::BC5_UNORM), "");
  EXPECT_EQ(Error(rg, HostFormat::RG8_SNORM), kFamily);
  EXPECT_EQ(Error(rg_signed, HostFormat::BC5_SNORM), "");
  EXPECT_EQ(Error(bc5_signed, HostFormat::RG8_SNORM), "");
  EXPECT_EQ(Error(bc5_signed, HostFormat::RG8_UNORM), kFamily);
  EXPECT_EQ(Error(r8, HostFormat::R8_UNORM), "");
  EXPECT_EQ(Error(r8, HostFormat::RGBA8_UNORM), kFamily);
  EXPECT_EQ(Error(rgba, HostFormat::R8_UNORM), kFamily);
  // Originals outside the pack formats have no family.
  EXPECT_EQ(Error(rgba, HostFormat::R16_UNORM), kFamily);
  EXPECT_EQ(Error(rgba, HostFormat(200)), kFamily);
  EXPECT_EQ(Error(MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}), HostFormat::R16_UNORM, "r.png"), kFamily);
}

TEST_F(ReplacementTest, BlockDdsWithoutACompleteChainIsDecodedAndRegenerated) {
  // 256x256 BC3, one level: decoded to RGBA8 and given nine levels.
  const std::vector<uint8_t> blocks = Repeat(kWhiteBc3, 64 * 64);
  const Loaded single = Load(Concat(MakeDdsHeader(Legacy("DXT5", 256, 256, 1)), blocks), HostFormat::RGBA8_UNORM);
  ASSERT_TRUE(single.ok) << single.error;
  EXPECT_EQ(single.texture.host_format, HostFormat::RGBA8_UNORM);
  EXPECT_EQ(single.texture.levels, 9u);
  ExpectCompleteChain(single.texture);
  EXPECT_EQ(single.texture.data, std::vector<uint8_t>(single.texture.data.size(), 255));

  // The same file with all nine levels keeps its blocks.
  std::vector<uint8_t> full = MakeDdsHeader(Legacy("DXT5", 256, 256, 9));
  size_t chain_blocks = 0;
  for (uint32_t s = 256; s >= 1; s >>= 1) chain_blocks += size_t((s + 3) / 4) * ((s + 3) / 4);
  full = Concat(full, Repeat(kWhiteBc3, chain_blocks));
  const Loaded whole = Load(full, HostFormat::RGBA8_UNORM);
  ASSERT_TRUE(whole.ok) << whole.error;
  EXPECT_EQ(whole.texture.host_format, HostFormat::BC3_UNORM);
  EXPECT_EQ(whole.texture.data.size(), chain_blocks * 16);

  // BC5 decodes to two channels, unsigned and signed; BC1 to RGBA8.
  const Loaded bc5 = Load(Concat(MakeDdsHeader(Legacy("ATI2", 8, 4)), Repeat(kBc5, 2)), HostFormat::RG8_UNORM);
  ASSERT_TRUE(bc5.ok) << bc5.error;
  EXPECT_EQ(bc5.texture.host_format, HostFormat::RG8_UNORM);
  EXPECT_EQ(LevelBytes(bc5.texture, 0), Repeat({200, 100}, 32));
  ExpectCompleteChain(bc5.texture);
  const Loaded bc5s = Load(Concat(MakeDdsHeader(Dx10(84, 4, 4, 2)), Repeat(kBc5, 2)), HostFormat::RG8_SNORM);
  ASSERT_TRUE(bc5s.ok) << bc5s.error;
  EXPECT_EQ(bc5s.texture.host_format, HostFormat::RG8_SNORM);
  EXPECT_EQ(bc5s.texture.levels, 3u);
  const Loaded bc1 = Load(Concat(MakeDdsHeader(Legacy("DXT1", 4, 8, 0)), Repeat(kWhiteBc1, 2)), HostFormat::BC1_UNORM);
  ASSERT_TRUE(bc1.ok) << bc1.error;
  EXPECT_EQ(bc1.texture.host_format, HostFormat::RGBA8_UNORM);
  EXPECT_EQ(bc1.texture.levels, 4u);
  EXPECT_EQ(bc1.texture.data, std::vector<uint8_t>(bc1.texture.data.size(), 255));
}

TEST_F(ReplacementTest, PlainDdsWithoutACompleteChainRegeneratesFromItsBase) {
  // 4x4 RGBA8 declaring two of its three levels: the second is noise that is
  // dropped, and both lower levels are generated from the base.
  std::vector<uint8_t> base = {0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12};
  base = Concat(Concat(base, base), Concat(base, base));
  const std::vector<uint8_t> second(16, 99);
  const Loaded partial = Load(Concat(MakeDdsHeader(Dx10(28, 4, 4, 2)), Concat(base, second)), HostFormat::RGBA8_UNORM);
  ASSERT_TRUE(partial.ok) << partial.error;
  EXPECT_EQ(partial.texture.levels, 3u);
  ExpectCompleteChain(partial.texture);
  EXPECT_EQ(LevelBytes(partial.texture, 0), base);
  EXPECT_EQ(LevelBytes(partial.texture, 1), Repeat({2, 2, 2, 2, 10, 10, 10, 10}, 2));
  EXPECT_EQ(LevelBytes(partial.texture, 2), (std::vector<uint8_t>{6, 6, 6, 6}));
}

TEST_F(ReplacementTest, Bc7NeedsACompleteChain) {
  EXPECT_EQ(Error(Concat(MakeDdsHeader(Dx10(98, 8, 8, 1)), std::vector<uint8_t>(64, 1)), HostFormat::BC7_UNORM),
            kBc7Chain);
  EXPECT_EQ(Error(Concat(MakeDdsHeader(Dx10(98, 8, 8, 3)), std::vector<uint8_t>(96, 1)), HostFormat::BC7_UNORM),
            kBc7Chain);
  EXPECT_EQ(Error(Concat(MakeDdsHeader(Dx10(98, 8, 8, 4)), std::vector<uint8_t>(112, 1)), HostFormat::BC7_UNORM), "");
}

TEST_F(ReplacementTest, TexturesThatOutgrowTheTexelLimitWhileCompletingTheirChainFail) {
  // 8192x8192 BC1 without mips: 32 MiB of blocks decode to 256 MiB.
  const std::vector<uint8_t> header = MakeDdsHeader(Legacy("DXT1", 8192, 8192, 1));
  test::WriteFileBytes(dir_ / "big.dds", header);
  fs::resize_file(dir_ / "big.dds", header.size() + (size_t(32) << 20));
  EXPECT_EQ(LoadFile("big.dds", HostFormat::BC1_UNORM).error, kCannotDecode);
  // An 8192x4096 RGBA8 PNG fills 128 MiB with its base level alone.
  const std::vector<uint8_t> png = MakePngBytes(8192, 4096, 8, 6, std::vector<uint8_t>(size_t(8192) * 4096 * 4));
  EXPECT_EQ(Error(png, HostFormat::RGBA8_UNORM, "r.png"), kMipsTooLarge);
}

// Several loads at once, each with its own output, give what one load gives.
TEST_F(ReplacementTest, ConcurrentLoadsMatchSequentialOnes) {
  test::WriteFileBytes(dir_ / "a.png", MakePngBytes(64, 32, 8, 6, test::PatternBytes(64 * 32 * 4, 1)));
  test::WriteFileBytes(dir_ / "b.dds", Concat(MakeDdsHeader(Legacy("DXT5", 64, 64, 1)), Repeat(kWhiteBc3, 256)));
  test::WriteFileBytes(dir_ / "c.png", MakePngBytes(33, 17, 8, 2, test::PatternBytes(33 * 17 * 3, 2)));
  const std::vector<std::pair<std::string, HostFormat>> jobs = {
      {"a.png", HostFormat::RGBA8_UNORM}, {"b.dds", HostFormat::BC3_UNORM}, {"c.png", HostFormat::RG8_SNORM},
      {"a.png", HostFormat::BC5_UNORM}};
  std::vector<Loaded> expected;
  for (const auto& job : jobs) expected.push_back(LoadFile(job.first, job.second));
  std::vector<Loaded> results(jobs.size() * 4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] {
      ManifestEntry entry;
      entry.replacement_file = jobs[i % jobs.size()].first;
      entry.original_host_format = jobs[i % jobs.size()].second;
      results[i].ok = LoadReplacement(dir_, entry, results[i].texture, results[i].error);
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < results.size(); ++i) {
    ASSERT_TRUE(results[i].ok) << results[i].error;
    EXPECT_EQ(results[i].texture.data, expected[i % jobs.size()].texture.data);
  }
}

}  // namespace
}  // namespace mivo
