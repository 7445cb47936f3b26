// The two checksums of a PNG file, CRC-32 and Adler-32, with the results of
// zlib's crc32 and adler32 but several times faster where the processor has
// carry-less multiplication (CRC) and SSSE3 (Adler): a stored PNG is mostly
// checksumming.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivo {

// Both take and return the value as zlib does: start from Crc32Start() or
// Adler32Start() and feed the bytes in any pieces.
constexpr uint32_t Crc32Start() { return 0; }
constexpr uint32_t Adler32Start() { return 1; }
uint32_t Crc32Update(uint32_t crc, const uint8_t* bytes, size_t size);
uint32_t Adler32Update(uint32_t adler, const uint8_t* bytes, size_t size);

}  // namespace mivo
