#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "guest/convert.h"
#include "support/byte_lists.h"

namespace mivo {
namespace {

using test::Bc1Block;
using test::Bc4Ramp;
using test::Bytes;
using test::Cat;
using test::Floats;
using test::Le;
using test::Repeat;
using C = Conversion;
using G = GuestFormat;
using H = HostFormat;

Bytes Ramp(size_t size) {
  Bytes out(size);
  for (size_t i = 0; i < size; ++i) out[i] = uint8_t(i * 7 + 1);
  return out;
}

// One conversion into a zeroed, tightly packed destination.
Bytes Convert(C conversion, G guest, H host, const Bytes& src, uint32_t bx, uint32_t by, uint32_t width,
              uint32_t height) {
  const uint64_t slice = HostSliceSize(host, width, height);
  Bytes dst(slice);
  ConvertTexels({conversion, guest, host, src.data(), bx, by, 1, width, height, dst.data(),
                 HostRowPitch(host, width), slice});
  return dst;
}

struct Case {
  const char* what;
  C conversion;
  G guest;
  H host;
  Bytes src;
  uint32_t bx, by, width, height;
  Bytes expected;  // the leading bytes of the output
};

TEST(ConvertTexels, WorkedValuesOfEveryConversionKind) {
  const Bytes dxt1_grey = Bc1Block(0x1234, 0x1234, 0xFFFFFFFF);  // equal endpoints, every index 3
  const Bytes grey = {16, 69, 165};  // 0x1234: R5 2, G6 17, B5 20
  const Case cases[] = {
      {"copy of block rows", C::copy, G::k_DXT4_5, H::BC3_UNORM, Ramp(64), 2, 2, 8, 8, Ramp(64)},
      // Packed colours: fields by bit replication, low field is R.
      {"565", C::c565_to_rgba8, G::k_5_6_5, H::RGBA8_UNORM, Le(2, {0xF800, 0x001F, 0x07E0, 0x0410}), 4, 1, 4, 1,
       {0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0, 255, 0x84, 0x82, 0, 255}},
      {"4444", C::c4444_to_rgba8, G::k_4_4_4_4, H::RGBA8_UNORM, Le(2, {0x8421}), 1, 1, 1, 1, {17, 34, 68, 136}},
      {"1555", C::c1555_to_rgba8, G::k_1_5_5_5, H::RGBA8_UNORM, Le(2, {0x8000, 0x7C00}), 2, 1, 2, 1,
       {0, 0, 0, 255, 0, 0, 255, 0}},
      {"655: B is the 6-bit top field", C::c655_to_rgba8, G::k_6_5_5, H::RGBA8_UNORM, Le(2, {0xFC00, 0x03E0}), 2, 1,
       2, 1, {0, 0, 255, 255, 0, 255, 0, 255}},
      // Unsigned 11/10-bit fields widen to 16 bits.
      {"11_11_10", C::c11_11_10_to_rgba16, G::k_10_11_11, H::RGBA16_UNORM, Le(4, {0xFFFFFFFF, 0x400}), 2, 1, 2, 1,
       Le(2, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0x8010, 0, 0, 0xFFFF})},
      {"10_11_11", C::c10_11_11_to_rgba16, G::k_11_11_10, H::RGBA16_UNORM, Le(4, {0x00200200}), 1, 1, 1, 1,
       Le(2, {0x8020, 0, 0x20, 0xFFFF})},
      // Signed fields: the most negative code clamps, scaling rounds half away
      // (1/511 x 32767 = 64.12, -3/511 -> -192.37, 8/511 -> 512.98).
      {"2_10_10_10s", C::c2_10_10_10_to_rgba16s, G::k_2_10_10_10, H::RGBA16_SNORM,
       Le(4, {0x1FF, 0x200, 0x201, 0x80000000, 0xC0000000, 0x40000000, 0x1, 0x3FD, 8 << 10}), 9, 1, 9, 1,
       Le(2, {32767, 0, 0, 0, -32767, 0, 0, 0, -32767, 0, 0, 0, 0, 0, 0, -32767, 0, 0, 0, -32767,
              0, 0, 0, 32767, 64, 0, 0, 0, -192, 0, 0, 0, 0, 513, 0, 0})},
      {"11_11_10s", C::c11_11_10_to_rgba16s, G::k_10_11_11, H::RGBA16_SNORM, Le(4, {(0x401 << 11) | (0x1FF << 22)}),
       1, 1, 1, 1, Le(2, {0, -32767, 32767, 32767})},
      {"10_11_11s: -512 and -1024 clamp", C::c10_11_11_to_rgba16s, G::k_11_11_10, H::RGBA16_SNORM,
       Le(4, {0x200 | (0x3FF << 10) | (int64_t(0x400) << 21)}), 1, 1, 1, 1, Le(2, {-32767, 32767, -32767, 32767})},
      // Depth: stencil ignored, 0xFFFFFF exactly 1; 20e4 with exponent 0 is a normal float.
      {"depth24", C::depth24_to_float, G::k_24_8, H::R32_FLOAT, Le(4, {0xFFFFFF00, 0xFFFFFFFF, 0x80000000, 0x100}), 4,
       1, 4, 1, Floats({1.0f, 1.0f, 8388609.0f / 16777216.0f, 1.0f / 16777216.0f})},
      {"depth20e4", C::depth20e4_to_float, G::k_24_8_FLOAT, H::R32_FLOAT,
       Le(4, {0x10000000, 0x100, 0, 0x08000100, 0xF8000000}), 5, 1, 5, 1,
       Floats({std::ldexp(1.0f, -14), std::ldexp(1.0f, -34), 0.0f, std::ldexp(524289.0f, -34), 1.5f})},
      {"rgb32 gains alpha 1", C::rgb32_to_rgba32f, G::k_32_32_32_FLOAT, H::RGBA32_FLOAT, Floats({0.25f, -2, 1e30f}),
       1, 1, 1, 1, Floats({0.25f, -2, 1e30f, 1})},
      // 7e3: alpha 0..3 / 3; R e3 m0 = 1.0, G e0 m1 = 2^-9, B e7 m0x7F = 31.875.
      {"7e3", C::c7e3_to_rgba16f, G::k_2_10_10_10_FLOAT_EDRAM, H::RGBA16_FLOAT,
       Le(4, {0xC0000000, 0x40000000, 0x80000000, (3 << 7) | (1 << 10) | (0x3FF << 20)}), 4, 1, 4, 1,
       Le(2, {0, 0, 0, 0x3C00, 0, 0, 0, 0x3555, 0, 0, 0, 0x3955, 0x3C00, 0x1800, 0x4FF8, 0})},
      // fixed16: x 32/32767 (as the nearest float) to half; -32768 reads as -32767.
      {"fixed16 pair", C::fixed16_to_half, G::k_16_16_EDRAM, H::RG16_FLOAT, Le(2, {32767, -32768}), 1, 1, 1, 1,
       Le(2, {0x5000, 0xD000})},
      {"fixed16 quad", C::fixed16_to_half, G::k_16_16_16_16_EDRAM, H::RGBA16_FLOAT, Le(2, {-32767, 0, 16384, -1}), 1,
       1, 1, 1, Le(2, {0xD000, 0, 0x4C00, 0x9400})},
      // YUV pairs keep Cr, Y, Cb without colour conversion; an odd width keeps one texel.
      {"Cr_Y1_Cb_Y0", C::cr_y1_cb_y0_to_rgba8, G::k_Cr_Y1_Cb_Y0_REP, H::RGBA8_UNORM, {0x10, 0x20, 0x30, 0x40}, 1, 1,
       2, 1, {0x40, 0x10, 0x20, 255, 0x40, 0x30, 0x20, 255}},
      {"Y1_Cr_Y0_Cb", C::y1_cr_y0_cb_to_rgba8, G::k_Y1_Cr_Y0_Cb_REP, H::RGBA8_UNORM, {0x10, 0x20, 0x30, 0x40}, 1, 1,
       2, 1, {0x30, 0x20, 0x10, 255, 0x30, 0x40, 0x10, 255}},
      {"YUV odd width", C::cr_y1_cb_y0_to_rgba8, G::k_Cr_Y1_Cb_Y0_REP, H::RGBA8_UNORM, {0x10, 0x20, 0x30, 0x40}, 1,
       1, 1, 1, {0x40, 0x10, 0x20, 255}},
      // 1-bit texels run from either end; ten wide clips the last six bits.
      {"1 reverse", C::c1_reverse_to_r8, G::k_1_REVERSE, H::R8_UNORM, {0x80}, 1, 1, 8, 1, {255, 0, 0, 0, 0, 0, 0, 0}},
      {"1", C::c1_to_r8, G::k_1, H::R8_UNORM, {0x80}, 1, 1, 8, 1, {0, 0, 0, 0, 0, 0, 0, 255}},
      {"1 clipped", C::c1_to_r8, G::k_1, H::R8_UNORM, {0x05, 0xFF}, 2, 1, 10, 1,
       {255, 0, 255, 0, 0, 0, 0, 0, 255, 255}},
      {"32_AS_8", C::split_block_to_texels, G::k_32_AS_8, H::R8_UNORM, {1, 2, 3, 4, 5, 6, 7, 8}, 2, 1, 7, 1,
       {1, 2, 3, 4, 5, 6, 7}},
      {"32_AS_8_INTERLACED", C::split_block_to_texels, G::k_32_AS_8_INTERLACED, H::R8_SNORM, {1, 2, 3, 4, 5, 6, 7, 8},
       1, 2, 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"32_AS_8_8", C::split_block_to_texels, G::k_32_AS_8_8, H::RG8_UNORM, {1, 2, 3, 4, 5, 6, 7, 8}, 2, 1, 3, 1,
       {1, 2, 3, 4, 5, 6}},
      {"DXT3A nibbles low first", C::dxt3a_to_r8, G::k_DXT3A, H::R8_UNORM,
       {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}, 1, 1, 4, 4,
       {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255}},
      // CTX1: G0 R0 G1 R1; interpolation truncates: R (1 + 510) / 3 = 170, G 4 / 3 = 1.
      {"CTX1", C::ctx1_to_rg8, G::k_CTX1, H::RG8_UNORM, {0, 255, 2, 1, 0xE4, 0xE4, 0xE4, 0xE4}, 1, 1, 4, 4,
       Repeat({255, 0, 1, 2, 170, 0, 85, 1}, 4)},
      // DXN and DXT5A run the BC4 decoders: red (255, 0) eight values, green (0, 255) six;
      // signed, the raw bytes read as -1, 0 and 0, -1.
      {"DXN", C::dxn_to_rg8, G::k_DXN, H::RG8_UNORM, Cat(Bc4Ramp(255, 0), Bc4Ramp(0, 255)), 1, 1, 4, 4,
       {255, 0, 0, 255, 219, 51, 182, 102, 146, 153, 109, 204, 73, 0, 36, 255}},
      {"DXN signed", C::dxn_to_rg8s, G::k_DXN, H::RG8_SNORM, Cat(Bc4Ramp(255, 0), Bc4Ramp(0, 255)), 1, 1, 4, 4,
       {0xFF, 0, 0, 0xFF, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0x81, 0xFF, 0x7F, 0xFF}},
      {"DXT5A", C::dxt5a_to_r8, G::k_DXT5A, H::R8_UNORM, Bc4Ramp(255, 0), 1, 1, 4, 4,
       {255, 0, 219, 182, 146, 109, 73, 36}},
      {"DXT5A signed", C::dxt5a_to_r8s, G::k_DXT5A, H::R8_SNORM, Bc4Ramp(0, 255), 1, 1, 4, 4,
       {0, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF}},
      // Equal endpoints: transparent black for DXT1 only; DXT3/5 colour halves use four colours.
      {"DXT1 equal endpoints", C::dxt1_to_rgba8, G::k_DXT1, H::RGBA8_UNORM, dxt1_grey, 1, 1, 4, 4, Bytes(64, 0)},
      {"DXT3 equal endpoints", C::dxt3_to_rgba8, G::k_DXT2_3, H::RGBA8_UNORM, Cat(Bytes(8, 0xFF), dxt1_grey), 1, 1,
       4, 4, Repeat(Cat(grey, {255}), 16)},
      {"DXT5 equal endpoints", C::dxt5_to_rgba8, G::k_DXT4_5, H::RGBA8_UNORM,
       Cat({200, 0, 0, 0, 0, 0, 0, 0}, dxt1_grey), 1, 1, 4, 4, Repeat(Cat(grey, {200}), 16)},
  };
  for (const Case& c : cases) {
    const Bytes out = Convert(c.conversion, c.guest, c.host, c.src, c.bx, c.by, c.width, c.height);
    ASSERT_GE(out.size(), c.expected.size()) << c.what;
    EXPECT_EQ(Bytes(out.begin(), out.begin() + c.expected.size()), c.expected) << c.what;
  }
}

TEST(ConvertTexels, Dxt3aAs1111SpreadsEachNibbleOverTheFourChannels) {
  const Bytes out = Convert(C::dxt3a_as_1111_to_rgba8, G::k_DXT3A_AS_1_1_1_1, H::RGBA8_UNORM,
                            {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE}, 1, 1, 4, 4);
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(out[4 * i + c], (i >> c) & 1 ? 255 : 0) << i << " " << c;
}

TEST(ConvertTexels, Dxt1SixBySixKeepsOnlyTexelsInsideTheLevel) {
  const Bytes src =
      Cat(Cat(Bc1Block(0xF800, 0, 0), Bc1Block(0x07E0, 0, 0)), Cat(Bc1Block(0x001F, 0, 0), Bc1Block(0xFFFF, 0, 0)));
  const Bytes out = Convert(C::dxt1_to_rgba8, G::k_DXT1, H::RGBA8_UNORM, src, 2, 2, 6, 6);
  ASSERT_EQ(out.size(), 6u * 6 * 4);
  const Bytes colours[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
  for (uint32_t y = 0; y < 6; ++y)
    for (uint32_t x = 0; x < 6; ++x)
      EXPECT_EQ(Bytes(&out[(y * 6 + x) * 4], &out[(y * 6 + x) * 4 + 4]), colours[(y / 4) * 2 + x / 4]) << x << "," << y;
}

TEST(ConvertTexels, RowsAndSlicesLandAtTheGivenPitchesAndPaddingIsUntouched) {
  // Copy path: 3x2x2 k_8_8 texels into rows of 8 bytes and slices of 40.
  const Bytes src = Ramp(24);
  Bytes dst(80, 0xEE);
  ConvertTexels({C::copy, G::k_8_8, H::RG8_UNORM, src.data(), 3, 2, 2, 3, 2, dst.data(), 8, 40});
  for (uint32_t z = 0; z < 2; ++z)
    for (uint32_t y = 0; y < 2; ++y) {
      const uint8_t* row = &dst[z * 40 + y * 8];
      EXPECT_EQ(Bytes(row, row + 7), Cat(Bytes(&src[(z * 2 + y) * 6], &src[(z * 2 + y) * 6 + 6]), {0xEE}));
    }
  // Block path: two DXT5A slices of one solid block, 3x3 texels, rows of 5 and slices of 20.
  const Bytes blocks = {10, 10, 0, 0, 0, 0, 0, 0, 20, 20, 0, 0, 0, 0, 0, 0};
  dst.assign(40, 0xEE);
  ConvertTexels({C::dxt5a_to_r8, G::k_DXT5A, H::R8_UNORM, blocks.data(), 1, 1, 2, 3, 3, dst.data(), 5, 20});
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x)
        EXPECT_EQ(dst[z * 20 + y * 5 + x], x < 3 && y < 3 ? 10 * (z + 1) : 0xEE) << z << y << x;
}

TEST(ConvertTexels, MismatchedFormatsOrTooSmallPitchesWriteNothing) {
  // A 4-byte element cannot be copied into a 2-byte texel; a block decoder
  // fed a plain format must not read past the source.
  EXPECT_EQ(Convert(C::copy, G::k_8_8_8_8, H::RG8_UNORM, Le(4, {0x11223344}), 1, 1, 1, 1), Bytes(2, 0));
  EXPECT_EQ(Convert(C::dxt1_to_rgba8, G::k_8, H::RGBA8_UNORM, {1}, 1, 1, 1, 1), Bytes(4, 0));
  const Bytes src(16, 0xAB);
  Bytes dst(16, 0);
  ConvertTexels({C::copy, G::k_8_8_8_8, H::RGBA8_UNORM, src.data(), 2, 2, 1, 2, 2, dst.data(), 4, 0});
  EXPECT_EQ(dst, Bytes(16, 0)) << "a row pitch below one row";
}

TEST(ConvertTexels, EveryFormatRowConvertsWithEachOfItsPairs) {
  // A conversion that rejected a pairing of the format table would leave the
  // texture silently black; every row's pairs must write texels.
  uint32_t seed = 99;
  Bytes src(8 * 8 * 16);
  for (uint8_t& b : src) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
  for (uint32_t code = 0; code < 64; ++code) {
    const FormatDecode& row = FormatDecodeRow(code);
    const GuestFormatInfo& guest = GuestFormatRow(code);
    const std::pair<H, C> pairs[4] = {{row.host_format, row.conversion},
                                      {row.signed_host_format, row.signed_conversion},
                                      {row.unaligned_host_format, row.unaligned_conversion},
                                      {row.unaligned_signed_host_format, row.unaligned_signed_conversion}};
    for (const auto& [host, conversion] : pairs) {
      if (host == H::UNKNOWN) continue;
      const Bytes out = Convert(conversion, G(code), host, src, 8 / guest.block_width, 8 / guest.block_height, 8, 8);
      EXPECT_NE(out, Bytes(out.size(), 0)) << GuestFormatName(code) << " " << ConversionName(conversion);
    }
  }
}

}  // namespace
}  // namespace mivo
