#include "texdump/output_failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/dds_writer.h"
#include "common/platform_text.h"

namespace mivo {

std::string CannotWrite(const std::filesystem::path& path) {
  return "cannot write " + NarrowFromPath(path) + ": " + (errno != 0 ? std::strerror(errno) : "write failed");
}

std::string CannotWriteDds(const std::filesystem::path& path, const HostTextureData& texture) {
  if (DdsFileSize(texture) > kMaxDdsFileBytes) {
    return "cannot write " + NarrowFromPath(path) + ": the DDS file would be larger than its 1 GiB limit";
  }
  return CannotWrite(path);
}

void PrintFailures(const OutputFailures& failures) {
  for (const std::string& failure : failures) std::fprintf(stderr, "mivo_texdump: %s\n", failure.c_str());
}

}  // namespace mivo
