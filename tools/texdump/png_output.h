// The dump tool's PNG files: stored deflate blocks by default, or compressed
// with zlib when --png-compress asks for it.
#pragma once

#include <cstdint>
#include <filesystem>

namespace mivo {

// `compression` 0 writes the stored PNG of WritePng; 1 to 9 a zlib level.
bool WriteToolPng(const std::filesystem::path& path, uint32_t width, uint32_t height, const uint8_t* pixels,
                  int compression);

}  // namespace mivo
