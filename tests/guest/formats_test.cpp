#include <gtest/gtest.h>

#include "guest/formats.h"

namespace mivo {
namespace {

TEST(FormatTables, LookupsWrapOrClampOutOfRangeCodes) {
  EXPECT_STREQ(GuestFormatName(64 + 18), "k_DXT1");
  EXPECT_STREQ(HostFormatName(200), "BC7_UNORM");
  EXPECT_STREQ(ConversionName(30), "7e3_to_rgba16f");
  EXPECT_STREQ(EndianName(5), "8in16");
  EXPECT_STREQ(DimensionName(7), "cube");
}

}  // namespace
}  // namespace mivo
