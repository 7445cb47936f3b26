#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/png_writer.h"
#include "pack/content_key.h"
#include "pack/png_decode.h"

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

std::vector<uint8_t> ReadSuite(const std::string& name) {
  std::ifstream in(kSuite + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
Decoded DecodeSuite(const std::string& name) { return Decode(ReadSuite(name)); }

// An RGBA PNG of our writer whose header then claims another size.
std::vector<uint8_t> ClaimingSize(uint32_t width, uint32_t height, uint32_t claimed_width, uint32_t claimed_height) {
  std::vector<uint8_t> png = BuildPng(width, height, std::vector<uint8_t>(size_t(width) * height * 4, 1).data());
  const uint32_t fields[2] = {claimed_width, claimed_height};
  for (int i = 0; i < 8; ++i) png[16 + i] = uint8_t(fields[i / 4] >> (24 - 8 * (i % 4)));
  const uLong crc = crc32(0, png.data() + 12, 17);  // IHDR type and data
  for (int i = 0; i < 4; ++i) png[29 + i] = uint8_t(crc >> (24 - 8 * i));
  return png;
}

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

// Refused by the decoders of both platforms, without a crash.
TEST(PngDecode, CorruptSuiteFilesAreRefused) {
  for (const char* name :
       {"xc1n0g08.png", "xc9n2c08.png", "xcrn0g04.png", "xd0n2c08.png", "xd3n2c08.png", "xd9n2c08.png", "xdtn0g01.png",
        "xlfn0g04.png", "xs1n0g01.png", "xs2n0g01.png", "xs4n0g01.png", "xs7n0g01.png"}) {
    EXPECT_NE(DecodeSuite(name).status, PngDecodeStatus::ok) << name;
  }
}

TEST(PngDecode, EveryTruncationEitherFailsOrYieldsTheWholeImage) {
  for (const char* name : {"basi6a08.png", "basn3p08.png"}) {
    const std::vector<uint8_t> whole = ReadSuite(name);
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

TEST(PngDecode, LimitsAreCheckedBeforeThePixelBufferIsAllocated) {
  using enum PngDecodeStatus;
  EXPECT_EQ(Decode(ClaimingSize(1, 1, 8193, 1)).status, bad_image);
  EXPECT_EQ(Decode(ClaimingSize(1, 1, 1, 8193)).status, bad_image);
  // 8192 x 4097 is within the side limit but over 33,554,432 pixels.
  EXPECT_EQ(Decode(ClaimingSize(1, 1, 8192, 4097)).status, bad_image);
  EXPECT_EQ(Decode(ClaimingSize(1, 1, 0, 4)).status, bad_image);
  const std::vector<uint8_t> small = ClaimingSize(4, 4, 4, 4);
  EXPECT_EQ(Decode(small, PngLimits{8192, 15}).status, bad_image);
  EXPECT_EQ(Decode(small, PngLimits{3, 100}).status, bad_image);
  EXPECT_EQ(Decode(small, PngLimits{4, 16}).status, ok);
  // Within the limits, but the data holds a few bytes of a 128 MiB image.
#ifdef _WIN32
  // Wine's imaging component decodes the image data when it opens the frame.
  const PngDecodeStatus broken = bad_image;
#else
  const PngDecodeStatus broken = bad_pixels;
#endif
  const Decoded d = Decode(ClaimingSize(1, 1, 8192, 4096));
  EXPECT_EQ(d.status, broken);
  EXPECT_EQ(d.rgba.capacity(), 0u);
  EXPECT_EQ(Decode(ClaimingSize(64, 32, 64, 64)).status, broken);
}

}  // namespace
}  // namespace mivo
