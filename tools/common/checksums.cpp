#include "common/checksums.h"

#include <algorithm>

#include <zlib.h>

#include "guest/cpu_features.h"

#ifdef MIVO_X86_SIMD
#include <immintrin.h>
#endif

namespace mivo {
namespace {

// zlib takes 32-bit lengths; longer runs are fed in pieces.
constexpr size_t kZlibPiece = size_t(1) << 30;

// `Update` is zlib's crc32 or adler32.
template <auto Update>
uint32_t ZlibInPieces(uint32_t sum, const uint8_t* bytes, size_t size) {
  for (size_t done = 0; done < size;) {
    const size_t piece = std::min(size - done, kZlibPiece);
    sum = uint32_t(Update(sum, bytes + done, uInt(piece)));
    done += piece;
  }
  return sum;
}

uint32_t ZlibCrc(uint32_t crc, const uint8_t* bytes, size_t size) { return ZlibInPieces<crc32>(crc, bytes, size); }
uint32_t ZlibAdler(uint32_t adler, const uint8_t* bytes, size_t size) {
  return ZlibInPieces<adler32>(adler, bytes, size);
}

#ifdef MIVO_X86_SIMD

#define MIVO_CLMUL __attribute__((target("pclmul,sse4.1")))

MIVO_CLMUL inline __m128i Load(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// One fold: x carried 128 bits further (by the distance that k encodes), plus the next 16 bytes.
MIVO_CLMUL inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00)), next);
}

// CRC-32 by folding 64 bytes at a time with carry-less multiplication
// (the reflected polynomial 0xEDB88320; constants x^(k) mod P for the fold
// distances, and the Barrett pair). Takes and returns the uncomplemented
// register; size is at least 64 and a multiple of 16.
MIVO_CLMUL uint32_t FoldCrc(uint32_t crc, const uint8_t* p, size_t size) {
  alignas(16) static constexpr uint64_t k1k2[2] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static constexpr uint64_t k3k4[2] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static constexpr uint64_t k5k0[2] = {0x0163cd6124, 0x0000000000};
  alignas(16) static constexpr uint64_t poly[2] = {0x01db710641, 0x01f7011641};
  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(int(crc)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  size -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  for (; size >= 64; p += 64, size -= 64) {
    x1 = Fold(x1, k, Load(p));
    x2 = Fold(x2, k, Load(p + 16));
    x3 = Fold(x3, k, Load(p + 32));
    x4 = Fold(x4, k, Load(p + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  for (; size >= 16; p += 16, size -= 16) x1 = Fold(x1, k, Load(p));

  // 128 bits to 64, then Barrett reduction to 32.
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x2b = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  x2b = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), x2b);
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  x2b = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
  x2b = _mm_clmulepi64_si128(_mm_and_si128(x2b, low32), k, 0x00);
  return uint32_t(_mm_extract_epi32(_mm_xor_si128(x1, x2b), 1));
}

// Adler-32 32 bytes at a time: byte sums by SAD, position-weighted sums by
// multiply-add, reduced modulo 65521 before the sums could overflow.
__attribute__((target("ssse3"))) uint32_t SimdAdler(uint32_t adler, const uint8_t* p, size_t size) {
  constexpr uint32_t kBase = 65521;
  constexpr size_t kMaxBlocks = 5552 / 32;  // 32-byte blocks between reductions
  uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
  const __m128i tap1 = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i tap2 = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi16(1);
  for (size_t blocks = size / 32; blocks > 0;) {
    const size_t n = std::min(blocks, kMaxBlocks);
    blocks -= n;
    __m128i ps = _mm_setr_epi32(int(s1 * uint32_t(n)), 0, 0, 0);
    __m128i v2 = _mm_setr_epi32(int(s2), 0, 0, 0);
    __m128i v1 = zero;
    for (size_t i = 0; i < n; ++i, p += 32) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      ps = _mm_add_epi32(ps, v1);
      v1 = _mm_add_epi32(v1, _mm_add_epi32(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
      v2 = _mm_add_epi32(v2, _mm_madd_epi16(_mm_maddubs_epi16(a, tap1), ones));
      v2 = _mm_add_epi32(v2, _mm_madd_epi16(_mm_maddubs_epi16(b, tap2), ones));
    }
    v2 = _mm_add_epi32(v2, _mm_slli_epi32(ps, 5));
    v1 = _mm_add_epi32(v1, _mm_shuffle_epi32(v1, _MM_SHUFFLE(1, 0, 3, 2)));
    v2 = _mm_add_epi32(v2, _mm_shuffle_epi32(v2, _MM_SHUFFLE(2, 3, 0, 1)));
    v2 = _mm_add_epi32(v2, _mm_shuffle_epi32(v2, _MM_SHUFFLE(1, 0, 3, 2)));
    s1 = (s1 + uint32_t(_mm_cvtsi128_si32(v1))) % kBase;
    s2 = uint32_t(_mm_cvtsi128_si32(v2)) % kBase;
  }
  for (size_t i = 0; i < size % 32; ++i) {
    s1 += p[i];
    s2 += s1;
  }
  return (s2 % kBase) << 16 | (s1 % kBase);
}

#endif

}  // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* bytes, size_t size) {
#ifdef MIVO_X86_SIMD
  if (size >= 64 && CpuHasCarrylessMultiply()) {
    const size_t folded = size & ~size_t(15);
    crc = ~FoldCrc(~crc, bytes, folded);
    bytes += folded;
    size -= folded;
  }
#endif
  return ZlibCrc(crc, bytes, size);
}

uint32_t Adler32Update(uint32_t adler, const uint8_t* bytes, size_t size) {
#ifdef MIVO_X86_SIMD
  if (CpuHasSsse3()) return SimdAdler(adler, bytes, size);
#endif
  return ZlibAdler(adler, bytes, size);
}

}  // namespace mivo
