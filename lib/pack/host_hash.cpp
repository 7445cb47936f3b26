#include "pack/host_hash.h"

#if defined(__GNUC__) && defined(__x86_64__)
#define MIVO_X86_HOST_HASH 1
#include <immintrin.h>
#endif

namespace mivo {
namespace {

constexpr uint64_t kFnvPrime = 0x100000001b3ull;

// Below this the plain loop is about as fast as the segmented route's setup.
constexpr size_t kSegmentedMinimum = size_t(16) << 10;
constexpr size_t kSegments = 4;
// The low byte's path is followed over kRuns runs of 64 positions at a time.
constexpr size_t kRuns = 8;
constexpr size_t kGroupBytes = 64 * kRuns;

uint64_t PrimePower(uint64_t exponent) {
  uint64_t power = 1, square = kFnvPrime;
  for (; exponent != 0; exponent >>= 1, square *= square) {
    if (exponent & 1) power *= square;
  }
  return power;
}

#ifdef MIVO_X86_HOST_HASH

#define MIVO_HASH_TARGET __attribute__((target("avx2,pclmul")))

// Bit i of the result is the XOR of bits 0..i of `d` (a carry-less multiply by all ones).
MIVO_HASH_TARGET inline uint64_t RunningXor(uint64_t d) {
  const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(int64_t(d)), _mm_set1_epi64x(-1), 0);
  return uint64_t(_mm_cvtsi128_si64(product));
}

MIVO_HASH_TARGET inline uint64_t Majority(uint64_t a, uint64_t b, uint64_t c) { return (a & b) | (c & (a | b)); }

// planes[k] holds bit k of 64 bytes, bit i for byte i.
MIVO_HASH_TARGET inline void BitPlanes(const uint8_t* bytes, uint64_t* planes) {
  __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
  __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32));
  for (int k = 7; k >= 0; --k) {
    planes[k] = uint64_t(uint32_t(_mm256_movemask_epi8(low))) | uint64_t(uint32_t(_mm256_movemask_epi8(high))) << 32;
    low = _mm256_add_epi8(low, low);
    high = _mm256_add_epi8(high, high);
  }
}

// Bit k of the low byte along kRuns consecutive runs: from `low`'s bit k at
// the first position, it flips after each position where `flips` has a one.
// Writes the planes of bit k of (low byte ^ data byte) and the bit after the
// last run into `low_after`.
MIVO_HASH_TARGET inline void FollowBit(int k, const uint64_t* flips, const uint64_t* data, uint32_t low,
                                       uint64_t* xored, uint32_t& low_after) {
  uint64_t start = 0 - uint64_t((low >> k) & 1);
  for (size_t r = 0; r < kRuns; ++r) {
    const uint64_t running = RunningXor(flips[r]);
    xored[r] = (running << 1) ^ start ^ data[r];
    start ^= 0 - (running >> 63);
  }
  low_after |= uint32_t(start & 1) << k;
}

// The low byte of the FNV-1a state after `length` bytes (a multiple of
// kGroupBytes) from low byte `low`. The low byte's next value is
// ((low ^ byte) * 0xB3) mod 256: as 0xB3 is odd, bit k of it is bit k of
// (low ^ byte) plus what the product carries into column k from the bits
// below. So once the lower bits are known at every position, bit k is a
// running XOR along the positions, which bit planes compute 64 at a time.
// Columns of the product: x + 2x + 16x + 32x + 128x.
MIVO_HASH_TARGET uint32_t LowByteAfter(uint32_t low, const uint8_t* bytes, size_t length) {
  for (size_t at = 0; at < length; at += kGroupBytes) {
    uint64_t b[8][kRuns], x[8][kRuns], d[kRuns];
    for (size_t r = 0; r < kRuns; ++r) {
      uint64_t planes[8];
      BitPlanes(bytes + at + 64 * r, planes);
      for (int k = 0; k < 8; ++k) b[k][r] = planes[k];
    }
    uint64_t c[kRuns], c_high[kRuns];  // carry into the current column, low and high bit
    uint32_t after = 0;
    FollowBit(0, b[0], b[0], low, x[0], after);
    for (size_t r = 0; r < kRuns; ++r) d[r] = b[1][r] ^ x[0][r];
    FollowBit(1, d, b[1], low, x[1], after);
    for (size_t r = 0; r < kRuns; ++r) {
      c[r] = x[1][r] & x[0][r];
      d[r] = b[2][r] ^ x[1][r] ^ c[r];
    }
    FollowBit(2, d, b[2], low, x[2], after);
    for (size_t r = 0; r < kRuns; ++r) {
      c[r] = Majority(x[2][r], x[1][r], c[r]);
      d[r] = b[3][r] ^ x[2][r] ^ c[r];
    }
    FollowBit(3, d, b[3], low, x[3], after);
    for (size_t r = 0; r < kRuns; ++r) {
      c[r] = Majority(x[3][r], x[2][r], c[r]);
      d[r] = b[4][r] ^ x[3][r] ^ x[0][r] ^ c[r];
    }
    FollowBit(4, d, b[4], low, x[4], after);
    for (size_t r = 0; r < kRuns; ++r) {
      // Column 4 adds four bits: its carry out reaches 2.
      const uint64_t sum = x[4][r] ^ x[3][r] ^ x[0][r], carry = Majority(x[4][r], x[3][r], x[0][r]);
      const uint64_t carry_in = sum & c[r];
      c_high[r] = carry & carry_in;
      c[r] = carry ^ carry_in;
      d[r] = b[5][r] ^ x[4][r] ^ x[1][r] ^ x[0][r] ^ c[r];
    }
    FollowBit(5, d, b[5], low, x[5], after);
    for (size_t r = 0; r < kRuns; ++r) {
      const uint64_t sum = x[5][r] ^ x[4][r] ^ x[1][r], carry = Majority(x[5][r], x[4][r], x[1][r]);
      const uint64_t carry2 = Majority(sum, x[0][r], c[r]);
      const uint64_t next = carry ^ carry2 ^ c_high[r];
      c_high[r] = Majority(carry, carry2, c_high[r]);
      c[r] = next;
      d[r] = b[6][r] ^ x[5][r] ^ x[2][r] ^ x[1][r] ^ c[r];
    }
    FollowBit(6, d, b[6], low, x[6], after);
    for (size_t r = 0; r < kRuns; ++r) {
      const uint64_t sum = x[6][r] ^ x[5][r] ^ x[2][r], carry = Majority(x[6][r], x[5][r], x[2][r]);
      const uint64_t carry2 = Majority(sum, x[1][r], c[r]);
      c[r] = carry ^ carry2 ^ c_high[r];  // only its low bit matters to column 7
      d[r] = b[7][r] ^ x[6][r] ^ x[3][r] ^ x[2][r] ^ x[0][r] ^ c[r];
    }
    FollowBit(7, d, b[7], low, x[7], after);
    low = after;
  }
  return low;
}

bool HasSegmentedRoute() {
  static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("pclmul");
  return has;
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
#ifdef MIVO_X86_HOST_HASH
  if (length < kSegmentedMinimum || !HasSegmentedRoute()) return false;
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
  const uint64_t h[kSegments] = {h0, h1, h2, HashHostDataPlain(h3, p3 + segment, length - kSegments * segment)};
  const uint64_t power = PrimePower(segment), last_power = PrimePower(length - (kSegments - 1) * segment);
  uint64_t end = h[0];
  for (size_t s = 1; s < kSegments; ++s) end = h[s] + (end - low[s]) * (s + 1 < kSegments ? power : last_power);
  result = end;
  return true;
#else
  (void)hash, (void)bytes, (void)length, (void)result;
  return false;
#endif
}

}  // namespace mivo
