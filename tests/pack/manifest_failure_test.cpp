// Where a refused manifest went wrong: the line and field people fix by hand.
#include <gtest/gtest.h>

#include <string>

#include "pack/manifest.h"

namespace mivo {
namespace {

std::string Row(const std::string& bf, const std::string& format = "RGBA8_UNORM", const std::string& size = "4",
                const std::string& file = "") {
  return "000000000000ABCD " + bf + " " + format + " 4 " + size + " " +
         (file.empty() ? "000000000000ABCD__" + bf + ".dds" : file) + "\n";
}

TEST(ManifestFailure, NamesTheLineAndFieldOfTheFirstRefusal) {
  const std::string bf = "bf_0000abcd_1234abcd", header = "MVTP 1\n";
  const struct {
    std::string text;
    size_t line;
    std::string field;
  } cases[] = {
      {"MVTP 2\n", 1, "header"},
      {header + "# c\n\n" + Row(bf) + "x y\n", 5, "field count"},
      {header + Row(bf, "RGBA8_UNORM", "0"), 2, "original_height"},
      {header + Row("bf_0000abcd_1234abcg"), 2, "bf_name"},
      {header + Row(bf, "R16_UNORM"), 2, "original_host_format"},
      {header + Row(bf, "RGBA8_UNORM", "4", "x.dds"), 2, "replacement_file"},
      {"MVTP 1\r\n" + Row(bf) + Row(bf), 3, "key"},
      {header + Row(bf) + Row("bf_0000abcd_1234abce"), 3, "content"},
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
