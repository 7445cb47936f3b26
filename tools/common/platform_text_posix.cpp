#include "common/platform_text.h"

namespace mivo {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

std::filesystem::path PathFromNarrow(const std::string& text) { return std::filesystem::path(text); }

std::string NarrowFromPath(const std::filesystem::path& path) { return path.string(); }

}  // namespace mivo
