// The block encoders through our decoders: exact solid colours, no block
// worse than its bounding-box encoding, edge padding, thread independence.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "guest/bc1_encode.h"
#include "guest/bc4_encode.h"
#include "guest/bc7_encode.h"
#include "guest/block_decode.h"
#include "guest/block_encode.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr EncodeQuality kQualities[] = {EncodeQuality::fast, EncodeQuality::normal, EncodeQuality::slow};

// One format as the tests see it: its plain bounding-box encoding and which
// bytes of a texel count towards the error.
struct Case {
  const char* name;
  HostFormat format;
  EncodeSettings settings;
  void (*bounding_box)(const uint8_t* texels, uint8_t* out);
  uint32_t counted_channels;  // the first this many bytes of each texel
  bool is_signed;
};

const Case kCases[] = {
    {"BC1",
     HostFormat::BC1_UNORM,
     {},
     [](const uint8_t* t, uint8_t* o) { EncodeColourBlockBoundingBox(t, {}, o); },
     3,
     false},
    {"BC1 punch-through",
     HostFormat::BC1_UNORM,
     {EncodeQuality::normal, true},
     [](const uint8_t* t, uint8_t* o) {
       EncodeColourBlockBoundingBox(t, {false, true}, o);
     },
     4,
     false},
    {"BC3",
     HostFormat::BC3_UNORM,
     {},
     [](const uint8_t* t, uint8_t* o) {
       EncodeBc4ChannelBoundingBox(t + 3, 4, false, o);
       EncodeColourBlockBoundingBox(t, {true, false}, o + 8);
     },
     4,
     false},
    {"BC4",
     HostFormat::BC4_UNORM,
     {},
     [](const uint8_t* t, uint8_t* o) { EncodeBc4ChannelBoundingBox(t, 1, false, o); },
     1,
     false},
    {"BC4 signed",
     HostFormat::BC4_SNORM,
     {},
     [](const uint8_t* t, uint8_t* o) { EncodeBc4ChannelBoundingBox(t, 1, true, o); },
     1,
     true},
    {"BC5",
     HostFormat::BC5_UNORM,
     {},
     [](const uint8_t* t, uint8_t* o) {
       EncodeBc4ChannelBoundingBox(t, 2, false, o);
       EncodeBc4ChannelBoundingBox(t + 1, 2, false, o + 8);
     },
     2,
     false},
    {"BC5 signed",
     HostFormat::BC5_SNORM,
     {},
     [](const uint8_t* t, uint8_t* o) {
       EncodeBc4ChannelBoundingBox(t, 2, true, o);
       EncodeBc4ChannelBoundingBox(t + 1, 2, true, o + 8);
     },
     2,
     true},
    {"BC7", HostFormat::BC7_UNORM, {}, [](const uint8_t* t, uint8_t* o) { EncodeBc7Mode6Plain(t, {}, o); }, 4, false},
};

uint32_t TexelBytes(const Case& c) { return EncodeInputTexelBytes(c.format); }

// Squared error of a block's decoding against its 16 input texels. Under
// punch-through a transparent texel counts as transparent black.
uint64_t BlockError(const Case& c, const uint8_t* texels, const uint8_t* block) {
  const uint32_t bytes = TexelBytes(c);
  uint8_t decoded[64];
  FindEncodeFormat(c.format)->decode(block, decoded);
  uint64_t error = 0;
  for (uint32_t i = 0; i < 16; ++i) {
    const uint8_t* in = texels + i * bytes;
    const bool transparent = c.settings.bc1_punch_through && in[3] < 128;
    for (uint32_t ch = 0; ch < c.counted_channels; ++ch) {
      const int want = transparent                               ? 0
                       : c.settings.bc1_punch_through && ch == 3 ? 255
                       : c.is_signed                             ? int8_t(in[ch])
                                                                 : in[ch];
      const int got = c.is_signed ? int8_t(decoded[i * bytes + ch]) : decoded[i * bytes + ch];
      error += uint64_t((want - got) * (want - got));
    }
  }
  return error;
}

// Input blocks of the kinds that catch endpoint and index faults. Signed
// formats never see -128, which no signed channel holds.
enum class Kind { random, two_colour, gradient, few_levels };

Bytes MakeBlock(Kind kind, const Case& c, std::mt19937& rng) {
  const uint32_t bytes = TexelBytes(c);
  Bytes texels(16 * bytes);
  uint8_t a[4], b[4];
  for (int ch = 0; ch < 4; ++ch) a[ch] = uint8_t(rng()), b[ch] = uint8_t(rng());
  for (uint32_t i = 0; i < 16; ++i) {
    const bool first = rng() & 1;
    for (uint32_t ch = 0; ch < bytes; ++ch) {
      uint8_t v = 0;
      switch (kind) {
        case Kind::random: v = uint8_t(rng()); break;
        case Kind::two_colour: v = first ? a[ch] : b[ch]; break;
        case Kind::gradient: v = uint8_t((a[ch] * (15 - int(i)) + b[ch] * int(i)) / 15); break;
        case Kind::few_levels: v = uint8_t(rng() % 4 * 85); break;
      }
      if (c.is_signed && v == 0x80) v = 0x81;
      texels[i * bytes + ch] = v;
    }
  }
  return texels;
}

TEST(BlockEncode, NoBlockEncodesWorseThanItsBoundingBox) {
  for (const Case& c : kCases) {
    std::mt19937 rng(7);
    for (Kind kind : {Kind::random, Kind::two_colour, Kind::gradient, Kind::few_levels}) {
      for (int n = 0; n < 300; ++n) {
        const Bytes texels = MakeBlock(kind, c, rng);
        uint8_t reference[16];
        c.bounding_box(texels.data(), reference);
        const uint64_t limit = BlockError(c, texels.data(), reference);
        for (EncodeQuality quality : kQualities) {
          EncodeSettings settings = c.settings;
          settings.quality = quality;
          uint8_t block[16];
          FindEncodeFormat(c.format)->encode(texels.data(), settings, block);
          ASSERT_LE(BlockError(c, texels.data(), block), limit)
              << c.name << " kind " << int(kind) << " block " << n << " quality " << int(quality);
        }
      }
    }
  }
}

// Per channel, the nearest value that some endpoint pair reaches with one
// interpolant (the two-thirds one for four colours, or halfway).
int NearestReachable(int v, int bits, bool half) {
  const auto expand = [bits](int q) { return bits == 5 ? (q << 3 | q >> 2) : (q << 2 | q >> 4); };
  int best = 1 << 20;
  for (int q0 = 0; q0 < (1 << bits); ++q0)
    for (int q1 = 0; q1 < (1 << bits); ++q1) {
      const int a = expand(q0), b = expand(q1);
      const int value = half ? (a + b + 1) >> 1 : (2 * a + b + 1) / 3;
      best = std::abs(value - v) < std::abs(best - v) ? value : best;
    }
  return best;
}

TEST(BlockEncode, SolidColoursDecodeToTheNearestReachableColour) {
  std::mt19937 rng(3);
  for (int n = 0; n < 40; ++n) {
    const uint8_t colour[3] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    // The best single mode for all three channels.
    uint64_t best = ~uint64_t(0);
    for (bool half : {false, true}) {
      uint64_t error = 0;
      for (int ch = 0; ch < 3; ++ch) {
        const int d = NearestReachable(colour[ch], ch == 1 ? 6 : 5, half) - colour[ch];
        error += uint64_t(d * d);
      }
      best = std::min(best, error);
    }
    Bytes texels;
    for (int i = 0; i < 16; ++i) texels.insert(texels.end(), {colour[0], colour[1], colour[2], 255});
    for (EncodeQuality quality : kQualities) {
      uint8_t block[8];
      EncodeBc1Block(texels.data(), {quality}, block);
      EXPECT_EQ(BlockError(kCases[0], texels.data(), block), 16 * best)
          << int(colour[0]) << "," << int(colour[1]) << "," << int(colour[2]) << " quality " << int(quality);
    }
  }
}

// Two colours that the format holds exactly as endpoints come back exactly.
TEST(BlockEncode, TwoRepresentableColoursDecodeExactly) {
  for (const Case& c : kCases) {
    std::mt19937 rng(5);
    for (int n = 0; n < 200; ++n) {
      Bytes texels = MakeBlock(Kind::two_colour, c, rng);
      if (c.format == HostFormat::BC1_UNORM || c.format == HostFormat::BC3_UNORM) {
        // Round each channel to a 5:6:5 level, expanded as the decoder does.
        for (uint32_t i = 0; i < 16; ++i)
          for (int ch = 0; ch < 3; ++ch) {
            const int bits = ch == 1 ? 6 : 5, q = texels[4 * i + ch] >> (8 - bits);
            texels[4 * i + ch] = uint8_t(q << (8 - bits) | q >> (2 * bits - 8));
          }
      }
      if (c.format == HostFormat::BC7_UNORM)  // mode 6 endpoints with p-bit 0 hold even values
        for (uint8_t& v : texels) v &= 0xFE;
      for (EncodeQuality quality : kQualities) {
        EncodeSettings settings = c.settings;
        settings.quality = quality;
        uint8_t block[16];
        FindEncodeFormat(c.format)->encode(texels.data(), settings, block);
        ASSERT_EQ(BlockError(c, texels.data(), block), 0u) << c.name << " block " << n << " quality " << int(quality);
      }
    }
  }
}

TEST(BlockEncode, Bc1KeepsOpaqueTexelsOpaqueAndPunchesThroughOnlyWhenAsked) {
  std::mt19937 rng(11);
  for (bool punch_through : {false, true}) {
    for (int n = 0; n < 500; ++n) {
      const Bytes texels = MakeBlock(n % 2 ? Kind::random : Kind::few_levels, kCases[1], rng);
      for (EncodeQuality quality : kQualities) {
        uint8_t block[8], decoded[64];
        EncodeBc1Block(texels.data(), {quality, punch_through}, block);
        DecodeBc1Block(block, false, decoded);
        for (int i = 0; i < 16; ++i) {
          const int want = punch_through && texels[4 * i + 3] < 128 ? 0 : 255;
          ASSERT_EQ(decoded[4 * i + 3], want) << "block " << n << " texel " << i;
        }
      }
    }
  }
}

// A level of `width` x `height` texels with smooth and noisy parts.
Bytes MakeLevel(uint32_t bytes, uint32_t width, uint32_t height, bool is_signed) {
  std::mt19937 rng(width * 131 + height);
  Bytes texels(size_t(width) * height * bytes);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t ch = 0; ch < bytes; ++ch) {
        uint8_t v = uint8_t(x * 7 * (ch + 1) + y * 3 + ((x / 8 + y / 8) % 2 ? rng() % 32 : 0));
        if (is_signed && v == 0x80) v = 0x81;
        texels[(size_t(y) * width + x) * bytes + ch] = v;
      }
  return texels;
}

TEST(BlockEncode, LevelBytesDoNotDependOnTheThreadCount) {
  for (const Case& c : kCases) {
    const uint32_t width = 61, height = 45;
    const Bytes texels = MakeLevel(TexelBytes(c), width, height, c.is_signed);
    Bytes one(EncodedLevelBytes(c.format, width, height)), four(one.size());
    std::string error;
    ASSERT_TRUE(EncodeLevel(c.format, texels.data(), width, height, c.settings, 1, one.data(), error)) << error;
    ASSERT_TRUE(EncodeLevel(c.format, texels.data(), width, height, c.settings, 4, four.data(), error)) << error;
    EXPECT_EQ(one, four) << c.name;
  }
}

TEST(BlockEncode, PartialEdgeBlocksRepeatTheLastColumnAndRow) {
  for (const Case& c : kCases) {
    const uint32_t bytes = TexelBytes(c);
    for (const auto& [width, height] : {std::pair{5u, 3u}, {1u, 1u}, {2u, 9u}}) {
      const Bytes texels = MakeLevel(bytes, width, height, c.is_signed);
      const uint32_t padded_width = (width + 3) / 4 * 4, padded_height = (height + 3) / 4 * 4;
      Bytes padded(size_t(padded_width) * padded_height * bytes);
      for (uint32_t y = 0; y < padded_height; ++y)
        for (uint32_t x = 0; x < padded_width; ++x)
          for (uint32_t ch = 0; ch < bytes; ++ch)
            padded[(size_t(y) * padded_width + x) * bytes + ch] =
                texels[(size_t(std::min(y, height - 1)) * width + std::min(x, width - 1)) * bytes + ch];
      Bytes edge(EncodedLevelBytes(c.format, width, height)), whole(edge.size());
      std::string error;
      ASSERT_TRUE(EncodeLevel(c.format, texels.data(), width, height, c.settings, 1, edge.data(), error));
      ASSERT_TRUE(
          EncodeLevel(c.format, padded.data(), padded_width, padded_height, c.settings, 1, whole.data(), error));
      EXPECT_EQ(edge, whole) << c.name << " " << width << "x" << height;
    }
  }
}

TEST(BlockEncode, RefusesFormatsWithoutAnEncoderAndEmptyLevels) {
  uint8_t texels[64] = {}, out[16];
  std::string error;
  for (HostFormat format : {HostFormat::RGBA8_UNORM, HostFormat::BC2_UNORM, HostFormat::R8_UNORM}) {
    EXPECT_FALSE(EncodeLevel(format, texels, 4, 4, {}, 1, out, error));
    EXPECT_EQ(error, "unsupported encode format");
    EXPECT_EQ(EncodedLevelBytes(format, 4, 4), 0u);
  }
  for (uint32_t threads : {1u, 3u}) {
    error.clear();
    EXPECT_FALSE(EncodeLevel(HostFormat::BC1_UNORM, texels, 0, 4, {}, threads, out, error));
    EXPECT_EQ(error, "invalid level size");
  }
  EXPECT_EQ(EncodedLevelBytes(HostFormat::BC1_UNORM, 5, 9), 2u * 3 * 8);
}

}  // namespace
}  // namespace mivo
