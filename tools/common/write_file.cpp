#include "common/write_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pack/open_file.h"

namespace mivo {

bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes, std::string& error) {
  errno = 0;
  std::FILE* file = OpenFile(path, "wb");
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int write_errno = errno;
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  error = std::strerror(written ? errno : write_errno);
  return false;
}

}  // namespace mivo
