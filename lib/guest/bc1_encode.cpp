#include "guest/bc1_encode.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "guest/byte_order.h"

namespace mivo {
namespace {

constexpr int Expand5(int q) { return (q << 3) | (q >> 2); }
constexpr int Expand6(int q) { return (q << 2) | (q >> 4); }
constexpr int Distance(int a, int b) { return a > b ? a - b : b - a; }
// The decoder's interpolants: two thirds of the way (four colours), halfway (three).
constexpr int Third(int a, int b) { return (2 * a + b + 1) / 3; }
constexpr int Half(int a, int b) { return (a + b + 1) >> 1; }

// --- Tables -----------------------------------------------------------------

// An 8-bit value's nearest 5- and 6-bit levels (ties to the lower level).
struct Quantizer {
  uint8_t to5[256];
  uint8_t to6[256];
};

constexpr Quantizer MakeQuantizer() {
  Quantizer t{};
  for (int v = 0; v < 256; ++v) {
    int best5 = 0, best6 = 0;
    for (int q = 1; q < 32; ++q)
      if (Distance(Expand5(q), v) < Distance(Expand5(best5), v)) best5 = q;
    for (int q = 1; q < 64; ++q)
      if (Distance(Expand6(q), v) < Distance(Expand6(best6), v)) best6 = q;
    t.to5[v] = uint8_t(best5);
    t.to6[v] = uint8_t(best6);
  }
  return t;
}
constexpr Quantizer kQuantizer = MakeQuantizer();

// Solid colours: per 8-bit value, the endpoint levels (first, second) whose
// interpolant (two thirds towards the first, or halfway) lies nearest,
// closest endpoints first among equals. Channels are independent, so a
// block of one colour takes the three channels' pairs.
struct SingleFits {
  uint8_t third5[256][2], third6[256][2];
  uint8_t half5[256][2], half6[256][2];
};

// Every endpoint pair once: the closest pair per value it reaches; a value
// that no pair reaches takes the nearest reached one's pair (closest pair
// among equally near). Kept small for the compilers' constant-evaluation
// limits.
template <int Bits, typename Interpolant>
constexpr void FitSingle(uint8_t (&fits)[256][2], Interpolant interpolant) {
  constexpr int levels = 1 << Bits;
  const auto expand = [](int q) { return Bits == 5 ? Expand5(q) : Expand6(q); };
  int spread[256];
  for (int v = 0; v < 256; ++v) spread[v] = 1 << 30;
  for (int q0 = 0; q0 < levels; ++q0) {
    for (int q1 = 0; q1 < levels; ++q1) {
      const int e0 = expand(q0), e1 = expand(q1), v = interpolant(e0, e1);
      if (Distance(e0, e1) < spread[v])
        spread[v] = Distance(e0, e1), fits[v][0] = uint8_t(q0), fits[v][1] = uint8_t(q1);
    }
  }
  for (int v = 0; v < 256; ++v) {
    if (spread[v] != 1 << 30) continue;
    for (int d = 1; d < 256; ++d) {
      const int below = v - d >= 0 && spread[v - d] != 1 << 30 ? spread[v - d] : 1 << 30;
      const int above = v + d < 256 && spread[v + d] != 1 << 30 ? spread[v + d] : 1 << 30;
      if (below == 1 << 30 && above == 1 << 30) continue;
      const int from = below <= above ? v - d : v + d;
      fits[v][0] = fits[from][0], fits[v][1] = fits[from][1];
      break;
    }
  }
}

constexpr SingleFits MakeSingleFits() {
  SingleFits f{};
  FitSingle<5>(f.third5, Third);
  FitSingle<6>(f.third6, Third);
  FitSingle<5>(f.half5, Half);
  FitSingle<6>(f.half6, Half);
  return f;
}
constexpr SingleFits kSingleFits = MakeSingleFits();

// --- Block state ------------------------------------------------------------

// Four lanes of floats and of 32-bit integers (the compiler's vector
// extension: plain SSE2 on x86-64). Every value held in a float lane is an
// integer below 2^24 in magnitude, so float arithmetic on them is exact and
// the results are those of integer arithmetic on every platform.
typedef float Floats __attribute__((vector_size(16)));
typedef int32_t Ints __attribute__((vector_size(16)));
typedef double Doubles __attribute__((vector_size(16)));
typedef int64_t Longs __attribute__((vector_size(16)));

Floats Select(Ints mask, Floats a, Floats b) { return mask ? a : b; }
Floats Min(Floats a, Floats b) { return a < b ? a : b; }
Floats Max(Floats a, Floats b) { return a > b ? a : b; }
float Sum(Floats v) { return (v[0] + v[1]) + (v[2] + v[3]); }

struct Texels {
  const uint8_t* rgba;        // the 16 texels as given
  Floats lanes[3][4];         // channel ch of texels 4j..4j+3 in lanes[ch][j]
  Floats fitted_lanes[3][4];  // the same, 0 for transparent texels
  Floats minus8[3][4];        // -8 x lanes
  Floats length4[4];          // 4 x the squared length of each texel's colour
  Ints transparent_lanes[4];  // all ones where a texel is transparent
  uint32_t transparent = 0;   // bit i: texel i takes index 3 and is not fitted
  int fitted = 0;
};

// Endpoints as 5:6:5 levels, before the order that fixes the mode.
struct Levels {
  int q[2][3];
};

struct Encoding {
  uint16_t c0 = 0, c1 = 0;
  uint32_t indices = 0;
  uint32_t error = 0;  // squared RGB error of the fitted texels
};

struct Placement {
  bool four_only;
  bool want_three;  // order endpoints for the three-colour mode
};

Texels ReadTexels(const uint8_t* rgba, const ColourBlockMode& mode) {
  Texels t;
  t.rgba = rgba;
  const bool punch_through = mode.punch_through && !mode.four_colour_only;
  for (int j = 0; j < 4; ++j) {
    const uint8_t* p = rgba + 16 * j;
    const Ints texel = {int32_t(LoadLe32(p)), int32_t(LoadLe32(p + 4)), int32_t(LoadLe32(p + 8)),
                        int32_t(LoadLe32(p + 12))};
    const Ints transparent = punch_through ? (texel >> 24 & 255) < 128 : Ints{0, 0, 0, 0};
    t.transparent_lanes[j] = transparent;
    Floats length = {0, 0, 0, 0};
    for (int ch = 0; ch < 3; ++ch) {
      const Floats v = __builtin_convertvector(texel >> (8 * ch) & 255, Floats);
      t.lanes[ch][j] = v;
      t.fitted_lanes[ch][j] = Floats(Ints(v) & ~transparent);
      t.minus8[ch][j] = v * -8.0f;
      length += v * v;
    }
    t.length4[j] = length * 4.0f;
    for (int lane = 0; lane < 4; ++lane) t.transparent |= uint32_t(transparent[lane] & 1) << (4 * j + lane);
    t.fitted += 4 + (transparent[0] + transparent[1]) + (transparent[2] + transparent[3]);
  }
  return t;
}

int Channel(const Texels& t, int i, int ch) { return t.rgba[4 * i + ch]; }

bool Fitted(const Texels& t, int i) { return ((t.transparent >> i) & 1) == 0; }

uint16_t Pack(const int q[3]) { return uint16_t(q[0] << 11 | q[1] << 5 | q[2]); }

Levels Unpack(uint16_t c0, uint16_t c1) {
  return Levels{{{c0 >> 11, (c0 >> 5) & 63, c0 & 31}, {c1 >> 11, (c1 >> 5) & 63, c1 & 31}}};
}

Levels Quantize(const int ends[2][3]) {
  Levels l;
  for (int e = 0; e < 2; ++e) {
    l.q[e][0] = kQuantizer.to5[ends[e][0]];
    l.q[e][1] = kQuantizer.to6[ends[e][1]];
    l.q[e][2] = kQuantizer.to5[ends[e][2]];
  }
  return l;
}

// Indices and error of a block with these endpoints, as the decoder reads
// it: nearest colour per texel (lowest index among equals), never index 3 in
// the three-colour mode except for transparent texels.
//
// Each texel's candidates are keyed 4 x squared distance + index, as
// 4|x|^2 + 4|p|^2 + index - 8 x.p: the least key holds both the nearest
// colour and, among equally near ones, the lowest index.
// The least key per texel among the first `Entries` palette colours, whose
// channels lie in lanes k of r, g, b and their key constants 4|p|^2 + k in
// lanes k of c. The texel's own term 4|x|^2 is added after the minimum.
template <int Entries>
void NearestKeys(const Texels& t, Floats r, Floats g, Floats b, Floats c, Floats key[4]) {
  for (int j = 0; j < 4; ++j) {
    const Floats mr = t.minus8[0][j], mg = t.minus8[1][j], mb = t.minus8[2][j];
    Floats least = {};
    for (int k = 0; k < Entries; ++k) {
      const Floats candidate = c[k] + (mr * r[k] + mg * g[k] + mb * b[k]);
      least = k == 0 ? candidate : Min(least, candidate);
    }
    key[j] = t.length4[j] + least;
  }
}

Encoding Evaluate(const Texels& t, uint16_t c0, uint16_t c1, bool four_only) {
  const bool four = four_only || c0 > c1;
  // The palette per channel, lane k for colour k: the endpoints expanded as
  // the decoder does, then its interpolants, rounded as it rounds them
  // (exact in floats: a quotient by 3 or 2 of an integer below 2^10
  // truncates to the integer quotient).
  const int r0 = Expand5(c0 >> 11), g0 = Expand6((c0 >> 5) & 63), b0 = Expand5(c0 & 31);
  const int r1 = Expand5(c1 >> 11), g1 = Expand6((c1 >> 5) & 63), b1 = Expand5(c1 & 31);
  const Floats w0 = four ? Floats{3, 0, 2, 1} : Floats{2, 0, 1, 0}, w1 = four ? Floats{0, 3, 1, 2} : Floats{0, 2, 1, 0};
  const Floats bias = four ? Floats{0, 0, 1, 1} : Floats{0, 0, 1, 0};
  const float divisor = four ? 1.0f / 3 : 0.5f;  // the product truncates as the quotient would
  const auto palette = [&](int e0, int e1) {
    return __builtin_convertvector(__builtin_convertvector((w0 * float(e0) + w1 * float(e1) + bias) * divisor, Ints),
                                   Floats);
  };
  const Floats r = palette(r0, r1), g = palette(g0, g1), b = palette(b0, b1);
  const Floats c = (r * r + g * g + b * b) * 4.0f + Floats{0, 1, 2, 3};
  Floats key[4];
  if (four)
    NearestKeys<4>(t, r, g, b, c, key);
  else
    NearestKeys<3>(t, r, g, b, c, key);
  Ints total = {0, 0, 0, 0}, packed = {0, 0, 0, 0};
  for (int j = 0; j < 4; ++j) {
    Ints keyed = __builtin_convertvector(key[j], Ints);
    if (t.transparent != 0) keyed = (Ints{3, 3, 3, 3} & t.transparent_lanes[j]) | (keyed & ~t.transparent_lanes[j]);
    total += keyed >> 2;
    packed |= (keyed & 3) << (8 * j);
  }
  Encoding out{c0, c1, 0, 0};
  out.error = uint32_t((total[0] + total[1]) + (total[2] + total[3]));
  out.indices = uint32_t(packed[0] | packed[1] << 2 | packed[2] << 4 | packed[3] << 6);
  return out;
}

// Orders the endpoints for the wanted mode (BC1: first above second for four
// colours, not above for three; BC3 reads any order as four) and evaluates.
Encoding Place(const Texels& t, const Levels& l, const Placement& s) {
  uint16_t a = Pack(l.q[0]), b = Pack(l.q[1]);
  if (!s.four_only && (s.want_three ? a > b : a < b)) std::swap(a, b);
  return Evaluate(t, a, b, s.four_only);
}

const Encoding& Better(const Encoding& a, const Encoding& b) { return b.error < a.error ? b : a; }

// num / den rounded, clamped to 0..255; in the width the caller's sums need.
template <typename Integer>
int RoundClampDiv(Integer num, Integer den) {
  if (num <= 0) return 0;
  const Integer q = (2 * num + den) / (2 * den);
  return q > 255 ? 255 : int(q);
}

// Endpoints (8-bit) minimising the squared error of the fitted texels for
// these indices, solved exactly in integers. False when every texel shares
// one weight pair (no unique solution).
//
// The first endpoint's weight w per texel (in thirds or halves) gives the
// second's as scale - w, so the sums needed are those of w, w^2, w x and x
// over the fitted texels: in float lanes, exact (below 2^14). Transparent
// texels hold index 3, whose weights in the three-colour mode are zero.
bool LeastSquares(const Texels& t, uint32_t indices, bool four, int ends[2][3]) {
  const int scale = four ? 3 : 2;
  const Ints spread = {int32_t(indices), int32_t(indices >> 2), int32_t(indices >> 4), int32_t(indices >> 6)};
  Floats w_sum = {0, 0, 0, 0}, w_square = {0, 0, 0, 0}, wx[3] = {}, x[3] = {};
  for (int j = 0; j < 4; ++j) {
    const Ints index = spread >> (8 * j) & 3, odd = -(index & 1), high = index >> 1;
    // The first endpoint's weight per index, in thirds with four colours (0, 1,
    // 2, 3 weigh 3, 0, 2, 1), in halves with three (2, 0, 1, and 0 for the
    // transparent index 3).
    const Ints w = four ? (high & odd) | ((3 - high) & ~odd) : (2 - high) & ~odd;
    const Floats wf = __builtin_convertvector(w, Floats);
    w_sum += wf, w_square += wf * wf;
    for (int ch = 0; ch < 3; ++ch) wx[ch] += wf * t.fitted_lanes[ch][j], x[ch] += t.fitted_lanes[ch][j];
  }
  const int n = t.fitted, sum_w = int(Sum(w_sum)), sum_w2 = int(Sum(w_square));
  const int aa = sum_w2, ab = scale * sum_w - sum_w2, bb = scale * scale * n - 2 * scale * sum_w + sum_w2;
  const int det = aa * bb - ab * ab;
  if (det <= 0) return false;
  for (int ch = 0; ch < 3; ++ch) {
    const int ax = int(Sum(wx[ch])), bx = scale * int(Sum(x[ch])) - ax;
    ends[0][ch] = RoundClampDiv(scale * (bb * ax - ab * bx), det);
    ends[1][ch] = RoundClampDiv(scale * (aa * bx - ab * ax), det);
  }
  return true;
}

// Least-squares steps while they lower the error.
Encoding Refine(const Texels& t, Encoding e, const Placement& s, int steps) {
  for (int k = 0; k < steps && e.error > 0; ++k) {
    int ends[2][3];
    if (!LeastSquares(t, e.indices, s.four_only || e.c0 > e.c1, ends)) break;
    const Levels l = Quantize(ends);
    const uint16_t a = Pack(l.q[0]), b = Pack(l.q[1]);
    if ((a == e.c0 && b == e.c1) || (a == e.c1 && b == e.c0)) break;  // places as `e` again
    const Encoding next = Place(t, l, s);
    if (next.error >= e.error) break;
    e = next;
  }
  return e;
}

// Greedy descent over single-level steps of the six endpoint channels.
Encoding Perturb(const Texels& t, Encoding e, const Placement& s, int passes) {
  static constexpr int kTop[3] = {31, 63, 31};
  Levels l = Unpack(e.c0, e.c1);
  for (int pass = 0; pass < passes && e.error > 0; ++pass) {
    bool improved = false;
    for (int end = 0; end < 2; ++end) {
      for (int ch = 0; ch < 3; ++ch) {
        for (int delta = -1; delta <= 1; delta += 2) {
          Levels m = l;
          m.q[end][ch] += delta;
          if (m.q[end][ch] < 0 || m.q[end][ch] > kTop[ch]) continue;
          const Encoding next = Place(t, m, s);
          if (next.error < e.error) e = next, l = m, improved = true;
        }
      }
    }
    if (!improved) break;
  }
  return e;
}

// Channel-wise maximum and minimum of the fitted texels (transparent lanes
// hold 0 for the maximum and 255 for the minimum).
Levels BoundingBox(const Texels& t) {
  int ends[2][3];
  for (int ch = 0; ch < 3; ++ch) {
    const Floats top = {255, 255, 255, 255};
    const auto raised = [&](int j) {
      return t.transparent == 0 ? t.lanes[ch][j] : Select(t.transparent_lanes[j], top, t.lanes[ch][j]);
    };
    Floats high = t.fitted_lanes[ch][0], low = raised(0);
    for (int j = 1; j < 4; ++j) high = Max(high, t.fitted_lanes[ch][j]), low = Min(low, raised(j));
    ends[0][ch] = int(high[0] > high[1] ? high[0] : high[1]);
    ends[0][ch] = std::max(ends[0][ch], int(high[2] > high[3] ? high[2] : high[3]));
    ends[1][ch] = std::min(int(low[0] < low[1] ? low[0] : low[1]), int(low[2] < low[3] ? low[2] : low[3]));
  }
  if (t.fitted == 0) ends[1][0] = ends[1][1] = ends[1][2] = 0;
  return Quantize(ends);
}

// Endpoints whose interpolant (index 2) is nearest `colour`, per channel.
Levels SingleColour(const int colour[3], bool three) {
  const auto& f5 = three ? kSingleFits.half5 : kSingleFits.third5;
  const auto& f6 = three ? kSingleFits.half6 : kSingleFits.third6;
  Levels l;
  for (int e = 0; e < 2; ++e) {
    l.q[e][0] = f5[colour[0]][e];
    l.q[e][1] = f6[colour[1]][e];
    l.q[e][2] = f5[colour[2]][e];
  }
  return l;
}

// Sums of the fitted texels' channels and of their pairwise products.
struct Moments {
  int64_t sum[3];
  int64_t cross[3][3];
};

Moments Measure(const Texels& t) {
  Moments m;
  const auto& f = t.fitted_lanes;
  for (int a = 0; a < 3; ++a) {
    m.sum[a] = int64_t(Sum((f[a][0] + f[a][1]) + (f[a][2] + f[a][3])));
    for (int b = a; b < 3; ++b)
      m.cross[a][b] = m.cross[b][a] =
          int64_t(Sum((f[a][0] * f[b][0] + f[a][1] * f[b][1]) + (f[a][2] * f[b][2] + f[a][3] * f[b][3])));
  }
  return m;
}

// Rounded mean colour of the fitted texels.
void MeanColour(const Texels& t, const Moments& m, int mean[3]) {
  for (int ch = 0; ch < 3; ++ch) mean[ch] = int((2 * m.sum[ch] + t.fitted) / (2 * t.fitted));
}

// The ends of the fitted texels' extent along their principal axis (power
// iteration on the integer covariance), and each texel's position along it
// in its keys. IEEE double arithmetic without library calls: the same result
// on every platform. False for one colour.
struct Axis {
  int ends[2][3];  // 8-bit colours at the high and the low end
  double key[16];  // fitted texels' positions along the axis
  double low, high;
};

bool PrincipalEnds(const Texels& t, const Moments& m, int iterations, Axis& axis) {
  const int64_t n = t.fitted;
  double cov[3][3];
  int start = 0;
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) cov[a][b] = double(n * m.cross[a][b] - m.sum[a] * m.sum[b]);
    if (cov[a][a] > cov[start][start]) start = a;
  }
  if (cov[start][start] <= 0) return false;
  double v[3] = {cov[start][0], cov[start][1], cov[start][2]};
  for (int k = 0; k < iterations; ++k) {
    double w[3], top = 0;
    for (int a = 0; a < 3; ++a) {
      w[a] = cov[a][0] * v[0] + cov[a][1] * v[1] + cov[a][2] * v[2];
      const double magnitude = w[a] < 0 ? -w[a] : w[a];
      top = magnitude > top ? magnitude : top;
    }
    if (top == 0) break;
    for (int a = 0; a < 3; ++a) v[a] = w[a] / top;
  }
  const double mean[3] = {double(m.sum[0]) / double(n), double(m.sum[1]) / double(n), double(m.sum[2]) / double(n)};
  const double vv = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
  const double mv = mean[0] * v[0] + mean[1] * v[1] + mean[2] * v[2];
  double low = 0, high = 0;
  if (t.transparent == 0) {
    // Two texels at a time, the same operations in the same order.
    const Doubles v0 = {v[0], v[0]}, v1 = {v[1], v[1]}, v2 = {v[2], v[2]};
    Doubles lows = {}, highs = {};
    for (int q = 0; q < 8; ++q) {
      const int j = q / 2, lane = 2 * (q % 2);
      const Doubles r = {t.lanes[0][j][lane], t.lanes[0][j][lane + 1]};
      const Doubles g = {t.lanes[1][j][lane], t.lanes[1][j][lane + 1]};
      const Doubles b = {t.lanes[2][j][lane], t.lanes[2][j][lane + 1]};
      const Doubles p = (r * v0 + g * v1) + b * v2;
      std::memcpy(axis.key + 2 * q, &p, sizeof p);
      lows = q == 0 || p < lows ? p : lows;
      highs = q == 0 || p > highs ? p : highs;
    }
    low = lows[0] < lows[1] ? lows[0] : lows[1];
    high = highs[0] > highs[1] ? highs[0] : highs[1];
  } else {
    bool first = true;
    for (int i = 0; i < 16; ++i) {
      if (!Fitted(t, i)) continue;
      const double p = Channel(t, i, 0) * v[0] + Channel(t, i, 1) * v[1] + Channel(t, i, 2) * v[2];
      axis.key[i] = p;
      if (first || p < low) low = p;
      if (first || p > high) high = p;
      first = false;
    }
  }
  const double along[2] = {(high - mv) / vv, (low - mv) / vv};
  for (int e = 0; e < 2; ++e) {
    for (int a = 0; a < 3; ++a) {
      const double x = mean[a] + v[a] * along[e];
      axis.ends[e][a] = x <= 0 ? 0 : x >= 255 ? 255 : int(x + 0.5);
    }
  }
  axis.low = low, axis.high = high;
  return true;
}

// Four-colour indices from the texels' positions along the axis: the nearest
// of four even steps from the high end (the first endpoint) to the low one.
// For blocks without transparent texels (the four-colour mode has none).
uint32_t StepIndices(const Axis& axis) {
  static constexpr uint32_t kByStep[4] = {0, 2, 3, 1};
  const double extent = axis.high - axis.low;
  const Doubles high = {axis.high, axis.high}, three = {3, 3};
  const Doubles first = {0.5 * extent, 0.5 * extent}, second = {1.5 * extent, 1.5 * extent},
                third = {2.5 * extent, 2.5 * extent};
  uint32_t indices = 0;
  for (int q = 0; q < 8; ++q) {
    Doubles key;
    std::memcpy(&key, axis.key + 2 * q, sizeof key);
    const Doubles steps = three * (high - key);
    const Longs step = -((steps >= first) + (steps >= second) + (steps >= third));
    indices |= kByStep[step[0]] << (4 * q) | kByStep[step[1]] << (4 * q + 2);
  }
  return indices;
}

// Fitted texels from the far end of the axis to the near one (insertion
// sort of PrincipalEnds' keys, ties in texel order).
void AxisOrder(const Texels& t, const double key[16], int order[16]) {
  double sorted[16];
  int count = 0;
  for (int i = 0; i < 16; ++i) {
    if (!Fitted(t, i)) continue;
    const double p = key[i];
    int at = count++;
    while (at > 0 && sorted[at - 1] < p) sorted[at] = sorted[at - 1], order[at] = order[at - 1], --at;
    sorted[at] = p, order[at] = i;
  }
}

// Every split of the texels, in axis order, into runs that take the
// palette's colours in turn (four or three), solved by least squares in
// closed form: the split whose solution leaves the least error, compared
// exactly in integers. Its endpoints (8-bit) go to `ends`.
//
// With run boundaries a <= b <= c and P the prefix sums of the colours, the
// first endpoint's weighted sum is P[a] + P[b] + P[c] (four colours, weights
// 3, 2, 1, 0 in thirds) or P[a] + P[b] (three, in halves), and the second's
// is scale x P[n] minus it.
//
// `near` (if given) holds the run boundaries of a current fit, and only
// splits within `radius` of them are tried.
bool ClusterEnds(const Texels& t, const int order[16], bool three, const int* near, int radius, int ends[2][3]) {
  const int n = t.fitted;
  const auto low = [&](int k, int floor) { return near && near[k] - radius > floor ? near[k] - radius : floor; };
  const auto high = [&](int k) { return near && near[k] + radius < n ? near[k] + radius : n; };
  int prefix[17][3] = {};
  for (int m = 0; m < n; ++m)
    for (int ch = 0; ch < 3; ++ch) prefix[m + 1][ch] = prefix[m][ch] + Channel(t, order[m], ch);
  const int* total = prefix[n];
  const int64_t scale = three ? 2 : 3;
  const int64_t total_length =
      int64_t(total[0]) * total[0] + int64_t(total[1]) * total[1] + int64_t(total[2]) * total[2];
  // With ax the first endpoint's sum, bx = scale x total - ax, so the
  // removed error bb ax^2 - 2 ab ax bx + aa bx^2 (summed over channels)
  // needs only ax.ax and ax.total. Its products stay below 2^63.
  int64_t best_value = -1, best_det = 1, best[5] = {};  // a, b, c, aa, bb
  const int high0 = high(0), high1 = high(1), high2 = three ? n : high(2);
  for (int a = low(0, 0); a <= high0; ++a) {
    for (int b = low(1, a); b <= high1; ++b) {
      const int partial[3] = {prefix[a][0] + prefix[b][0], prefix[a][1] + prefix[b][1], prefix[a][2] + prefix[b][2]};
      for (int c = three ? n : low(2, b); c <= high2; ++c) {
        // Run lengths per index; with three colours the last run [b, n) takes index 1.
        const int64_t n0 = a, n2 = b - a, n3 = three ? 0 : c - b, n1 = three ? n - b : n - c;
        const int64_t aa = three ? 4 * n0 + n2 : 9 * n0 + 4 * n2 + n3;
        const int64_t bb = three ? 4 * n1 + n2 : 9 * n1 + n2 + 4 * n3;
        const int64_t ab = three ? n2 : 2 * (n2 + n3);
        const int64_t det = aa * bb - ab * ab;
        if (det <= 0) continue;
        int ax[3];
        for (int ch = 0; ch < 3; ++ch) ax[ch] = partial[ch] + (three ? 0 : prefix[c][ch]);
        const int64_t length = int64_t(ax[0]) * ax[0] + int64_t(ax[1]) * ax[1] + int64_t(ax[2]) * ax[2];
        const int64_t along = int64_t(ax[0]) * total[0] + int64_t(ax[1]) * total[1] + int64_t(ax[2]) * total[2];
        const int64_t value =
            (aa + 2 * ab + bb) * length - 2 * scale * (aa + ab) * along + aa * scale * scale * total_length;
        if (best_value < 0 || value * best_det > best_value * det) {
          best_value = value, best_det = det, best[0] = a, best[1] = b, best[2] = c;
          best[3] = aa, best[4] = bb;
        }
      }
    }
  }
  if (best_value < 0) return false;
  const int64_t a = best[0], b = best[1], c = best[2], aa = best[3], bb = best[4];
  const int64_t ab = three ? b - a : 2 * (c - a);
  for (int ch = 0; ch < 3; ++ch) {
    const int64_t ax = prefix[a][ch] + prefix[b][ch] + (three ? 0 : prefix[c][ch]);
    const int64_t bx = scale * total[ch] - ax;
    ends[0][ch] = RoundClampDiv(scale * (bb * ax - ab * bx), best_det);
    ends[1][ch] = RoundClampDiv(scale * (aa * bx - ab * ax), best_det);
  }
  return true;
}

// Run boundaries of an encoding's indices along the axis: how many texels
// take the first endpoint, then the colours between, in palette order.
void RunBoundaries(const Texels& t, const Encoding& e, bool three, int bounds[3]) {
  int count[4] = {};
  for (int i = 0; i < 16; ++i)
    if (Fitted(t, i)) ++count[(e.indices >> (2 * i)) & 3];
  // Palette order along the axis: 0, 2, 3, 1 (four colours) or 0, 2, 1.
  bounds[0] = count[0];
  bounds[1] = count[0] + count[2];
  bounds[2] = three ? bounds[1] : bounds[1] + count[3];
}

void Write(const Encoding& e, uint8_t* out) {
  out[0] = uint8_t(e.c0), out[1] = uint8_t(e.c0 >> 8);
  out[2] = uint8_t(e.c1), out[3] = uint8_t(e.c1 >> 8);
  for (int k = 0; k < 4; ++k) out[4 + k] = uint8_t(e.indices >> (8 * k));
}

// Pooled error is ruled by the blocks that fit worst, so the normal setting
// spends its descent only on blocks above a mean squared error of 8 per
// fitted channel, and only on the better mode, and its split search only on
// four-colour fits above 8 per fitted channel, one texel either side of the
// fit's own split.
struct Effort {
  int axis_iterations;
  int refine_steps;
  int perturb_passes;
  uint32_t perturb_above;  // per fitted texel
  bool perturb_both_modes;
  bool step_indices;       // four colours: the first least-squares step from the axis steps' indices
  uint32_t cluster_above;  // per fitted texel: also start from the best split along the axis
  int cluster_radius;      // around the current fit's split; 16: every split
  uint32_t three_above;    // per fitted texel: fit the three-colour mode too
};
constexpr uint32_t kNever = 1u << 20;
constexpr Effort kEffort[3] = {{2, 1, 0, kNever, false, true, kNever, 0, 0},
                               {4, 2, 1, 24, false, true, 24, 1, 16},
                               {8, 8, 16, 0, true, false, 0, 16, 0}};  // fast, normal, slow

}  // namespace

void EncodeColourBlockBoundingBox(const uint8_t* rgba, const ColourBlockMode& mode, uint8_t* out) {
  const Texels t = ReadTexels(rgba, mode);
  Write(Place(t, BoundingBox(t), {mode.four_colour_only, t.transparent != 0}), out);
}

// Candidates, best kept: the bounding box; the mean as a single colour (for
// one colour at every setting); least-squares fits along the principal axis,
// in the four-colour mode (fast and normal: from the axis steps' indices,
// slow: from the axis ends) and (BC1 above the fast setting, for one colour,
// or always with transparent texels) the three-colour one (from the axis
// ends); above the fast setting, for blocks that fit badly, also the best
// split along the axis (cluster fit). Then a descent over endpoint levels:
// at the normal setting from the better mode of a block that fits badly, at
// the slow one from both modes always.
void EncodeColourBlock(const uint8_t* rgba, EncodeQuality quality, const ColourBlockMode& mode, uint8_t* out) {
  const Texels t = ReadTexels(rgba, mode);
  const Effort& effort = kEffort[int(quality) < 3 ? int(quality) : 2];
  const bool must_three = t.transparent != 0;
  const bool try_four = !must_three;
  const Placement four{mode.four_colour_only, false}, three{mode.four_colour_only, true};

  Encoding best = Place(t, BoundingBox(t), must_three ? three : four);
  if (best.error > 0) {
    const Moments moments = Measure(t);
    Axis axis;
    const bool spread = PrincipalEnds(t, moments, effort.axis_iterations, axis);
    const bool try_three = !mode.four_colour_only && (must_three || quality != EncodeQuality::fast || !spread);
    if (!spread || quality != EncodeQuality::fast) {
      int mean[3];
      MeanColour(t, moments, mean);
      if (try_four) best = Better(best, Place(t, SingleColour(mean, false), four));
      if (try_three) best = Better(best, Place(t, SingleColour(mean, true), three));
    }
    if (spread) {
      Encoding four_fit, three_fit;
      four_fit.error = three_fit.error = ~0u;
      int fitted[2][3];
      if (try_four && effort.step_indices && LeastSquares(t, StepIndices(axis), true, fitted))
        four_fit = Better(best, Refine(t, Place(t, Quantize(fitted), four), four, effort.refine_steps - 1));
      else if (try_four)
        four_fit = Better(best, Refine(t, Place(t, Quantize(axis.ends), four), four, effort.refine_steps));
      const bool fit_three = try_three && (!try_four || four_fit.error > effort.three_above * uint32_t(t.fitted));
      if (fit_three) three_fit = Refine(t, Place(t, Quantize(axis.ends), three), three, effort.refine_steps);
      // The best split along the axis, near the current fit's split unless
      // the radius covers every split; the axis order is sorted on first use.
      int order[16];
      bool ordered = false;
      const auto cluster_ends = [&](const Encoding& fit, bool is_three, int cluster[2][3]) {
        if (!ordered) AxisOrder(t, axis.key, order), ordered = true;
        int near[3];
        const bool local = effort.cluster_radius < 16;
        if (local) RunBoundaries(t, fit, is_three, near);
        return ClusterEnds(t, order, is_three, local ? near : nullptr, effort.cluster_radius, cluster);
      };
      int cluster[2][3];
      const uint32_t cluster_threshold = effort.cluster_above * uint32_t(t.fitted);
      const bool four_better_so_far = four_fit.error <= three_fit.error;
      if (try_four && four_fit.error > cluster_threshold && (four_better_so_far || effort.perturb_both_modes) &&
          cluster_ends(four_fit, false, cluster))
        four_fit = Better(four_fit, Refine(t, Place(t, Quantize(cluster), four), four, effort.refine_steps));
      if (fit_three && three_fit.error > cluster_threshold && (!four_better_so_far || effort.perturb_both_modes) &&
          cluster_ends(three_fit, true, cluster))
        three_fit = Better(three_fit, Refine(t, Place(t, Quantize(cluster), three), three, effort.refine_steps));
      const uint32_t threshold = effort.perturb_above * uint32_t(t.fitted);
      const bool four_better = four_fit.error <= three_fit.error;
      if (effort.perturb_passes > 0 && try_four && four_fit.error > threshold &&
          (four_better || effort.perturb_both_modes))
        four_fit = Perturb(t, four_fit, four, effort.perturb_passes);
      if (effort.perturb_passes > 0 && fit_three && three_fit.error > threshold &&
          (!four_better || effort.perturb_both_modes))
        three_fit = Perturb(t, three_fit, three, effort.perturb_passes);
      if (try_four) best = Better(best, four_fit);
      if (fit_three) best = Better(best, three_fit);
    }
  }
  Write(best, out);
}

void EncodeBc1Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  EncodeColourBlock(texels, settings.quality, {false, settings.bc1_punch_through}, out);
}

}  // namespace mivo
