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

TEST(DumpToolOptions, DefaultsRunTheNormalModeWithImagesIntoTheCurrentFolder) {
  DumpToolOptions options;
  std::string usage_error;
  ASSERT_TRUE(ParseDumpToolArguments({"x"}, options, usage_error));
  EXPECT_EQ(options.out_dir, ".");
  EXPECT_TRUE(options.csv_path.empty());
  EXPECT_TRUE(options.write_images);
  EXPECT_TRUE(options.pack_template_dir.empty());
  EXPECT_FALSE(options.pack_png);
  EXPECT_TRUE(options.tail_check_path.empty());
  EXPECT_TRUE(options.tail_images_dir.empty());
}

TEST(DumpToolOptions, ShortArgumentsAndSingleDashWordsAreInputs) {
  DumpToolOptions options;
  std::string usage_error;
  ASSERT_TRUE(ParseDumpToolArguments({"-", "-v", "", "-x-"}, options, usage_error));
  EXPECT_EQ(options.inputs.size(), 4u);
  EXPECT_FALSE(ParseDumpToolArguments({"--"}, options, usage_error));
  EXPECT_EQ(usage_error, "unknown option --\n");
  EXPECT_FALSE(ParseDumpToolArguments({"x", "--Out", "y"}, options, usage_error)) << "names compare case-sensitively";
  EXPECT_EQ(usage_error, "unknown option --Out\n");
}

}  // namespace
}  // namespace mivo
