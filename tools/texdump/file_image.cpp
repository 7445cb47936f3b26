#include "texdump/file_image.h"

#include <cstdio>

namespace mivo {

bool WriteFileImage(const std::string& path, const uint8_t* bytes, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || std::fwrite(bytes, 1, size, file) == size;
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace mivo
