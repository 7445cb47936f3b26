// A built row loads back through the run-time loader in the format chosen,
// with its whole chain, and its base level measures what the line says;
// rows stored uncompressed hold exactly the texels the source loads to.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/file_image.h"
#include "common/png_writer.h"
#include "pack/content_key.h"
#include "pack/mip_chain.h"
#include "packbuild/build_pack.h"
#include "packbuild/level_codec.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

// A gradient with noise and, where asked, graded alpha: something between
// a flat colour and random bytes, as real textures are.
std::vector<uint8_t> Picture(uint32_t width, uint32_t height, bool graded_alpha, uint32_t seed) {
  std::vector<uint8_t> rgba(size_t(width) * height * 4);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
      p[0] = uint8_t(x * 255 / width);
      p[1] = uint8_t(y * 255 / height + (seed >> 29));
      p[2] = uint8_t((x + y) * 4);
      p[3] = graded_alpha ? uint8_t(64 + (x * 3 + y) % 128) : 255;
    }
  }
  return rgba;
}

ManifestEntry Row(uint64_t hash, HostFormat original) {
  char bf[24];
  std::snprintf(bf, sizeof bf, "bf_%08X_%08X", uint32_t(hash >> 32), uint32_t(hash));
  return {hash, bf, FormatContentKey(hash, bf) + ".png", original, 64, 64};
}

struct RowCase {
  HostFormat original;
  uint32_t width, height;
  bool graded_alpha;
};

TEST(BuildRow, BuiltFilesLoadAsChosenWithWhatTheLineMeasured) {
  const RowCase cases[] = {
      {HostFormat::RGBA8_UNORM, 64, 32, true}, {HostFormat::BC1_UNORM, 32, 32, false},
      {HostFormat::BC1_UNORM, 16, 16, true},   {HostFormat::RG8_UNORM, 32, 16, false},
      {HostFormat::BC5_SNORM, 16, 16, false},  {HostFormat::R8_UNORM, 20, 12, false},
      {HostFormat::RGBA8_UNORM, 30, 17, true}, {HostFormat::RG8_SNORM, 9, 4, false},
  };
  test::TempFolder folder;
  PackBuildOptions options;
  options.source_dir = folder / "src";
  std::filesystem::create_directories(options.source_dir);
  std::filesystem::create_directories(folder / "out");
  uint64_t hash = 0x5100;
  for (const RowCase& c : cases) {
    const ManifestEntry row = Row(++hash, c.original);
    SCOPED_TRACE(row.replacement_file + " " + HostFormatName(c.original));
    const std::vector<uint8_t> png = BuildPng(c.width, c.height, Picture(c.width, c.height, c.graded_alpha, 27).data());
    ASSERT_TRUE(WriteFileImage(options.source_dir / row.replacement_file, png));

    const RowBuild build = BuildRow(options, row, png, nullptr);
    if (!build.ok && build.error == "unsupported encode format") {
      std::printf("skipped %s: no encoder for its format yet\n", HostFormatName(c.original));
      continue;
    }
    ASSERT_TRUE(build.ok) << build.error;
    ManifestEntry built_row = row;
    built_row.replacement_file = FormatContentKey(row.hash, row.bf_name) + ".dds";
    ASSERT_TRUE(WriteFileImage(folder / "out" / built_row.replacement_file, build.file));

    HostTextureData source, built;
    std::string error;
    ASSERT_TRUE(LoadReplacement(options.source_dir, row, source, error)) << error;
    ASSERT_TRUE(LoadReplacement(folder / "out", built_row, built, error)) << error;
    EXPECT_EQ(built.host_format, build.summary.format);
    EXPECT_EQ(built.levels, CompleteChainCount(c.width, c.height));
    EXPECT_EQ(built.levels, build.summary.levels);
    if (!IsBlockCompressed(built.host_format)) {
      EXPECT_EQ(built.data, source.data);
      EXPECT_EQ(build.summary.fidelity.centi_db[0], kExactDb);
      continue;
    }
    const LevelRecord& base = source.level_records.front();
    const std::vector<uint8_t> decoded = DecodeLevelToPlain(built, built.level_records.front());
    EXPECT_EQ(MeasureLevel(source.host_format, source.data.data(), decoded.data(), uint64_t(base.width) * base.height),
              build.summary.fidelity);
    // Each level is encoded from the loader's own mips.
    for (const LevelRecord& level : built.level_records) {
      EXPECT_EQ(DecodeLevelToPlain(built, level).size(), source.level_records[level.mip].size);
    }
  }
}

}  // namespace
}  // namespace mivo
