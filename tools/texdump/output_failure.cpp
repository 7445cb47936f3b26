#include "texdump/output_failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace mivo {

std::string CannotWrite(const std::string& path) {
  return "cannot write " + path + ": " + (errno != 0 ? std::strerror(errno) : "write failed");
}

void PrintFailures(const OutputFailures& failures) {
  for (const std::string& failure : failures) std::fprintf(stderr, "mivo_texdump: %s\n", failure.c_str());
}

}  // namespace mivo
