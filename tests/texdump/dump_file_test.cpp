#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "texdump/dump_file.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

// Read straight into its staged memory, a dump gives what reading it and then
// staging it gives: every stored dump (version-1 ones and unreadable ones
// among them), a folder and a missing file.
TEST(ReadStagedDump, EqualsReadingThenStaging) {
  const fs::path source(MIVO_SOURCE_DIR);
  std::vector<fs::path> paths = {source / "samples", source / "no such dump.bin"};
  for (const auto& entry : fs::recursive_directory_iterator(source / "tests" / "golden")) {
    if (entry.path().extension() == ".bin") paths.push_back(entry.path());
  }
  for (const auto& entry : fs::directory_iterator(source / "samples")) paths.push_back(entry.path());
  size_t failed = 0, shifted = 0;
  for (const fs::path& path : paths) {
    TextureDump read, direct;
    StagedDump staged;
    std::string read_error, error;
    const bool ok = ReadTextureDump(path, read, read_error);
    ASSERT_EQ(ReadStagedDump(path, direct, staged, error), ok) << path;
    EXPECT_EQ(error, read_error) << path;
    failed += !ok;
    if (!ok) continue;
    const StagedDump want = StageDumpInGuestMemory(read);
    EXPECT_TRUE(staged.memory == want.memory && !std::memcmp(&staged.fetch, &want.fetch, sizeof want.fetch) &&
                staged.base_image_size == read.base_image.size() && staged.mip_image_size == read.mip_image.size() &&
                direct.version1_shifted == read.version1_shifted)
        << path;
    shifted += read.version1_shifted;
  }
  EXPECT_GT(failed, 2u);
  EXPECT_GT(shifted, 0u);
}

}  // namespace
}  // namespace mivo
