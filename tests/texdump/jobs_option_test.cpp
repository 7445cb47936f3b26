#include <gtest/gtest.h>

#include <string>

#include "texdump/options.h"

namespace mivo {
namespace {

TEST(JobsOption, TakesWholeNumbersFromOneTo256) {
  const struct {
    const char* value;
    uint32_t jobs;  // 0: refused
  } cases[] = {{"1", 1}, {"256", 256}, {"007", 7}, {"0", 0}, {"257", 0}, {"-1", 0}, {"+2", 0}, {"2x", 0}, {"", 0}};
  for (const auto& c : cases) {
    DumpToolOptions options;
    std::string error;
    EXPECT_EQ(ParseDumpToolArguments({"--jobs", c.value, "in.bin"}, options, error), c.jobs != 0) << c.value;
    EXPECT_EQ(c.jobs != 0 ? options.jobs : 0, c.jobs) << c.value;
    EXPECT_EQ(error, c.jobs != 0 ? "" : "invalid --jobs value " + std::string(c.value) + "\n");
  }
  DumpToolOptions options;
  std::string error;
  ASSERT_TRUE(ParseDumpToolArguments({"in.bin"}, options, error));
  EXPECT_EQ(options.jobs, DefaultJobs());
}

TEST(MinSizeOption, TakesWidthxHeight) {
  const struct {
    const char* value;
    uint32_t width, height;  // 0: refused
  } cases[] = {{"8x8", 8, 8}, {"16x4", 16, 4}, {"99999x1", 99999, 1}, {"0x8", 0, 0},
               {"8x0", 0, 0}, {"8", 0, 0},     {"8X8", 0, 0},         {"x8", 0, 0},
               {"8x", 0, 0},  {"8x8x8", 0, 0}, {"-8x8", 0, 0},        {"100000x1", 0, 0},
               {"", 0, 0}};
  for (const auto& c : cases) {
    DumpToolOptions options;
    std::string error;
    EXPECT_EQ(ParseDumpToolArguments({"--min-size", c.value, "in.bin"}, options, error), c.width != 0) << c.value;
    if (c.width == 0) {
      EXPECT_EQ(error, "invalid --min-size value " + std::string(c.value) + "\n");
      continue;
    }
    EXPECT_EQ(options.min_width, c.width) << c.value;
    EXPECT_EQ(options.min_height, c.height) << c.value;
  }
}

}  // namespace
}  // namespace mivo
