// What mivo_texdump says on standard error when an output cannot be written,
// and the hints it gives; standard output keeps its lines. Writes are made to
// fail with a file where a folder is expected, which stops root too.
#include <filesystem>
#include <string>
#include <vector>

#include "support/texdump_run.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

const std::string kSamples = (fs::path(MIVO_SOURCE_DIR) / "samples").string();
const std::string kDump = kSamples + "/bf_0A000001_5E1C0001.bin";      // eligible RGBA8
const std::string kTailDump = kSamples + "/bf_0A000015_5E1C0015.bin";  // mips in its base's tail
const std::string kKeyFile = "ED841FD0E2BA10DA__bf_0A000001_5E1C0001.dds";

class TexdumpFailureLines : public test::TexdumpRun {};

TEST_F(TexdumpFailureLines, EachOutputThatCannotBeWrittenGetsItsLineAndFailsTheRun) {
  Write("blocker", {'x'});
  fs::create_directories(dir_ / "tpl" / kKeyFile);  // a folder where the replacement file goes
  fs::create_directories(dir_ / "tpl2" / "pack.txt");
  const std::string no_dir = ": Not a directory\n";
  const struct {
    std::vector<std::string> args;
    std::string err;
    std::string last_out;  // the summary line; empty when the run ends before it
  } cases[] = {
      {{"--pack-template", "blocker/tpl", kDump},
       "mivo_texdump: cannot create the pack-template folder blocker/tpl" + no_dir, ""},
      {{"--no-images", "--csv", "blocker/r.csv", kDump},
       "mivo_texdump: cannot open the CSV report blocker/r.csv" + no_dir, "1 textures, 0 failed\n"},
      {{"--out", "blocker/img", kDump},
       "mivo_texdump: cannot write blocker/img/bf_0A000001_5E1C0001.dds" + no_dir +
           "mivo_texdump: cannot write blocker/img/bf_0A000001_5E1C0001.png" + no_dir,
       "1 textures, 0 failed\n"},
      {{"--no-images", "--pack-template", "tpl", kDump},
       "mivo_texdump: cannot write tpl/" + kKeyFile + ": Is a directory\n", "1 textures, 1 failed\n"},
      {{"--no-images", "--pack-template", "tpl2", kDump},
       "mivo_texdump: cannot write tpl2/pack.txt: Is a directory\n", "1 textures, 1 failed\n"},
      {{"--no-images", "--gallery", "blocker/g", kDump},
       "mivo_texdump: cannot create the gallery folder blocker/g/thumbs" + no_dir, "1 textures, 0 failed\n"},
      {{"--tail-check", "blocker/t.csv", kTailDump},
       "mivo_texdump: cannot open the tail report blocker/t.csv" + no_dir, ""},
      {{"--tail-check", "t.csv", "--tail-images", "blocker/sheets", kTailDump},
       "mivo_texdump: cannot write blocker/sheets/tail-0-bf_0A000015_5E1C0015.png" + no_dir,
       "1 textures, 1 with their mips in the base's tail (1 distinct), 0 failed\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1]);
    const test::ProgramResult result = Run(c.args);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(c.last_out.empty() ? result.out : test::LastLine(result.out), c.last_out);
  }
}

TEST_F(TexdumpFailureLines, HintsNameAnEmptyFolderAndDumpsTheTemplateCannotTake) {
  fs::create_directories(dir_ / "empty");
  Write("misnamed.bin", test::ReadFileBytes(kDump));
  const test::ProgramResult result = Run({"--no-images", "--pack-template", "tpl", "empty", "misnamed.bin"});
  EXPECT_EQ(result.err,
            "mivo_texdump: hint: the folder empty holds no *.bin file\n"
            "mivo_texdump: hint: 1 eligible dumps got no template entry: their names are not of the form "
            "bf_XXXXXXXX_XXXXXXXX\n");
  EXPECT_EQ(result.status, 0);
}

TEST_F(TexdumpFailureLines, HelpListsEveryOptionAndVersionPrintsIt) {
  const test::ProgramResult help = Run({"--no-images", "-h"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--out", "--csv", "--no-images", "--pack-template", "--pack-png", "--skip-pack",
                             "--tail-check", "--tail-images", "--gallery", "--png-compress", "--help", "--version"}) {
    EXPECT_NE(help.out.find(std::string(" ") + option + " "), std::string::npos) << option;
  }
  EXPECT_EQ(Run({"--version"}).out, "mivo_texdump 0.2.0\n");
  const test::ProgramResult bad = Run({"--png-compress", "10", kDump});
  EXPECT_EQ(bad.out, "--png-compress takes a level from 1 to 9, not 10\n");
  EXPECT_EQ(bad.status, 2);
}

}  // namespace
}  // namespace mivo
