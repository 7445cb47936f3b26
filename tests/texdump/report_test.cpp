#include <gtest/gtest.h>

#include "support/dump_builder.h"
#include "texdump/report.h"

namespace mivo {
namespace {

DumpReport DecodedBc1() {
  test::FetchFields f;
  f.format = GuestFormat::k_DXT1;
  f.endian = 1, f.tiled = true, f.packed = true;
  f.width = 64, f.height = 32, f.max_level = 6;
  DumpReport r;
  r.name = "bf_00001000_00002000";
  r.fetch = MakeFetchConstant(f);
  r.base_address = 0x00001000, r.mip_address = 0x1FFFF000;
  r.info.host_format = HostFormat::BC1_UNORM;
  r.info.conversion = Conversion::copy;
  r.info.width = 64, r.info.height = 32, r.info.levels = 7;
  r.ok = true;
  r.host_hash = 0x0123456789ABCDEFull;
  r.content_key = 0xAB;
  r.pack_key = "00000000000000AB__bf_00001000_00002000";
  return r;
}

// A read that failed: the reader's reset description, odd signs and
// swizzles, and flags set.
DumpReport FailedVolume() {
  test::FetchFields f;
  f.format = GuestFormat::k_16_16_16_16_FLOAT;
  f.endian = 3;
  f.dimension = kDim3D;
  f.signs[0] = 1, f.signs[1] = 2, f.signs[2] = 3, f.signs[3] = 0;
  f.swizzle[0] = 4, f.swizzle[1] = 5, f.swizzle[2] = 6, f.swizzle[3] = 0;
  DumpReport r;
  r.name = "vol";
  r.fetch = MakeFetchConstant(f);
  r.info.dim = kDim3D, r.info.depth = 9, r.info.layers = 1, r.info.levels = 0;
  r.info.view = 0x4 | 5 << 3 | 3 << 6 | 7 << 9;  // 0 1 A ?
  r.info.flags = kFlagGamma | kFlagNorm32;
  r.info.decompressed = 1;
  r.error = "guest memory out of range";
  r.host_hash = 0xCBF29CE484222325ull;  // hash of no bytes
  return r;
}

TEST(DumpReportText, DescriptionLinesShowEveryFieldThenTheErrorAndBothNotesInOrder) {
  const std::string bc1 = "bf_00001000_00002000: k_DXT1 8in16 tiled 2D 64x32x1 levels 0-6 packed signs uuuu "
                          "swizzle XYZW -> BC1_UNORM copy view RGBA flags -";
  DumpReport r = DecodedBc1();
  EXPECT_EQ(DescriptionLine(r), bc1 + "\n");
  r.version1_shifted = true;
  EXPECT_EQ(DescriptionLine(r), bc1 + " (version 1 dump: moved up a page, last page zero)\n");
  r.version1_shifted = false;
  r.shorter_than_layout = true;
  EXPECT_EQ(DescriptionLine(r), bc1 + " (dump shorter than the layout: zeros)\n");

  r = FailedVolume();
  r.shorter_than_layout = true;
  r.version1_shifted = true;
  EXPECT_EQ(DescriptionLine(r),
            "vol: k_16_16_16_16_FLOAT 16in32 linear 3D 0x0x9 levels 0-0 signs Sbgu swizzle 01?X -> UNKNOWN copy view "
            "01A? flags gamma+norm32 FAILED: guest memory out of range (dump shorter than the layout: zeros) "
            "(version 1 dump: moved up a page, last page zero)\n");
}

TEST(DumpReportText, CsvRowsOfDecodedAndFailedTextures) {
  EXPECT_STREQ(kCsvHeader,
               "name,base,mip,format,endian,tiling,dim,width,height,depth_or_layers,min_level,levels,packed,signs,"
               "swizzle,host_format,conversion,view,flags,decompressed,ok,host_hash,error,base_xxh3,pack_key\n");
  EXPECT_EQ(CsvRow(DecodedBc1()),
            "bf_00001000_00002000,00001000,1FFFF000,k_DXT1,8in16,tiled,2D,64,32,1,0,7,1,uuuu,XYZW,BC1_UNORM,copy,"
            "RGBA,-,0,1,0123456789ABCDEF,,00000000000000AB,00000000000000AB__bf_00001000_00002000\n");
  EXPECT_EQ(CsvRow(FailedVolume()),
            "vol,00000000,00000000,k_16_16_16_16_FLOAT,16in32,linear,3D,0,0,9,0,0,0,Sbgu,01?X,UNKNOWN,copy,01A?,"
            "gamma+norm32,1,0,CBF29CE484222325,guest memory out of range,0000000000000000,\n");
}

TEST(DumpReportText, CubesShowTheirLayerCountAndPercentSignsInNamesAreShownAsIs) {
  DumpReport r = DecodedBc1();
  r.name = "100%s%d";
  r.info.dim = kDimCube;
  r.info.layers = 6;
  EXPECT_EQ(DescriptionLine(r),
            "100%s%d: k_DXT1 8in16 tiled 2D 64x32x6 levels 0-6 packed signs uuuu swizzle XYZW -> BC1_UNORM copy view "
            "RGBA flags -\n");
  EXPECT_EQ(CsvRow(r),
            "100%s%d,00001000,1FFFF000,k_DXT1,8in16,tiled,2D,64,32,6,0,7,1,uuuu,XYZW,BC1_UNORM,copy,RGBA,-,0,1,"
            "0123456789ABCDEF,,00000000000000AB,00000000000000AB__bf_00001000_00002000\n");
}

TEST(TailReportText, RowsHoldTwoDecimalListsAndASingleLevelLeavesBothListsEmpty) {
  MipTailResult single;
  single.levels.resize(1);
  single.distinct_id = 12;
  EXPECT_EQ(TailCsvRow("bf_single", "k_8_8_8_8", 16, 8, single), "bf_single,k_8_8_8_8,16,8,1,12,,,0.000,-1.000\n");

  MipTailResult chain;
  chain.levels.resize(4);
  chain.distinct_id = 3;
  chain.box_mae = {0.5, 1.25, 3.0};
  chain.flat_mae = {40.126, -1.0, 0.004};
  chain.worst_box_mae = 3.0;
  chain.best_flat_mae = 0.004;
  EXPECT_EQ(TailCsvRow("chain", "k_DXT1", 16, 16, chain),
            "chain,k_DXT1,16,16,4,3,0.50 1.25 3.00,40.13 -1.00 0.00,3.000,0.004\n");
}

}  // namespace
}  // namespace mivo
