#include "texdump/options.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "common/platform_text.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

enum class OptionId { out, csv, no_images, pack_template, pack_png, skip_pack, tail_check, tail_images, jobs };

struct OptionRow {
  const char* name;
  OptionId id;
  bool takes_value;
};

constexpr OptionRow kOptions[] = {
    {"--out", OptionId::out, true},
    {"--csv", OptionId::csv, true},
    {"--no-images", OptionId::no_images, false},
    {"--pack-template", OptionId::pack_template, true},
    {"--pack-png", OptionId::pack_png, false},
    {"--skip-pack", OptionId::skip_pack, true},
    {"--tail-check", OptionId::tail_check, true},
    {"--tail-images", OptionId::tail_images, true},
    {"--jobs", OptionId::jobs, true},
};

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

// Folder arguments other than --out are UTF-8 whatever the platform's narrow encoding is.
fs::path PathFromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

// `value` in the platform's narrow encoding, `utf8` the same argument as UTF-8.
void Apply(const OptionRow& option, const std::string& value, const std::string& utf8, DumpToolOptions& options) {
  switch (option.id) {
    case OptionId::out: options.out_dir = PathFromNarrow(value); break;
    case OptionId::csv: options.csv_path = value; break;
    case OptionId::no_images: options.write_images = false; break;
    case OptionId::pack_template: options.pack_template_dir = PathFromUtf8(utf8); break;
    case OptionId::pack_png: options.pack_png = true; break;
    case OptionId::skip_pack: options.skip_packs.push_back(PathFromUtf8(utf8)); break;
    case OptionId::tail_check: options.tail_check_path = value; break;
    case OptionId::tail_images: options.tail_images_dir = PathFromUtf8(utf8); break;
    case OptionId::jobs: options.jobs = ParseJobs(value); break;
  }
}

// Not-found conditions make an input a plain dump path, which then fails to read.
bool IsNotFound(const fs::file_status& status, const std::error_code& ec) {
  return status.type() == fs::file_type::not_found || ec == std::errc::no_such_file_or_directory ||
         ec == std::errc::not_a_directory || ec == std::errc::filename_too_long ||
         ec == std::errc::invalid_argument;
}

}  // namespace

uint32_t DefaultJobs() {
  return std::clamp<uint32_t>(std::thread::hardware_concurrency(), 1, kMaxJobs);
}

bool ParseDumpToolArguments(const std::vector<std::string>& args, DumpToolOptions& options,
                            std::string& usage_error, const std::vector<std::string>* utf8_args) {
  if (utf8_args == nullptr || utf8_args->size() != args.size()) utf8_args = &args;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const OptionRow* option = FindOption(arg);
    // An option whose value is missing is not recognised as that option.
    if (option && option->takes_value && i + 1 == args.size()) option = nullptr;
    if (option) {
      if (option->takes_value) ++i;
      Apply(*option, option->takes_value ? args[i] : std::string(), option->takes_value ? (*utf8_args)[i] : std::string(),
            options);
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
