#include "support/pillow_bc7.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_folder.h"

namespace mivo::test {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// A one-level DDS with the DX10 header, format 98 (BC7 UNORM).
[[maybe_unused]] std::vector<uint8_t> Bc7Dds(const std::vector<uint8_t>& blocks, uint32_t width, uint32_t height) {
  std::vector<uint8_t> dds = {'D', 'D', 'S', ' '};
  Put32(dds, 124);
  Put32(dds, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000);  // caps, height, width, pixel format, linear size
  Put32(dds, height);
  Put32(dds, width);
  Put32(dds, uint32_t(blocks.size()));
  Put32(dds, 0);  // depth
  Put32(dds, 1);  // mip count
  for (int i = 0; i < 11; ++i) Put32(dds, 0);
  Put32(dds, 32);
  Put32(dds, 0x4);  // four-character code present
  dds.insert(dds.end(), {'D', 'X', '1', '0'});
  for (int i = 0; i < 5; ++i) Put32(dds, 0);
  Put32(dds, 0x1000);  // texture
  for (int i = 0; i < 4; ++i) Put32(dds, 0);
  for (uint32_t v : {98u, 3u, 0u, 1u, 0u}) Put32(dds, v);  // format, 2D, flags, array size, alpha mode
  dds.insert(dds.end(), blocks.begin(), blocks.end());
  return dds;
}

}  // namespace

bool DecodeBc7WithPillow(const std::vector<uint8_t>& blocks, uint32_t blocks_wide, uint32_t blocks_high,
                         std::vector<uint8_t>& rgba) {
#if defined(_WIN32) || !defined(MIVO_PYTHON)
  (void)blocks, (void)blocks_wide, (void)blocks_high, (void)rgba;
  return false;
#else
  TempFolder folder;
  const std::string dds_path = (folder / "blocks.dds").string(), raw_path = (folder / "pillow.rgba").string();
  const std::vector<uint8_t> dds = Bc7Dds(blocks, blocks_wide * 4, blocks_high * 4);
  std::ofstream(dds_path, std::ios::binary)
      .write(reinterpret_cast<const char*>(dds.data()), std::streamsize(dds.size()));
  const std::string command = std::string(MIVO_PYTHON) +
                              " -c \"import sys; from PIL import Image; "
                              "open(sys.argv[2], 'wb').write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" " +
                              dds_path + " " + raw_path;
  if (std::system(command.c_str()) != 0) return false;
  std::ifstream in(raw_path, std::ios::binary);
  rgba.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return rgba.size() == uint64_t(blocks_wide) * blocks_high * 64;
#endif
}

}  // namespace mivo::test
