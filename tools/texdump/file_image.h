// Writing a file that was built whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mivo {

// Opens `path` with "wb", writes every byte with one fwrite and closes it.
// True only when all three succeed; a partly written file is left in place.
bool WriteFileImage(const std::string& path, const uint8_t* bytes, size_t size);
inline bool WriteFileImage(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteFileImage(path, bytes.data(), bytes.size());
}

}  // namespace mivo
