// The tail-check mode through the built mivo_texdump: exact CSV text, exact
// contact-sheet pixels (read back with libspng), counts and exit status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/guest_writer.h"
#include "support/png_read.h"
#include "support/texdump_run.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using Pixels = std::vector<uint8_t>;

constexpr const char* kHeader =
    "name,format,width,height,levels,distinct,box_mae_per_level,flat_mae_per_level,worst_box_mae,best_flat_mae\n";

// A linear 4x4 k_8_8_8_8 texture with its two mips packed into the tail of its
// base level: a uniform base, a 2x2 mip with one texel 4 too red, a 1x1 mip
// equal to the box of the 2x2 one.
test::FetchFields TailFields() {
  test::FetchFields f = test::Rgba8Fields(4, 4);
  f.packed = true;
  f.max_level = 2;
  return f;
}

std::vector<uint8_t> TailDumpBytes(const test::FetchFields& f) {
  test::GuestImages images;
  Pixels base;
  for (int i = 0; i < 16; ++i) base.insert(base.end(), {100, 50, 0, 200});
  test::PlaceGuestLevel(f, 0, 0, base, images);
  test::PlaceGuestLevel(f, 1, 0, {100, 50, 0, 200, 104, 50, 0, 200, 100, 50, 0, 200, 100, 50, 0, 200}, images);
  test::PlaceGuestLevel(f, 2, 0, {101, 50, 0, 200}, images);
  return test::MakeDumpBytes(test::MakeFetchConstant(f), images.base, images.mip);
}

constexpr const char* kChainResults = ",k_8_8_8_8,4,4,3,0,0.25 0.00,0.25 0.00,0.250,0.250\n";

class TexdumpTailCli : public test::TexdumpRun {};

TEST_F(TexdumpTailCli, RowsCountsAndOneSheetPerDistinctContent) {
  const std::vector<uint8_t> chain = TailDumpBytes(TailFields());
  Write("dumps/a_chain.bin", chain);
  Write("dumps/b_copy.bin", chain);  // the same content again
  test::FetchFields with_mip_address = TailFields();
  with_mip_address.mip_address = 0x00300000;  // mips elsewhere: not a tail candidate
  Write("dumps/c_not_tail.bin", TailDumpBytes(with_mip_address));
  Write("dumps/d_unreadable.bin", {'n', 'o', 'p', 'e'});
  test::FetchFields not_texture = TailFields();
  not_texture.type = 0;
  Write("dumps/e_not_texture.bin", TailDumpBytes(not_texture));

  const test::ProgramResult result = Run({"--out", "out", "--csv", "normal.csv", "--no-images", "--tail-check",
                                          "tail.csv", "--tail-images", "sheets/nested", "dumps"});
  EXPECT_EQ(result.out, "5 textures, 2 with their mips in the base's tail (1 distinct), 2 failed\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(Text("tail.csv"), std::string(kHeader) + "a_chain" + kChainResults + "b_copy" + kChainResults +
                                  "e_not_texture,k_8_8_8_8,,,,,,,,FAILED not a texture fetch constant (type 0)\n");
  EXPECT_EQ(Names("sheets/nested"), (std::vector<std::string>{"tail-0-a_chain.png"}));
  EXPECT_FALSE(fs::exists(dir_ / "out")) << "normal-mode options have no effect";
  EXPECT_FALSE(fs::exists(dir_ / "normal.csv"));

  // Three cells of 4 + 2 columns; levels on top, box predictions 2 rows below.
  const test::DecodedPng sheet = test::DecodePngFile(dir_ / "sheets/nested/tail-0-a_chain.png");
  ASSERT_EQ(sheet.width, 18u);
  ASSERT_EQ(sheet.height, 10u);
  Pixels expected(18 * 10 * 4, 0);
  auto fill = [&](uint32_t x0, uint32_t y0, uint32_t size, Pixels rgba) {
    for (uint32_t y = y0; y < y0 + size; ++y) {
      for (uint32_t x = x0; x < x0 + size; ++x) std::copy(rgba.begin(), rgba.end(), expected.begin() + (y * 18 + x) * 4);
    }
  };
  fill(0, 0, 4, {100, 50, 0, 255});   // base, made opaque
  fill(6, 0, 4, {100, 50, 0, 255});   // 2x2 mip drawn two by two...
  fill(8, 0, 2, {104, 50, 0, 255});   // ...with its redder texel
  fill(6, 6, 4, {100, 50, 0, 255});   // its box prediction
  fill(12, 0, 4, {101, 50, 0, 255});  // 1x1 mip
  fill(12, 6, 4, {101, 50, 0, 255});  // and its box prediction
  EXPECT_EQ(sheet.rgba, expected);
}

TEST_F(TexdumpTailCli, CleanRunExitsZeroAndAnUnopenableTailCsvEndsTheRunBeforeAnyDumpIsRead) {
  Write("only.bin", TailDumpBytes(TailFields()));
  const test::ProgramResult clean = Run({"--tail-check", "tail.csv", "only.bin"});
  EXPECT_EQ(clean.out, "1 textures, 1 with their mips in the base's tail (1 distinct), 0 failed\n");
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(Text("tail.csv"), std::string(kHeader) + "only" + kChainResults);
  EXPECT_EQ(Names(), (std::vector<std::string>{"only.bin", "tail.csv"})) << "no sheets without --tail-images";

  const test::ProgramResult result = Run({"--tail-check", "missing/tail.csv", "--tail-images", "sheets", "only.bin"});
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(Names(), (std::vector<std::string>{"only.bin", "tail.csv"})) << "no sheet folder either";
}

TEST_F(TexdumpTailCli, BundledTailSamplesReadAsAChainAFlatFillAndNoise) {
  std::vector<std::string> args = {"--tail-check", "tail.csv", "--tail-images", "sheets"};
  for (const char* name : {"bf_0A000015_5E1C0015", "bf_0A000016_5E1C0016", "bf_0A000017_5E1C0017"}) {
    args.push_back((fs::path(MIVO_SOURCE_DIR) / "samples" / (std::string(name) + ".bin")).string());
  }
  const test::ProgramResult result = Run(args);
  EXPECT_EQ(result.out, "3 textures, 3 with their mips in the base's tail (3 distinct), 0 failed\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(Text("tail.csv"),
            std::string(kHeader) +
                "bf_0A000015_5E1C0015,k_8_8_8_8,32,16,6,0,0.00 0.00 0.00 0.00 0.00,42.40 34.80 29.69 11.50 0.00,"
                "0.000,29.688\n"
                "bf_0A000016_5E1C0016,k_8_8_8_8,16,16,5,1,45.16 0.00 0.00 0.00,0.00 0.00 0.00 0.00,45.156,0.000\n"
                "bf_0A000017_5E1C0017,k_DXT1,16,16,5,2,81.23 81.03 59.19 76.25,61.95 66.47 59.12 76.25,81.230,59.125\n");
  EXPECT_EQ(Names("sheets"),
            (std::vector<std::string>{"tail-0-bf_0A000015_5E1C0015.png", "tail-1-bf_0A000016_5E1C0016.png",
                                      "tail-2-bf_0A000017_5E1C0017.png"}));
}

}  // namespace
}  // namespace mivo
