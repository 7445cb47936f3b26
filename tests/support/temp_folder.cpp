#include "support/temp_folder.h"

#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace mivo::test {

TempFolder::TempFolder() {
  std::random_device random;
  const std::filesystem::path root = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate = root / ("mivo-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Restore permissions a test may have taken away, so removal can succeed.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace mivo::test
