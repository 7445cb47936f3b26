// mivo_packbuild SOURCE_PACK OUT_PACK: builds a pack that loads fast from the
// pack an artist edits: every replacement in a block format chosen by its
// original, with a complete mip chain, checked as the loader checks it.
// Row lines and the summary go to standard output; what could not be
// written and the progress line on a terminal go to standard error.
#include <cstdio>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "common/platform_text.h"
#include "common/version.h"
#include "packbuild/build_pack.h"
#include "packbuild/options.h"

int main(int argc, char** argv) {
  mivo::PackBuildOptions options;
  std::string usage_error;
  if (!mivo::ParsePackBuildArguments(mivo::Utf8Arguments(argc, argv), options, usage_error)) {
    std::fputs(usage_error.c_str(), stdout);
    return 2;
  }
  if (options.show_help) {
    std::fputs(mivo::PackBuildHelp().c_str(), stdout);
    return 0;
  }
  if (options.show_version) {
    std::printf("mivo_packbuild %s\n", mivo::kMivoVersion);
    return 0;
  }
  if (!mivo::CheckPacksApart(options.source_dir, options.out_dir, usage_error)) {
    std::fputs(usage_error.c_str(), stdout);
    return 2;
  }
  try {
    return mivo::RunPackBuild(options, stdout);
  } catch (const std::system_error& e) {
    // Unexpected file-system failures end the run with one line, not a crash.
    std::printf("%s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::printf("out of memory\n");
  }
  return 1;
}
