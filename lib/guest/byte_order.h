// Loads and stores of fixed-width integers. Two meanings, two names: the
// Le forms assemble little-endian bytes (file and block fields, host texels)
// whatever the machine; the Native forms move four bytes as they lie, for
// swaps that work on a unit's bytes whatever their order.
#pragma once

#include <cstdint>
#include <cstring>

namespace mivo {

inline uint32_t LoadLe16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t LoadLe32(const uint8_t* p) { return LoadLe16(p) | LoadLe16(p + 2) << 16; }

inline void StoreLe16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  StoreLe16(p, v);
  StoreLe16(p + 2, v >> 16);
}

inline uint32_t LoadNative32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void StoreNative32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace mivo
