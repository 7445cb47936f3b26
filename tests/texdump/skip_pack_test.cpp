// --skip-pack through the built mivo_texdump: a re-dump leaves out what given packs already replace.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pack/manifest.h"
#include "support/samples.h"
#include "support/texdump_run.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using TexdumpSkipPack = test::TexdumpRun;

TEST_F(TexdumpSkipPack, RedumpLeavesOutExactlyWhatThePacksReplace) {
  const std::string samples = (fs::path(MIVO_SOURCE_DIR) / "samples").string();
  const auto run = [&](std::vector<std::string> args) {  // Run() would refuse the count on standard error
    args.insert(args.end(), {"--out", "img", "--skip-pack", "a", samples});
    return test::RunProgram(MIVO_TEXDUMP_PATH, args, dir_.path());
  };
  const test::ProgramResult first = Run({"--no-images", "--csv", "first.csv", "--pack-template", "tpl", samples});
  PackManifest rows, kept;
  std::string error;
  ASSERT_TRUE(ReadPackManifest(dir_ / "tpl", rows, error) && rows.size() >= 4) << error;
  // Rows 0 and 1 (whose content one more sample holds) in two packs; rows 2 and 3 listed for another size, format.
  ManifestEntry resized = rows[2], reformatted = rows[3];
  resized.original_width *= 2;
  reformatted.original_host_format = HostFormat::BC7_UNORM;  // row 3 is a BC1 sample
  for (const char* pack : {"a", "b"}) fs::create_directories(dir_ / pack);
  ASSERT_TRUE(WritePackManifest({rows[0]}, dir_ / "a") &&
              WritePackManifest({rows[1], resized, reformatted}, dir_ / "b"));
  Write("report.csv", {'o', 'l', 'd'});
  Write("bad/pack.txt", {'M', 'V', 'T', 'P', ' ', '2', '\n'});

  // An unreadable pack stops the run before it writes anything; so does one it would overwrite as its template.
  const std::vector<std::string> before = Names();
  const test::ProgramResult refused = run({"--csv", "report.csv", "--pack-template", "tpl", "--skip-pack", "bad"});
  EXPECT_EQ(refused.out + refused.err, "cannot read the pack bad: unsupported pack version\n");
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(run({"--pack-template", "a", "--skip-pack", "./a"}).out,
            "--skip-pack ./a is also the --pack-template folder\n");
  EXPECT_EQ(Names(), before);
  EXPECT_EQ(Text("report.csv"), "old");

  const test::ProgramResult again = run({"--csv", "again.csv", "--pack-template", "tpl2", "--skip-pack", "b"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, first.out);
  EXPECT_EQ(Text("again.csv"), Text("first.csv")) << "a replaced dump's pack key names the pack's alias";
  EXPECT_EQ(again.err, "3 dumps skipped: already replaced by a pack\n");
  EXPECT_EQ(Names("img").size(), 2 * (test::SampleTable().size() - 3));
  ASSERT_TRUE(ReadPackManifest(dir_ / "tpl2", kept, error)) << error;
  EXPECT_EQ(kept, PackManifest(rows.begin() + 2, rows.end()));
}

}  // namespace
}  // namespace mivo
