#include "texdump/output_failure.h"

#include <cerrno>
#include <cstring>

#include "common/platform_text.h"

namespace mivo {

std::string CannotWrite(const std::filesystem::path& path) {
  return "cannot write " + NarrowFromPath(path) + ": " + (errno != 0 ? std::strerror(errno) : "write failed");
}

}  // namespace mivo
