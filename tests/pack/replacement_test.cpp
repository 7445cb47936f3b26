#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pack/replacement.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/replacement_files.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using enum HostFormat;
using test::DdsFields;
using test::MakePngBytes;
using Bytes = std::vector<uint8_t>;

constexpr const char* kAbsent = "replacement absent or outside pack";
constexpr const char* kUnreadable = "replacement unreadable/too large";
constexpr const char* kNot8Bit = "requires an 8-bit PNG";
constexpr const char* kNeedsAlpha = "colour PNG requires an explicit alpha channel";
constexpr const char* kPngDecode = "PNG decode/size failure";
constexpr const char* kBadHeader = "invalid DDS header";
constexpr const char* kNotBounded2D = "DDS must be a bounded single 2D image";
constexpr const char* kDx10Shape = "unsupported DDS DX10 shape/alpha mode";
constexpr const char* kNotLinear = "DDS requires linear BC1/BC3/BC5/BC7 or raw UNORM/RG SNORM; sRGB changes sampling";
constexpr const char* kPixelFormat = "unsupported DDS pixel format";
constexpr const char* kBcDims = "BC base dimensions must be multiples of four; use PNG/raw DDS for odd sizes";
constexpr const char* kTruncated = "truncated DDS mip data";
constexpr const char* kFamily = "format family/alpha/signedness mismatch";
constexpr const char* kBc7Chain = "BC7 DDS requires a complete mip chain";

// BC1 and BC3 blocks of opaque white; a BC5 block of red 200, green 100.
const Bytes kWhiteBc1 = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
const Bytes kWhiteBc3 = {255, 255, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
const Bytes kBc5 = {200, 200, 0, 0, 0, 0, 0, 0, 100, 100, 0, 0, 0, 0, 0, 0};

Bytes Repeat(const Bytes& unit, size_t count) {
  Bytes out;
  for (size_t i = 0; i < count; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Bytes Cut(Bytes b, size_t count) {
  b.resize(b.size() - count);
  return b;
}
Bytes Head(const Bytes& b, size_t count) { return Bytes(b.begin(), b.begin() + ptrdiff_t(count)); }
Bytes Poke(Bytes b, size_t at, uint8_t value) {
  b[at] = value;
  return b;
}

Bytes Dds(const DdsFields& fields, const Bytes& data = {}) { return test::MakeDdsFile(fields, data); }
DdsFields Dx10(uint32_t dxgi, uint32_t width, uint32_t height, uint32_t mips = 0) {
  return {.width = width, .height = height, .mip_count = mips, .dxgi_format = dxgi};
}
DdsFields Legacy(const char* fourcc, uint32_t width, uint32_t height, uint32_t mips = 0) {
  return {.width = width, .height = height, .mip_count = mips, .fourcc = fourcc};
}

struct Loaded {
  bool ok = false;
  std::string error;
  HostTextureData texture;
};

ManifestEntry Entry(const std::string& file, HostFormat original) {
  ManifestEntry entry;
  entry.replacement_file = file;
  entry.original_host_format = original;
  return entry;
}

Loaded LoadFrom(const fs::path& folder, const std::string& file, HostFormat original) {
  Loaded result;
  result.ok = LoadReplacement(folder, Entry(file, original), result.texture, result.error);
  EXPECT_EQ(result.ok, result.error.empty()) << result.error;
  return result;
}

Bytes Level(const HostTextureData& t, uint32_t mip) {
  const LevelRecord& r = t.level_records.at(mip);
  return Bytes(t.data.begin() + ptrdiff_t(r.offset), t.data.begin() + ptrdiff_t(r.offset + r.size));
}

// Every level present, halving down to 1x1, back to back.
void ExpectCompleteChain(const HostTextureData& t) {
  uint32_t w = t.width, h = t.height;
  uint64_t offset = 0;
  ASSERT_EQ(t.level_records.size(), t.levels);
  for (uint32_t i = 0; i < t.levels; ++i) {
    const LevelRecord& r = t.level_records[i];
    EXPECT_TRUE(r.mip == i && r.width == w && r.height == h && r.offset == offset) << "level " << i;
    offset += r.size;
    w = std::max(1u, w >> 1);
    h = std::max(1u, h >> 1);
  }
  EXPECT_TRUE(w == 1 && h == 1);
  EXPECT_EQ(t.data.size(), offset);
  EXPECT_TRUE(t.dim == kDim2D && t.view == kIdentityView && t.min_level == 0);
}

class ReplacementTest : public ::testing::Test {
 protected:
  Loaded LoadFile(const std::string& file, HostFormat original) { return LoadFrom(dir_, file, original); }
  // Writes `bytes` as the replacement `file` and loads it.
  Loaded Load(const Bytes& bytes, HostFormat original, const std::string& file = "r.dds") {
    test::WriteFileBytes(dir_ / file, bytes);
    return LoadFile(file, original);
  }
  Loaded Png(const Bytes& bytes, HostFormat original) { return Load(bytes, original, "r.png"); }

  test::TempFolder temp_;
  fs::path dir_ = temp_.path();
};

// --- where the file may lie ---------------------------------------------

TEST_F(ReplacementTest, FilesOutsideThePackFolderOrOverTheSizeCeilingAreRefused) {
  const Bytes png = MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4});
  const fs::path pack = dir_ / "pack";
  fs::create_directories(pack / "sub");
  fs::create_directory(pack / "folder.png");
  test::WriteFileBytes(dir_ / "outside.png", png);
  test::WriteFileBytes(pack / "sub" / "deep.png", png);
  fs::create_symlink(dir_ / "outside.png", pack / "link.png");
  // Sparse: a valid header followed by zeros, one byte over the ceiling.
  test::WriteFileBytes(pack / "big.dds", test::MakeDdsHeader({}));
  fs::resize_file(pack / "big.dds", 134217877);

  EXPECT_EQ(LoadFrom(dir_ / "missing", "x.png", RGBA8_UNORM).error, "pack folder unavailable");
  for (const char* file : {"absent.png", "link.png", "sub/deep.png", "../outside.png", ""}) {
    EXPECT_EQ(LoadFrom(pack, file, RGBA8_UNORM).error, kAbsent) << file;
  }
  EXPECT_EQ(LoadFrom(pack, "folder.png", RGBA8_UNORM).error, kUnreadable);
  EXPECT_EQ(LoadFrom(pack, "big.dds", RGBA8_UNORM).error, kUnreadable);
}

TEST_F(ReplacementTest, LinksInsideThePackAreFollowedAndTheTargetNameChoosesTheDecoder) {
  const fs::path pack = dir_ / "pack";
  fs::create_directories(pack);
  test::WriteFileBytes(pack / "image.png", MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}));
  test::WriteFileBytes(pack / "blocks.dds", Dds(Legacy("DXT1", 4, 4), kWhiteBc1));
  fs::create_symlink("image.png", pack / "a.dds");
  fs::create_symlink(pack / "blocks.dds", pack / "b.png");
  fs::create_directory_symlink(pack, dir_ / "pack_link");  // the folder itself through a link

  const Loaded as_png = LoadFrom(dir_ / "pack_link", "a.dds", RGBA8_UNORM);
  ASSERT_TRUE(as_png.ok);
  EXPECT_EQ(as_png.texture.data, (Bytes{1, 2, 3, 4}));
  const Loaded as_dds = LoadFrom(pack, "b.png", BC1_UNORM);
  ASSERT_TRUE(as_dds.ok);
  EXPECT_EQ(as_dds.texture.host_format, RGBA8_UNORM);
  EXPECT_EQ(as_dds.texture.levels, 3u);
}

// --- failure messages, in the order the checks run --------------------------

struct FaultCase {
  Bytes file;
  HostFormat original;
  const char* error;  // "" when the file loads
};

TEST_F(ReplacementTest, PngFaultsGetTheirMessages) {
  const Bytes good = MakePngBytes(2, 1, 8, 6, {1, 2, 3, 4, 5, 6, 7, 8});
  const Bytes rgb = MakePngBytes(1, 1, 8, 2, {10, 20, 30});
  const Bytes grey = MakePngBytes(1, 1, 8, 0, {40});
  const Bytes palette = MakePngBytes(1, 1, 8, 3, {0}, {{"PLTE", {1, 2, 3}}, {"tRNS", {0}}});
  const FaultCase cases[] = {
      {good, RGBA8_UNORM, ""},
      {Head(good, 32), RGBA8_UNORM, kNot8Bit},  // IHDR cut short
      {Poke(good, 1, 'p'), RGBA8_UNORM, kNot8Bit},           // signature
      {Poke(good, 12, 'i'), RGBA8_UNORM, kNot8Bit},          // first chunk not IHDR
      {MakePngBytes(1, 1, 16, 6, Bytes(8, 1)), RGBA8_UNORM, kNot8Bit},
      {MakePngBytes(8, 1, 1, 0, {0xAA}), R8_UNORM, kNot8Bit},
      {rgb, RGBA8_UNORM, kNeedsAlpha},
      {grey, RGBA8_UNORM, kNeedsAlpha},
      {palette, RGBA8_UNORM, kNeedsAlpha},  // transparency chunks are not an alpha channel
      {rgb, BC1_UNORM, kNeedsAlpha},
      {grey, BC1_UNORM, kNeedsAlpha},
      {palette, BC7_UNORM, kNeedsAlpha},
      {rgb, BC7_UNORM, kNeedsAlpha},
      {test::MakePngHeaderOnly(8193, 1, 8, 6), RGBA8_UNORM, kPngDecode},
      {test::MakePngHeaderOnly(8192, 4097, 8, 6), RGBA8_UNORM, kPngDecode},  // over the pixel count
      {test::MakePngHeaderOnly(0, 1, 8, 6), RGBA8_UNORM, kPngDecode},
      // Claims 128 MiB, holds a few bytes: fails before allocating it.
      {test::MakePngHeaderOnly(8192, 4096, 8, 6), RGBA8_UNORM, "PNG pixel decode failed"},
      {good, R16_UNORM, kFamily},  // originals outside the pack formats have no family
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Png(cases[i].file, cases[i].original).error, cases[i].error) << "case " << i;
  }
}

TEST_F(ReplacementTest, DdsFaultsGetTheirMessages) {
  const Bytes level(64, 7);  // a 4x4 RGBA8 level, the default header's
  const DdsFields bc1_8x8 = Legacy("DXT1", 8, 8, 4);
  const Bytes bc1_chain = Repeat(kWhiteBc1, 7);  // 32 + 8 + 8 + 8 bytes
  // Complete 4x4 chains of each family.
  const Bytes rgba = Dds(Dx10(28, 4, 4, 3), Bytes(84, 1));
  const Bytes bc1 = Dds(Legacy("DXT1", 4, 4, 3), Repeat(kWhiteBc1, 3));
  const Bytes bc3 = Dds(Legacy("DXT5", 4, 4, 3), Repeat(kWhiteBc3, 3));
  const Bytes bc7 = Dds(Dx10(98, 4, 4, 3), Bytes(48, 1));
  const Bytes rg = Dds(Dx10(49, 4, 4, 3), Bytes(42, 1));
  const Bytes rg_signed = Dds(Dx10(51, 4, 4, 3), Bytes(42, 1));
  const Bytes bc5_signed = Dds(Dx10(84, 4, 4, 3), Repeat(kBc5, 3));
  const Bytes r8 = Dds(Dx10(61, 4, 4, 3), Bytes(21, 1));
  std::vector<FaultCase> cases = {
      {Dds({}, level), RGBA8_UNORM, ""},
      {Head(Dds({}, level), 127), RGBA8_UNORM, kBadHeader},
      {Poke(Dds({}, level), 3, 'X'), RGBA8_UNORM, kBadHeader},
      {Dds({.header_size = 123}, level), RGBA8_UNORM, kBadHeader},
      {Dds({.pixel_format_size = 31}, level), RGBA8_UNORM, kBadHeader},
      {MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}), RGBA8_UNORM, kBadHeader},  // PNG bytes named .dds
      // Header-only files suffice: these fail before any texel is read.
      {Dds({.width = 0}), RGBA8_UNORM, kNotBounded2D},
      {Dds({.height = 0}), RGBA8_UNORM, kNotBounded2D},
      {Dds({.width = 8193}), RGBA8_UNORM, kNotBounded2D},
      {Dds({.height = 8193}), RGBA8_UNORM, kNotBounded2D},
      {Dds({.mip_count = 4}), RGBA8_UNORM, kNotBounded2D},  // a 4x4 chain has 3 levels
      {Dds({.depth = 2}), RGBA8_UNORM, kNotBounded2D},
      {Dds({.caps2 = 0xFE00}), RGBA8_UNORM, kNotBounded2D},  // cube
      {Dds({.depth = 1}, level), RGBA8_UNORM, ""},
      {Cut(Dds({}), 1), RGBA8_UNORM, kDx10Shape},  // DX10 header cut short
      {Dds({.resource_dimension = 2}, level), RGBA8_UNORM, kDx10Shape},
      {Dds({.misc_flag = 4}, level), RGBA8_UNORM, kDx10Shape},
      {Dds({.array_size = 0}, level), RGBA8_UNORM, kDx10Shape},
      {Dds({.array_size = 2}, level), RGBA8_UNORM, kDx10Shape},
      {Dds({.alpha_mode = 4}, level), RGBA8_UNORM, kDx10Shape},
      {Dds({.dxgi_format = 29, .array_size = 0}, level), RGBA8_UNORM, kDx10Shape},  // shape before format
      {Dds({.dxgi_format = 29, .alpha_mode = 2}, level), RGBA8_UNORM, kNotLinear},  // format before alpha
      {Dds({.alpha_mode = 2}, level), RGBA8_UNORM, "premultiplied DDS is incompatible"},
      {Dds({.alpha_mode = 1}, level), RGBA8_UNORM, ""},
      {Dds({.alpha_mode = 3}, level), RGBA8_UNORM, ""},
      {Dds({.pixel_format_flags = 0x41, .fourcc = "DXT1"}, kWhiteBc1), BC1_UNORM, kPixelFormat},  // bit masks
      {Dds({.pixel_format_flags = 0}, level), RGBA8_UNORM, kPixelFormat},  // "DX10" without the flag
      {Dds(Legacy("DXT1", 6, 8), Repeat(kWhiteBc1, 4)), BC1_UNORM, kBcDims},
      {Dds(Dx10(98, 8, 2), Repeat(kWhiteBc3, 2)), BC7_UNORM, kBcDims},
      {Dds(Dx10(61, 3, 5), Bytes(15, 1)), R8_UNORM, ""},  // plain formats may have any size
      {Dds(Dx10(28, 8192, 8192)), RGBA8_UNORM, "DDS exceeds 128 MiB"},  // 256 MiB, from the header alone
      {Dds(Dx10(28, 8192, 4096, 2)), RGBA8_UNORM, kTruncated},  // the 128 MiB base fits, the file does not
      {Dds(bc1_8x8, bc1_chain), BC1_UNORM, ""},
      {Dds(bc1_8x8, Cut(bc1_chain, 1)), BC1_UNORM, kTruncated},
      {Dds(bc1_8x8, Cat(bc1_chain, {0})), BC1_UNORM, "unexpected trailing DDS data"},
      {Dds(bc1_8x8), BC1_UNORM, kTruncated},
      // BC1 originals take any four-channel replacement; the rest their own family.
      {rgba, BC1_UNORM, ""}, {bc1, BC1_UNORM, ""}, {bc3, BC1_UNORM, ""}, {bc7, BC1_UNORM, ""},
      {rgba, RGBA8_UNORM, ""}, {bc3, RGBA8_UNORM, ""}, {bc7, RGBA8_UNORM, ""},
      {bc1, RGBA8_UNORM, kFamily}, {bc1, BC3_UNORM, kFamily},
      {rg, BC5_UNORM, ""}, {rg, RG8_SNORM, kFamily},
      {rg_signed, BC5_SNORM, ""}, {bc5_signed, RG8_SNORM, ""}, {bc5_signed, RG8_UNORM, kFamily},
      {r8, R8_UNORM, ""}, {r8, RGBA8_UNORM, kFamily}, {rgba, R8_UNORM, kFamily},
      {rgba, R16_UNORM, kFamily}, {rgba, HostFormat(200), kFamily},
      {Dds(Dx10(98, 8, 8, 1), Bytes(64, 1)), BC7_UNORM, kBc7Chain},
      {Dds(Dx10(98, 8, 8, 3), Bytes(96, 1)), BC7_UNORM, kBc7Chain},
      {Dds(Dx10(98, 8, 8, 4), Bytes(112, 1)), BC7_UNORM, ""},
  };
  // sRGB, BC2, BC4, BGRA, 16-bit and float formats.
  for (uint32_t dxgi : {0u, 2u, 10u, 24u, 29u, 72u, 74u, 78u, 80u, 87u, 99u, 200u}) {
    cases.push_back({Dds({.dxgi_format = dxgi}, level), RGBA8_UNORM, kNotLinear});
  }
  for (const char* fourcc : {"DXT3", "DXT2", "DXT4", "ATI1", "BC4U", "dxt1"}) {
    cases.push_back({Dds(Legacy(fourcc, 4, 4), kWhiteBc3), BC3_UNORM, kPixelFormat});
  }
  for (const char* fourcc : {"ATI2", "BC5U"}) {  // no legacy code is signed
    cases.push_back({Dds(Legacy(fourcc, 4, 4, 3), Repeat(kBc5, 3)), RG8_SNORM, kFamily});
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(Load(cases[i].file, cases[i].original).error, cases[i].error) << "case " << i;
  }
}

TEST_F(ReplacementTest, TexturesThatOutgrowTheTexelLimitWhileCompletingTheirChainFail) {
  // 8192x8192 BC1 without mips: 32 MiB of blocks decode to 256 MiB.
  const Bytes header = test::MakeDdsHeader(Legacy("DXT1", 8192, 8192, 1));
  test::WriteFileBytes(dir_ / "big.dds", header);
  fs::resize_file(dir_ / "big.dds", header.size() + (size_t(32) << 20));
  EXPECT_EQ(LoadFile("big.dds", BC1_UNORM).error, "cannot decode DDS for mip generation");
  // An 8192x4096 RGBA8 PNG fills 128 MiB with its base level alone.
  EXPECT_EQ(Png(MakePngBytes(8192, 4096, 8, 6, Bytes(size_t(8192) * 4096 * 4)), RGBA8_UNORM).error,
            "generated mips exceed 128 MiB");
}

// --- what loads, and as what ------------------------------------------------

TEST_F(ReplacementTest, EveryAcceptedDdsFormatLoadsAsItsHostFormat) {
  const struct {
    DdsFields fields;  // 4x4 with all three levels
    HostFormat original, format;
    size_t bytes;
  } rows[] = {
      {Dx10(28, 4, 4, 3), RGBA8_UNORM, RGBA8_UNORM, 84}, {Dx10(49, 4, 4, 3), RG8_UNORM, RG8_UNORM, 42},
      {Dx10(51, 4, 4, 3), RG8_SNORM, RG8_SNORM, 42},     {Dx10(61, 4, 4, 3), R8_UNORM, R8_UNORM, 21},
      {Dx10(71, 4, 4, 3), BC1_UNORM, BC1_UNORM, 24},     {Dx10(77, 4, 4, 3), BC3_UNORM, BC3_UNORM, 48},
      {Dx10(83, 4, 4, 3), BC5_UNORM, BC5_UNORM, 48},     {Dx10(84, 4, 4, 3), BC5_SNORM, BC5_SNORM, 48},
      {Dx10(98, 4, 4, 3), BC7_UNORM, BC7_UNORM, 48},     {Legacy("DXT1", 4, 4, 3), BC1_UNORM, BC1_UNORM, 24},
      {Legacy("DXT5", 4, 4, 3), BC3_UNORM, BC3_UNORM, 48}, {Legacy("ATI2", 4, 4, 3), RG8_UNORM, BC5_UNORM, 48},
      {Legacy("BC5U", 4, 4, 3), RG8_UNORM, BC5_UNORM, 48},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(HostFormatName(row.format));
    const Loaded loaded = Load(Dds(row.fields, test::PatternBytes(row.bytes, 5)), row.original);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.texture.host_format, row.format);
    EXPECT_EQ(loaded.texture.data, test::PatternBytes(row.bytes, 5));
    ExpectCompleteChain(loaded.texture);
  }
}

TEST_F(ReplacementTest, PngFormatFollowsTheOriginalsFamily) {
  const Bytes rgb = MakePngBytes(1, 1, 8, 2, {10, 20, 30});
  const struct {
    Bytes png;
    HostFormat original, format;
    Bytes base;
  } rows[] = {
      {MakePngBytes(1, 1, 8, 4, {50, 60}), BC3_UNORM, RGBA8_UNORM, {50, 50, 50, 60}},  // grey + alpha
      {rgb, R8_UNORM, R8_UNORM, {10}},
      {rgb, BC5_UNORM, RG8_UNORM, {10, 20}},
      // Onto signed bytes: 0 -> -127, 255 -> 127, 127 and 128 -> 0, 64 -> round(-63.25), 1 -> -126, 2 -> -125.
      {MakePngBytes(4, 1, 8, 2, {0, 255, 0, 127, 128, 0, 255, 64, 0, 1, 2, 0}), BC5_SNORM, RG8_SNORM,
       {0x81, 0x7F, 0, 0, 0x7F, 0xC1, 0x82, 0x83}},
  };
  for (const auto& row : rows) {
    const Loaded loaded = Png(row.png, row.original);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.texture.host_format, row.format);
    EXPECT_EQ(Level(loaded.texture, 0), row.base);
  }
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
    const bool eight_bit = name.substr(6, 2) == "08";
    const bool has_alpha = name[4] == '4' || name[4] == '6';
    const Loaded rgba = LoadFile(name, RGBA8_UNORM);
    const Loaded red = LoadFile(name, R8_UNORM);
    ++checked;
    if (!eight_bit) {
      EXPECT_EQ(rgba.error, kNot8Bit);
      EXPECT_EQ(red.error, kNot8Bit);
      continue;
    }
    EXPECT_EQ(rgba.error, has_alpha ? "" : kNeedsAlpha);
    ASSERT_TRUE(red.ok);
    EXPECT_EQ(red.texture.host_format, R8_UNORM);
    ExpectCompleteChain(red.texture);
    if (!has_alpha) continue;
    EXPECT_EQ(rgba.texture.host_format, RGBA8_UNORM);
    ExpectCompleteChain(rgba.texture);
    for (size_t i = 0; i < red.texture.level_records[0].size; ++i) {
      ASSERT_EQ(red.texture.data[i], rgba.texture.data[i * 4]);
    }
  }
  EXPECT_EQ(checked, 43);
}

TEST_F(ReplacementTest, CorruptPngSuiteFilesAreRefusedCleanly) {
  const struct {
    const char* name;
    const char* rgba_error;  // for an RGBA8_UNORM original
    const char* red_error;   // for an R8_UNORM original
  } cases[] = {
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::copy_file(suite / c.name, dir_ / c.name);
    EXPECT_EQ(LoadFile(c.name, RGBA8_UNORM).error, c.rgba_error);
    EXPECT_EQ(LoadFile(c.name, R8_UNORM).error, c.red_error);
  }
}

// --- completing the chain ------------------------------------------------------

TEST_F(ReplacementTest, GeneratedLevelsAverageTheirFootprints) {
  const Loaded one = Png(MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}), RGBA8_UNORM);
  ASSERT_TRUE(one.ok);
  EXPECT_EQ(one.texture.levels, 1u);
  EXPECT_EQ(one.texture.data.size(), 4u);

  Bytes ramp(16);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i * 10);
  const Bytes wide = MakePngBytes(8, 2, 8, 0, ramp);  // four levels
  const struct {
    const char* what;
    Bytes png;
    HostFormat original;
    uint32_t mip;
    Bytes expected;
  } rows[] = {
      {"2x2 footprints: (0+10+80+90)/4 = 45, ...", wide, R8_UNORM, 1, {45, 65, 85, 105}},
      {"8x2 level 2", wide, R8_UNORM, 2, {55, 95}},
      {"8x2 level 3", wide, R8_UNORM, 3, {75}},
      {"3 columns halve to 1 over all three: 30.33", MakePngBytes(3, 1, 8, 0, {10, 20, 61}), R8_UNORM, 1, {30}},
      {"5 columns: [0,2) gives 0.5 -> 1, [2,5) gives 5", MakePngBytes(5, 1, 8, 0, {0, 1, 3, 4, 8}), R8_UNORM, 1,
       {1, 5}},
      {"RGBA channels apart, alpha too", MakePngBytes(2, 1, 8, 6, {0, 255, 100, 1, 1, 0, 103, 2}), RGBA8_UNORM, 1,
       {1, 128, 102, 2}},
      // Two-channel texels average as unit vectors with a rebuilt z.
      {"a flat normal stays flat", MakePngBytes(2, 2, 8, 2, Repeat({128, 128, 0}, 4)), RG8_UNORM, 1, {128, 128}},
      {"opposite x, no z: the tiny common y is normalised to full length",
       MakePngBytes(2, 1, 8, 2, {255, 128, 0, 0, 128, 0}), RG8_UNORM, 1, {128, 255}},
      {"signed -127 and 127 cancel exactly: no direction", MakePngBytes(2, 1, 8, 2, {0, 255, 0, 255, 0, 0}), RG8_SNORM,
       1, {0, 0}},
      {"(0.598, 0.801) and (0, 1): x / |(0.598, 0, 1.801)| = 0.3153 -> 40",
       MakePngBytes(2, 1, 8, 2, {204, 128, 0, 128, 128, 0}), RG8_SNORM, 1, {40, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const Loaded loaded = Png(row.png, row.original);
    ASSERT_TRUE(loaded.ok);
    ExpectCompleteChain(loaded.texture);
    EXPECT_EQ(Level(loaded.texture, row.mip), row.expected);
  }
}

TEST_F(ReplacementTest, BlockDdsWithoutACompleteChainIsDecodedAndRegenerated) {
  size_t chain_blocks = 0;
  for (uint32_t s = 256; s >= 1; s >>= 1) chain_blocks += size_t((s + 3) / 4) * ((s + 3) / 4);
  const struct {
    Bytes file;
    HostFormat original, format;
    uint32_t levels;
    Bytes base;
  } rows[] = {
      {Dds(Legacy("DXT5", 256, 256, 1), Repeat(kWhiteBc3, 64 * 64)), RGBA8_UNORM, RGBA8_UNORM, 9,
       Bytes(256 * 256 * 4, 255)},
      // With all nine levels it keeps its blocks.
      {Dds(Legacy("DXT5", 256, 256, 9), Repeat(kWhiteBc3, chain_blocks)), RGBA8_UNORM, BC3_UNORM, 9,
       Repeat(kWhiteBc3, 64 * 64)},
      {Dds(Legacy("ATI2", 8, 4), Repeat(kBc5, 2)), RG8_UNORM, RG8_UNORM, 4, Repeat({200, 100}, 32)},
      {Dds(Dx10(84, 4, 4, 2), Repeat(kBc5, 2)), RG8_SNORM, RG8_SNORM, 3, Repeat({200, 100}, 16)},
      {Dds(Legacy("DXT1", 4, 8, 0), Repeat(kWhiteBc1, 2)), BC1_UNORM, RGBA8_UNORM, 4, Bytes(4 * 8 * 4, 255)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(HostFormatName(row.format));
    const Loaded loaded = Load(row.file, row.original);
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.texture.host_format, row.format);
    EXPECT_EQ(loaded.texture.levels, row.levels);
    ExpectCompleteChain(loaded.texture);
    EXPECT_EQ(Level(loaded.texture, 0), row.base);
  }
}

TEST_F(ReplacementTest, PlainDdsWithoutACompleteChainRegeneratesFromItsBase) {
  // 4x4 RGBA8 declaring two of its three levels: the second is noise that is
  // dropped, and both lower levels are generated from the base.
  const Bytes base = Repeat({0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12}, 4);
  const Loaded partial = Load(Dds(Dx10(28, 4, 4, 2), Cat(base, Bytes(16, 99))), RGBA8_UNORM);
  ASSERT_TRUE(partial.ok);
  EXPECT_EQ(partial.texture.levels, 3u);
  ExpectCompleteChain(partial.texture);
  EXPECT_EQ(Level(partial.texture, 0), base);
  EXPECT_EQ(Level(partial.texture, 1), Repeat({2, 2, 2, 2, 10, 10, 10, 10}, 2));
  EXPECT_EQ(Level(partial.texture, 2), (Bytes{6, 6, 6, 6}));
}

TEST_F(ReplacementTest, AReusedRecordHoldsOnlyTheNewTexture) {
  Loaded first = Png(MakePngBytes(4, 4, 8, 6, Bytes(64, 9)), RGBA8_UNORM);
  ASSERT_TRUE(first.ok);
  test::WriteFileBytes(dir_ / "b.png", MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}));
  std::string error;
  ASSERT_TRUE(LoadReplacement(dir_, Entry("b.png", RGBA8_UNORM), first.texture, error));
  EXPECT_EQ(first.texture.level_records.size(), 1u);
  EXPECT_EQ(first.texture.data, (Bytes{1, 2, 3, 4}));
}

}  // namespace
}  // namespace mivo
