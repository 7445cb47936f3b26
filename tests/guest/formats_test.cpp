#include <gtest/gtest.h>

#include "guest/formats.h"

namespace mivo {
namespace {

TEST(FormatTables, LookupsWrapOrClampOutOfRangeCodes) {
  // Guest codes, endians and dimensions wrap; host formats and conversions clamp to the last row.
  EXPECT_STREQ(GuestFormatName(63), "k_2_10_10_10_FLOAT_EDRAM");
  EXPECT_STREQ(GuestFormatName(64), "k_1_REVERSE");
  EXPECT_STREQ(GuestFormatName(64 + 18), "k_DXT1");
  EXPECT_STREQ(GuestFormatName(0xFFFFFFFFu), "k_2_10_10_10_FLOAT_EDRAM");
  EXPECT_STREQ(HostFormatName(36), "BC7_UNORM");
  EXPECT_STREQ(HostFormatName(200), "BC7_UNORM");
  EXPECT_EQ(HostFormatRow(200).bytes_per_block, 16);
  EXPECT_STREQ(ConversionName(29), "7e3_to_rgba16f");
  EXPECT_STREQ(ConversionName(30), "7e3_to_rgba16f");
  EXPECT_STREQ(ConversionName(255), "7e3_to_rgba16f");
  EXPECT_STREQ(HostFormatName(37), "BC7_UNORM");
  EXPECT_STREQ(EndianName(4), "none");
  EXPECT_STREQ(EndianName(5), "8in16");
  EXPECT_STREQ(DimensionName(7), "cube");
}

TEST(FormatTables, HostCodeOutsideTheTableIsNeitherPackableNorInAFamily) {
  GuestTextureInfo info;
  info.host_format = HostFormat(200);  // named like BC7 by the clamping lookup
  EXPECT_FALSE(IsPackable(info));
  EXPECT_EQ(GetTextureFamily(info.host_format), TextureFamily::none);
  info.host_format = HostFormat::BC7_UNORM;
  EXPECT_TRUE(IsPackable(info));
  EXPECT_EQ(GetTextureFamily(info.host_format), TextureFamily::four_channel);
}

}  // namespace
}  // namespace mivo
