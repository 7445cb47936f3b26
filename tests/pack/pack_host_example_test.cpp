#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/content_key.h"
#include "support/pack_builder.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

size_t CountOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(PackLoaderExample, HostThreadsReceiveEveryLoadableReplacementOnce) {
  test::TempFolder temp;
  const std::vector<test::PackFile> files = {
      test::MakePackFile(0xA1, HostFormat::RGBA8_UNORM, 64, 64, ".png", test::MakeFlatPng(16, 8, 0x10203040)),
      test::MakePackFile(0xA2, HostFormat::BC3_UNORM, 64, 64, ".dds", test::MakeFlatRgba8Dds(32, 32, 0x50607080)),
      test::MakePackFile(0xA3, HostFormat::RGBA8_UNORM, 16, 16, ".png", test::MakeFlatPng(4, 4, 0x0A0B0C0D)),
      test::MakePackFile(0xA4, HostFormat::RGBA8_UNORM, 16, 16, ".dds", {0x44, 0x44, 0x53}),
  };
  test::WritePack(temp / "pack", files);

  const test::ProgramResult result =
      test::RunProgram(MIVO_PACK_HOST_EXAMPLE_PATH, {(temp / "pack").string()}, temp.path());
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.err, "");
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(CountOf(result.out, ": " + FormatContentKey(files[i].entry.hash, files[i].entry.bf_name) + " -> "), 1u)
        << result.out;
  }
  EXPECT_EQ(CountOf(result.out, FormatContentKey(files[3].entry.hash, files[3].entry.bf_name)), 0u);
  EXPECT_NE(result.out.find(" -> 16x8 RGBA8_UNORM, 5 levels, 684 bytes\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("status: invalid DDS header\n3 of 4 textures replaced\n"), std::string::npos)
      << result.out;
}

}  // namespace
}  // namespace mivo
