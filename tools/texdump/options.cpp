#include "texdump/options.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "common/platform_text.h"
#include "common/png_deflate.h"
#include "pack/open_file.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

enum class OptionId {
  out,
  csv,
  no_images,
  pack_template,
  pack_png,
  dds_header,
  skip_pack,
  min_size,
  unique,
  tail_check,
  tail_images,
  jobs,
  gallery,
  png_compress,
  help,
  version
};

struct OptionRow {
  const char* name;
  OptionId id;
  bool takes_value;
  const char* help;  // the option and its value as --help shows them, then what it does
};

constexpr OptionRow kOptions[] = {
    {"--out", OptionId::out, true, "--out DIR            folder for each dump's DDS and PNG (default: .)"},
    {"--csv", OptionId::csv, true, "--csv FILE           write the CSV report, one row per dump"},
    {"--no-images", OptionId::no_images, false, "--no-images          write no DDS and no PNG"},
    {"--pack-template", OptionId::pack_template, true,
     "--pack-template DIR  write a replacement-pack template: files named by key, and pack.txt"},
    {"--pack-png", OptionId::pack_png, false, "--pack-png           template replacement files as PNG, not DDS"},
    {"--dds-header", OptionId::dds_header, true,
     "--dds-header KIND    DDS header: dx10 (default) or legacy, which more viewers open"},
    {"--skip-pack", OptionId::skip_pack, true,
     "--skip-pack DIR      leave out textures the pack in DIR already replaces (repeatable)"},
    {"--min-size", OptionId::min_size, true,
     "--min-size WxH       no images or template file for textures under W by H texels"},
    {"--unique", OptionId::unique, false,
     "--unique             images only for the first dump of each texture; copies get lines only"},
    {"--tail-check", OptionId::tail_check, true,
     "--tail-check FILE    instead, check mips packed in the base level's tail; CSV to FILE"},
    {"--tail-images", OptionId::tail_images, true, "--tail-images DIR    with --tail-check, contact sheets into DIR"},
    {"--jobs", OptionId::jobs, true,
     "--jobs N             dumps processed at once, 1 to 256 (default: the processor count)"},
    {"--gallery", OptionId::gallery, true,
     "--gallery DIR        a page of every dump with its thumbnail: DIR/index.html"},
    {"--png-compress", OptionId::png_compress, true,
     "--png-compress N     compress PNG files with zlib level N, 1 to 9 (default: stored)"},
    {"--help", OptionId::help, false, "-h, --help           print this help and exit"},
    {"-h", OptionId::help, false, nullptr},
    {"--version", OptionId::version, false, "--version            print the version and exit"},
};

// One digit in zlib's range only: a level outside it is a usage error, not a guess.
bool ParseCompression(const std::string& value, int& level) {
  if (value.size() != 1 || value[0] < '0' + kMinPngCompression || value[0] > '0' + kMaxPngCompression) return false;
  level = value[0] - '0';
  return true;
}

// "legacy" or "dx10" only.
bool ParseDdsHeaderKind(const std::string& value, DdsHeaderKind& kind) {
  if (value != "legacy" && value != "dx10") return false;
  kind = value == "legacy" ? DdsHeaderKind::legacy : DdsHeaderKind::dx10;
  return true;
}

// "WxH", each a whole number from 1 to 99999 in decimal digits.
bool ParseMinSize(const std::string& text, DumpToolOptions& options) {
  const size_t x = text.find('x');
  const auto number = [](const std::string& part, uint32_t& value) {
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos) return false;
    value = uint32_t(std::stoul(part));
    return value != 0;
  };
  return x != std::string::npos && number(text.substr(0, x), options.min_width) &&
         number(text.substr(x + 1), options.min_height);
}

constexpr uint32_t kMaxJobs = 256;

// A whole number from 1 to kMaxJobs, in decimal digits only; 0 otherwise.
uint32_t ParseJobs(const std::string& text) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (text.empty() || text.size() > 3 || !std::all_of(text.begin(), text.end(), digit)) return 0;
  const uint32_t value = uint32_t(std::stoul(text));
  return value <= kMaxJobs ? value : 0;
}

const OptionRow* FindOption(const std::string& arg) {
  for (const OptionRow& row : kOptions) {
    if (arg == row.name) return &row;
  }
  return nullptr;
}

// `value` in the platform's narrow encoding, `utf8` the same argument as UTF-8.
void Apply(const OptionRow& option, const std::string& value, const std::string& utf8, DumpToolOptions& options) {
  switch (option.id) {
    case OptionId::out: options.out_dir = PathFromNarrow(value); break;
    case OptionId::csv: options.csv_path = value; break;
    case OptionId::no_images: options.write_images = false; break;
    case OptionId::pack_template: options.pack_template_dir = PathFromUtf8(utf8); break;
    case OptionId::pack_png: options.pack_png = true; break;
    case OptionId::dds_header: break;  // checked by the parser
    case OptionId::skip_pack: options.skip_packs.push_back(PathFromUtf8(utf8)); break;
    case OptionId::min_size: break;  // checked by the parser
    case OptionId::unique: options.unique = true; break;
    case OptionId::tail_check: options.tail_check_path = value; break;
    case OptionId::tail_images: options.tail_images_dir = PathFromUtf8(utf8); break;
    case OptionId::gallery: options.gallery_dir = PathFromUtf8(utf8); break;
    case OptionId::png_compress: break;  // checked by the parser
    case OptionId::help: options.show_help = true; break;
    case OptionId::version: options.show_version = true; break;
    case OptionId::jobs: options.jobs = ParseJobs(value); break;
  }
}

// Not-found conditions make an input a plain dump path, which then fails to read.
bool IsNotFound(const fs::file_status& status, const std::error_code& ec) {
  return status.type() == fs::file_type::not_found || ec == std::errc::no_such_file_or_directory ||
         ec == std::errc::not_a_directory || ec == std::errc::filename_too_long || ec == std::errc::invalid_argument;
}

}  // namespace

std::string DumpToolHelp() {
  std::string help = kDumpToolUsage;
  for (const OptionRow& row : kOptions) {
    if (row.help != nullptr) help += std::string("  ") + row.help + "\n";
  }
  help += "  FILE_OR_DIR          dump files, or folders whose *.bin files are read in name order\n";
  return help;
}

uint32_t DefaultJobs() { return std::clamp<uint32_t>(std::thread::hardware_concurrency(), 1, kMaxJobs); }

bool ParseDumpToolArguments(const std::vector<std::string>& args, DumpToolOptions& options, std::string& usage_error,
                            const std::vector<std::string>* utf8_args) {
  if (utf8_args == nullptr || utf8_args->size() != args.size()) utf8_args = &args;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const OptionRow* option = FindOption(arg);
    // An option whose value is missing is not recognised as that option.
    if (option && option->takes_value && i + 1 == args.size()) option = nullptr;
    if (option && option->id == OptionId::png_compress && !ParseCompression(args[i + 1], options.png_compression)) {
      usage_error = "--png-compress takes a level from 1 to 9, not " + args[i + 1] + "\n";
      return false;
    }
    if (option && option->id == OptionId::dds_header && !ParseDdsHeaderKind(args[i + 1], options.dds_header)) {
      usage_error = "--dds-header takes legacy or dx10, not " + args[i + 1] + "\n";
      return false;
    }
    if (option && option->id == OptionId::min_size && !ParseMinSize(args[i + 1], options)) {
      usage_error = "invalid --min-size value " + args[i + 1] + "\n";
      return false;
    }
    if (option) {
      if (option->takes_value) ++i;
      Apply(*option, option->takes_value ? args[i] : std::string(),
            option->takes_value ? (*utf8_args)[i] : std::string(), options);
      if (options.show_help || options.show_version) return true;
      if (option->id == OptionId::jobs && options.jobs == 0) {
        usage_error = "invalid --jobs value " + args[i] + "\n";
        return false;
      }
    } else if (arg.size() >= 2 && arg.compare(0, 2, "--") == 0) {
      usage_error = "unknown option " + arg + "\n";
      return false;
    } else {
      options.inputs.push_back(PathFromNarrow(arg));
    }
  }
  if (options.inputs.empty()) {
    usage_error = kDumpToolUsage;
    return false;
  }
  if (options.jobs == 0) options.jobs = DefaultJobs();
  return true;
}

bool GatherDumpPaths(const fs::path& input, std::vector<fs::path>& dumps, std::string& error) {
  dumps.clear();
  std::error_code ec;
  const fs::file_status status = fs::status(input, ec);
  if (ec && !IsNotFound(status, ec)) {
    error = "cannot read the status of " + NarrowFromPath(input) + ": " + ec.message();
    return false;
  }
  if (!fs::is_directory(status)) {
    dumps.push_back(input);
    return true;
  }

  fs::directory_iterator it(input, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const fs::path& entry = it->path();
    if (entry.extension() == ".bin") dumps.push_back(entry);
  }
  if (ec) {
    dumps.clear();
    error = "cannot list the folder " + NarrowFromPath(input) + ": " + ec.message();
    return false;
  }
  std::sort(dumps.begin(), dumps.end());
  return true;
}

}  // namespace mivo
