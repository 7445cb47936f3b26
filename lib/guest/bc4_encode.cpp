#include "guest/bc4_encode.h"

#include <utility>

namespace mivo {
namespace {

// Weights of endpoints 0 and 1 per index: sevenths in the eight-value form,
// fifths in the six-value one (whose indices 6 and 7 are the fixed extremes).
constexpr int kEightWeights[8][2] = {{7, 0}, {0, 7}, {6, 1}, {5, 2}, {4, 3}, {3, 4}, {2, 5}, {1, 6}};
constexpr int kSixWeights[8][2] = {{5, 0}, {0, 5}, {4, 1}, {3, 2}, {2, 3}, {1, 4}, {0, 0}, {0, 0}};

struct Channel {
  int v[16];
  int low, high;  // the value range: 0..255, or -127..127 when signed
};

struct Encoding {
  int e0 = 0, e1 = 0;
  uint64_t indices = 0;
  uint32_t error = 0;
};

// n / d rounded half away from zero, as the decoder rounds (for n >= 0 the
// same as its (n + d / 2) / d).
int RoundDiv(int n, int d) { return n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d); }

Channel ReadChannel(const uint8_t* texels, uint32_t stride, bool is_signed) {
  Channel c{{}, is_signed ? -127 : 0, is_signed ? 127 : 255};
  for (int i = 0; i < 16; ++i) {
    const int raw = is_signed ? int(int8_t(texels[i * stride])) : int(texels[i * stride]);
    c.v[i] = raw < c.low ? c.low : raw;
  }
  return c;
}

bool EightValues(int e0, int e1) { return e0 > e1; }

Encoding Evaluate(const Channel& c, int e0, int e1) {
  int p[8] = {e0, e1};
  if (EightValues(e0, e1)) {
    for (int k = 1; k < 7; ++k) p[k + 1] = RoundDiv((7 - k) * e0 + k * e1, 7);
  } else {
    for (int k = 1; k < 5; ++k) p[k + 1] = RoundDiv((5 - k) * e0 + k * e1, 5);
    p[6] = c.low, p[7] = c.high;
  }
  Encoding out{e0, e1, 0, 0};
  for (int i = 0; i < 16; ++i) {
    int best = 1 << 30, index = 0;
    for (int k = 0; k < 8; ++k) {
      const int d = (c.v[i] - p[k]) * (c.v[i] - p[k]);
      if (d < best) best = d, index = k;
    }
    out.error += uint32_t(best);
    out.indices |= uint64_t(index) << (3 * i);
  }
  return out;
}

const Encoding& Better(const Encoding& a, const Encoding& b) { return b.error < a.error ? b : a; }

// Evaluates endpoints put in the order of the wanted form; false when the
// eight-value form is wanted of two equal endpoints.
bool Try(const Channel& c, int e0, int e1, bool eight, Encoding& best) {
  if (e0 < c.low || e0 > c.high || e1 < c.low || e1 > c.high) return false;
  if (eight ? e0 < e1 : e0 > e1) std::swap(e0, e1);
  if (eight && e0 == e1) return false;
  const Encoding e = Evaluate(c, e0, e1);
  if (e.error >= best.error) return false;
  best = e;
  return true;
}

// Least-squares endpoints for the indices of `e`, solved in integers.
bool LeastSquares(const Channel& c, const Encoding& e, int& a, int& b) {
  const bool eight = EightValues(e.e0, e.e1);
  const auto& weights = eight ? kEightWeights : kSixWeights;
  const int64_t scale = eight ? 7 : 5;
  int64_t aa = 0, bb = 0, ab = 0, ax = 0, bx = 0;
  for (int i = 0; i < 16; ++i) {
    const int k = int((e.indices >> (3 * i)) & 7);
    const int64_t wa = weights[k][0], wb = weights[k][1];
    aa += wa * wa, bb += wb * wb, ab += wa * wb, ax += wa * c.v[i], bx += wb * c.v[i];
  }
  const int64_t det = aa * bb - ab * ab;
  if (det <= 0) return false;
  const auto solve = [&](int64_t num) {
    const int64_t q = num >= 0 ? (2 * num + det) / (2 * det) : -((-2 * num + det) / (2 * det));
    return int(q < c.low ? c.low : q > c.high ? c.high : q);
  };
  a = solve(scale * (bb * ax - ab * bx));
  b = solve(scale * (aa * bx - ab * ax));
  return true;
}

struct Effort {
  int refine_steps;
  int radius;         // endpoint neighbourhood searched around the best
  int search_passes;  // repeated while they improve
};
constexpr Effort kEffort[3] = {{1, 0, 0}, {2, 1, 1}, {4, 2, 4}};  // fast, normal, slow

// One form's search: a start, least-squares steps, then the neighbourhood.
Encoding SearchForm(const Channel& c, int e0, int e1, bool eight, const Effort& effort) {
  Encoding best;
  best.error = ~0u;
  Try(c, e0, e1, eight, best);
  if (best.error == ~0u) return best;
  for (int k = 0; k < effort.refine_steps && best.error > 0; ++k) {
    int a, b;
    if (!LeastSquares(c, best, a, b) || !Try(c, a, b, eight, best)) break;
  }
  for (int pass = 0; pass < effort.search_passes && best.error > 0; ++pass) {
    const Encoding centre = best;
    for (int d0 = -effort.radius; d0 <= effort.radius; ++d0)
      for (int d1 = -effort.radius; d1 <= effort.radius; ++d1) Try(c, centre.e0 + d0, centre.e1 + d1, eight, best);
    if (best.error == centre.error) break;
  }
  return best;
}

Encoding BoundingBox(const Channel& c) {
  int low = c.v[0], high = c.v[0];
  for (int i = 1; i < 16; ++i) low = c.v[i] < low ? c.v[i] : low, high = c.v[i] > high ? c.v[i] : high;
  return Evaluate(c, high, low);
}

void Write(const Encoding& e, uint8_t* out) {
  out[0] = uint8_t(e.e0), out[1] = uint8_t(e.e1);
  for (int k = 0; k < 6; ++k) out[2 + k] = uint8_t(e.indices >> (8 * k));
}

}  // namespace

void EncodeBc4ChannelBoundingBox(const uint8_t* texels, uint32_t stride, bool is_signed, uint8_t* out) {
  Write(BoundingBox(ReadChannel(texels, stride, is_signed)), out);
}

// Candidates, best kept: the bounding box; the eight-value form from the
// value range; the six-value form from the range of the values strictly
// inside the extremes (which indices 6 and 7 hold exactly); each refined by
// least squares and, above the fast setting, a search of nearby endpoints.
void EncodeBc4Channel(const uint8_t* texels, uint32_t stride, bool is_signed, EncodeQuality quality, uint8_t* out) {
  const Channel c = ReadChannel(texels, stride, is_signed);
  const Effort& effort = kEffort[int(quality) < 3 ? int(quality) : 2];
  Encoding best = BoundingBox(c);
  if (best.error > 0) {
    best = Better(best, SearchForm(c, best.e0, best.e1, true, effort));
    int low = c.high, high = c.low;
    for (int i = 0; i < 16; ++i) {
      if (c.v[i] == c.low || c.v[i] == c.high) continue;
      low = c.v[i] < low ? c.v[i] : low, high = c.v[i] > high ? c.v[i] : high;
    }
    if (low > high) low = high = c.low;
    best = Better(best, SearchForm(c, low, high, false, effort));
  }
  Write(best, out);
}

void EncodeBc4Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  EncodeBc4Channel(texels, 1, false, settings.quality, out);
}

void EncodeBc4SnormBlock(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  EncodeBc4Channel(texels, 1, true, settings.quality, out);
}

void EncodeBc5Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  EncodeBc4Channel(texels, 2, false, settings.quality, out);
  EncodeBc4Channel(texels + 1, 2, false, settings.quality, out + 8);
}

void EncodeBc5SnormBlock(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  EncodeBc4Channel(texels, 2, true, settings.quality, out);
  EncodeBc4Channel(texels + 1, 2, true, settings.quality, out + 8);
}

}  // namespace mivo
