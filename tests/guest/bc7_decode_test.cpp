// The BC7 decoder against Pillow's, on blocks of every mode, partition,
// rotation and index selection with random fields.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "guest/bc7_decode.h"
#include "guest/bc7_tables.h"
#include "support/pillow_bc7.h"

namespace mivo {
namespace {

// Random bits below a fixed mode, partition, rotation and selection.
void MakeBlock(std::mt19937& rng, int mode, uint32_t fields, uint8_t* block) {
  for (int i = 0; i < 16; ++i) block[i] = uint8_t(rng());
  const Bc7Mode& m = kBc7Modes[mode];
  const int field_bits = m.partition_bits + m.rotation_bits + m.index_selection_bits;
  const int header = mode + 1 + field_bits;  // at most 8 + 6 bits: within bytes 0 and 1
  const uint32_t value = (fields << (mode + 1)) | (1u << mode);
  const uint32_t mask = (1u << header) - 1;
  const uint32_t low = ((block[0] | uint32_t(block[1]) << 8) & ~mask) | value;
  block[0] = uint8_t(low);
  block[1] = uint8_t(low >> 8);
}

TEST(Bc7Decode, AgreesWithPillowOnEveryModeAndField) {
#ifdef _WIN32
  GTEST_SKIP() << "no Pillow in the Windows build";
#endif
  std::mt19937 rng(25);
  std::vector<uint8_t> blocks;
  for (int mode = 0; mode < 8; ++mode) {
    const Bc7Mode& m = kBc7Modes[mode];
    const uint32_t combinations = 1u << (m.partition_bits + m.rotation_bits + m.index_selection_bits);
    // Enough random blocks per combination that every index value and p-bit turns up.
    const int repeats = combinations >= 64 ? 4 : 256 / int(combinations);
    for (uint32_t fields = 0; fields < combinations; ++fields) {
      for (int r = 0; r < repeats; ++r) {
        blocks.resize(blocks.size() + 16);
        MakeBlock(rng, mode, fields, blocks.data() + blocks.size() - 16);
      }
    }
  }
  const uint32_t count = uint32_t(blocks.size() / 16), wide = 64, high = (count + wide - 1) / wide;
  blocks.resize(size_t(wide) * high * 16, 0x40);  // filler: mode 6
  std::vector<uint8_t> theirs;
  ASSERT_TRUE(test::DecodeBc7WithPillow(blocks, wide, high, theirs));
  int faults = 0;
  for (uint32_t b = 0; b < wide * high && faults < 5; ++b) {
    uint8_t ours[64];
    DecodeBc7Block(blocks.data() + 16 * b, ours);
    for (int i = 0; i < 16; ++i) {
      const uint8_t* t = test::ImageTexel(theirs, wide, b, i);
      if (std::memcmp(ours + 4 * i, t, 4) != 0) {
        ADD_FAILURE() << "block " << b << " (first byte " << int(blocks[16 * b]) << ") texel " << i;
        ++faults;
        break;
      }
    }
  }
}

// The reserved mode (no mode bit in the first byte) is transparent black,
// whatever follows (Pillow 9.4 makes it opaque, so it is checked alone).
TEST(Bc7Decode, ReservedModeIsTransparentBlack) {
  for (uint8_t fill : {0x00, 0x5A, 0xFF}) {
    uint8_t block[16], out[64];
    std::memset(block, fill, sizeof block);
    block[0] = 0;
    std::memset(out, 0x77, sizeof out);
    DecodeBc7Block(block, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 64), std::vector<uint8_t>(64, 0)) << int(fill);
  }
}

}  // namespace
}  // namespace mivo
