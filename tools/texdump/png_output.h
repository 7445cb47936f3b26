// The dump tool's PNG files: stored deflate blocks by default, or compressed
// with zlib when --png-compress asks for it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace mivo {

// `compression` 0 writes the stored PNG of WritePng (its pieces put
// together in `batch` when given); 1 to 9 a zlib level.
bool WriteToolPng(const std::filesystem::path& path, uint32_t width, uint32_t height, const uint8_t* pixels,
                  int compression, std::vector<uint8_t>* batch = nullptr);

}  // namespace mivo
