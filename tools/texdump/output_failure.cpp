#include "texdump/output_failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/platform_text.h"

namespace mivo {

std::string CannotWrite(const std::filesystem::path& path) {
  return "cannot write " + NarrowFromPath(path) + ": " + (errno != 0 ? std::strerror(errno) : "write failed");
}

void PrintFailures(const OutputFailures& failures) {
  for (const std::string& failure : failures) std::fprintf(stderr, "mivo_texdump: %s\n", failure.c_str());
}

}  // namespace mivo
