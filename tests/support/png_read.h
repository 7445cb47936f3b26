// Test support: reads PNG files back with libspng, independently of the
// project's own PNG code paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace mivo::test {

struct DecodedPng {
  bool ok = false;  // header and pixels decoded
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t bit_depth = 0;
  uint8_t color_type = 0;
  std::vector<uint8_t> rgba;  // 8-bit RGBA, width * height * 4 bytes
};

DecodedPng DecodePngBytes(const std::vector<uint8_t>& file);
DecodedPng DecodePngFile(const std::filesystem::path& path);

}  // namespace mivo::test
