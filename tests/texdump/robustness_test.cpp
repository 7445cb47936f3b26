// Hundreds of damaged dumps through the built mivo_texdump: the run must
// reach the end with one line per dump, the right summary and status 1.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/dump_builder.h"
#include "support/run_program.h"
#include "support/samples.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One sample with a few random bits flipped in the region a mutation aims
// at, or cut short.
std::vector<uint8_t> Mutate(std::vector<uint8_t> dump, uint32_t kind, std::mt19937& rng) {
  auto flip_in = [&](size_t begin, size_t end) {
    const uint32_t flips = 1 + rng() % 3;
    for (uint32_t i = 0; i < flips && end > begin; ++i) {
      const size_t at = begin + rng() % (end - begin);
      dump[at] ^= uint8_t(1u << (rng() % 8));
    }
  };
  switch (kind % 5) {
    case 0: flip_in(8, 32); break;              // fetch constant
    case 1: flip_in(32, 40); break;             // image sizes
    case 2: flip_in(40, dump.size()); break;    // images
    case 3: dump.resize(rng() % dump.size()); break;  // truncated anywhere
    default: flip_in(0, dump.size()); break;    // anywhere, header included
  }
  return dump;
}

TEST(TexdumpRobustness, HundredsOfDamagedDumpsRunToTheEndWithOneLineEach) {
  test::TempFolder dir;
  fs::create_directories(dir / "in");
  std::mt19937 rng(20240611);
  const uint32_t samples = uint32_t(test::SampleTable().size());
  constexpr uint32_t kDumps = 400;
  for (uint32_t i = 0; i < kDumps; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "m%03u.bin", i);
    test::WriteFileBytes(dir / "in" / name, Mutate(test::MakeSampleDump(i % samples), i, rng));
  }

  const test::ProgramResult result =
      test::RunProgram(MIVO_TEXDUMP_PATH, {"--out", "out", "--csv", "report.csv", "in"}, dir.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "");
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), kDumps + 1) << result.out;
  uint32_t failed = 0;
  for (uint32_t i = 0; i < kDumps; ++i) {
    const std::string& line = lines[i];
    char stem[8];
    std::snprintf(stem, sizeof stem, "m%03u", i);
    // Readable dumps start with their name, unreadable ones with their path.
    const bool unreadable = line.rfind((fs::path("in") / stem).string() + ".bin: ", 0) == 0;
    EXPECT_TRUE(unreadable || line.rfind(std::string(stem) + ": ", 0) == 0) << line;
    if (unreadable || line.find(" FAILED: ") != std::string::npos) ++failed;
  }
  EXPECT_GT(failed, 0u);
  EXPECT_LT(failed, kDumps);
  EXPECT_EQ(lines.back(), std::to_string(kDumps) + " textures, " + std::to_string(failed) + " failed");
}

}  // namespace
}  // namespace mivo
