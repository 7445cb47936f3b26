#include <gtest/gtest.h>

#include "pack/content_key.h"

namespace mivo {
namespace {

// A 2D texture of `levels` full mips, filled with a pattern. Mip 0 keeps the
// size as given, so a zero-byte base level can be made.
HostTextureData MakeTexture(HostFormat format, uint32_t width, uint32_t height, uint32_t levels = 1,
                            uint32_t seed = 1) {
  HostTextureData t;
  t.host_format = format;
  t.width = width;
  t.height = height;
  t.levels = levels;
  for (uint32_t mip = 0; mip < levels; ++mip) {
    EXPECT_TRUE(AddLevel(t, mip, mip == 0 ? width : std::max(width >> mip, 1u),
                         mip == 0 ? height : std::max(height >> mip, 1u)));
  }
  for (size_t i = 0; i < t.data.size(); ++i) t.data[i] = uint8_t((i + seed) * 2654435761u >> 24);
  return t;
}

// Which formats have keys is pinned by the golden report over every guest format.
TEST(ContentKey, IsZeroUnlessTheTextureIsASingle2DLayer) {
  const HostTextureData base = MakeTexture(HostFormat::RGBA8_UNORM, 8, 8, 2);
  ASSERT_NE(ComputeContentKey(base), 0u);
  const auto key_with = [&](auto change) {
    HostTextureData t = base;
    change(t);
    return ComputeContentKey(t);
  };
  EXPECT_EQ(key_with([](HostTextureData& t) { t.min_level = 1; }), 0u) << "base level absent";
  EXPECT_EQ(key_with([](HostTextureData& t) { t.dim = kDimCube, t.layers = 6; }), 0u) << "cube";
  EXPECT_EQ(key_with([](HostTextureData& t) { t.dim = kDim3D, t.depth = 2; }), 0u) << "3D";
  EXPECT_EQ(key_with([](HostTextureData& t) { t.dim = kDim3D; }), 0u) << "3D of depth 1";
  EXPECT_EQ(key_with([](HostTextureData& t) { t.layers = 2; }), 0u) << "array of two layers";
  // The format table clamps its index: a code past it must not pass as BC7.
  EXPECT_EQ(key_with([](HostTextureData& t) { t.host_format = HostFormat(200); }), 0u);
}

TEST(ContentKey, ReadsOnlyTheBaseLevelThroughItsRecordWithinTheData) {
  // Other mips do not matter, though they change the host hash.
  const HostTextureData one_level = MakeTexture(HostFormat::BC1_UNORM, 64, 32, 1, 5);
  HostTextureData chain = MakeTexture(HostFormat::BC1_UNORM, 64, 32, 7, 6);
  std::copy(one_level.data.begin(), one_level.data.end(), chain.data.begin());
  EXPECT_EQ(ComputeContentKey(one_level), ComputeContentKey(chain));
  EXPECT_NE(HashHostData(one_level.data.data(), one_level.data.size()),
            HashHostData(chain.data.data(), chain.data.size()));
  chain.data[0] ^= 1;
  EXPECT_NE(ComputeContentKey(one_level), ComputeContentKey(chain));

  // Mip 0 is found through its record, not at the start of the data.
  HostTextureData shifted = one_level;
  shifted.data.insert(shifted.data.begin(), 7, 0xEE);
  shifted.level_records[0].offset = 7;
  EXPECT_EQ(ComputeContentKey(shifted), ComputeContentKey(one_level));

  // A record reaching past the data, or none at all, gives no key.
  HostTextureData t = MakeTexture(HostFormat::RGBA8_UNORM, 4, 4);
  t.level_records[0].size = t.data.size() + 1;
  EXPECT_EQ(ComputeContentKey(t), 0u);
  t.level_records[0].size = 4;
  t.level_records[0].offset = t.data.size() - 3;
  EXPECT_EQ(ComputeContentKey(t), 0u);
  t.level_records[0].offset = UINT64_MAX - 1;
  EXPECT_EQ(ComputeContentKey(t), 0u) << "offset + size must not wrap";
  t.level_records.clear();
  EXPECT_EQ(ComputeContentKey(t), 0u);
}

TEST(ContentKey, OriginalMatchesOnPackableFormatAndBaseSizeOnly) {
  const HostTextureData t = MakeTexture(HostFormat::BC3_UNORM, 64, 32, 3);
  const ManifestEntry row{1, "", "", HostFormat::BC3_UNORM, 64, 32};
  EXPECT_TRUE(MatchesManifestEntry(row, t)) << "the hash is the caller's to compare";
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC1_UNORM, 64, 32, t));
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC3_UNORM, 32, 64, t));
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC3_UNORM, 64, 16, t));
  HostTextureData array = t;
  array.layers = 2;
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC3_UNORM, 64, 32, array));
  EXPECT_FALSE(MatchesOriginal(HostFormat::BC4_UNORM, 64, 32, MakeTexture(HostFormat::BC4_UNORM, 64, 32)));
}

}  // namespace
}  // namespace mivo
