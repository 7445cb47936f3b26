// PNG output: 8-bit RGBA, no filtering, a zlib stream of stored deflate
// blocks only. Fast and simple; files are large by design.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mivo {

constexpr uint32_t kMaxStoredBlock = 65535;  // deflate's stored-block limit

// The complete PNG file for `height` rows of width x 4 bytes read from
// `pixels` (R, G, B, A per pixel, rows back to back).
std::vector<uint8_t> BuildPng(uint32_t width, uint32_t height, const uint8_t* pixels);

// BuildPng written to `path` with one fwrite; see WriteFileImage.
bool WritePng(const std::string& path, uint32_t width, uint32_t height, const uint8_t* pixels);

}  // namespace mivo
