#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "guest/convert.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;
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
  ConvertTexels(
      {conversion, guest, host, src.data(), bx, by, 1, width, height, dst.data(), HostRowPitch(host, width), slice});
  return dst;
}

TEST(ConvertTexels, RowsAndSlicesLandAtTheGivenPitchesAndPaddingIsUntouched) {
  // Copy path: 3x2x2 k_8_8 texels into rows of 8 bytes and slices of 40.
  const Bytes src = Ramp(24);
  Bytes dst(80, 0xEE);
  ConvertTexels({C::copy, G::k_8_8, H::RG8_UNORM, src.data(), 3, 2, 2, 3, 2, dst.data(), 8, 40});
  for (uint32_t z = 0; z < 2; ++z)
    for (uint32_t y = 0; y < 2; ++y) {
      const uint8_t* row = &dst[z * 40 + y * 8];
      Bytes want(&src[(z * 2 + y) * 6], &src[(z * 2 + y) * 6 + 6]);
      want.push_back(0xEE);
      EXPECT_EQ(Bytes(row, row + 7), want);
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
  EXPECT_EQ(Convert(C::copy, G::k_8_8_8_8, H::RG8_UNORM, Bytes{0x44, 0x33, 0x22, 0x11}, 1, 1, 1, 1), Bytes(2, 0));
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
