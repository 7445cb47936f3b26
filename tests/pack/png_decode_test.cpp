#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pack/content_key.h"
#include "pack/png_decode.h"
#include "support/external_tools.h"
#include "support/replacement_files.h"

namespace mivo {
namespace {

const std::string kSuite = std::string(MIVO_SOURCE_DIR) + "/tests/data/pngsuite/";

struct Decoded {
  PngDecodeStatus status;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;
};

Decoded Decode(const std::vector<uint8_t>& bytes, PngLimits limits = {}) {
  Decoded d;
  d.status = DecodePngRgba8(bytes.data(), bytes.size(), limits, d.width, d.height, d.rgba);
  return d;
}

Decoded DecodeSuite(const std::string& name) { return Decode(test::ReadFileBytes(kSuite + name)); }

struct Reference {
  const char* name;
  uint32_t width;
  uint32_t height;
  uint64_t rgba_fnv;  // FNV-1a 64 of the RGBA bytes an independent decoder produced
};

// Every readable image of the suite with 8-bit output from the reference
// decoder: all colour types, sub-byte and 16-bit depths, interlacing, palettes
// with and without transparency, gamma and colour chunks (not applied), odd
// chunk orders and filters.
constexpr Reference kReferences[] = {
    {"basi0g08.png", 32, 32, 0x11ed8979ce4d7b4dull}, {"basi2c08.png", 32, 32, 0x6d0a594462868f25ull},
    {"basi3p08.png", 32, 32, 0x3733a8885d80db25ull}, {"basi4a08.png", 32, 32, 0x4b4e70fc7720494dull},
    {"basi6a08.png", 32, 32, 0xf9ed41b6375b125dull}, {"basn0g01.png", 32, 32, 0xf76ab9c2cc275b5dull},
    {"basn0g02.png", 32, 32, 0x100bbcf53d1fd325ull}, {"basn0g04.png", 32, 32, 0xca83a263da76ab25ull},
    {"basn0g08.png", 32, 32, 0x11ed8979ce4d7b4dull}, {"basn2c08.png", 32, 32, 0x6d0a594462868f25ull},
    {"basn2c16.png", 32, 32, 0x016a07c086368525ull}, {"basn3p01.png", 32, 32, 0x83e9607069333725ull},
    {"basn3p02.png", 32, 32, 0xe1b97808c557cb25ull}, {"basn3p04.png", 32, 32, 0x817fff880b5d72c5ull},
    {"basn3p08.png", 32, 32, 0x3733a8885d80db25ull}, {"basn4a08.png", 32, 32, 0x4b4e70fc7720494dull},
    {"basn4a16.png", 32, 32, 0x8c09f25148b55145ull}, {"basn6a08.png", 32, 32, 0xf9ed41b6375b125dull},
    {"basn6a16.png", 32, 32, 0x1c3a480c49c2c715ull}, {"ccwn2c08.png", 32, 32, 0x3db89b238c1f1b58ull},
    {"cdfn2c08.png", 8, 32, 0x1223b1f4223ef6d1ull},  {"cdhn2c08.png", 32, 8, 0x955ed29b3da92459ull},
    {"cdsn2c08.png", 8, 8, 0x3138e582251bb67bull},   {"ch2n3p08.png", 32, 32, 0x3733a8885d80db25ull},
    {"cs8n2c08.png", 32, 32, 0x20fcfaad4f471625ull}, {"exif2c08.png", 32, 32, 0x643edde4a56502c9ull},
    {"f00n2c08.png", 32, 32, 0xbc7cde3bbb7a5582ull}, {"f04n2c08.png", 32, 32, 0x82f3b8a0ed489346ull},
    {"g03n2c08.png", 32, 32, 0xb29e50d10e67e85aull}, {"pp0n6a08.png", 32, 32, 0x8d7c76ecbc812825ull},
    {"ps1n0g08.png", 32, 32, 0x11ed8979ce4d7b4dull}, {"s01n3p01.png", 1, 1, 0x4a3d077f9b55736bull},
    {"tbbn3p08.png", 32, 32, 0x6cdff609c65aac37ull}, {"tbrn2c08.png", 32, 32, 0x1e1f86e420f8ad04ull},
    {"tm3n3p02.png", 32, 32, 0x020e1f8a0874c325ull}, {"tp0n0g08.png", 32, 32, 0x162fa510b7ff822eull},
    {"tp0n2c08.png", 32, 32, 0xcca7d2a511030be9ull}, {"tp0n3p08.png", 32, 32, 0xfd1fa2a0c996ef7full},
    {"tp1n3p08.png", 32, 32, 0x6cdff609c65aac37ull}, {"z00n2c08.png", 32, 32, 0x14fba4b7a7c90773ull},
    {"z09n2c08.png", 32, 32, 0x14fba4b7a7c90773ull},
};

TEST(PngDecode, SuiteImagesDecodeToTheSameRgbaAsAnIndependentDecoder) {
  for (const Reference& ref : kReferences) {
    SCOPED_TRACE(ref.name);
    const Decoded d = DecodeSuite(ref.name);
    ASSERT_EQ(d.status, PngDecodeStatus::ok);
    EXPECT_EQ(d.width, ref.width);
    EXPECT_EQ(d.height, ref.height);
    ASSERT_EQ(d.rgba.size(), size_t(ref.width) * ref.height * 4);
    EXPECT_EQ(HashHostData(d.rgba.data(), d.rgba.size()), ref.rgba_fnv);
  }
}

TEST(PngDecode, CorruptSuiteFilesAreRefused) {
  int corrupt = 0;
  for (const std::filesystem::directory_entry& file : std::filesystem::directory_iterator(kSuite)) {
    const std::string name = file.path().filename().string();
    if (name[0] != 'x') continue;
    EXPECT_NE(DecodeSuite(name).status, PngDecodeStatus::ok) << name;
    ++corrupt;
  }
  EXPECT_EQ(corrupt, 12);
}

TEST(PngDecode, EveryTruncationEitherFailsOrYieldsTheWholeImage) {
  for (const char* name : {"basi6a08.png", "basn3p08.png"}) {
    const std::vector<uint8_t> whole = test::ReadFileBytes(kSuite + name);
    const Decoded full = Decode(whole);
    ASSERT_EQ(full.status, PngDecodeStatus::ok);
    for (size_t size = 0; size < whole.size(); ++size) {
      const Decoded d = Decode(std::vector<uint8_t>(whole.begin(), whole.begin() + ptrdiff_t(size)));
      // Only the trailing IEND may be cut off without losing the image.
      if (d.status == PngDecodeStatus::ok) {
        ASSERT_EQ(d.rgba, full.rgba) << name << " cut at " << size;
      }
    }
  }
}

TEST(PngDecode, GreyAndPaletteTransparencyBecomeAlpha) {
  // 2x1 grey with tRNS naming value 7 transparent.
  const Decoded grey = Decode(test::MakePngBytes(2, 1, 8, 0, {7, 200}, {{"tRNS", {0, 7}}}));
  ASSERT_EQ(grey.status, PngDecodeStatus::ok);
  EXPECT_EQ(grey.rgba, (std::vector<uint8_t>{7, 7, 7, 0, 200, 200, 200, 255}));
  // Palette of two with alpha only for the first entry.
  const Decoded palette = Decode(test::MakePngBytes(2, 1, 8, 3, {0, 1},
                                                    {{"PLTE", {10, 20, 30, 40, 50, 60}}, {"tRNS", {99}}}));
  ASSERT_EQ(palette.status, PngDecodeStatus::ok);
  EXPECT_EQ(palette.rgba, (std::vector<uint8_t>{10, 20, 30, 99, 40, 50, 60, 255}));
}

TEST(PngDecode, LimitsAreCheckedBeforeThePixelBufferIsAllocated) {
  using enum PngDecodeStatus;
  EXPECT_EQ(Decode(test::MakePngHeaderOnly(8193, 1, 8, 6)).status, bad_image);
  EXPECT_EQ(Decode(test::MakePngHeaderOnly(1, 8193, 8, 6)).status, bad_image);
  // 8192 x 4097 is within the side limit but over 33,554,432 pixels.
  EXPECT_EQ(Decode(test::MakePngHeaderOnly(8192, 4097, 8, 6)).status, bad_image);
  EXPECT_EQ(Decode(test::MakePngHeaderOnly(0, 4, 8, 6)).status, bad_image);
  const std::vector<uint8_t> small = test::MakePngBytes(4, 4, 8, 0, std::vector<uint8_t>(16, 1));
  EXPECT_EQ(Decode(small, PngLimits{8192, 15}).status, bad_image);
  EXPECT_EQ(Decode(small, PngLimits{3, 100}).status, bad_image);
  EXPECT_EQ(Decode(small, PngLimits{4, 16}).status, ok);

  // Within the limits, but the data holds a few bytes of a 128 MiB image.
  Decoded d = Decode(test::MakePngHeaderOnly(8192, 4096, 8, 6));
  EXPECT_EQ(d.status, bad_pixels);
  EXPECT_EQ(d.rgba.capacity(), 0u);
  // The image data of a 64x32 image under a header that says 64x64.
  const std::vector<uint8_t> half = test::MakePngBytes(64, 32, 8, 2, std::vector<uint8_t>(64 * 32 * 3, 5));
  std::vector<uint8_t> png = test::MakePngHeaderOnly(64, 64, 8, 2);
  png.resize(8 + 25);                                        // signature and IHDR
  png.insert(png.end(), half.begin() + 8 + 25, half.end());  // IDAT and IEND
  EXPECT_EQ(Decode(png).status, bad_pixels);
  // Zeros compress about as well as deflate allows, and still decode.
  d = Decode(test::MakePngBytes(4096, 64, 8, 0, std::vector<uint8_t>(4096 * 64, 0)));
  ASSERT_EQ(d.status, ok);
  EXPECT_EQ(d.rgba.size(), 4096u * 64 * 4);
}

TEST(PngDecode, AnimatedPngYieldsItsDefaultImage) {
  std::vector<uint8_t> actl = {0, 0, 0, 2, 0, 0, 0, 0};  // two frames, loop forever
  std::vector<uint8_t> fctl(26, 0);
  fctl[7] = 1;   // width 1
  fctl[11] = 1;  // height 1
  std::vector<uint8_t> png = test::MakePngBytes(1, 1, 8, 6, {1, 2, 3, 4}, {{"acTL", actl}, {"fcTL", fctl}});
  png.resize(png.size() - 12);  // drop IEND, add a second frame after the image data
  std::vector<uint8_t> fdat = {0, 0, 0, 2};
  const std::vector<uint8_t> second = test::MakePngBytes(1, 1, 8, 6, {9, 9, 9, 9});
  fdat.insert(fdat.end(), second.begin() + 8 + 25 + 8, second.end() - 12 - 4);
  for (const test::PngChunk& chunk : {test::PngChunk{"fcTL", fctl}, test::PngChunk{"fdAT", fdat},
                                      test::PngChunk{"IEND", {}}}) {
    const std::vector<uint8_t> bytes = test::MakePngChunkBytes(chunk);
    png.insert(png.end(), bytes.begin(), bytes.end());
  }
  const Decoded d = Decode(png);
  ASSERT_EQ(d.status, PngDecodeStatus::ok);
  EXPECT_EQ(d.rgba, (std::vector<uint8_t>{1, 2, 3, 4}));
}

}  // namespace
}  // namespace mivo
