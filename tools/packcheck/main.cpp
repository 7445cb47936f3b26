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
#include "packcheck/csv_report.h"
#include "packcheck/page_pictures.h"
#include "packcheck/report_page.h"

namespace {

constexpr const char* kUsage = "usage: mivo_packcheck PACK_FOLDER EXTRACTED_TEMPLATE_FOLDER\n";
constexpr const char* kOptionLines =
    "  PACK_FOLDER                folder holding pack.txt and the replacement files\n"
    "  EXTRACTED_TEMPLATE_FOLDER  the template folder mivo_texdump --pack-template wrote\n"
    "  --html FILE                also write a review page: every row's verdict, original beside replacement,\n"
    "                             its pictures in FILE's name + _files beside it\n"
    "  --csv FILE                 also write each row's likeness to its original as CSV\n"
    "  --no-likeness              do not compare replacements with their originals (no likeness hints)\n"
    "  -h, --help                 print this help and exit\n"
    "  --version                  print the version and exit\n";

struct Arguments {
  std::vector<std::string> folders;
  std::string html_path;  // empty: no page
  std::string csv_path;   // empty: no CSV
  bool likeness = true;
  bool help = false;
  bool version = false;
};

// --html and --csv take the next argument whatever it looks like; as the
// last argument either is a folder like any other word, as all words were
// before.
Arguments ParseArguments(const std::vector<std::string>& words) {
  Arguments args;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& arg = words[i];
    if (arg == "--html" && i + 1 < words.size()) {
      args.html_path = words[++i];
    } else if (arg == "--csv" && i + 1 < words.size()) {
      args.csv_path = words[++i];
    } else if (arg == "--no-likeness") {
      args.likeness = false;
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

// An output that was asked for: not writing it is a failure, said on
// stderr so that the report lines stay as they are.
bool WriteOutput(const std::string& path, const std::string& text) {
  std::string error;
  if (mivo::WriteWholeFile(mivo::PathFromUtf8(path), text, error)) return true;
  std::fprintf(stderr, "mivo_packcheck: cannot write %s: %s\n", path.c_str(), error.c_str());
  return false;
}

int Run(const Arguments& args) {
  const bool page = !args.html_path.empty();
  mivo::CheckOptions options;
  options.likeness = args.likeness;
  mivo::PictureFolder pictures;
  if (page) {
    pictures = mivo::PreparePictureFolder(mivo::PathFromUtf8(args.html_path));
    options.pictures = [&pictures](size_t row, const mivo::HostTextureData* original,
                                   const mivo::HostTextureData* replacement, const mivo::RgbaImage* shrunk,
                                   mivo::RowOutcome& outcome) {
      mivo::KeepRowPictures(pictures, row, original, replacement, shrunk, outcome);
    };
  }
  const mivo::CheckResult result =
      mivo::CheckPack(mivo::PathFromUtf8(args.folders[0]), mivo::PathFromUtf8(args.folders[1]), options);
  int status = result.manifests_read && result.errors == 0 ? 0 : 1;
  if (page) {
    if (!WriteOutput(args.html_path, mivo::BuildReportPage(result, args.folders[0], args.folders[1]))) {
      status = 1;
    } else if (pictures.failed && !result.rows.empty()) {
      const std::u8string where = pictures.failed_path.u8string();
      std::fprintf(stderr, "mivo_packcheck: cannot write %s: %s\n", std::string(where.begin(), where.end()).c_str(),
                   pictures.error.c_str());
      status = 1;
    }
  }
  if (!args.csv_path.empty() && !WriteOutput(args.csv_path, mivo::BuildLikenessCsv(result))) status = 1;
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
