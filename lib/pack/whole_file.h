// Reading a whole file into memory, bounded before anything is allocated.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace mivo {

// The largest DDS a pack may hold: magic, both headers and 128 MiB of texels.
constexpr uint64_t kMaxWholeFileBytes = 134217876;

// Reads the file in one read when it is a regular file of at most
// `max_bytes`; false otherwise, or when it cannot be opened or read.
bool ReadFileUpTo(const std::filesystem::path& path, uint64_t max_bytes, std::vector<uint8_t>& bytes);

// ReadFileUpTo with the ceiling of kMaxWholeFileBytes.
bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

}  // namespace mivo
