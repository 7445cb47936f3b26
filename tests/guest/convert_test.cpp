#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "guest/block_decode.h"
#include "guest/convert.h"

namespace mivo {
namespace {

// Runs one conversion over `src` into a zeroed, tightly packed destination.
std::vector<uint8_t> Convert(Conversion conversion, GuestFormat guest, HostFormat host,
                             const std::vector<uint8_t>& src, uint32_t bx, uint32_t by, uint32_t width,
                             uint32_t height, uint32_t bz = 1) {
  const uint64_t row_pitch = HostRowPitch(host, width);
  const uint64_t slice = HostSliceSize(host, width, height);
  std::vector<uint8_t> dst(slice * bz);
  TexelConversion job;
  job.conversion = conversion;
  job.guest_format = guest;
  job.host_format = host;
  job.src = src.data();
  job.bx = bx;
  job.by = by;
  job.bz = bz;
  job.width = width;
  job.height = height;
  job.dst = dst.data();
  job.row_pitch = row_pitch;
  job.slice_pitch = slice;
  ConvertTexels(job);
  return dst;
}

// One source element converted on the texel path.
std::vector<uint8_t> ConvertOne(Conversion conversion, GuestFormat guest, HostFormat host,
                                const std::vector<uint8_t>& element) {
  return Convert(conversion, guest, host, element, 1, 1, 1, 1);
}

std::vector<uint8_t> Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

uint16_t U16At(const std::vector<uint8_t>& b, size_t i) { return uint16_t(b[2 * i] | b[2 * i + 1] << 8); }

float FloatAt(const std::vector<uint8_t>& b, size_t offset = 0) {
  float f;
  std::memcpy(&f, b.data() + offset, 4);
  return f;
}

using Bytes = std::vector<uint8_t>;

TEST(ConvertCopy, RowsLandAtTheDestinationPitchAndSlices) {
  // 3x2x2 texels of k_8_8 copied into a destination with padded rows and slices.
  Bytes src(3 * 2 * 2 * 2);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i + 1);
  Bytes dst(2 * 40, 0xEE);
  TexelConversion job;
  job.conversion = Conversion::copy;
  job.guest_format = GuestFormat::k_8_8;
  job.host_format = HostFormat::RG8_UNORM;
  job.src = src.data();
  job.bx = 3, job.by = 2, job.bz = 2;
  job.width = 3, job.height = 2;
  job.dst = dst.data();
  job.row_pitch = 8;
  job.slice_pitch = 40;
  ConvertTexels(job);
  for (uint32_t z = 0; z < 2; ++z)
    for (uint32_t y = 0; y < 2; ++y) {
      const uint8_t* row = dst.data() + z * 40 + y * 8;
      EXPECT_EQ(0, std::memcmp(row, src.data() + (z * 2 + y) * 6, 6)) << z << " " << y;
      EXPECT_EQ(row[6], 0xEE);  // padding untouched
    }
}

TEST(ConvertCopy, BlockCompressedRowsAreRowsOfBlocks) {
  Bytes src(2 * 2 * 16);
  for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 7);
  EXPECT_EQ(Convert(Conversion::copy, GuestFormat::k_DXT4_5, HostFormat::BC3_UNORM, src, 2, 2, 8, 8), src);
}

TEST(ConvertCopy, MismatchedFormatsWriteNothing) {
  // A 4-byte guest element cannot be copied into a 2-byte host texel.
  const Bytes src = Le32(0x11223344);
  EXPECT_EQ(ConvertOne(Conversion::copy, GuestFormat::k_8_8_8_8, HostFormat::RG8_UNORM, src), Bytes(2, 0));
  // A block decoder fed a plain guest format does not read past the source.
  EXPECT_EQ(Convert(Conversion::dxt1_to_rgba8, GuestFormat::k_8, HostFormat::RGBA8_UNORM, {1}, 1, 1, 1, 1),
            Bytes(4, 0));
}

TEST(ConvertCopy, PitchSmallerThanARowWritesNothing) {
  Bytes src(16, 0xAB), dst(16, 0);
  TexelConversion job;
  job.conversion = Conversion::copy;
  job.guest_format = GuestFormat::k_8_8_8_8;
  job.host_format = HostFormat::RGBA8_UNORM;
  job.src = src.data();
  job.bx = 2, job.by = 2, job.bz = 1;
  job.width = 2, job.height = 2;
  job.dst = dst.data();
  job.row_pitch = 4;  // less than one row of two texels
  ConvertTexels(job);
  EXPECT_EQ(dst, Bytes(16, 0));
}

// --- block path ---

// A BC1 block with endpoints c0, c1 and the given index word.
Bytes Bc1(uint16_t c0, uint16_t c1, uint32_t indices) {
  return {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8),
          uint8_t(indices), uint8_t(indices >> 8), uint8_t(indices >> 16), uint8_t(indices >> 24)};
}

TEST(ConvertBlocks, Dxt1SixBySixKeepsOnlyTexelsInsideTheLevel) {
  // Four blocks, each a distinct solid colour chosen by index 0.
  const uint16_t colours[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
  Bytes src;
  for (uint16_t c : colours) {
    const Bytes b = Bc1(c, 0, 0);
    src.insert(src.end(), b.begin(), b.end());
  }
  const Bytes out = Convert(Conversion::dxt1_to_rgba8, GuestFormat::k_DXT1, HostFormat::RGBA8_UNORM, src, 2, 2, 6, 6);
  ASSERT_EQ(out.size(), 6u * 6 * 4);
  const uint8_t expected[4][4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x) {
      const uint32_t block = (y / 4) * 2 + x / 4;
      EXPECT_EQ(0, std::memcmp(&out[(y * 6 + x) * 4], expected[block], 4)) << x << "," << y;
    }
}

TEST(ConvertBlocks, Dxt1EqualEndpointsGiveTransparentBlackButDxt3AndDxt5DoNot) {
  const Bytes colour = Bc1(0x1234, 0x1234, 0xFFFFFFFF);  // every texel index 3
  const Bytes dxt1 = Convert(Conversion::dxt1_to_rgba8, GuestFormat::k_DXT1, HostFormat::RGBA8_UNORM, colour, 1, 1, 4, 4);
  EXPECT_EQ(dxt1, Bytes(64, 0));

  Bytes dxt5(16, 0);
  dxt5[0] = 200;  // alpha endpoints 200, 0; indices 0 -> alpha 200
  std::memcpy(dxt5.data() + 8, colour.data(), 8);
  const Bytes out5 = Convert(Conversion::dxt5_to_rgba8, GuestFormat::k_DXT4_5, HostFormat::RGBA8_UNORM, dxt5, 1, 1, 4, 4);
  Bytes dxt3(16, 0xFF);
  std::memcpy(dxt3.data() + 8, colour.data(), 8);
  const Bytes out3 = Convert(Conversion::dxt3_to_rgba8, GuestFormat::k_DXT2_3, HostFormat::RGBA8_UNORM, dxt3, 1, 1, 4, 4);
  // 0x1234: R5 = 2, G6 = 17, B5 = 20 -> 16, 69, 165.
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(out5[4 * i + 0], 16);
    EXPECT_EQ(out5[4 * i + 1], 69);
    EXPECT_EQ(out5[4 * i + 2], 165);
    EXPECT_EQ(out5[4 * i + 3], 200);
    EXPECT_EQ(out3[4 * i + 0], 16);
    EXPECT_EQ(out3[4 * i + 3], 255);
  }
}


// --- texel path ---

TEST(ConvertTexelPath, PackedColoursExpandByBitReplication) {
  auto rgba = [](Conversion c, GuestFormat g, uint16_t v) {
    return ConvertOne(c, g, HostFormat::RGBA8_UNORM, {uint8_t(v), uint8_t(v >> 8)});
  };
  EXPECT_EQ(rgba(Conversion::c565_to_rgba8, GuestFormat::k_5_6_5, 0xF800), (Bytes{0, 0, 255, 255}));
  EXPECT_EQ(rgba(Conversion::c565_to_rgba8, GuestFormat::k_5_6_5, 0x001F), (Bytes{255, 0, 0, 255}));
  EXPECT_EQ(rgba(Conversion::c565_to_rgba8, GuestFormat::k_5_6_5, 0x07E0), (Bytes{0, 255, 0, 255}));
  // 565 with R = 0b10000, G = 0b100000: the top bits repeat below.
  EXPECT_EQ(rgba(Conversion::c565_to_rgba8, GuestFormat::k_5_6_5, 0x0410), (Bytes{0x84, 0x82, 0, 255}));
  EXPECT_EQ(rgba(Conversion::c4444_to_rgba8, GuestFormat::k_4_4_4_4, 0x8421), (Bytes{17, 34, 68, 136}));
  EXPECT_EQ(rgba(Conversion::c1555_to_rgba8, GuestFormat::k_1_5_5_5, 0x8000), (Bytes{0, 0, 0, 255}));
  EXPECT_EQ(rgba(Conversion::c1555_to_rgba8, GuestFormat::k_1_5_5_5, 0x7C00), (Bytes{0, 0, 255, 0}));
  // 655: B is the 6-bit field at the top.
  EXPECT_EQ(rgba(Conversion::c655_to_rgba8, GuestFormat::k_6_5_5, 0xFC00), (Bytes{0, 0, 255, 255}));
  EXPECT_EQ(rgba(Conversion::c655_to_rgba8, GuestFormat::k_6_5_5, 0x03E0), (Bytes{0, 255, 0, 255}));
}

TEST(ConvertTexelPath, UnsignedElevenAndTenBitFieldsWidenToSixteen) {
  const Bytes all = ConvertOne(Conversion::c11_11_10_to_rgba16, GuestFormat::k_10_11_11, HostFormat::RGBA16_UNORM,
                               Le32(0xFFFFFFFF));
  for (int c = 0; c < 4; ++c) EXPECT_EQ(U16At(all, c), 0xFFFF);
  const Bytes x = ConvertOne(Conversion::c11_11_10_to_rgba16, GuestFormat::k_10_11_11, HostFormat::RGBA16_UNORM,
                             Le32(0x00000400));
  EXPECT_EQ(U16At(x, 0), 0x8010);
  EXPECT_EQ(U16At(x, 3), 0xFFFF);
  // 10_11_11: a 10-bit X of 0x200 and an 11-bit Z of 1.
  const Bytes y = ConvertOne(Conversion::c10_11_11_to_rgba16, GuestFormat::k_11_11_10, HostFormat::RGBA16_UNORM,
                             Le32(0x00200200));
  EXPECT_EQ(U16At(y, 0), (0x200 << 6) | (0x200 >> 4));
  EXPECT_EQ(U16At(y, 1), 0);
  EXPECT_EQ(U16At(y, 2), 1 << 5);
}

TEST(ConvertTexelPath, SignedFieldsRoundHalfAwayAndClampTheMostNegativeCode) {
  auto snorm = [](Conversion c, GuestFormat g, uint32_t v) {
    const Bytes out = ConvertOne(c, g, HostFormat::RGBA16_SNORM, Le32(v));
    return std::vector<int16_t>{int16_t(U16At(out, 0)), int16_t(U16At(out, 1)), int16_t(U16At(out, 2)),
                                int16_t(U16At(out, 3))};
  };
  const Conversion c2 = Conversion::c2_10_10_10_to_rgba16s;
  const GuestFormat g2 = GuestFormat::k_2_10_10_10;
  EXPECT_EQ(snorm(c2, g2, 0x000001FF)[0], 32767);
  EXPECT_EQ(snorm(c2, g2, 0x00000200)[0], -32767);
  EXPECT_EQ(snorm(c2, g2, 0x00000201)[0], -32767);
  EXPECT_EQ(snorm(c2, g2, 0x80000000)[3], -32767);
  EXPECT_EQ(snorm(c2, g2, 0xC0000000)[3], -32767);
  EXPECT_EQ(snorm(c2, g2, 0x40000000)[3], 32767);
  EXPECT_EQ(snorm(c2, g2, 0x00000000)[3], 0);
  // 1 / 511 x 32767 = 64.12 -> 64; -3 / 511 x 32767 = -192.37 -> -192; 8 -> 512.98 -> 513.
  EXPECT_EQ(snorm(c2, g2, 0x00000001)[0], 64);
  EXPECT_EQ(snorm(c2, g2, 0x3FD)[0], -192);
  EXPECT_EQ(snorm(c2, g2, 8u << 10)[1], 513);
  // 11_11_10 signed: Y field -1023 (11 bits), Z field 511 (10 bits), W 32767.
  const auto v = snorm(Conversion::c11_11_10_to_rgba16s, GuestFormat::k_10_11_11, (0x401u << 11) | (0x1FFu << 22));
  EXPECT_EQ(v[0], 0);
  EXPECT_EQ(v[1], -32767);
  EXPECT_EQ(v[2], 32767);
  EXPECT_EQ(v[3], 32767);
  const auto w = snorm(Conversion::c10_11_11_to_rgba16s, GuestFormat::k_11_11_10, 0x200u | (0x3FFu << 10) | (0x400u << 21));
  EXPECT_EQ(w[0], -32767);  // -512 clamps to -511
  EXPECT_EQ(w[1], 32767);
  EXPECT_EQ(w[2], -32767);  // -1024 clamps to -1023
}

TEST(ConvertTexelPath, DepthFormatsBecomeFloats) {
  auto depth = [](Conversion c, GuestFormat g, uint32_t v) {
    return FloatAt(ConvertOne(c, g, HostFormat::R32_FLOAT, Le32(v)));
  };
  EXPECT_EQ(depth(Conversion::depth24_to_float, GuestFormat::k_24_8, 0xFFFFFF00), 1.0f);
  EXPECT_EQ(depth(Conversion::depth24_to_float, GuestFormat::k_24_8, 0xFFFFFFFF), 1.0f);  // stencil ignored
  EXPECT_EQ(depth(Conversion::depth24_to_float, GuestFormat::k_24_8, 0x80000000), 8388609.0f / 16777216.0f);
  EXPECT_EQ(depth(Conversion::depth24_to_float, GuestFormat::k_24_8, 0x00000100), 1.0f / 16777216.0f);
  const GuestFormat g = GuestFormat::k_24_8_FLOAT;
  EXPECT_EQ(depth(Conversion::depth20e4_to_float, g, 0x10000000), std::ldexp(1.0f, -14));
  EXPECT_EQ(depth(Conversion::depth20e4_to_float, g, 0x00000100), std::ldexp(1.0f, -34));
  EXPECT_EQ(depth(Conversion::depth20e4_to_float, g, 0x00000000), 0.0f);
  // e = 0, m = 0x80001: (2^19 + 1) x 2^-34, exactly representable.
  EXPECT_EQ(depth(Conversion::depth20e4_to_float, g, 0x08000100), std::ldexp(524289.0f, -34));
  // e = 15, m = 0x80000: 1.5.
  EXPECT_EQ(depth(Conversion::depth20e4_to_float, g, 0xF8000000), 1.5f);
}

TEST(ConvertTexelPath, RgbFloatsGainAnAlphaOfOne) {
  Bytes src(12);
  const float rgb[3] = {0.25f, -2.0f, 1e30f};
  std::memcpy(src.data(), rgb, 12);
  const Bytes out = ConvertOne(Conversion::rgb32_to_rgba32f, GuestFormat::k_32_32_32_FLOAT, HostFormat::RGBA32_FLOAT, src);
  EXPECT_EQ(0, std::memcmp(out.data(), rgb, 12));
  EXPECT_EQ(FloatAt(out, 12), 1.0f);
}

TEST(ConvertTexelPath, SevenThreeFloatsAndTwoBitAlphaBecomeHalves) {
  auto halves = [](uint32_t v) {
    const Bytes out = ConvertOne(Conversion::c7e3_to_rgba16f, GuestFormat::k_2_10_10_10_FLOAT_EDRAM,
                                 HostFormat::RGBA16_FLOAT, Le32(v));
    return std::vector<uint16_t>{U16At(out, 0), U16At(out, 1), U16At(out, 2), U16At(out, 3)};
  };
  EXPECT_EQ(halves(0xC0000000), (std::vector<uint16_t>{0, 0, 0, 0x3C00}));
  EXPECT_EQ(halves(0x40000000)[3], 0x3555);
  EXPECT_EQ(halves(0x80000000)[3], 0x3955);
  EXPECT_EQ(halves(0)[3], 0);
  // R: e = 3, m = 0 -> 1.0; G: e = 0, m = 1 -> 2^-9; B: e = 7, m = 0x7F -> 16 x 255/128 = 31.875.
  const auto v = halves((3u << 7) | (1u << 10) | (0x3FFu << 20));
  EXPECT_EQ(v[0], 0x3C00);
  EXPECT_EQ(v[1], 0x1800);
  EXPECT_EQ(v[2], FloatToHalf(31.875f));
  EXPECT_EQ(v[2], 0x4FF8);
}

TEST(ConvertTexelPath, Fixed16ScalesToPlusMinusThirtyTwoHalves) {
  const Bytes two = ConvertOne(Conversion::fixed16_to_half, GuestFormat::k_16_16_EDRAM, HostFormat::RG16_FLOAT,
                               {0xFF, 0x7F, 0x00, 0x80});
  EXPECT_EQ(U16At(two, 0), 0x5000);  // 32767 -> 32.0
  EXPECT_EQ(U16At(two, 1), 0xD000);  // -32768 -> -32.0
  const Bytes four = ConvertOne(Conversion::fixed16_to_half, GuestFormat::k_16_16_16_16_EDRAM,
                                HostFormat::RGBA16_FLOAT, {0x01, 0x80, 0, 0, 0x00, 0x40, 0xFF, 0xFF});
  EXPECT_EQ(U16At(four, 0), 0xD000);  // -32767 -> -32.0
  EXPECT_EQ(U16At(four, 1), 0x0000);
  EXPECT_EQ(U16At(four, 2), FloatToHalf(16384.0f * std::bit_cast<float>(0x3A800100u)));
  EXPECT_EQ(U16At(four, 3), FloatToHalf(-std::bit_cast<float>(0x3A800100u)));
}

TEST(ConvertBlocks, YuvPairsKeepCrYCbWithoutColourConversion) {
  const Bytes b = {0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(Convert(Conversion::cr_y1_cb_y0_to_rgba8, GuestFormat::k_Cr_Y1_Cb_Y0_REP, HostFormat::RGBA8_UNORM, b, 1,
                    1, 2, 1),
            (Bytes{0x40, 0x10, 0x20, 255, 0x40, 0x30, 0x20, 255}));
  EXPECT_EQ(Convert(Conversion::y1_cr_y0_cb_to_rgba8, GuestFormat::k_Y1_Cr_Y0_Cb_REP, HostFormat::RGBA8_UNORM, b, 1,
                    1, 2, 1),
            (Bytes{0x30, 0x20, 0x10, 255, 0x30, 0x40, 0x10, 255}));
  // An odd width keeps only the first texel of the last pair.
  const Bytes odd = Convert(Conversion::cr_y1_cb_y0_to_rgba8, GuestFormat::k_Cr_Y1_Cb_Y0_REP,
                            HostFormat::RGBA8_UNORM, b, 1, 1, 1, 1);
  EXPECT_EQ(odd, (Bytes{0x40, 0x10, 0x20, 255}));
}

TEST(ConvertBlocks, OneBitTexelsRunFromEitherEnd) {
  EXPECT_EQ(Convert(Conversion::c1_reverse_to_r8, GuestFormat::k_1_REVERSE, HostFormat::R8_UNORM, {0x80}, 1, 1, 8, 1),
            (Bytes{255, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Convert(Conversion::c1_to_r8, GuestFormat::k_1, HostFormat::R8_UNORM, {0x80}, 1, 1, 8, 1),
            (Bytes{0, 0, 0, 0, 0, 0, 0, 255}));
  // Two bytes, ten texels wide: the last six bits are clipped.
  EXPECT_EQ(Convert(Conversion::c1_to_r8, GuestFormat::k_1, HostFormat::R8_UNORM, {0x05, 0xFF}, 2, 1, 10, 1),
            (Bytes{255, 0, 255, 0, 0, 0, 0, 0, 255, 255}));
}

TEST(ConvertBlocks, SplitBlocksAreTheirBytesInOrder) {
  const Bytes b = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(Convert(Conversion::split_block_to_texels, GuestFormat::k_32_AS_8, HostFormat::R8_UNORM, b, 2, 1, 7, 1),
            (Bytes{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Convert(Conversion::split_block_to_texels, GuestFormat::k_32_AS_8_INTERLACED, HostFormat::R8_SNORM, b, 1,
                    2, 4, 2),
            b);
  EXPECT_EQ(Convert(Conversion::split_block_to_texels, GuestFormat::k_32_AS_8_8, HostFormat::RG8_UNORM, b, 2, 1, 3, 1),
            (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(ConvertBlocks, Dxt3aNibblesScaleAndDxt3aAs1111SpreadsBits) {
  const Bytes block = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
  const Bytes r8 = Convert(Conversion::dxt3a_to_r8, GuestFormat::k_DXT3A, HostFormat::R8_UNORM, block, 1, 1, 4, 4);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(r8[i], i * 17) << i;
  const Bytes rgba = Convert(Conversion::dxt3a_as_1111_to_rgba8, GuestFormat::k_DXT3A_AS_1_1_1_1,
                             HostFormat::RGBA8_UNORM, block, 1, 1, 4, 4);
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(rgba[4 * i + c], (i >> c) & 1 ? 255 : 0) << i << " " << c;
}

TEST(ConvertBlocks, Ctx1InterpolatesWithoutRounding) {
  // G endpoints b0 = 0, b2 = 2; R endpoints b1 = 255, b3 = 1; texel i uses index i % 4.
  const Bytes block = {0, 255, 2, 1, 0xE4, 0xE4, 0xE4, 0xE4};
  const Bytes out = Convert(Conversion::ctx1_to_rg8, GuestFormat::k_CTX1, HostFormat::RG8_UNORM, block, 1, 1, 4, 4);
  // R: 255, 1, (1 + 510) / 3 = 170, (255 + 2) / 3 = 85. G: 0, 2, 2 / 3 = 0, 4 / 3 = 1.
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), (Bytes{255, 0, 1, 2, 170, 0, 85, 1}));
}

TEST(ConvertBlocks, DxnAndDxt5aUseTheBc4Decoders) {
  // Red endpoints 255, 0 (eight values), green 0, 255 (six values); index i % 8.
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= uint64_t(i % 8) << (3 * i);
  Bytes red = {255, 0}, green = {0, 255};
  for (int k = 0; k < 6; ++k) red.push_back(uint8_t(bits >> (8 * k)));
  green.insert(green.end(), red.begin() + 2, red.end());
  Bytes dxn = red;
  dxn.insert(dxn.end(), green.begin(), green.end());
  const Bytes rg = Convert(Conversion::dxn_to_rg8, GuestFormat::k_DXN, HostFormat::RG8_UNORM, dxn, 1, 1, 4, 4);
  EXPECT_EQ(Bytes(rg.begin(), rg.begin() + 6), (Bytes{255, 0, 0, 255, 219, 51}));
  const Bytes rgs = Convert(Conversion::dxn_to_rg8s, GuestFormat::k_DXN, HostFormat::RG8_SNORM, dxn, 1, 1, 4, 4);
  EXPECT_EQ(Bytes(rgs.begin() + 12, rgs.begin() + 16), (Bytes{0x81, 0xFF, 0x7F, 0xFF}));  // texels 6, 7
  const Bytes r = Convert(Conversion::dxt5a_to_r8, GuestFormat::k_DXT5A, HostFormat::R8_UNORM, red, 1, 1, 4, 4);
  EXPECT_EQ(Bytes(r.begin(), r.begin() + 8), (Bytes{255, 0, 219, 182, 146, 109, 73, 36}));
  const Bytes rs = Convert(Conversion::dxt5a_to_r8s, GuestFormat::k_DXT5A, HostFormat::R8_SNORM, green, 1, 1, 4, 4);
  // Raw 0, -1: eight values 0, -1, 0, 0, 0, -1, -1, -1.
  EXPECT_EQ(Bytes(rs.begin(), rs.begin() + 8), (Bytes{0, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF}));
}

TEST(ConvertBlocks, SlicesAndPaddedRowsOfADecodedVolume) {
  // Two slices of one DXT5A block each, 3x3 texels, into rows of 5 bytes and slices of 20.
  const Bytes src = {10, 10, 0, 0, 0, 0, 0, 0, 20, 20, 0, 0, 0, 0, 0, 0};
  Bytes dst(40, 0xEE);
  TexelConversion job;
  job.conversion = Conversion::dxt5a_to_r8;
  job.guest_format = GuestFormat::k_DXT5A;
  job.host_format = HostFormat::R8_UNORM;
  job.src = src.data();
  job.bx = 1, job.by = 1, job.bz = 2;
  job.width = 3, job.height = 3;
  job.dst = dst.data();
  job.row_pitch = 5;
  job.slice_pitch = 20;
  ConvertTexels(job);
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(dst[z * 20 + y * 5 + x], x < 3 && y < 3 ? 10 * (z + 1) : 0xEE) << z << y << x;
}

TEST(ConvertTable, EveryFormatRowConvertsWithEachOfItsPairs) {
  // A conversion that rejected a pairing of the format table would leave the
  // texture silently black; every row's pairs must write texels.
  uint32_t seed = 99;
  Bytes src(8 * 8 * 16);
  for (uint8_t& b : src) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
  for (uint32_t code = 0; code < 64; ++code) {
    const FormatDecode& row = FormatDecodeRow(code);
    const GuestFormatInfo& guest = GuestFormatRow(code);
    const std::pair<HostFormat, Conversion> pairs[4] = {{row.host_format, row.conversion},
                                                        {row.signed_host_format, row.signed_conversion},
                                                        {row.unaligned_host_format, row.unaligned_conversion},
                                                        {row.unaligned_signed_host_format,
                                                         row.unaligned_signed_conversion}};
    for (const auto& [host, conversion] : pairs) {
      if (host == HostFormat::UNKNOWN) continue;
      const Bytes out = Convert(conversion, GuestFormat(code), host, src, 8 / guest.block_width,
                                8 / guest.block_height, 8, 8);
      EXPECT_NE(out, Bytes(out.size(), 0)) << GuestFormatName(code) << " " << ConversionName(conversion);
    }
  }
}

}  // namespace
}  // namespace mivo
