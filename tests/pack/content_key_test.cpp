#include <gtest/gtest.h>

#include <numeric>

#include "pack/content_key.h"
#include "support/external_tools.h"

namespace mivo {
namespace {

// A 2D texture of `levels` full mips starting at mip 0, filled with a pattern.
HostTextureData MakeTexture(HostFormat format, uint32_t width, uint32_t height, uint32_t levels, uint32_t seed) {
  HostTextureData t;
  t.host_format = format;
  t.width = width;
  t.height = height;
  t.levels = levels;
  for (uint32_t mip = 0; mip < levels; ++mip) {
    // Mip 0 keeps the size as given, so a zero-byte base level can be made.
    const uint32_t w = mip == 0 ? width : std::max(width >> mip, 1u);
    const uint32_t h = mip == 0 ? height : std::max(height >> mip, 1u);
    EXPECT_TRUE(AddLevel(t, mip, w, h));
  }
  t.data = test::PatternBytes(t.data.size(), seed);
  return t;
}

TEST(HostHash, IsFnv1a64WithEmptyInputGivingTheOffsetBasis) {
  EXPECT_EQ(HashHostData(nullptr, 0), 0xcbf29ce484222325ull);
  const uint8_t a[] = {'a'};
  EXPECT_EQ(HashHostData(a, 1), 0xaf63dc4c8601ec8cull);
  const uint8_t foobar[] = {'f', 'o', 'o', 'b', 'a', 'r'};
  EXPECT_EQ(HashHostData(foobar, 6), 0x85944171f73967e8ull);
}

TEST(ContentKey, IsXxh3OfTheBaseLevelBytesInEverySizeClass) {
  // Pinned values of the one-shot XXH3-64 with seed 0: the short, medium
  // and long input paths of the hash must all stay the library's.
  struct Golden {
    uint32_t width;
    uint64_t key;
  };
  const Golden goldens[] = {
      {0, 0x2D06800538D394C2ull}, {1, 0xF68C7EE743683C23ull}, {4, 0xE6425E6E967F9862ull}, {12, 0x443F7CF12D687636ull},
      {60, 0x35B67AD1BFDE535Full}, {200, 0xE9AE9130D077610Dull}, {300, 0xE93632589573C79Aull},
  };
  for (const Golden& g : goldens) {
    const HostTextureData t = MakeTexture(HostFormat::R8_UNORM, g.width, 1, 1, 3);
    EXPECT_EQ(ComputeContentKey(t), g.key) << "width " << g.width;
  }
}

TEST(ContentKey, IsZeroUnlessTheTextureIsASingle2DLayerInAPackFormat) {
  const HostTextureData base = MakeTexture(HostFormat::RGBA8_UNORM, 8, 8, 2, 1);
  ASSERT_NE(ComputeContentKey(base), 0u);

  HostTextureData t = base;
  t.min_level = 1;
  EXPECT_EQ(ComputeContentKey(t), 0u) << "base level absent";
  t = base;
  t.dim = kDimCube;
  t.layers = 6;
  EXPECT_EQ(ComputeContentKey(t), 0u) << "cube";
  t = base;
  t.dim = kDim3D;
  t.depth = 2;
  EXPECT_EQ(ComputeContentKey(t), 0u) << "3D";
  t = base;
  t.dim = kDim3D;
  EXPECT_EQ(ComputeContentKey(t), 0u) << "3D of depth 1";
  t = base;
  t.layers = 2;
  EXPECT_EQ(ComputeContentKey(t), 0u) << "array of two layers";
  t = base;
  t.host_format = HostFormat(200);
  EXPECT_EQ(ComputeContentKey(t), 0u) << "a code past the table must not pass as its last row";

  for (HostFormat format : {HostFormat::BC4_UNORM, HostFormat::BC4_SNORM, HostFormat::R16_FLOAT, HostFormat::R8_SNORM,
                            HostFormat::RGBA16_FLOAT, HostFormat::UNKNOWN}) {
    EXPECT_EQ(ComputeContentKey(MakeTexture(format, 8, 8, 1, 2)), 0u) << HostFormatName(format);
  }
  for (HostFormat format : {HostFormat::R8_UNORM, HostFormat::RG8_UNORM, HostFormat::RG8_SNORM, HostFormat::RGBA8_UNORM,
                            HostFormat::BC1_UNORM, HostFormat::BC2_UNORM, HostFormat::BC3_UNORM, HostFormat::BC5_UNORM,
                            HostFormat::BC5_SNORM, HostFormat::BC7_UNORM}) {
    EXPECT_NE(ComputeContentKey(MakeTexture(format, 8, 8, 1, 2)), 0u) << HostFormatName(format);
  }
}

TEST(ContentKey, IgnoresMipsAndDependsOnlyOnTheBaseLevel) {
  HostTextureData one_level = MakeTexture(HostFormat::BC1_UNORM, 64, 32, 1, 5);
  HostTextureData full_chain = MakeTexture(HostFormat::BC1_UNORM, 64, 32, 7, 6);
  std::copy(one_level.data.begin(), one_level.data.end(), full_chain.data.begin());
  EXPECT_EQ(ComputeContentKey(one_level), ComputeContentKey(full_chain));
  EXPECT_NE(HashHostData(one_level.data.data(), one_level.data.size()),
            HashHostData(full_chain.data.data(), full_chain.data.size()));

  full_chain.data[0] ^= 1;
  EXPECT_NE(ComputeContentKey(one_level), ComputeContentKey(full_chain));
}

TEST(ContentKey, FindsTheBaseRecordWhereverItLies) {
  // The key reads mip 0 through its record, not from the start of the data.
  HostTextureData t = MakeTexture(HostFormat::R8_UNORM, 4, 4, 1, 9);
  HostTextureData shifted = t;
  shifted.data.insert(shifted.data.begin(), 7, 0xEE);
  shifted.level_records[0].offset = 7;
  EXPECT_EQ(ComputeContentKey(t), ComputeContentKey(shifted));
}

TEST(ContentKey, BaseRecordOutsideTheDataGivesNoKey) {
  HostTextureData t = MakeTexture(HostFormat::RGBA8_UNORM, 4, 4, 1, 4);
  t.level_records[0].size = t.data.size() + 1;
  EXPECT_EQ(ComputeContentKey(t), 0u);
  t.level_records[0].size = 4;
  t.level_records[0].offset = t.data.size() - 3;
  EXPECT_EQ(ComputeContentKey(t), 0u);
  t.level_records[0].offset = UINT64_MAX - 1;
  EXPECT_EQ(ComputeContentKey(t), 0u) << "offset + size must not wrap";
  t.level_records.clear();
  EXPECT_EQ(ComputeContentKey(t), 0u) << "no base record";
}

TEST(ContentKey, KeyStringIsSixteenUpperHexDigitsThenTheName) {
  EXPECT_EQ(FormatContentKey(0xAB, "bf_00001000_00002000"), "00000000000000AB__bf_00001000_00002000");
  EXPECT_EQ(FormatContentKey(0xAB, ""), "00000000000000AB");
  EXPECT_EQ(FormatContentKey(0xFEDCBA9876543210ull, "x"), "FEDCBA9876543210__x");
}

TEST(ContentKey, OriginalMatchesOnPackableFormatAndBaseSizeOnly) {
  const HostTextureData t = MakeTexture(HostFormat::BC3_UNORM, 64, 32, 3, 1);
  EXPECT_TRUE(MatchesOriginal(HostFormat::BC3_UNORM, 64, 32, t));
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC1_UNORM, 64, 32, t));
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC3_UNORM, 32, 64, t));
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC3_UNORM, 64, 16, t));
  HostTextureData array = t;
  array.layers = 2;
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC3_UNORM, 64, 32, array));
  ManifestEntry row;
  row.hash = ComputeContentKey(t);
  row.original_host_format = HostFormat::BC3_UNORM;
  row.original_width = 64;
  row.original_height = 32;
  EXPECT_TRUE(MatchesManifestEntry(row, t));
  row.hash = 1;
  EXPECT_TRUE(MatchesManifestEntry(row, t)) << "the hash is the caller's to compare";
  row.original_height = 33;
  EXPECT_FALSE(MatchesManifestEntry(row, t));
  const HostTextureData bc4 = MakeTexture(HostFormat::BC4_UNORM, 64, 32, 1, 1);
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC4_UNORM, 64, 32, bc4)) << "not a pack format";
}

}  // namespace
}  // namespace mivo
