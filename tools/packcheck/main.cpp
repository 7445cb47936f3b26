// mivo_packcheck [--html FILE] PACK_FOLDER EXTRACTED_TEMPLATE_FOLDER:
// compares a pack's manifest with the template it was made from, loads every
// replacement the pack lists, reports replacement files that no row lists,
// and with --html writes a review page of it all.
#include <cstdio>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "common/platform_text.h"
#include "common/version.h"
#include "common/write_file.h"
#include "pack/open_file.h"
#include "packcheck/check.h"
#include "packcheck/report_page.h"

namespace {

constexpr const char* kUsage = "usage: mivo_packcheck PACK_FOLDER EXTRACTED_TEMPLATE_FOLDER\n";
constexpr const char* kOptionLines =
    "  PACK_FOLDER                folder holding pack.txt and the replacement files\n"
    "  EXTRACTED_TEMPLATE_FOLDER  the template folder mivo_texdump --pack-template wrote\n"
    "  --html FILE                also write a review page: every row's verdict, original beside replacement\n"
    "  -h, --help                 print this help and exit\n"
    "  --version                  print the version and exit\n";

struct Arguments {
  std::vector<std::string> folders;
  std::string html_path;  // empty: no page
  bool help = false;
  bool version = false;
};

// --html takes the next argument whatever it looks like; as the last
// argument it is a folder like any other word, as all words were before.
Arguments ParseArguments(const std::vector<std::string>& words) {
  Arguments args;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& arg = words[i];
    if (arg == "--html" && i + 1 < words.size()) {
      args.html_path = words[++i];
    } else if (arg == "--help" || arg == "-h") {
      args.help = true;
    } else if (arg == "--version") {
      args.version = true;
    } else {
      args.folders.push_back(arg);
    }
  }
  return args;
}

int Run(const Arguments& args) {
  const bool page = !args.html_path.empty();
  const mivo::CheckResult result = mivo::CheckPack(mivo::PathFromUtf8(args.folders[0]), mivo::PathFromUtf8(args.folders[1]), page);
  int status = result.manifests_read && result.errors == 0 ? 0 : 1;
  if (page) {
    std::string error;
    const std::string html = mivo::BuildReportPage(result, args.folders[0], args.folders[1]);
    if (!mivo::WriteWholeFile(mivo::PathFromUtf8(args.html_path), html, error)) {
      // The page was asked for: not writing it is a failure, said on stderr
      // so that the report lines stay as they are.
      std::fprintf(stderr, "mivo_packcheck: cannot write %s: %s\n", args.html_path.c_str(), error.c_str());
      status = 1;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments args = ParseArguments(mivo::Utf8Arguments(argc, argv));
  if (args.help) {
    std::fputs(kUsage, stdout);
    std::fputs(kOptionLines, stdout);
    return 0;
  }
  if (args.version) {
    std::printf("mivo_packcheck %s\n", mivo::kMivoVersion);
    return 0;
  }
  if (args.folders.size() != 2) {
    std::fputs(kUsage, stdout);
    return 2;
  }
  try {
    return Run(args);
  } catch (const std::system_error& e) {
    // A folder listing that breaks part way, or another unexpected file-system failure.
    std::printf("%s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::printf("out of memory\n");
  }
  return 1;
}
