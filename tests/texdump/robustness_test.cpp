// Hundreds of damaged dumps through the built mivo_texdump: the run must
// reach the end with one line per dump, the right summary and status 1.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/samples.h"
#include "support/texdump_run.h"

namespace mivo {
namespace {

std::string Stem(uint32_t i) {
  char stem[16];
  std::snprintf(stem, sizeof stem, "m%03u", i);
  return stem;
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

class TexdumpRobustness : public test::TexdumpRun {};

TEST_F(TexdumpRobustness, HundredsOfDamagedDumpsRunToTheEndWithOneLineEach) {
  std::mt19937 rng(20240611);
  const uint32_t samples = uint32_t(test::SampleTable().size());
  constexpr uint32_t kDumps = 400;
  for (uint32_t i = 0; i < kDumps; ++i) {
    Write("in/" + Stem(i) + ".bin", Mutate(test::MakeSampleDump(i % samples), i, rng));
  }

  const test::ProgramResult result = Run({"--out", "out", "--csv", "report.csv", "in"});
  EXPECT_EQ(result.status, 1);
  std::vector<std::string> lines;
  std::istringstream out(result.out);
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), kDumps + 1) << result.out;
  uint32_t failed = 0;
  for (uint32_t i = 0; i < kDumps; ++i) {
    const std::string& line = lines[i];
    // Readable dumps start with their name, unreadable ones with their path.
    const bool unreadable = line.rfind("in/" + Stem(i) + ".bin: ", 0) == 0;
    EXPECT_TRUE(unreadable || line.rfind(Stem(i) + ": ", 0) == 0) << line;
    if (unreadable || line.find(" FAILED: ") != std::string::npos) ++failed;
  }
  EXPECT_GT(failed, 0u);
  EXPECT_LT(failed, kDumps);
  EXPECT_EQ(lines.back(), std::to_string(kDumps) + " textures, " + std::to_string(failed) + " failed");
}

}  // namespace
}  // namespace mivo
