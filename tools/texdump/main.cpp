// mivo_texdump: decodes texture dump files into host formats and images
// (normal mode), or measures the mips packed into a base level's tail
// (--tail-check). Every line goes to standard output.
#include <cstdio>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "pack/manifest.h"
#include "texdump/driver.h"
#include "texdump/options.h"
#include "texdump/report.h"
#include "texdump/tail_mode.h"

namespace {

using mivo::DumpToolOptions;
namespace fs = std::filesystem;

int RunNormalMode(const DumpToolOptions& options) {
  // A failure here is not fatal: the image writes then fail, silently.
  std::error_code ignored;
  fs::create_directories(options.out_dir, ignored);
  if (!options.pack_template_dir.empty() && !mivo::CreateFolder(options.pack_template_dir)) return 1;

  mivo::NormalModeRun run;
  // An unopenable report is not fatal either: the run goes on without it.
  if (!options.csv_path.empty()) run.csv = std::fopen(options.csv_path.c_str(), "w");
  if (run.csv != nullptr) std::fputs(mivo::kCsvHeader, run.csv);
  const bool walked =
      mivo::ForEachDump(options.inputs, [&](const fs::path& dump) { mivo::ProcessDump(dump, options, run); });
  if (run.csv != nullptr) std::fclose(run.csv);
  if (!walked) return 1;
  // Written once, so it lists exactly the replacements that were written.
  if (!options.pack_template_dir.empty() && !mivo::WritePackManifest(run.template_entries, options.pack_template_dir)) {
    ++run.failures;
  }

  std::printf("%d textures, %d failed\n", run.textures, run.failures);
  return run.failures != 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  DumpToolOptions options;
  std::string usage_error;
  if (!mivo::ParseDumpToolArguments(std::vector<std::string>(argv + 1, argv + argc), options, usage_error)) {
    std::fputs(usage_error.c_str(), stdout);
    return 2;
  }
  try {
    return options.tail_check_path.empty() ? RunNormalMode(options) : mivo::RunTailCheckMode(options);
  } catch (const std::system_error& e) {
    // Unexpected file-system failures end the run with one line, not a crash.
    std::printf("%s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::printf("out of memory\n");
  }
  return 1;
}
