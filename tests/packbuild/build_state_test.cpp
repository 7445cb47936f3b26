// The state file is read back as untrusted text: what one build wrote reads
// back whole, and anything else counts as no state at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "packbuild/build_state.h"

namespace mivo {
namespace {

constexpr const char* kName = "00001A0000000001__bf_00001A00_00000001.dds";
constexpr const char* kGood =
    "MVPB 1\n"
    "0123456789ABCDEF 00001A0000000001__bf_00001A00_00000001.dds FEDCBA9876543210 built BC7_UNORM 256 128 9 "
    "43860 rgba 4123 inf 0\n";

TEST(BuildState, WhatABuildWritesReadsBackWhole) {
  std::vector<StateRecord> records(2);
  records[0] = {0x0123456789ABCDEFull,
                kName,
                0xFEDCBA9876543210ull,
                OutputKind::built,
                {HostFormat::BC7_UNORM, 256, 128, 9, 43860, {MeasureKind::rgb_alpha, {4123, kExactDb}}, false}};
  records[1] = {1,
                "00001A0000000002__bf_00001A00_00000002.dds",
                2,
                OutputKind::copied,
                {HostFormat::RG8_SNORM, 5, 5, 3, 208, {MeasureKind::rg, {kNotMeasured, 99999}}, true}};
  std::vector<StateRecord> read;
  ASSERT_TRUE(ParseBuildState(FormatBuildState(records), read));
  EXPECT_EQ(read, records);
  ASSERT_TRUE(ParseBuildState("MVPB 1\n", read));
  EXPECT_TRUE(read.empty());
}

TEST(BuildState, AnythingElseIsNoState) {
  const std::string good = kGood;
  const auto with = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::vector<std::string> damaged = {
      "",
      "MVPB 2\n",
      good.substr(0, good.size() - 1),  // no final line feed
      good + "\n",                      // empty line
      good + good,                      // the same file twice
      with("MVPB 1", "MVPB 1\r"),
      with(" built", "  built"),
      with(" 0\n", " 0 0\n"),  // a field too many
      with(" 0\n", "\n"),      // a field short
      with("0123456789ABCDEF", "0123456789abcdef"),
      with("0123456789ABCDEF", "0123456789ABCDE"),
      with("00001A0000000001__bf_00001A00_00000001.dds", "../1A0000000001__bf_00001A00_00000001.dds"),
      with("00001A0000000001__bf_00001A00_00000001.dds", "00001A0000000001__bf_00001A00_00000001.png"),
      with("00001A0000000001__bf_00001A00_00000001.dds", "pack.txt"),
      with("built", "made"),
      with("BC7_UNORM", "BC2_UNORM"),
      with(" 256 ", " 0 "),
      with(" 256 ", " 8193 "),
      with(" 256 ", " 0256 "),
      with(" 9 ", " 8 "),  // not the complete chain
      with(" 43860 ", " 134217877 "),
      with(" 43860 ", " -1 "),
      with("rgba", "rgb"),
      with(" 4123 ", " 100000 "),
      with(" inf 0\n", " x 0\n"),
      with(" inf 0\n", " -1 0\n"),
      with(" inf 0\n", " inf 2\n"),
  };
  for (const std::string& text : damaged) {
    std::vector<StateRecord> read(1);
    EXPECT_FALSE(ParseBuildState(text, read)) << text;
    EXPECT_TRUE(read.empty()) << text;
  }
}

TEST(BuildState, RecipeChangesWithEachIngredient) {
  const uint64_t base = BuildRecipe("0.2.0", "quality=normal", "row", 7);
  EXPECT_EQ(BuildRecipe("0.2.0", "quality=normal", "row", 7), base);
  EXPECT_NE(BuildRecipe("0.3.0", "quality=normal", "row", 7), base);
  EXPECT_NE(BuildRecipe("0.2.0", "quality=slow", "row", 7), base);
  EXPECT_NE(BuildRecipe("0.2.0", "quality=normal", "row2", 7), base);
  EXPECT_NE(BuildRecipe("0.2.0", "quality=normal", "row", 8), base);
}

}  // namespace
}  // namespace mivo
