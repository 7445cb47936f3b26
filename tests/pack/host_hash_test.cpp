#include "pack/host_hash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "mivo/pack.h"

namespace mivo {
namespace {

constexpr uint64_t kOffsetBasis = 0xcbf29ce484222325ull;

uint64_t Plain(const std::string& text) {
  return HashHostData(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Published FNV-1a 64 values: the CSV's host hash must stay this function.
TEST(HostHash, IsFnv1a64) {
  EXPECT_EQ(Plain(""), kOffsetBasis);
  EXPECT_EQ(Plain("a"), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(Plain("foobar"), 0x85944171f73967e8ull);
}

// The segmented route against the plain loop: lengths at and around its
// threshold and its segment and group edges, unaligned starts, any start
// state, and byte patterns that drive the low byte's carries every way.
TEST(HostHash, SegmentedRouteGivesThePlainValue) {
  uint64_t probe = 0;
  std::vector<uint8_t> probe_bytes(size_t(64) << 10);
  if (!HashHostDataSegmented(kOffsetBasis, probe_bytes.data(), probe_bytes.size(), probe)) {
    GTEST_SKIP() << "no segmented route on this processor";
  }
  std::mt19937_64 random(7);
  std::vector<uint8_t> bytes((size_t(1) << 20) + 4096);
  const auto fill = [&](int pattern) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      switch (pattern) {
        case 0: bytes[i] = uint8_t(random()); break;
        case 1: bytes[i] = 0; break;
        case 2: bytes[i] = 0xFF; break;
        case 3: bytes[i] = uint8_t(i % 3 == 0 ? 0x80 : i * 37); break;
        default: bytes[i] = uint8_t(random() & random() & 0x0F); break;  // sparse low bits
      }
    }
  };
  const size_t lengths[] = {(16 << 10) - 1,    16 << 10, (16 << 10) + 1, (16 << 10) + 511,
                            (64 << 10) + 2047, 100003,   size_t(1) << 20};
  for (int pattern = 0; pattern < 5; ++pattern) {
    fill(pattern);
    for (const size_t length : lengths) {
      for (const size_t offset : {0, 1, 13}) {
        for (const uint64_t start : {kOffsetBasis, uint64_t(random()), uint64_t(0)}) {
          const uint8_t* at = bytes.data() + offset;
          uint64_t segmented = 0;
          const bool taken = HashHostDataSegmented(start, at, length, segmented);
          EXPECT_EQ(taken, length >= (16 << 10)) << length;
          if (taken) {
            ASSERT_EQ(segmented, HashHostDataPlain(start, at, length))
                << "pattern " << pattern << ", length " << length << ", offset " << offset << ", start " << start;
          }
        }
      }
    }
  }
  fill(0);
  EXPECT_EQ(HashHostData(bytes.data(), bytes.size()), HashHostDataPlain(kOffsetBasis, bytes.data(), bytes.size()));
}

}  // namespace
}  // namespace mivo
