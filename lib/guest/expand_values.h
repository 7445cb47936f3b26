// The per-channel arithmetic of the RGBA8 expansion, shared by the float path
// and the integer fast paths so that both round exactly alike.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "guest/block_decode.h"
#include "guest/byte_order.h"
#include "guest/formats.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace mivo::expand {

// Host formats whose channels are signed, by code (mapped from -1..1 to 0..1).
constexpr uint64_t kSignedFormats = 0xA00409054ull;

inline bool IsSignedFormat(HostFormat format) {
  return IsKnownHostFormat(format) && ((kSignedFormats >> uint32_t(format)) & 1) != 0;
}

// byte / 255 for every byte, computed once at compile time (same IEEE division).
constexpr std::array<float, 256> kUnorm8 = [] {
  std::array<float, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = float(i) / 255.0f;
  return table;
}();

inline float Unorm8(uint32_t b) { return kUnorm8[b & 255]; }
inline float Snorm8(uint32_t b) { return std::max(float(int8_t(b)) / 127.0f, -1.0f); }
inline float Unorm16(uint32_t v) { return float(v) / 65535.0f; }
inline float Snorm16(uint32_t v) { return std::max(float(int16_t(v)) / 32767.0f, -1.0f); }
inline float Uint32(uint32_t v) { return float(std::min<uint32_t>(v, 255)) / 255.0f; }
inline float Sint32(uint32_t v) { return float(std::clamp<int32_t>(int32_t(v), 0, 255)) / 255.0f; }
inline float Float32(uint32_t v) {
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}
inline float Half(uint32_t v) { return HalfToFloat(uint16_t(v)); }
inline float Bits(uint32_t v, int shift, int bits) { return float((v >> shift) & ((1u << bits) - 1)); }

// One float channel to a byte, rounding half away from zero; NaN shows as 0
// and anything above 1 as 255. For x in 0..255, x - int(x) is exact, so this
// equals lroundf(x) without a library call per channel.
inline uint8_t ToByte(float v) {
#if defined(__SSE2__) || defined(_M_X64)
  // minss/maxss: compilers otherwise branch here, and channels are noisy.
  const __m128 clamped = _mm_min_ss(_mm_max_ss(_mm_set_ss(v), _mm_setzero_ps()), _mm_set_ss(1.0f));
  const float x = _mm_cvtss_f32(clamped) * 255.0f;  // maxss gives 0 for NaN
#else
  const float x = std::min(1.0f, std::max(0.0f, v)) * 255.0f;  // max(0, NaN) is 0
#endif
  const int whole = int(x);
  return uint8_t(whole + int(x - float(whole) >= 0.5f));
}

// What a view selector does to a channel value: a stored channel (0-3),
// possibly remapped from -1..1 for signed formats, or a constant.
struct ViewChannel {
  uint32_t source;  // 0-3: stored channel; 4: constant 0; 5: constant 1
  float scale;
  float bias;
};

inline ViewChannel ViewSelector(uint16_t view, int channel, bool is_signed) {
  const uint32_t s = (view >> (3 * channel)) & 7;
  const bool remap = is_signed && s <= 3;  // constants are not remapped
  return {s <= 3 ? s : s == 5 ? 5u : 4u, remap ? 0.5f : 1.0f, remap ? 0.5f : 0.0f};
}

}  // namespace mivo::expand
