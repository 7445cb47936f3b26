#include "support/byte_lists.h"

#include <bit>

namespace mivo::test {

Bytes Le(int size, std::initializer_list<int64_t> values) {
  Bytes out;
  for (int64_t v : values)
    for (int k = 0; k < size; ++k) out.push_back(uint8_t(uint64_t(v) >> (8 * k)));
  return out;
}

Bytes Floats(std::initializer_list<float> values) {
  Bytes out;
  for (float f : values) out = Cat(out, Le(4, {std::bit_cast<uint32_t>(f)}));
  return out;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Repeat(const Bytes& unit, int times) {
  Bytes out;
  for (int i = 0; i < times; ++i) out = Cat(out, unit);
  return out;
}

Bytes Bc1Block(uint16_t c0, uint16_t c1, uint32_t indices) { return Cat(Le(2, {c0, c1}), Le(4, {indices})); }

Bytes Bc4Ramp(uint8_t a0, uint8_t a1) {
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= uint64_t(i % 8) << (3 * i);
  return Cat({a0, a1}, Le(6, {int64_t(bits)}));
}

}  // namespace mivo::test
