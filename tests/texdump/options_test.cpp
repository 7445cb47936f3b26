#include <gtest/gtest.h>

#include "texdump/options.h"

namespace mivo {
namespace {

TEST(DumpToolOptions, EveryOptionFillsItsOwnFieldAndInputsKeepTheirOrder) {
  DumpToolOptions options;
  std::string usage_error;
  ASSERT_TRUE(ParseDumpToolArguments({"b.bin", "--out", "img", "--csv", "r.csv", "--no-images", "--pack-template",
                                      "tpl", "--pack-png", "--tail-check", "t.csv", "--tail-images", "sheets", "a"},
                                     options, usage_error));
  EXPECT_EQ(options.out_dir, "img");
  EXPECT_EQ(options.csv_path, "r.csv");
  EXPECT_FALSE(options.write_images);
  EXPECT_EQ(options.pack_template_dir, "tpl");
  EXPECT_TRUE(options.pack_png);
  EXPECT_EQ(options.tail_check_path, "t.csv");
  EXPECT_EQ(options.tail_images_dir, "sheets");
  EXPECT_EQ(options.inputs, (std::vector<std::filesystem::path>{"b.bin", "a"}));
}

}  // namespace
}  // namespace mivo
