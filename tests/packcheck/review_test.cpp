// mivo_packcheck's additions around the report lines: the review page, the
// hints on standard error, --help and --version. The page itself is checked
// in a browser (tests/browser).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/pack_builder.h"
#include "support/replacement_files.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

#ifdef MIVO_PACKCHECK_PATH

namespace mivo {
namespace {

namespace fs = std::filesystem;
using test::MakePackFile;

class PackcheckReviewTest : public ::testing::Test {
 protected:
  test::ProgramResult Check(const std::vector<std::string>& args) {
    return test::RunProgram(MIVO_PACKCHECK_PATH, args, dir_.path());
  }
  test::TempFolder dir_;
};

TEST_F(PackcheckReviewTest, PageLeavesTheReportLinesAloneAndHintsNameWhatLooksWrong) {
  const std::vector<uint8_t> png = test::MakePngBytes(4, 2, 8, 6, test::PatternBytes(32, 1));
  std::vector<test::PackFile> files = {
      MakePackFile(0x11, HostFormat::RGBA8_UNORM, 64, 64, ".png", png),  // 4x2 for a square original
      MakePackFile(0x22, HostFormat::RGBA8_UNORM, 4, 2, ".png", png),
  };
  test::WritePack(dir_ / "template", files);
  test::WritePack(dir_ / "pack", files);
  const std::string listed = files[1].entry.replacement_file;
  fs::rename(dir_ / "pack" / listed, dir_ / "pack" / (listed.substr(0, listed.size() - 4) + ".PNG"));

  const test::ProgramResult plain = Check({"pack", "template"});
  const test::ProgramResult paged = Check({"pack", "--html", "review.html", "template"});
  EXPECT_EQ(paged.out, plain.out);
  EXPECT_EQ(paged.status, 1);
  EXPECT_EQ(paged.err,
            "mivo_packcheck: hint: " + files[0].entry.replacement_file +
                " is 4x2, its original 64x64: the aspect ratio differs\n"
                "mivo_packcheck: hint: " + listed + " is not in the pack, but " +
                listed.substr(0, listed.size() - 4) + ".PNG is: the names differ in letter case\n");
  EXPECT_TRUE(fs::is_regular_file(dir_ / "review.html"));

  // A page that cannot be written fails the run, said on standard error only.
  test::WriteFileBytes(dir_ / "file", {'x'});
  const test::ProgramResult blocked = Check({"--html", "file/review.html", "pack", "template"});
  EXPECT_EQ(blocked.out, plain.out);
  EXPECT_NE(blocked.err.find("\nmivo_packcheck: cannot write file/review.html: Not a directory\n"), std::string::npos);
  EXPECT_EQ(blocked.status, 1);

  // A refused manifest: which folder's, and where in it.
  test::WriteFileBytes(dir_ / "template" / "pack.txt", {'M', 'V', 'T', 'P', ' ', '1', '\n', 'x', '\n'});
  EXPECT_EQ(Check({"pack", "template"}).err,
            "mivo_packcheck: hint: the template manifest template/pack.txt fails at line 2, field field count\n");
}

TEST_F(PackcheckReviewTest, HelpAndVersionPrintAndSucceed) {
  const test::ProgramResult help = Check({"-h"}), version = Check({"--version"});
  EXPECT_EQ(help.out.rfind("usage: mivo_packcheck PACK_FOLDER EXTRACTED_TEMPLATE_FOLDER\n", 0), 0u);
  EXPECT_NE(help.out.find("\n  --html FILE "), std::string::npos);
  EXPECT_EQ(version.out, "mivo_packcheck 0.2.0\n");
  EXPECT_EQ(help.status + version.status, 0);
}

}  // namespace
}  // namespace mivo

#endif  // MIVO_PACKCHECK_PATH
