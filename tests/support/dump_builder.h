// Test support: fetch constants from named fields, and whole files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "guest/formats.h"

namespace mivo::test {

struct FetchFields {
  uint32_t type = 2;
  uint32_t signs[4] = {0, 0, 0, 0};  // X, Y, Z, W: 0 unsigned, 1 signed, 2 biased, 3 gamma
  uint32_t pitch = 0;                // in units of 32 texels
  bool tiled = false;
  GuestFormat format = GuestFormat::k_8_8_8_8;
  uint32_t endian = 0;
  bool stacked = false;
  uint32_t base_address = 0;
  uint32_t width = 1, height = 1, depth = 1;  // depth: 3D depth or stacked layer count
  bool is_integer = false;
  uint32_t swizzle[4] = {0, 1, 2, 3};
  uint32_t exp_adjust = 0;
  uint32_t min_level = 0, max_level = 0;
  uint32_t dimension = kDim2D;
  bool packed = false;
  uint32_t mip_address = 0;
};

FetchConstant MakeFetchConstant(const FetchFields& fields);

void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

}  // namespace mivo::test
