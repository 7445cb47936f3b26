// The stored format of a built row: never one the loader refuses for the
// row's original, block formats only where the base level's sides allow.
#include <gtest/gtest.h>

#include <string>

#include "packbuild/choose_format.h"
#include "packbuild/level_codec.h"

namespace mivo {
namespace {

enum class Alpha { opaque, binary, graded };

HostTextureData Plain(HostFormat original, uint32_t width, uint32_t height, Alpha alpha) {
  HostTextureData t;
  t.host_format = PlainFormatOf(original);
  t.width = width;
  t.height = height;
  AddLevel(t, 0, width, height);
  if (t.host_format == HostFormat::RGBA8_UNORM) {
    for (size_t i = 3; i < t.data.size(); i += 4) t.data[i] = 255;
    if (alpha == Alpha::binary) t.data[3] = 0;
    if (alpha == Alpha::graded) t.data[t.data.size() - 1] = 128;
  }
  return t;
}

struct Case {
  HostFormat original;
  uint32_t width, height;
  Alpha alpha;
  RequestedFormat requested;
  HostFormat expected;  // UNKNOWN: refused
  bool uncompressed_for_size;
  bool punch_through;
};

TEST(ChooseFormat, ByFamilyAlphaRequestAndSize) {
  using H = HostFormat;
  using R = RequestedFormat;
  const Case cases[] = {
      {H::BC1_UNORM, 8, 8, Alpha::opaque, R::automatic, H::BC1_UNORM, false, false},
      {H::BC1_UNORM, 8, 8, Alpha::binary, R::automatic, H::BC1_UNORM, false, true},
      {H::BC1_UNORM, 8, 8, Alpha::graded, R::automatic, H::BC7_UNORM, false, false},
      {H::RGBA8_UNORM, 8, 8, Alpha::opaque, R::automatic, H::BC7_UNORM, false, false},
      {H::BC3_UNORM, 8, 8, Alpha::opaque, R::automatic, H::BC7_UNORM, false, false},
      {H::RG8_UNORM, 8, 8, Alpha::opaque, R::automatic, H::BC5_UNORM, false, false},
      {H::BC5_SNORM, 8, 8, Alpha::opaque, R::automatic, H::BC5_SNORM, false, false},
      {H::R8_UNORM, 8, 8, Alpha::opaque, R::automatic, H::R8_UNORM, false, false},
      // Sides a block format cannot take.
      {H::BC1_UNORM, 6, 8, Alpha::graded, R::automatic, H::RGBA8_UNORM, true, false},
      {H::RG8_SNORM, 8, 2, Alpha::opaque, R::automatic, H::RG8_SNORM, true, false},
      {H::BC5_UNORM, 1, 1, Alpha::opaque, R::automatic, H::RG8_UNORM, true, false},
      {H::RGBA8_UNORM, 12, 7, Alpha::opaque, R::bc3, H::RGBA8_UNORM, true, false},
      // --format: colour rows only, and only what the original's family takes.
      {H::BC1_UNORM, 8, 8, Alpha::graded, R::bc3, H::BC3_UNORM, false, false},
      {H::BC1_UNORM, 8, 8, Alpha::graded, R::bc1, H::BC1_UNORM, false, true},
      {H::BC1_UNORM, 8, 8, Alpha::opaque, R::rgba8, H::RGBA8_UNORM, false, false},
      {H::RGBA8_UNORM, 8, 8, Alpha::opaque, R::bc1, H::UNKNOWN, false, false},
      {H::BC7_UNORM, 8, 8, Alpha::opaque, R::bc3, H::BC3_UNORM, false, false},
      {H::R8_UNORM, 8, 8, Alpha::opaque, R::bc7, H::R8_UNORM, false, false},
      {H::RG8_UNORM, 8, 8, Alpha::opaque, R::rgba8, H::BC5_UNORM, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(HostFormatName(c.original)) + " " + std::to_string(c.width) + "x" +
                 std::to_string(c.height) + " --format " + RequestedFormatName(c.requested));
    FormatChoice choice;
    std::string error;
    const bool ok =
        ChooseOutputFormat(c.original, Plain(c.original, c.width, c.height, c.alpha), c.requested, choice, error);
    if (c.expected == H::UNKNOWN) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(error, "--format bc1 does not suit RGBA8_UNORM originals");
      continue;
    }
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(choice.format, c.expected);
    EXPECT_EQ(choice.uncompressed_for_size, c.uncompressed_for_size);
    EXPECT_EQ(choice.bc1_punch_through, c.punch_through);
  }
}

}  // namespace
}  // namespace mivo
