#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "guest/expand.h"
#include "guest/worker_pool.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;

// A one-level texture of `format`; texel or block i holds the bytes of the
// number i (little-endian) when `counting`, else random bytes.
HostTextureData Texture(HostFormat format, uint32_t width, uint32_t height, bool counting, uint32_t seed) {
  HostTextureData t;
  t.host_format = format;
  EXPECT_TRUE(AddLevel(t, 0, width, height));
  std::mt19937 random(seed);
  const uint32_t unit = HostFormatRow(format).bytes_per_block;
  for (size_t i = 0; i < t.data.size(); ++i) {
    t.data[i] = counting && unit <= 4 ? uint8_t((i / unit) >> (8 * (i % unit))) : uint8_t(random());
  }
  return t;
}

void ExpectSameAsFloatPath(HostTextureData t, uint16_t view, const char* what) {
  t.view = view;
  const LevelRecord& level = t.level_records[0];
  ASSERT_EQ(ExpandToRgba8(t, level, 0), ExpandToRgba8Float(t, level, 0))
      << what << " " << HostFormatName(t.host_format) << " view " << view;
}

// Every host format, every view: the integer paths give the float path's bytes.
TEST(ExpandFastPath, MatchesTheFloatPathForEveryFormatAndView) {
  for (uint32_t code = 0; code < kHostFormatCount; ++code) {
    const HostFormat format = HostFormat(code);
    // Every code of a plain format of up to two bytes (a random sample of
    // wider texels and of blocks), each view selector in every channel.
    const HostFormatInfo& info = HostFormatRow(format);
    const uint32_t side = info.block_edge == 1 && info.bytes_per_block <= 2 ? 256 : 64;
    const HostTextureData all = Texture(format, side, side, true, code);
    for (uint16_t s = 0; s < 8; ++s) ExpectSameAsFloatPath(all, uint16_t(s | s << 3 | s << 6 | s << 9), "uniform");
    // Every combination of selectors on an odd-sized random image (clipped blocks).
    const HostTextureData odd = Texture(format, 13, 7, false, 100 + code);
    for (uint32_t view = 0; view < 4096; ++view) ExpectSameAsFloatPath(odd, uint16_t(view), "mixed");
  }
}

TEST(PooledExpand, GivesTheSameBytes) {
  const std::unique_ptr<WorkerPool> pool = CreateWorkerPool(3);
  for (HostFormat format : {HostFormat::BC1_UNORM, HostFormat::RGBA8_UNORM, HostFormat::RGBA16_FLOAT}) {
    const HostTextureData t = Texture(format, 1024, 301, false, 7);
    const Bytes expected = ExpandToRgba8(t, t.level_records[0], 0);
    Bytes pooled(expected.size());
    ASSERT_TRUE(ExpandToRgba8Into(t, t.level_records[0], 0, pooled.data(), pool.get()));
    EXPECT_EQ(pooled, expected) << HostFormatName(format);
  }
}

}  // namespace
}  // namespace mivo
