#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "texdump/dump_file.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

// Read straight into its staged memory, a dump gives what reading it and then
// staging it gives: for every dump of the samples and golden cases (version-1
// dumps and unreadable ones among them), a folder and a missing file.
TEST(ReadStagedDump, EqualsReadingThenStaging) {
  const fs::path source(MIVO_SOURCE_DIR);
  std::vector<fs::path> paths = {source / "samples", source / "no such dump.bin"};
  for (const char* folder : {"samples", "tests/golden"}) {
    for (const auto& entry : fs::recursive_directory_iterator(source / folder)) {
      if (entry.path().extension() == ".bin") paths.push_back(entry.path());
    }
  }
  size_t failed = 0, shifted = 0;
  for (const fs::path& path : paths) {
    TextureDump read, direct;
    StagedDump staged;
    std::string read_error, direct_error;
    const bool ok = ReadTextureDump(path, read, read_error);
    ASSERT_EQ(ReadStagedDump(path, direct, staged, direct_error), ok) << path;
    EXPECT_EQ(direct_error, read_error) << path;
    EXPECT_EQ(direct.version, read.version) << path;
    failed += !ok;
    if (!ok) continue;
    const StagedDump want = StageDumpInGuestMemory(read);
    EXPECT_TRUE(staged.memory == want.memory) << path;
    EXPECT_TRUE(std::equal(staged.fetch.words, staged.fetch.words + 6, want.fetch.words)) << path;
    EXPECT_TRUE(staged.base_offset == want.base_offset && staged.mip_offset == want.mip_offset &&
                staged.base_address == want.base_address && staged.mip_address == want.mip_address &&
                staged.base_image_size == read.base_image.size() && staged.mip_image_size == read.mip_image.size())
        << path;
    EXPECT_EQ(direct.version1_shifted, read.version1_shifted) << path;
    shifted += read.version1_shifted;
  }
  EXPECT_GT(failed, 2u);
  EXPECT_GT(shifted, 0u);
}

}  // namespace
}  // namespace mivo
