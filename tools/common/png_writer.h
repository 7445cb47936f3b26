// PNG output: 8-bit RGBA, no filtering, a zlib stream of stored deflate
// blocks only. Fast and simple; files are large by design.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_image.h"

namespace mivo {

constexpr uint32_t kMaxStoredBlock = 65535;  // deflate's stored-block limit

// The complete PNG file in memory, for `height` rows of width x 4 bytes read from
// `pixels` (R, G, B, A per pixel, rows back to back).
std::vector<uint8_t> BuildPng(uint32_t width, uint32_t height, const uint8_t* pixels);

// Hands the PNG file to `sink` in pieces of at most about 256 KiB; false as
// soon as the sink refuses one. The pieces are put together in `batch` when
// given (grown as needed and kept, for a caller writing many files), or in a
// buffer of their own.
bool ProducePng(uint32_t width, uint32_t height, const uint8_t* pixels, const ByteSink& sink,
                std::vector<uint8_t>* batch = nullptr);

// The PNG file written to `path` in pieces; see WriteFileInPieces.
bool WritePng(const std::filesystem::path& path, uint32_t width, uint32_t height, const uint8_t* pixels,
              std::vector<uint8_t>* batch = nullptr);

}  // namespace mivo
