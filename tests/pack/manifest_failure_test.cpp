// Where a refused manifest went wrong: the line and field people fix by hand.
#include <gtest/gtest.h>

#include <string>

#include "pack/manifest.h"

namespace mivo {
namespace {

TEST(ManifestFailure, NamesTheLineAndFieldOfTheFirstRefusal) {
  const std::string good = "000000000000ABCD bf_0000abcd_1234abcd RGBA8_UNORM 4 4 000000000000ABCD__bf_0000abcd_1234abcd.dds\n";
  const std::string other = "000000000000ABCD bf_0000abcd_1234abce RGBA8_UNORM 4 4 000000000000ABCD__bf_0000abcd_1234abce.dds\n";
  const struct {
    std::string text;
    size_t line;
    std::string field;
  } cases[] = {
      {"MVTP 2\n", 1, "header"},
      {"MVTP 1\n# c\n\n" + good + "x y\n", 5, "field count"},
      {"MVTP 1\n000000000000ABCD bf_0000abcd_1234abcd RGBA8_UNORM 4 0 x.dds\n", 2, "original_height"},
      {"MVTP 1\n000000000000ABCG bf_0000abcd_1234abcd RGBA8_UNORM 4 4 x.dds\n", 2, "hash"},
      {"MVTP 1\n000000000000ABCD bf_0000abcd_1234abcd R16_UNORM 4 4 x.dds\n", 2, "original_host_format"},
      {"MVTP 1\n000000000000ABCD bf_0000abcd_1234abcd RGBA8_UNORM 4 4 x.dds\n", 2, "replacement_file"},
      {"MVTP 1\r\n" + good + good, 3, "key"},
      {"MVTP 1\n" + good + other, 3, "content"},
  };
  for (const auto& c : cases) {
    PackManifest entries;
    std::string error;
    ManifestFailure where;
    EXPECT_FALSE(ParsePackManifestText(c.text, entries, error, &where)) << c.text;
    EXPECT_EQ(where.line, c.line) << c.text;
    EXPECT_EQ(where.field, c.field) << c.text;
  }
}

}  // namespace
}  // namespace mivo
