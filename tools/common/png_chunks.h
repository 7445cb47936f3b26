// The pieces every PNG file the programs write shares: the signature,
// big-endian fields, chunks with their CRC, and the IHDR of an 8-bit RGBA
// image. The stored (png_writer) and compressed (png_deflate) builders differ
// only in their IDAT.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivo {

constexpr uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kPngChunkOverhead = 12;  // length, type, CRC
constexpr size_t kPngIhdrSize = 13;
constexpr size_t kMaxPngChunkData = 0x7FFFFFFF;  // a chunk length is at most 2^31 - 1

void AppendBe32(std::vector<uint8_t>& out, uint32_t v);

// Length, `type` (4 letters), `size` bytes of `data` and the CRC-32 of type and data.
void AppendPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size);

// The signature, then the IHDR chunk of a width x height 8-bit RGBA image
// (deflate, adaptive filtering, no interlace).
void AppendPngHead(std::vector<uint8_t>& out, uint32_t width, uint32_t height);

}  // namespace mivo
