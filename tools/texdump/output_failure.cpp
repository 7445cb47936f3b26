#include "texdump/output_failure.h"

#include <cerrno>
#include <cstring>

#include "common/dds_writer.h"
#include "common/platform_text.h"

namespace mivo {

std::string CannotWrite(const std::filesystem::path& path) {
  return "cannot write " + NarrowFromPath(path) + ": " + (errno != 0 ? std::strerror(errno) : "write failed");
}

std::string CannotWriteDds(const std::filesystem::path& path, const HostTextureData& texture, DdsHeaderKind header) {
  if (DdsFileSize(texture, header) > kMaxDdsFileBytes) {
    return "cannot write " + NarrowFromPath(path) + ": the DDS file would be larger than its 1 GiB limit";
  }
  return CannotWrite(path);
}

}  // namespace mivo
