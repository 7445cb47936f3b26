#include "pack/host_hash.h"

#include "guest/cpu_features.h"
#include "mivo/pack.h"

#ifdef MIVO_X86_SIMD
#include <immintrin.h>
#endif

namespace mivo {
namespace {

constexpr uint64_t kFnvPrime = 0x100000001b3ull;

// Below this the plain loop is about as fast as the segmented route's setup.
constexpr size_t kSegmentedMinimum = size_t(16) << 10;
constexpr size_t kSegments = 4;
// The low byte's path is followed over runs of 64 positions, four runs to
// a vector of four lanes, kVectors vectors at a time.
constexpr size_t kVectors = 4;
constexpr size_t kRuns = 4 * kVectors;
constexpr size_t kGroupBytes = 64 * kRuns;

#ifdef MIVO_X86_SIMD

uint64_t PrimePower(uint64_t exponent) {
  uint64_t power = 1, square = kFnvPrime;
  for (; exponent != 0; exponent >>= 1, square *= square) {
    if (exponent & 1) power *= square;
  }
  return power;
}

#define MIVO_HASH_TARGET __attribute__((target("avx2")))

using Lanes = __m256i;  // bit planes of four runs, one 64-bit lane each

MIVO_HASH_TARGET inline Lanes Xor(Lanes a, Lanes b) { return _mm256_xor_si256(a, b); }
MIVO_HASH_TARGET inline Lanes And(Lanes a, Lanes b) { return _mm256_and_si256(a, b); }
MIVO_HASH_TARGET inline Lanes Majority(Lanes a, Lanes b, Lanes c) {
  return _mm256_or_si256(And(a, b), And(c, _mm256_or_si256(a, b)));
}

// Bit i of each lane becomes the XOR of its bits 0..i.
MIVO_HASH_TARGET inline Lanes RunningXor(Lanes d) {
  d = Xor(d, _mm256_slli_epi64(d, 1));
  d = Xor(d, _mm256_slli_epi64(d, 2));
  d = Xor(d, _mm256_slli_epi64(d, 4));
  d = Xor(d, _mm256_slli_epi64(d, 8));
  d = Xor(d, _mm256_slli_epi64(d, 16));
  return Xor(d, _mm256_slli_epi64(d, 32));
}

// All ones in lane j where bit j of `bits` is set.
MIVO_HASH_TARGET inline Lanes LaneMasks(uint32_t bits) {
  const Lanes select = _mm256_setr_epi64x(1, 2, 4, 8);
  return _mm256_cmpeq_epi64(And(_mm256_set1_epi64x(bits), select), select);
}

// planes[k] holds bit k of kRuns runs of 64 bytes: bit i of lane j of vector
// v is bit k of byte i of run 4v + j.
MIVO_HASH_TARGET inline void BitPlanes(const uint8_t* bytes, Lanes (*planes)[kVectors]) {
  alignas(32) uint64_t runs[8][kRuns];
  for (size_t r = 0; r < kRuns; ++r) {
    Lanes low = _mm256_loadu_si256(reinterpret_cast<const Lanes*>(bytes + 64 * r));
    Lanes high = _mm256_loadu_si256(reinterpret_cast<const Lanes*>(bytes + 64 * r + 32));
    for (int k = 7; k >= 0; --k) {
      runs[k][r] = uint64_t(uint32_t(_mm256_movemask_epi8(low))) | uint64_t(uint32_t(_mm256_movemask_epi8(high))) << 32;
      low = _mm256_add_epi8(low, low);
      high = _mm256_add_epi8(high, high);
    }
  }
  for (int k = 0; k < 8; ++k) {
    for (size_t v = 0; v < kVectors; ++v)
      planes[k][v] = _mm256_load_si256(reinterpret_cast<const Lanes*>(&runs[k][4 * v]));
  }
}

// Bit k of the low byte along the runs: from `low`'s bit k at the first
// position, it flips after each position where `flips` has a one. Writes the
// planes of bit k of (low byte ^ data byte) and the bit after the last run
// into `low_after`.
MIVO_HASH_TARGET inline void FollowBit(int k, const Lanes* flips, const Lanes* data, uint32_t low, Lanes* xored,
                                       uint32_t& low_after) {
  Lanes running[kVectors];
  uint32_t flipped = 0;  // bit r: run r flips the bit an odd number of times
  for (size_t v = 0; v < kVectors; ++v) {
    running[v] = RunningXor(flips[v]);
    flipped |= uint32_t(_mm256_movemask_pd(_mm256_castsi256_pd(running[v]))) << (4 * v);
  }
  uint32_t before = flipped;  // bit r: the bit's value after run r, then (shifted) at its start
  before ^= before << 1;
  before ^= before << 2;
  before ^= before << 4;
  before ^= before << 8;
  const uint32_t start = (low >> k) & 1;
  low_after |= (((before >> (kRuns - 1)) & 1) ^ start) << k;
  before = (before << 1) ^ (0 - start);
  for (size_t v = 0; v < kVectors; ++v) {
    xored[v] = Xor(Xor(_mm256_slli_epi64(running[v], 1), LaneMasks(before >> (4 * v))), data[v]);
  }
}

// The low byte of the FNV-1a state after `length` bytes (a multiple of
// kGroupBytes) from low byte `low`. The low byte's next value is
// ((low ^ byte) * 0xB3) mod 256: as 0xB3 is odd, bit k of it is bit k of
// (low ^ byte) plus what the product carries into column k from the bits
// below. So once the lower bits are known at every position, bit k is a
// running XOR along the positions, which bit planes compute 64 at a time.
// Columns of the product: x + 2x + 16x + 32x + 128x.
MIVO_HASH_TARGET uint32_t LowByteAfter(uint32_t low, const uint8_t* bytes, size_t length) {
  static_assert(kRuns <= 16, "runs counted in 16 bits");
  for (size_t at = 0; at < length; at += kGroupBytes) {
    Lanes b[8][kVectors], x[8][kVectors], d[kVectors];
    BitPlanes(bytes + at, b);
    Lanes c[kVectors], c_high[kVectors];  // carry into the current column, low and high bit
    uint32_t after = 0;
    FollowBit(0, b[0], b[0], low, x[0], after);
    for (size_t v = 0; v < kVectors; ++v) d[v] = Xor(b[1][v], x[0][v]);
    FollowBit(1, d, b[1], low, x[1], after);
    for (size_t v = 0; v < kVectors; ++v) {
      c[v] = And(x[1][v], x[0][v]);
      d[v] = Xor(Xor(b[2][v], x[1][v]), c[v]);
    }
    FollowBit(2, d, b[2], low, x[2], after);
    for (size_t v = 0; v < kVectors; ++v) {
      c[v] = Majority(x[2][v], x[1][v], c[v]);
      d[v] = Xor(Xor(b[3][v], x[2][v]), c[v]);
    }
    FollowBit(3, d, b[3], low, x[3], after);
    for (size_t v = 0; v < kVectors; ++v) {
      c[v] = Majority(x[3][v], x[2][v], c[v]);
      d[v] = Xor(Xor(Xor(b[4][v], x[3][v]), x[0][v]), c[v]);
    }
    FollowBit(4, d, b[4], low, x[4], after);
    for (size_t v = 0; v < kVectors; ++v) {
      // Column 4 adds four bits: its carry out reaches 2.
      const Lanes sum = Xor(Xor(x[4][v], x[3][v]), x[0][v]), carry = Majority(x[4][v], x[3][v], x[0][v]);
      const Lanes carry_in = And(sum, c[v]);
      c_high[v] = And(carry, carry_in);
      c[v] = Xor(carry, carry_in);
      d[v] = Xor(Xor(Xor(Xor(b[5][v], x[4][v]), x[1][v]), x[0][v]), c[v]);
    }
    FollowBit(5, d, b[5], low, x[5], after);
    for (size_t v = 0; v < kVectors; ++v) {
      const Lanes sum = Xor(Xor(x[5][v], x[4][v]), x[1][v]), carry = Majority(x[5][v], x[4][v], x[1][v]);
      const Lanes carry2 = Majority(sum, x[0][v], c[v]);
      const Lanes next = Xor(Xor(carry, carry2), c_high[v]);
      c_high[v] = Majority(carry, carry2, c_high[v]);
      c[v] = next;
      d[v] = Xor(Xor(Xor(Xor(b[6][v], x[5][v]), x[2][v]), x[1][v]), c[v]);
    }
    FollowBit(6, d, b[6], low, x[6], after);
    for (size_t v = 0; v < kVectors; ++v) {
      const Lanes sum = Xor(Xor(x[6][v], x[5][v]), x[2][v]), carry = Majority(x[6][v], x[5][v], x[2][v]);
      const Lanes carry2 = Majority(sum, x[1][v], c[v]);
      c[v] = Xor(Xor(carry, carry2), c_high[v]);  // only its low bit matters to column 7
      d[v] = Xor(Xor(Xor(Xor(Xor(b[7][v], x[6][v]), x[3][v]), x[2][v]), x[0][v]), c[v]);
    }
    FollowBit(7, d, b[7], low, x[7], after);
    low = after;
  }
  return low;
}

#endif

}  // namespace

uint64_t HashHostDataPlain(uint64_t hash, const uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    hash ^= bytes[i];
    hash *= kFnvPrime;
  }
  return hash;
}

// The plain loop waits one multiply per byte. Two states with the same low
// byte stay apart by their difference times the prime per byte (the XOR
// touches the low byte only), so a segment can be hashed from the low byte
// its state will have at its start and put right afterwards: add (true start
// - low byte) * prime^length. The low bytes come from LowByteAfter, and the
// segments run side by side, which the processor overlaps.
bool HashHostDataSegmented(uint64_t hash, const uint8_t* bytes, size_t length, uint64_t& result) {
#ifdef MIVO_X86_SIMD
  if (length < kSegmentedMinimum || !CpuHasAvx2()) return false;
  const size_t segment = length / kSegments / kGroupBytes * kGroupBytes;  // the last one also takes the rest
  uint64_t low[kSegments] = {hash & 0xFF};
  for (size_t s = 1; s < kSegments; ++s)
    low[s] = LowByteAfter(uint32_t(low[s - 1]), bytes + (s - 1) * segment, segment);
  // Four chains written out, so that they stay in registers.
  static_assert(kSegments == 4);
  const uint8_t* p0 = bytes;
  const uint8_t* p1 = p0 + segment;
  const uint8_t* p2 = p1 + segment;
  const uint8_t* p3 = p2 + segment;
  uint64_t h0 = hash, h1 = low[1], h2 = low[2], h3 = low[3];
  for (size_t i = 0; i < segment; ++i) {
    h0 = (h0 ^ p0[i]) * kFnvPrime;
    h1 = (h1 ^ p1[i]) * kFnvPrime;
    h2 = (h2 ^ p2[i]) * kFnvPrime;
    h3 = (h3 ^ p3[i]) * kFnvPrime;
  }
  h3 = HashHostDataPlain(h3, p3 + segment, length - kSegments * segment);  // the last segment's rest
  const uint64_t power = PrimePower(segment);
  uint64_t end = h1 + (h0 - low[1]) * power;
  end = h2 + (end - low[2]) * power;
  result = h3 + (end - low[3]) * PrimePower(length - 3 * segment);
  return true;
#else
  (void)hash, (void)bytes, (void)length, (void)result;
  return false;
#endif
}

uint64_t HashHostData(const uint8_t* bytes, size_t length) {
  uint64_t hash = 0;
  if (HashHostDataSegmented(kFnvOffsetBasis, bytes, length, hash)) return hash;
  return HashHostDataPlain(kFnvOffsetBasis, bytes, length);
}

}  // namespace mivo
