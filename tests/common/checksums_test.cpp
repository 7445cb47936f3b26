#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <zlib.h>

#include "common/checksums.h"

namespace mivo {
namespace {

// Every length up to a few folds, at odd offsets, in one piece and in two.
TEST(Checksums, MatchZlib) {
  std::vector<uint8_t> bytes(70000);
  std::mt19937 random(3);
  for (uint8_t& b : bytes) b = uint8_t(random());
  std::fill(bytes.begin() + 60000, bytes.end(), 0xFF);  // sums near their bounds
  for (size_t size : {0, 1, 15, 16, 63, 64, 65, 127, 200, 1000, 5552, 5553, 69990}) {
    for (size_t offset : {0, 3}) {
      const uint8_t* p = bytes.data() + offset;
      const uint32_t crc = uint32_t(crc32(0, p, uInt(size)));
      const uint32_t adler = uint32_t(adler32(1, p, uInt(size)));
      EXPECT_EQ(Crc32Update(Crc32Start(), p, size), crc) << size;
      EXPECT_EQ(Adler32Update(Adler32Start(), p, size), adler) << size;
      const size_t half = size / 2;
      EXPECT_EQ(Crc32Update(Crc32Update(Crc32Start(), p, half), p + half, size - half), crc) << size;
      EXPECT_EQ(Adler32Update(Adler32Update(Adler32Start(), p, half), p + half, size - half), adler) << size;
    }
  }
}

}  // namespace
}  // namespace mivo
