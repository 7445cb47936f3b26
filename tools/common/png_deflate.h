// PNG files whose pixels are deflate-compressed with zlib: smaller than the
// dump tool's stored PNGs, slower to write.
#pragma once

#include <cstdint>
#include <vector>

namespace mivo {

constexpr int kMinPngCompression = 1;
constexpr int kMaxPngCompression = 9;

// The complete 8-bit RGBA PNG file for `height` rows of width x 4 bytes from
// `pixels`, compressed at zlib `level` (1 fastest to 9 smallest). Each row
// takes the filter (None, Sub, Up, Average, Paeth) that leaves the smallest
// sum of magnitudes, the usual choice of PNG writers. Throws
// std::length_error for an image no PNG can hold.
std::vector<uint8_t> BuildCompressedPng(uint32_t width, uint32_t height, const uint8_t* pixels, int level);

}  // namespace mivo
