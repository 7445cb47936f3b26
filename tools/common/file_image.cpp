#include "common/file_image.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "common/write_file.h"
#include "pack/open_file.h"

namespace mivo {

bool WriteFileImage(const std::filesystem::path& path, const uint8_t* bytes, size_t size) {
  std::string ignored;  // these callers report the path, not the reason
  return WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(bytes), size), ignored);
}

bool WriteFileInPieces(const std::filesystem::path& path, const FileProducer& produce) {
  std::FILE* file = OpenFile(path, "wb");
  if (file == nullptr) return false;
  bool written = false;
  try {
    written = produce(
        [file](const uint8_t* bytes, size_t size) { return size == 0 || std::fwrite(bytes, 1, size, file) == size; });
  } catch (...) {
    std::fclose(file);
    throw;
  }
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

std::vector<uint8_t> CollectPieces(const FileProducer& produce) {
  std::vector<uint8_t> bytes;
  produce([&bytes](const uint8_t* piece, size_t size) {
    bytes.insert(bytes.end(), piece, piece + size);
    return true;
  });
  return bytes;
}

}  // namespace mivo
