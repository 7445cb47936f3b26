#include "support/dump_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace mivo::test {

FetchConstant MakeFetchConstant(const FetchFields& f) {
  FetchConstant fc;
  uint32_t* w = fc.words;
  w[0] = (f.type & 3u) | (f.pitch & 0x1FFu) << 22 | uint32_t(f.tiled) << 31;
  for (uint32_t ch = 0; ch < 4; ++ch) w[0] |= (f.signs[ch] & 3u) << (2 + 2 * ch);
  w[1] =
      (uint32_t(f.format) & 0x3Fu) | (f.endian & 3u) << 6 | uint32_t(f.stacked) << 10 | (f.base_address & 0x1FFFF000u);
  const uint32_t wm = f.width - 1, hm = f.height - 1, dm = f.depth - 1;
  switch (f.dimension) {
    case kDim1D: w[2] = wm & 0xFFFFFFu; break;
    case kDim3D: w[2] = (wm & 0x7FFu) | (hm & 0x7FFu) << 11 | (dm & 0x3FFu) << 22; break;
    default: w[2] = (wm & 0x1FFFu) | (hm & 0x1FFFu) << 13 | (f.dimension == kDim2D ? (dm & 0x3Fu) << 26 : 0); break;
  }
  w[3] = uint32_t(f.is_integer) | (f.exp_adjust & 0x3Fu) << 13;
  for (uint32_t ch = 0; ch < 4; ++ch) w[3] |= (f.swizzle[ch] & 7u) << (1 + 3 * ch);
  w[4] = (f.min_level & 0xFu) << 2 | (f.max_level & 0xFu) << 6;
  w[5] = (f.dimension & 3u) << 9 | uint32_t(f.packed) << 11 | (f.mip_address & 0x1FFFF000u);
  return fc;
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace mivo::test
