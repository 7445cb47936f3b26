#include "guest/bc7_encode.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "guest/bc7_tables.h"

namespace mivo {
namespace {

constexpr uint64_t kNoError = std::numeric_limits<uint64_t>::max();

// For each 8-bit value v, two 7-bit endpoints whose weight-21 interpolation
// (index 1 of a 2-bit index) decodes to exactly v: mode 5's colour then
// holds any solid colour, and its 8-bit alpha any constant alpha.
struct ExactPair {
  uint8_t low, high;
};

constexpr std::array<ExactPair, 256> MakeExact7() {
  std::array<ExactPair, 256> table{};
  for (int v = 0; v < 256; ++v) {
    int best = 1 << 30;
    const int centre = v >> 1;
    for (int a = std::max(0, centre - 4); a <= std::min(127, centre + 4); ++a) {
      for (int b = std::max(0, centre - 4); b <= std::min(127, centre + 4); ++b) {
        const int d = Bc7Interpolate(Bc7Unquantize(a, 7), Bc7Unquantize(b, 7), 21) - v;
        const int cost = d * d * 1024 + (a - b) * (a - b);  // exact first, then the closest pair
        if (cost < best) best = cost, table[size_t(v)] = {uint8_t(a), uint8_t(b)};
      }
    }
  }
  return table;
}
constexpr std::array<ExactPair, 256> kExact7 = MakeExact7();

// The input block and the weight of each texel's channels in the error.
struct Texels {
  int value[16][4];
  int weight[16][4];
  bool alpha_weighted;
};

// Which channels one set of endpoints and indices codes, and how.
struct GroupSpec {
  int channel[4];  // input channel of each slot
  int count;       // slots used: 1 (alpha of modes 4/5), 3 or 4
  int bits;        // stored bits per channel
  int pbits;       // 0 none, 1 one per endpoint, 2 one shared by both
  int index_bits;
};

// One subset's endpoints and indices for one group.
struct GroupFit {
  int q[2][4] = {};  // stored endpoint values per slot
  int p[2] = {};
  uint8_t index[16] = {};
  uint64_t error = kNoError;
  uint64_t flat_error = 0;  // every channel counted alike
};

struct Candidate {
  int mode = -1;
  int partition = 0;
  int rotation = 0;
  int selection = 0;
  int q[3][2][4] = {};
  int p[3][2] = {};
  uint8_t index[16] = {};
  uint8_t index2[16] = {};
  uint64_t error = kNoError;
  uint64_t flat_error = kNoError;  // every channel counted alike
};

struct Search {
  int partitions;   // best-estimated partitions fully fitted per subset mode
  int refinements;  // least-squares passes after the first fit
  bool all_rotations;
  bool all_pbits;        // fit every p-bit choice, not only the nearest
  uint64_t good_enough;  // stop searching at or below this block error
  int power_iterations;  // 0: one step from the widest channel
};

// ---------------------------------------------------------------------------
// Fitting one subset of one group.

int Decoded(int q, int p, const GroupSpec& g) {
  return g.pbits ? Bc7Unquantize((q << 1) | p, g.bits + 1) : Bc7Unquantize(q, g.bits);
}

constexpr int Distance(int a, int b) { return a > b ? a - b : b - a; }

// The stored value whose decoding is nearest each 8-bit value, by stored
// bits (1..8) and p-bit (0: none, 1: p-bit 0, 2: p-bit 1).
struct QuantizeTable {
  uint8_t of[9][3][256];
};

constexpr QuantizeTable MakeQuantize() {
  QuantizeTable table{};
  for (int bits = 1; bits <= 8; ++bits) {
    for (int kind = 0; kind < (bits < 8 ? 3 : 1); ++kind) {  // a p-bit makes at most 8 bits
      const int top = (1 << bits) - 1;
      auto decode = [&](int q) {
        return kind ? Bc7Unquantize((q << 1) | (kind - 1), bits + 1) : Bc7Unquantize(q, bits);
      };
      int q = 0;
      for (int v = 0; v < 256; ++v) {
        // Decodings rise with q: step on while the next one is nearer.
        while (q < top && Distance(decode(q + 1), v) < Distance(decode(q), v)) ++q;
        table.of[bits][kind][v] = uint8_t(q);
      }
    }
  }
  return table;
}
constexpr QuantizeTable kQuantize = MakeQuantize();

int Quantize(float x, int p, const GroupSpec& g) { return kQuantize.of[g.bits][g.pbits ? p + 1 : 0][int(x + 0.5f)]; }

// Nearest index for each interpolation position 0..64 of the weight table.
struct NearestIndex {
  uint8_t of[3][65];
};

constexpr NearestIndex MakeNearest() {
  NearestIndex n{};
  for (int bits = 2; bits <= 4; ++bits) {
    const uint8_t* w = Bc7Weights(bits);
    for (int t = 0; t <= 64; ++t) {
      int best = 0;
      for (int k = 1; k < (1 << bits); ++k) {
        const int d = w[k] - t, bd = w[best] - t;
        if (d * d < bd * bd) best = k;
      }
      n.of[bits - 2][t] = uint8_t(best);
    }
  }
  return n;
}
constexpr NearestIndex kNearest = MakeNearest();

// Indices and error of decoded endpoints e0, e1 for the subset's texels;
// `flat` gets the error with every channel counted alike.
uint64_t AssignIndices(const Texels& t, const uint8_t* members, int n, const GroupSpec& g, const int e0[4],
                       const int e1[4], uint8_t* index, uint64_t& flat) {
  const int entries = 1 << g.index_bits;
  const uint8_t* weights = Bc7Weights(g.index_bits);
  int palette[16][4];
  for (int k = 0; k < entries; ++k)
    for (int s = 0; s < g.count; ++s) palette[k][s] = Bc7Interpolate(e0[s], e1[s], weights[k]);
  int axis[4], length = 0;
  for (int s = 0; s < g.count; ++s) axis[s] = e1[s] - e0[s], length += axis[s] * axis[s];
  uint64_t total = 0, flat_total = 0;
  for (int m = 0; m < n; ++m) {
    const int i = members[m];
    const int* v = t.value[i];
    const int* w = t.weight[i];
    // The projection on the endpoint line picks a start; its neighbours are
    // checked by their exact error.
    int first = 0, last = entries - 1;
    if (entries > 4 && length > 0) {
      int dot = 0;
      for (int s = 0; s < g.count; ++s) dot += (v[g.channel[s]] - e0[s]) * axis[s];
      const int position = std::clamp((dot * 64 + length / 2) / length, 0, 64);
      const int k = kNearest.of[g.index_bits - 2][position];
      first = std::max(0, k - 1), last = std::min(entries - 1, k + 1);
    }
    uint64_t best = kNoError, best_flat = 0;
    for (int k = first; k <= last; ++k) {
      uint64_t e = 0, f = 0;
      for (int s = 0; s < g.count; ++s) {
        const int d = palette[k][s] - v[g.channel[s]];
        e += uint64_t(w[g.channel[s]]) * uint64_t(d * d);
        f += uint64_t(d * d);
      }
      if (e < best) best = e, best_flat = f, index[i] = uint8_t(k);
    }
    total += best;
    flat_total += best_flat;
  }
  flat = flat_total;
  return total;
}

// Mode 6's indices (all 16 texels, four channels in order, 4-bit indices)
// when every texel weighs its channels 1, 1, 1, 8: each texel takes its
// nearest palette entry by that error, ties to the lower index. Every block
// at every setting runs this, so with SSE2 the 16 entries are compared four
// at a time in 16-bit lanes (the errors stay below 2^20, exact in integers
// and in floats, so both paths choose alike). The error with the channels
// counted alike is left to FlatError.
uint64_t AssignIndicesMode6(const Texels& t, const int e0[4], const int e1[4], uint8_t* index) {
  uint64_t total = 0;
#if defined(__SSE2__)
  // Palette entries as 16-bit pairs (red and green of entries 4j .. 4j + 3
  // in rg[j], blue and alpha in ba[j]), by the format's interpolation
  // written as e0 + (w (e1 - e0) + 32) >> 6: the same value, as 64 e0 is a
  // whole multiple of 64.
  __m128i rg[4], ba[4];
  const __m128i low_rg = _mm_set1_epi32(e0[1] << 16 | e0[0]), low_ba = _mm_set1_epi32(e0[3] << 16 | e0[2]);
  const __m128i span_rg = _mm_sub_epi16(_mm_set1_epi32(e1[1] << 16 | e1[0]), low_rg);
  const __m128i span_ba = _mm_sub_epi16(_mm_set1_epi32(e1[3] << 16 | e1[2]), low_ba);
  const __m128i half = _mm_set1_epi16(32);
  for (int j = 0; j < 4; ++j) {
    const uint8_t* w = kBc7Weights4 + 4 * j;
    const __m128i weight = _mm_setr_epi16(w[0], w[0], w[1], w[1], w[2], w[2], w[3], w[3]);
    rg[j] = _mm_add_epi16(low_rg, _mm_srai_epi16(_mm_add_epi16(_mm_mullo_epi16(weight, span_rg), half), 6));
    ba[j] = _mm_add_epi16(low_ba, _mm_srai_epi16(_mm_add_epi16(_mm_mullo_epi16(weight, span_ba), half), 6));
  }
  const __m128i alpha_weight = _mm_set1_epi32(8 << 16 | 1);
  // Each error times 16 plus the entry's number, as a float (exact below
  // 2^24): one minimum gives both, ties to the lower entry.
  const __m128i lanes[4] = {_mm_setr_epi32(0, 1, 2, 3), _mm_setr_epi32(4, 5, 6, 7), _mm_setr_epi32(8, 9, 10, 11),
                            _mm_setr_epi32(12, 13, 14, 15)};
  for (int i = 0; i < 16; ++i) {
    const int* v = t.value[i];
    const __m128i texel_rg = _mm_set1_epi32(v[1] << 16 | v[0]), texel_ba = _mm_set1_epi32(v[3] << 16 | v[2]);
    __m128 key[4];
    for (int j = 0; j < 4; ++j) {
      const __m128i d_rg = _mm_sub_epi16(rg[j], texel_rg), d_ba = _mm_sub_epi16(ba[j], texel_ba);
      const __m128i e =
          _mm_add_epi32(_mm_madd_epi16(d_rg, d_rg), _mm_madd_epi16(d_ba, _mm_mullo_epi16(d_ba, alpha_weight)));
      key[j] = _mm_cvtepi32_ps(_mm_or_si128(_mm_slli_epi32(e, 4), lanes[j]));
    }
    __m128 m = _mm_min_ps(_mm_min_ps(key[0], key[1]), _mm_min_ps(key[2], key[3]));
    m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm_min_ps(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
    const uint32_t best = uint32_t(_mm_cvtt_ss2si(m));
    index[i] = uint8_t(best & 15);
    total += best >> 4;
  }
#else
  int palette[16][4];
  for (int k = 0; k < 16; ++k)
    for (int s = 0; s < 4; ++s) palette[k][s] = Bc7Interpolate(e0[s], e1[s], kBc7Weights4[k]);
  for (int i = 0; i < 16; ++i) {
    const int* v = t.value[i];
    uint32_t best = std::numeric_limits<uint32_t>::max();
    for (int k = 0; k < 16; ++k) {
      const int* c = palette[k];
      const int d0 = c[0] - v[0], d1 = c[1] - v[1], d2 = c[2] - v[2], d3 = c[3] - v[3];
      const uint32_t e = uint32_t(d0 * d0 + d1 * d1 + d2 * d2 + 8 * d3 * d3);
      if (e < best) best = e, index[i] = uint8_t(k);
    }
    total += best;
  }
#endif
  return total;
}

// Fully opaque or fully transparent endpoints keep their alpha exact: false
// when a fitted alpha of 255 (or 0) would take the p-bit that cannot decode
// to it (255 needs p-bit 1, 0 needs p-bit 0).
bool AlphaExactPbit(float alpha, int p) { return alpha >= 254.5f ? p == 1 : alpha < 0.5f ? p == 0 : true; }

// TryEndpoints for mode 6 with the nearest p-bits, the same choices made
// with fewer steps: a mode 6 endpoint with its p-bit decodes to 2q + p.
void TryEndpointsMode6(const Texels& t, const float f0[4], const float f1[4], GroupFit& best) {
  int rounded[2][4], miss[2][2] = {};
  for (int s = 0; s < 4; ++s) rounded[0][s] = int(f0[s] + 0.5f), rounded[1][s] = int(f1[s] + 0.5f);
  for (int e = 0; e < 2; ++e) {
    for (int p = 0; p < 2; ++p) {
      const uint8_t* nearest = kQuantize.of[7][p + 1];
      for (int s = 0; s < 4; ++s) {
        const int d = 2 * nearest[rounded[e][s]] + p - rounded[e][s];
        miss[e][p] += d * d;
      }
    }
    for (int p = 0; p < 2; ++p)
      if (!AlphaExactPbit(e ? f1[3] : f0[3], p)) miss[e][p] += 1 << 20;
  }
  GroupFit fit;
  int decoded[2][4];
  for (int e = 0; e < 2; ++e) {
    fit.p[e] = miss[e][1] < miss[e][0] ? 1 : 0;
    for (int s = 0; s < 4; ++s) {
      fit.q[e][s] = kQuantize.of[7][fit.p[e] + 1][rounded[e][s]];
      decoded[e][s] = 2 * fit.q[e][s] + fit.p[e];
    }
  }
  fit.error = AssignIndicesMode6(t, decoded[0], decoded[1], fit.index);
  fit.flat_error = kNoError;  // counted when needed
  if (fit.error < best.error) best = fit;
}

void TryEndpoints(const Texels& t, const uint8_t* members, int n, const GroupSpec& g, const float f0[4],
                  const float f1[4], bool all_pbits, GroupFit& best) {
  if (g.count == 4 && g.index_bits == 4 && !t.alpha_weighted && !all_pbits) {
    TryEndpointsMode6(t, f0, f1, best);
    return;
  }
  int nearest = 0;
  if (g.pbits && !all_pbits) {
    int miss[2][2] = {};  // [endpoint][p-bit]: squared distance of the decodings
    for (int p = 0; p < 2; ++p) {
      for (int s = 0; s < g.count; ++s) {
        const int d0 = Decoded(Quantize(f0[s], p, g), p, g) - int(f0[s] + 0.5f);
        const int d1 = Decoded(Quantize(f1[s], p, g), p, g) - int(f1[s] + 0.5f);
        miss[0][p] += d0 * d0, miss[1][p] += d1 * d1;
      }
    }
    if (g.count == 4) {
      for (int e = 0; e < 2; ++e)
        for (int p = 0; p < 2; ++p)
          if (!AlphaExactPbit(e ? f1[3] : f0[3], p)) miss[e][p] += 1 << 20;
    }
    if (g.pbits == 1) {
      nearest = (miss[0][1] < miss[0][0] ? 1 : 0) | (miss[1][1] < miss[1][0] ? 2 : 0);
    } else {
      nearest = miss[0][1] + miss[1][1] < miss[0][0] + miss[1][0] ? 1 : 0;
    }
  }
  const int choices = !all_pbits ? 1 : g.pbits == 1 ? 4 : g.pbits == 2 ? 2 : 1;
  for (int k = 0; k < choices; ++k) {
    const int choice = all_pbits ? k : nearest;
    GroupFit fit;
    fit.p[0] = choice & 1;
    fit.p[1] = g.pbits == 1 ? choice >> 1 : choice & 1;
    // The full search too: an opaque texture must not come back with alpha
    // 254 here and there.
    if (all_pbits && g.count == 4 && g.pbits == 1 &&
        (!AlphaExactPbit(f0[3], fit.p[0]) || !AlphaExactPbit(f1[3], fit.p[1])))
      continue;
    int e0[4], e1[4];
    for (int s = 0; s < g.count; ++s) {
      fit.q[0][s] = Quantize(f0[s], fit.p[0], g);
      fit.q[1][s] = Quantize(f1[s], fit.p[1], g);
      e0[s] = Decoded(fit.q[0][s], fit.p[0], g);
      e1[s] = Decoded(fit.q[1][s], fit.p[1], g);
    }
    if (g.count == 4 && g.index_bits == 4 && !t.alpha_weighted) {
      fit.error = AssignIndicesMode6(t, e0, e1, fit.index);
      fit.flat_error = kNoError;  // counted when needed
    } else {
      fit.error = AssignIndices(t, members, n, g, e0, e1, fit.index, fit.flat_error);
    }
    if (fit.error < best.error) best = fit;
  }
}

// Endpoints that minimise the squared error for the fit's indices.
bool LeastSquares(const Texels& t, const uint8_t* members, int n, const GroupSpec& g, const GroupFit& fit, float f0[4],
                  float f1[4]) {
  const uint8_t* weights = Bc7Weights(g.index_bits);
  float aa = 0, ab = 0, bb = 0, xa[4] = {}, xb[4] = {};
  for (int m = 0; m < n; ++m) {
    const int i = members[m];
    const float b = float(weights[fit.index[i]]) / 64.0f, a = 1.0f - b;
    aa += a * a, ab += a * b, bb += b * b;
    for (int s = 0; s < g.count; ++s) {
      xa[s] += a * float(t.value[i][g.channel[s]]);
      xb[s] += b * float(t.value[i][g.channel[s]]);
    }
  }
  const float det = aa * bb - ab * ab;
  if (det < 1e-4f) return false;
  for (int s = 0; s < g.count; ++s) {
    f0[s] = std::clamp((bb * xa[s] - ab * xb[s]) / det, 0.0f, 255.0f);
    f1[s] = std::clamp((aa * xb[s] - ab * xa[s]) / det, 0.0f, 255.0f);
  }
  return true;
}

// LeastSquares for mode 6 in integers: with weights B = 64 b and A = 64 - B
// the sums are exact, and one division per value gives the endpoints.
bool LeastSquaresMode6(const Texels& t, const uint8_t* index, float f0[4], float f1[4]) {
  int32_t sums[3] = {}, xa[4] = {}, xb[4] = {};  // sums below 2^19
  for (int i = 0; i < 16; ++i) {
    const int b = kBc7Weights4[index[i]], a = 64 - b;
    sums[0] += a * a, sums[1] += a * b, sums[2] += b * b;
    for (int s = 0; s < 4; ++s) xa[s] += a * t.value[i][s], xb[s] += b * t.value[i][s];
  }
  const int64_t aa = sums[0], ab = sums[1], bb = sums[2], det = aa * bb - ab * ab;
  if (det <= 0) return false;
  for (int s = 0; s < 4; ++s) {
    f0[s] = float(std::clamp(double(64 * (bb * xa[s] - ab * xb[s])) / double(det), 0.0, 255.0));
    f1[s] = float(std::clamp(double(64 * (aa * xb[s] - ab * xa[s])) / double(det), 0.0, 255.0));
  }
  return true;
}

// Principal axis endpoints, then least-squares passes.
GroupFit FitGroup(const Texels& t, const uint8_t* members, int n, const GroupSpec& g, const Search& search) {
  float mean[4] = {}, lo[4], hi[4];
  for (int s = 0; s < g.count; ++s) lo[s] = 255.0f, hi[s] = 0.0f;
  for (int m = 0; m < n; ++m) {
    for (int s = 0; s < g.count; ++s) {
      const float v = float(t.value[members[m]][g.channel[s]]);
      mean[s] += v, lo[s] = std::min(lo[s], v), hi[s] = std::max(hi[s], v);
    }
  }
  for (int s = 0; s < g.count; ++s) mean[s] /= float(n);
  // The principal axis by power iteration on the covariance; the fast
  // setting takes one step from the widest channel, which needs only that
  // channel's row of the covariance.
  float axis[4];
  if (search.power_iterations == 0) {
    int widest = 0;
    for (int s = 1; s < g.count; ++s)
      if (hi[s] - lo[s] > hi[widest] - lo[widest]) widest = s;
    float row[4] = {};
    for (int m = 0; m < n; ++m) {
      const int* v = t.value[members[m]];
      const float dw = float(v[g.channel[widest]]) - mean[widest];
      for (int s = 0; s < g.count; ++s) row[s] += dw * (float(v[g.channel[s]]) - mean[s]);
    }
    std::copy(row, row + g.count, axis);
  } else {
    float cov[4][4] = {};
    for (int m = 0; m < n; ++m) {
      float d[4];
      for (int s = 0; s < g.count; ++s) d[s] = float(t.value[members[m]][g.channel[s]]) - mean[s];
      for (int r = 0; r < g.count; ++r)
        for (int c = 0; c < g.count; ++c) cov[r][c] += d[r] * d[c];
    }
    for (int s = 0; s < g.count; ++s) axis[s] = hi[s] - lo[s];
    for (int iteration = 0; iteration < search.power_iterations; ++iteration) {
      float next[4] = {}, norm = 0;
      for (int r = 0; r < g.count; ++r) {
        for (int c = 0; c < g.count; ++c) next[r] += cov[r][c] * axis[c];
        norm = std::max(norm, next[r] < 0 ? -next[r] : next[r]);
      }
      if (norm <= 0) break;
      for (int s = 0; s < g.count; ++s) axis[s] = next[s] / norm;
    }
  }
  float tmin = 0, tmax = 0, length = 0;
  for (int s = 0; s < g.count; ++s) length += axis[s] * axis[s];
  if (length > 0) {
    tmin = 1e30f, tmax = -1e30f;
    for (int m = 0; m < n; ++m) {
      float dot = 0;
      for (int s = 0; s < g.count; ++s) dot += (float(t.value[members[m]][g.channel[s]]) - mean[s]) * axis[s];
      tmin = std::min(tmin, dot / length), tmax = std::max(tmax, dot / length);
    }
  }
  float f0[4], f1[4];
  for (int s = 0; s < g.count; ++s) {
    f0[s] = std::clamp(mean[s] + tmin * axis[s], 0.0f, 255.0f);
    f1[s] = std::clamp(mean[s] + tmax * axis[s], 0.0f, 255.0f);
  }
  GroupFit best;
  TryEndpoints(t, members, n, g, f0, f1, search.all_pbits, best);
  for (int pass = 0; pass < search.refinements && best.error > 0; ++pass) {
    const uint64_t before = best.error;
    if (!LeastSquares(t, members, n, g, best, f0, f1)) break;
    TryEndpoints(t, members, n, g, f0, f1, search.all_pbits, best);
    if (best.error >= before) break;
  }
  return best;
}

// Two 7-bit endpoints per channel that decode exactly at index 1 (mode 5's
// colour for a group whose texels are all one colour).
GroupFit ExactSolidColour(const Texels& t, const uint8_t* members, int n, const GroupSpec& g) {
  GroupFit fit;
  const int* v = t.value[members[0]];
  for (int s = 0; s < g.count; ++s) {
    fit.q[0][s] = kExact7[size_t(v[g.channel[s]])].low;
    fit.q[1][s] = kExact7[size_t(v[g.channel[s]])].high;
  }
  for (int m = 0; m < n; ++m) fit.index[members[m]] = 1;
  fit.error = 0;
  return fit;
}

// ---------------------------------------------------------------------------
// Whole candidates.

GroupSpec ColourSpec(const Bc7Mode& m, int mode, int rotation) {
  GroupSpec g{{0, 1, 2, 3},
              m.alpha_bits && mode >= 6 ? 4 : 3,
              m.colour_bits,
              m.endpoint_pbits ? 1
              : m.shared_pbits ? 2
                               : 0,
              m.index_bits};
  if (rotation) g.channel[rotation - 1] = 3;
  return g;
}

// Members of each subset of a partition.
void Members(int subsets, int partition, uint8_t members[3][16], int counts[3]) {
  counts[0] = counts[1] = counts[2] = 0;
  for (int i = 0; i < 16; ++i) {
    const int s = Bc7Subset(subsets, partition, i);
    members[s][counts[s]++] = uint8_t(i);
  }
}

bool SameValues(const Texels& t, const uint8_t* members, int n, const GroupSpec& g) {
  for (int m = 1; m < n; ++m)
    for (int s = 0; s < g.count; ++s)
      if (t.value[members[m]][g.channel[s]] != t.value[members[0]][g.channel[s]]) return false;
  return true;
}

// Error of alpha forced to 255 in the modes without alpha, weighted and flat.
struct OpaqueError {
  uint64_t error = 0, flat_error = 0;
};

OpaqueError OpaqueAlphaError(const Texels& t) {
  OpaqueError e;
  for (int i = 0; i < 16; ++i) {
    const int d = 255 - t.value[i][3];
    e.error += uint64_t(t.weight[i][3]) * uint64_t(d * d);
    e.flat_error += uint64_t(d * d);
  }
  return e;
}

// Modes 0-3, 6, 7 in one partition.
Candidate FitSubsetMode(const Texels& t, int mode, int partition, const Search& search, const OpaqueError& opaque) {
  const Bc7Mode& m = kBc7Modes[mode];
  Candidate c;
  c.mode = mode;
  c.partition = partition;
  uint8_t members[3][16];
  int counts[3];
  Members(m.subsets, partition, members, counts);
  const GroupSpec g = ColourSpec(m, mode, 0);
  c.error = m.alpha_bits ? 0 : opaque.error;
  c.flat_error = m.alpha_bits ? 0 : opaque.flat_error;
  for (int s = 0; s < m.subsets; ++s) {
    const GroupFit fit = FitGroup(t, members[s], counts[s], g, search);
    c.error += fit.error;
    c.flat_error += fit.flat_error;
    std::memcpy(c.q[s], fit.q, sizeof fit.q);
    c.p[s][0] = fit.p[0];
    c.p[s][1] = fit.p[1];
    for (int k = 0; k < counts[s]; ++k) c.index[members[s][k]] = fit.index[members[s][k]];
  }
  return c;
}

// Modes 4 and 5: colour and alpha fitted apart, with their own indices.
Candidate FitSeparateAlpha(const Texels& t, int mode, int rotation, int selection, const Search& search) {
  const Bc7Mode& m = kBc7Modes[mode];
  Candidate c;
  c.mode = mode;
  c.rotation = rotation;
  c.selection = selection;
  uint8_t all[16];
  for (int i = 0; i < 16; ++i) all[i] = uint8_t(i);
  GroupSpec colour = ColourSpec(m, mode, rotation);
  GroupSpec alpha{{rotation ? rotation - 1 : 3}, 1, m.alpha_bits, 0, m.index2_bits ? m.index2_bits : m.index_bits};
  if (selection) std::swap(colour.index_bits, alpha.index_bits);
  const GroupFit colour_fit = mode == 5 && SameValues(t, all, 16, colour) ? ExactSolidColour(t, all, 16, colour)
                                                                          : FitGroup(t, all, 16, colour, search);
  const GroupFit alpha_fit = FitGroup(t, all, 16, alpha, search);
  c.error = colour_fit.error + alpha_fit.error;
  c.flat_error = colour_fit.flat_error + alpha_fit.flat_error;
  for (int e = 0; e < 2; ++e) {
    for (int s = 0; s < 3; ++s) c.q[0][e][s] = colour_fit.q[e][s];
    c.q[0][e][3] = alpha_fit.q[e][0];
  }
  // The stored first index set is the 2-bit one; mode 4's selection bit
  // gives it to alpha.
  const bool colour_first = !(mode == 4 && selection);
  std::memcpy(colour_first ? c.index : c.index2, colour_fit.index, 16);
  std::memcpy(colour_first ? c.index2 : c.index, alpha_fit.index, 16);
  return c;
}

// Cheap partition estimate: the squared spread of each subset around its
// mean. Fills `order` with the `keep` best of partitions 0 .. partitions - 1
// of `subsets` subsets, best first (ties to the lower number).
void RankPartitions(const Texels& t, int subsets, int partitions, int channels, int keep, int* order) {
  // Subset 0's sums are the block's less the others', so only texels
  // outside subset 0 are visited.
  int64_t total[4] = {}, total_squares = 0, squares_of[16];
  for (int i = 0; i < 16; ++i) {
    squares_of[i] = 0;
    for (int c = 0; c < channels; ++c) {
      total[c] += t.value[i][c];
      squares_of[i] += t.value[i][c] * t.value[i][c];
    }
    total_squares += squares_of[i];
  }
  uint64_t score[64];
  for (int p = 0; p < partitions; ++p) {
    int64_t sum[3][4] = {}, squares[3] = {}, count[3] = {};
    const uint32_t shape = kBc7Partitions[subsets - 1][p];
    for (int i = 1; i < 16; ++i) {  // texel 0 is always in subset 0
      const int s = int(shape >> (2 * i)) & 3;
      if (s == 0) continue;
      ++count[s];
      squares[s] += squares_of[i];
      for (int c = 0; c < channels; ++c) sum[s][c] += t.value[i][c];
    }
    count[0] = 16 - count[1] - count[2];
    squares[0] = total_squares - squares[1] - squares[2];
    for (int c = 0; c < channels; ++c) sum[0][c] = total[c] - sum[1][c] - sum[2][c];
    // n * spread = n * sum of squares - |sum|^2 per subset; scaled by 4096
    // before dividing by n so that the score stays an integer.
    uint64_t spread_total = 0;
    for (int s = 0; s < subsets; ++s) {
      if (count[s] == 0) continue;
      int64_t spread = squares[s] * count[s];
      for (int c = 0; c < channels; ++c) spread -= sum[s][c] * sum[s][c];
      spread_total += uint64_t(spread) * 4096 / uint64_t(count[s]);
    }
    score[p] = spread_total;
  }
  int all[64];
  for (int p = 0; p < partitions; ++p) all[p] = p;
  keep = std::min(keep, partitions);
  std::partial_sort(all, all + keep, all + partitions,
                    [&](int a, int b) { return score[a] != score[b] ? score[a] < score[b] : a < b; });
  std::copy(all, all + keep, order);
}

// ---------------------------------------------------------------------------
// Writing a candidate.

// Fills the 128-bit block from its least significant bit up.
struct BitWriter {
  uint64_t word[2] = {};
  int position = 0;
  void Put(uint32_t value, int bits) {
    const uint64_t v = uint64_t(value) & ((uint64_t(1) << bits) - 1);
    if (position < 64) {
      word[0] |= v << position;
      if (position + bits > 64) word[1] |= v >> (64 - position);
    } else {
      word[1] |= v << (position - 64);
    }
    position += bits;
  }
  void Store(uint8_t* out) const {
    for (int b = 0; b < 16; ++b) out[b] = uint8_t(word[b >> 3] >> (8 * (b & 7)));
  }
};

// Makes every anchor index fit its shortened field by swapping the subset's
// endpoints (the weight tables are symmetric, so texels decode the same).
void FixAnchors(Candidate& c) {
  const Bc7Mode& m = kBc7Modes[c.mode];
  const int channels = m.alpha_bits && !m.index2_bits ? 4 : 3;
  for (int s = 0; s < m.subsets; ++s) {
    const int anchor = Bc7Anchor(m.subsets, c.partition, s);
    const int top = (1 << m.index_bits) - 1;
    uint8_t* index = c.index;
    const bool primary_is_colour = !(c.mode == 4 && c.selection);
    if (index[anchor] <= top / 2) continue;
    for (int i = 0; i < 16; ++i)
      if (Bc7Subset(m.subsets, c.partition, i) == s) index[i] = uint8_t(top - index[i]);
    if (m.index2_bits == 0) {
      for (int ch = 0; ch < channels; ++ch) std::swap(c.q[s][0][ch], c.q[s][1][ch]);
      std::swap(c.p[s][0], c.p[s][1]);
    } else if (primary_is_colour) {
      for (int ch = 0; ch < 3; ++ch) std::swap(c.q[s][0][ch], c.q[s][1][ch]);
    } else {
      std::swap(c.q[s][0][3], c.q[s][1][3]);
    }
  }
  if (m.index2_bits) {
    const int top = (1 << m.index2_bits) - 1;
    if (c.index2[0] > top / 2) {
      for (int i = 0; i < 16; ++i) c.index2[i] = uint8_t(top - c.index2[i]);
      if (c.mode == 4 && c.selection) {
        for (int ch = 0; ch < 3; ++ch) std::swap(c.q[0][0][ch], c.q[0][1][ch]);
      } else {
        std::swap(c.q[0][0][3], c.q[0][1][3]);
      }
    }
  }
}

// Mode 6, which most blocks take, packed directly: the mode bit, the
// endpoints channel by channel, the two p-bits, then the 4-bit indices with
// texel 0's (the anchor) in 3 bits, the endpoints swapped when it is above 7.
void WriteMode6(const Candidate& c, uint8_t* out) {
  const int first = c.index[0] > 7 ? 1 : 0;
  const unsigned flip = first ? 15 : 0;
  uint64_t low = 1u << 6;
  int position = 7;
  for (int ch = 0; ch < 4; ++ch)
    for (int e = 0; e < 2; ++e, position += 7) low |= uint64_t(c.q[0][e ^ first][ch]) << position;
  low |= uint64_t(c.p[0][first]) << 63;
  uint64_t high = uint64_t(c.p[0][first ^ 1]) | uint64_t(c.index[0] ^ flip) << 1;
  for (int i = 1; i < 16; ++i) high |= uint64_t(c.index[i] ^ flip) << (4 * i);
  for (int b = 0; b < 8; ++b) out[b] = uint8_t(low >> (8 * b)), out[8 + b] = uint8_t(high >> (8 * b));
}

void WriteCandidate(const Candidate& candidate, uint8_t* out) {
  if (candidate.mode == 6) return WriteMode6(candidate, out);
  Candidate c = candidate;
  FixAnchors(c);
  const Bc7Mode& m = kBc7Modes[c.mode];
  BitWriter w;
  w.Put(1u << c.mode, c.mode + 1);
  w.Put(uint32_t(c.partition), m.partition_bits);
  w.Put(uint32_t(c.rotation), m.rotation_bits);
  w.Put(uint32_t(c.selection), m.index_selection_bits);
  for (int ch = 0; ch < 4; ++ch) {
    const int bits = ch < 3 ? m.colour_bits : m.alpha_bits;
    for (int s = 0; s < m.subsets; ++s)
      for (int e = 0; e < 2; ++e) w.Put(uint32_t(c.q[s][e][ch]), bits);
  }
  for (int s = 0; s < m.subsets; ++s) {
    if (m.endpoint_pbits) w.Put(uint32_t(c.p[s][0]), 1), w.Put(uint32_t(c.p[s][1]), 1);
    if (m.shared_pbits) w.Put(uint32_t(c.p[s][0]), 1);
  }
  for (int i = 0; i < 16; ++i) w.Put(c.index[i], m.index_bits - Bc7IsAnchor(m.subsets, c.partition, i));
  if (m.index2_bits)
    for (int i = 0; i < 16; ++i) w.Put(c.index2[i], m.index2_bits - (i == 0));
  w.Store(out);
}

// ---------------------------------------------------------------------------

Texels Load(const uint8_t* texels, bool alpha_weighted) {
  Texels t;
  t.alpha_weighted = alpha_weighted;
  for (int i = 0; i < 16; ++i) {
    for (int c = 0; c < 4; ++c) {
      t.value[i][c] = texels[4 * i + c];
      t.weight[i][c] = int(Bc7ChannelWeight(texels + 4 * i, c, alpha_weighted));
    }
  }
  return t;
}

Candidate PlainMode6(const Texels& t) {
  Candidate c;
  c.mode = 6;
  const Bc7Mode& m = kBc7Modes[6];
  const GroupSpec g = ColourSpec(m, 6, 0);
  float lo[4], hi[4];
  for (int ch = 0; ch < 4; ++ch) {
    lo[ch] = 255, hi[ch] = 0;
    for (int i = 0; i < 16; ++i)
      lo[ch] = std::min(lo[ch], float(t.value[i][ch])), hi[ch] = std::max(hi[ch], float(t.value[i][ch]));
  }
  uint8_t all[16];
  for (int i = 0; i < 16; ++i) all[i] = uint8_t(i);
  GroupFit fit;
  TryEndpoints(t, all, 16, g, lo, hi, false, fit);
  c.error = fit.error;
  c.flat_error = fit.flat_error;
  std::memcpy(c.q[0], fit.q, sizeof fit.q);
  c.p[0][0] = fit.p[0], c.p[0][1] = fit.p[1];
  std::memcpy(c.index, fit.index, 16);
  return c;
}

void Keep(Candidate&& c, Candidate& best) {
  if (c.error < best.error) best = c;
}

Search SearchFor(EncodeQuality quality) {
  switch (quality) {
    case EncodeQuality::fast: return {1, 1, false, false, 256, 0};
    case EncodeQuality::normal: return {3, 2, false, false, 48, 4};
    default: return {8, 4, true, true, 0, 8};
  }
}

// The fast setting: mode 6 alone. Its start is the plain encoding, or,
// when a channel falls as the widest one rises, the bounding box with that
// channel's ends swapped (the box's other diagonal; two colours then sit on
// its ends exactly). One least-squares pass then refits the endpoints to
// the indices, which turns each channel's slope to the texels' own, and the
// indices to the new endpoints; the better of the two stays.
Candidate EncodeFast(const Texels& t, const Candidate& plain) {
  const GroupSpec g = ColourSpec(kBc7Modes[6], 6, 0);
  uint8_t all[16];
  for (int i = 0; i < 16; ++i) all[i] = uint8_t(i);
  GroupFit fit;
  std::memcpy(fit.q, plain.q[0], sizeof fit.q);
  fit.p[0] = plain.p[0][0], fit.p[1] = plain.p[0][1];
  std::memcpy(fit.index, plain.index, 16);
  fit.error = plain.error, fit.flat_error = plain.flat_error;

  int lo[4] = {255, 255, 255, 255}, hi[4] = {}, sum[4] = {}, widest = 0;
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 4; ++c)
      lo[c] = std::min(lo[c], t.value[i][c]), hi[c] = std::max(hi[c], t.value[i][c]), sum[c] += t.value[i][c];
  for (int c = 1; c < 4; ++c)
    if (hi[c] - lo[c] > hi[widest] - lo[widest]) widest = c;
  int products[4] = {};  // sums of each channel times the widest
  for (int i = 0; i < 16; ++i)
    for (int c = 0; c < 4; ++c) products[c] += t.value[i][widest] * t.value[i][c];
  bool falls = false;
  float f0[4], f1[4];
  for (int c = 0; c < 4; ++c) {
    const bool swap = 16 * products[c] < sum[widest] * sum[c];  // covariance below 0
    falls = falls || swap;
    f0[c] = float(swap ? hi[c] : lo[c]), f1[c] = float(swap ? lo[c] : hi[c]);
  }
  if (falls) TryEndpoints(t, all, 16, g, f0, f1, false, fit);

  if (fit.error > 0 && LeastSquaresMode6(t, fit.index, f0, f1)) TryEndpoints(t, all, 16, g, f0, f1, false, fit);
  Candidate c = plain;
  std::memcpy(c.q[0], fit.q, sizeof fit.q);
  c.p[0][0] = fit.p[0], c.p[0][1] = fit.p[1];
  std::memcpy(c.index, fit.index, 16);
  c.error = fit.error, c.flat_error = fit.flat_error;
  return c;
}

Candidate Encode(const Texels& t, EncodeQuality quality, bool alpha_weighted, Candidate& plain) {
  const Search search = SearchFor(quality);
  // Below this error the block is left as it stands (alpha-weighted errors
  // are about 256 times larger).
  const uint64_t good_enough = search.good_enough * (alpha_weighted ? 256 : 1);
  plain = PlainMode6(t);
  Candidate best = plain;
  if (best.error == 0) return best;
  bool alpha_varies = false, opaque = true, colour_constant = true;
  for (int i = 0; i < 16; ++i) {
    alpha_varies = alpha_varies || t.value[i][3] != t.value[0][3];
    opaque = opaque && t.value[i][3] == 255;
    for (int c = 0; c < 3; ++c) colour_constant = colour_constant && t.value[i][c] == t.value[0][c];
  }
  // One colour, whatever its alpha, is exact in mode 5's colour.
  if (colour_constant) {
    Keep(FitSeparateAlpha(t, 5, 0, 0, search), best);
    if (best.error == 0) return best;
  }
  if (quality == EncodeQuality::fast) {
    Keep(EncodeFast(t, plain), best);
    // Where alpha varies one line through all four channels fits badly
    // (worse with alpha weighting): mode 5 fits alpha apart.
    if (alpha_varies) Keep(FitSeparateAlpha(t, 5, 0, 0, search), best);
    return best;
  }
  Keep(FitSubsetMode(t, 6, 0, search, {}), best);
  if (best.error <= good_enough) return best;

  // Alpha apart from colour, for blocks whose alpha varies.
  if (alpha_varies || quality == EncodeQuality::slow) {
    const int rotations = search.all_rotations ? 4 : 1;
    for (int rotation = 0; rotation < rotations; ++rotation) {
      Keep(FitSeparateAlpha(t, 5, rotation, 0, search), best);
      for (int selection = 0; selection < 2; ++selection)
        Keep(FitSeparateAlpha(t, 4, rotation, selection, search), best);
    }
  }

  // Two subsets: one ranking of the 64 shapes serves modes 1, 3 and 7.
  const OpaqueError opaque_alpha = OpaqueAlphaError(t);
  const uint64_t opaque_error = opaque_alpha.error;
  int ranked[64];
  RankPartitions(t, 2, 64, opaque ? 3 : 4, search.partitions, ranked);
  for (int mode : {1, 3, 7}) {
    if (mode == 7 ? opaque && quality != EncodeQuality::slow : opaque_error >= best.error) continue;
    for (int k = 0; k < search.partitions; ++k) Keep(FitSubsetMode(t, mode, ranked[k], search, opaque_alpha), best);
  }
  if (best.error <= good_enough || opaque_error >= best.error) return best;

  // Three subsets: mode 2 over all 64 shapes, mode 0 over the first 16.
  const int keep = std::max(1, search.partitions - 1);
  RankPartitions(t, 3, 64, 3, keep, ranked);
  for (int k = 0; k < keep; ++k) Keep(FitSubsetMode(t, 2, ranked[k], search, opaque_alpha), best);
  RankPartitions(t, 3, 16, 3, keep, ranked);
  for (int k = 0; k < keep; ++k) Keep(FitSubsetMode(t, 0, ranked[k], search, opaque_alpha), best);
  return best;
}

// Whether the plain mode 6 encoding decodes every alpha exactly. Then no
// candidate is further than it from the texels, all channels counted alike,
// if it is no further by the weighted error: alpha is the only channel
// weighted apart, and the candidate's alpha misses by no less.
bool PlainAlphaExact(const Texels& t, const Candidate& plain) {
  const int e0 = 2 * plain.q[0][0][3] + plain.p[0][0], e1 = 2 * plain.q[0][1][3] + plain.p[0][1];
  for (int i = 0; i < 16; ++i)
    if (Bc7Interpolate(e0, e1, kBc7Weights4[plain.index[i]]) != t.value[i][3]) return false;
  return true;
}

// The candidate's error with every channel counted alike; mode 6's index
// search leaves it to be counted here, from the endpoints and indices.
uint64_t FlatError(const Texels& t, const Candidate& c) {
  if (c.flat_error != kNoError) return c.flat_error;
  uint64_t e = 0;
  for (int i = 0; i < 16; ++i) {
    for (int s = 0; s < 4; ++s) {
      const int d =
          Bc7Interpolate(2 * c.q[0][0][s] + c.p[0][0], 2 * c.q[0][1][s] + c.p[0][1], kBc7Weights4[c.index[i]]) -
          t.value[i][s];
      e += uint64_t(d * d);
    }
  }
  return e;
}

}  // namespace

uint64_t Bc7BlockError(const uint8_t* texels, const uint8_t* decoded, bool alpha_weighted) {
  uint64_t e = 0;
  for (int i = 0; i < 16; ++i) {
    for (int c = 0; c < 4; ++c) {
      const int d = int(decoded[4 * i + c]) - int(texels[4 * i + c]);
      e += Bc7ChannelWeight(texels + 4 * i, c, alpha_weighted) * uint64_t(d * d);
    }
  }
  return e;
}

uint64_t EncodeBc7BlockMeasured(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  Candidate plain;
  const Texels t = Load(texels, settings.bc7_alpha_weighted);
  const Candidate c = Encode(t, settings.quality, settings.bc7_alpha_weighted, plain);
  // The heavier alpha term may buy alpha with colour; the block still never
  // ends up further from its texels, all channels counted alike, than the
  // plain mode 6 encoding.
  const bool keep = settings.bc7_alpha_weighted || c.error == plain.error || PlainAlphaExact(t, plain) ||
                    FlatError(t, c) <= FlatError(t, plain);
  WriteCandidate(keep ? c : plain, out);
  return keep ? c.error : plain.error;
}

void EncodeBc7Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  EncodeBc7BlockMeasured(texels, settings, out);
}

uint64_t EncodeBc7Mode6Plain(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  const Candidate c = PlainMode6(Load(texels, settings.bc7_alpha_weighted));
  WriteCandidate(c, out);
  return c.error;
}

}  // namespace mivo
