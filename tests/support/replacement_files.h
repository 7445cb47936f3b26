// Test support: byte-exact PNG and DDS files for replacement loading tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mivo::test {

struct PngChunk {
  std::string type;  // four characters
  std::vector<uint8_t> data;
};

// One chunk with length and CRC.
std::vector<uint8_t> MakePngChunkBytes(const PngChunk& chunk);

// A non-interlaced PNG. `rows` holds height rows of packed samples (no filter
// byte; the builder adds filter 0). `extra` chunks go between IHDR and IDAT.
std::vector<uint8_t> MakePngBytes(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type,
                                  const std::vector<uint8_t>& rows, const std::vector<PngChunk>& extra = {});

// A PNG whose IHDR says width x height but whose image data is a few bytes:
// enough to test limits that must be checked before decoding.
std::vector<uint8_t> MakePngHeaderOnly(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type);

struct DdsFields {
  uint32_t width = 4;
  uint32_t height = 4;
  uint32_t mip_count = 0;
  uint32_t depth = 0;
  uint32_t caps2 = 0;
  uint32_t pixel_format_flags = 0x4;  // DDPF_FOURCC
  std::string fourcc = "DX10";
  uint32_t dxgi_format = 28;
  uint32_t resource_dimension = 3;
  uint32_t misc_flag = 0;
  uint32_t array_size = 1;
  uint32_t alpha_mode = 0;
  uint32_t header_size = 124;
  uint32_t pixel_format_size = 32;
};

// Magic, DDS_HEADER and, when the four-character code is "DX10", the DX10
// extension header; texel data is appended by the caller.
std::vector<uint8_t> MakeDdsHeader(const DdsFields& fields);

// The header followed by `data` as the texel bytes.
std::vector<uint8_t> MakeDdsFile(const DdsFields& fields, const std::vector<uint8_t>& data);

}  // namespace mivo::test
