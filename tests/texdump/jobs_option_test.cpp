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

}  // namespace
}  // namespace mivo
