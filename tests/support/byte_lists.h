// Short ways to write the bytes of test inputs and expected outputs.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace mivo::test {

using Bytes = std::vector<uint8_t>;

// Each value as `size` little-endian bytes (negative values in two's complement).
Bytes Le(int size, std::initializer_list<int64_t> values);
// Each float's bit pattern, little-endian.
Bytes Floats(std::initializer_list<float> values);
Bytes Cat(Bytes a, const Bytes& b);
Bytes Repeat(const Bytes& unit, int times);

// A BC1 block (also the colour half of BC2/BC3) with endpoints c0, c1.
Bytes Bc1Block(uint16_t c0, uint16_t c1, uint32_t indices);
// A BC4 block whose texel i uses palette entry i % 8.
Bytes Bc4Ramp(uint8_t a0, uint8_t a1);

}  // namespace mivo::test
