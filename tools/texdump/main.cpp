// mivo_texdump: decodes texture dump files into host formats and images
// (normal mode), or measures the mips packed into a base level's tail
// (--tail-check). The report lines go to standard output; what could not be
// written, hints, the count of dumps that --skip-pack left out and the
// progress line of a long run on a terminal go to standard error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/platform_text.h"
#include "common/version.h"
#include "pack/manifest.h"
#include "texdump/driver.h"
#include "texdump/options.h"
#include "texdump/report.h"
#include "texdump/skip_packs.h"
#include "texdump/tail_mode.h"

namespace {

using mivo::DumpToolOptions;
namespace fs = std::filesystem;

void SayFailure(const std::string& line) { std::fprintf(stderr, "mivo_texdump: %s\n", line.c_str()); }

std::string Reason() { return errno != 0 ? std::strerror(errno) : "failed"; }

int RunNormalMode(const DumpToolOptions& options, mivo::ReplacedByPacks replaced_by_packs) {
  // A failure here is not fatal: the image writes then fail, each with its line.
  std::error_code ignored;
  fs::create_directories(options.out_dir, ignored);
  if (!options.pack_template_dir.empty() && !mivo::CreateFolder(options.pack_template_dir)) {
    std::error_code ec;
    fs::create_directories(options.pack_template_dir, ec);
    SayFailure("cannot create the pack-template folder " + options.pack_template_dir.string() + ": " +
               (ec ? ec.message() : std::string("not a folder")));
    return 1;
  }

  mivo::NormalModeRun normal;
  normal.replaced_by_packs = std::move(replaced_by_packs);
  normal.pool.pool = mivo::CreateDumpPool(options.jobs);
  bool output_failed = false;
  // An unopenable report does not stop the run, but the run then fails.
  errno = 0;
  std::FILE* csv = options.csv_path.empty() ? nullptr : std::fopen(options.csv_path.c_str(), "w");
  if (!options.csv_path.empty() && csv == nullptr) {
    SayFailure("cannot open the CSV report " + options.csv_path + ": " + Reason());
    output_failed = true;
  }
  normal.csv_open = csv != nullptr;
  if (csv != nullptr) std::fputs(mivo::kCsvHeader, csv);
  if (!options.gallery_dir.empty()) {
    normal.gallery.dir = options.gallery_dir;
    normal.gallery.out_dir = options.out_dir;
    std::string failure;
    if (!mivo::OpenGallery(normal.gallery, failure)) {
      SayFailure(failure);
      normal.gallery.dir.clear();
      output_failed = true;
    }
  }
  int32_t textures = 0, failures = 0, skipped = 0, misnamed = 0, small = 0, shared = 0;
  const bool walked = mivo::RunOverDumps(
      options,
      [&](const mivo::DumpItem& dump, mivo::OrderedRun& run, size_t index, mivo::ItemOutput& output) {
        mivo::ProcessDump(dump, options, normal, run, index, output);
      },
      [&](const mivo::ItemOutput& output) {
        std::fputs(output.out.c_str(), stdout);
        std::fputs(output.err.c_str(), stderr);
        if (csv != nullptr) std::fputs(output.csv.c_str(), csv);
        output_failed = output_failed || output.output_failed;
        misnamed += output.misnamed;
        textures += output.textures;
        failures += output.failures;
        skipped += output.skipped;
        small += output.small;
        shared += output.shared;
      });
  if (csv != nullptr) std::fclose(csv);
  if (!walked) return 1;
  // Written once, so it lists exactly the replacements that were written.
  if (!options.pack_template_dir.empty()) {
    errno = 0;
    if (!mivo::WritePackManifest(normal.template_entries, options.pack_template_dir)) {
      SayFailure("cannot write " + (options.pack_template_dir / "pack.txt").string() + ": " + Reason());
      ++failures;
    }
    if (misnamed != 0) {
      std::fprintf(stderr,
                   "mivo_texdump: hint: %d eligible dumps got no template entry: their names are not of the form "
                   "bf_XXXXXXXX_XXXXXXXX\n",
                   misnamed);
    }
  }
  if (!normal.gallery.dir.empty()) {
    std::string failure;
    if (!mivo::WriteGallery(normal.gallery, failure)) {
      SayFailure(failure);
      output_failed = true;
    }
  }

  // Kept off standard output, which reads the same with or without the option.
  if (options.min_width != 0) {
    std::fprintf(stderr, "%d dumps skipped: smaller than %ux%u\n", small, options.min_width, options.min_height);
  }
  if (!options.skip_packs.empty()) std::fprintf(stderr, "%d dumps skipped: already replaced by a pack\n", skipped);
  if (options.unique) std::fprintf(stderr, "%d dumps share the images of an earlier dump\n", shared);
  std::printf("%d textures, %d failed\n", textures, failures);
  return failures != 0 || output_failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  DumpToolOptions options;
  std::string usage_error;
  const std::vector<std::string> utf8_args = mivo::Utf8Arguments(argc, argv);
  if (!mivo::ParseDumpToolArguments(std::vector<std::string>(argv + 1, argv + argc), options, usage_error,
                                    &utf8_args)) {
    std::fputs(usage_error.c_str(), stdout);
    return 2;
  }
  if (options.show_help) {
    std::fputs(mivo::DumpToolHelp().c_str(), stdout);
    return 0;
  }
  if (options.show_version) {
    std::printf("mivo_texdump %s\n", mivo::kMivoVersion);
    return 0;
  }
  // The packs are read before anything is created or truncated, so a bad one
  // ends the run as a usage error with nothing written.
  mivo::ReplacedByPacks replaced_by_packs;
  const bool normal_mode = options.tail_check_path.empty();
  if (normal_mode && (!mivo::CheckPacksApartFromTemplate(options.skip_packs, options.pack_template_dir, usage_error) ||
                      !mivo::ReadReplacedByPacks(options.skip_packs, replaced_by_packs, usage_error))) {
    std::fputs(usage_error.c_str(), stdout);
    return 2;
  }
  try {
    return normal_mode ? RunNormalMode(options, std::move(replaced_by_packs)) : mivo::RunTailCheckMode(options);
  } catch (const std::system_error& e) {
    // Unexpected file-system failures end the run with one line, not a crash.
    std::printf("%s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::printf("out of memory\n");
  }
  return 1;
}
