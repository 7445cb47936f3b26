#include "pack/final_path.h"

#include <system_error>

namespace mivo {

bool ResolveFinalPath(const std::filesystem::path& path, std::filesystem::path& resolved) {
  std::error_code ec;
  resolved = std::filesystem::canonical(path, ec);
  return !ec;
}

}  // namespace mivo
