#include "packbuild/options.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "pack/open_file.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

enum class OptionId { quality, format, reencode, jobs, csv, stop_before_row, help, version };

struct OptionRow {
  const char* name;
  OptionId id;
  bool takes_value;
  const char* help;  // as --help shows it; null: not shown
};

constexpr OptionRow kOptions[] = {
    {"--quality", OptionId::quality, true, "--quality Q        encoder effort: fast, normal (default) or slow"},
    {"--format", OptionId::format, true,
     "--format F         colour rows in bc7, bc3, bc1 or rgba8 instead of the format their original suggests"},
    {"--reencode", OptionId::reencode, false,
     "--reencode         encode block-compressed sources with their mips again instead of copying them"},
    {"--jobs", OptionId::jobs, true,
     "--jobs N           threads encoding, 1 to 256 (default: the processor count); output is the same for any N"},
    {"--csv", OptionId::csv, true, "--csv FILE         also write one CSV row per pack row"},
    {"--stop-before-row", OptionId::stop_before_row, true, nullptr},
    {"--help", OptionId::help, false, "-h, --help         print this help and exit"},
    {"-h", OptionId::help, false, nullptr},
    {"--version", OptionId::version, false, "--version          print the version and exit"},
};

constexpr uint32_t kMaxJobs = 256;

const OptionRow* FindOption(const std::string& arg) {
  for (const OptionRow& row : kOptions) {
    if (arg == row.name) return &row;
  }
  return nullptr;
}

// Decimal digits only, 1 to `max`; 0 otherwise.
uint32_t ParseCount(const std::string& text, uint32_t max) {
  if (text.empty() || text.size() > 6 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  const uint32_t value = uint32_t(std::stoul(text));
  return value <= max ? value : 0;
}

bool ParseQuality(const std::string& text, EncodeQuality& quality) {
  for (EncodeQuality q : {EncodeQuality::fast, EncodeQuality::normal, EncodeQuality::slow}) {
    if (text == QualityName(q)) {
      quality = q;
      return true;
    }
  }
  return false;
}

bool ParseFormat(const std::string& text, RequestedFormat& format) {
  for (RequestedFormat f : {RequestedFormat::bc7, RequestedFormat::bc3, RequestedFormat::bc1, RequestedFormat::rgba8}) {
    if (text == RequestedFormatName(f)) {
      format = f;
      return true;
    }
  }
  return false;
}

// False when the value does not suit the option.
bool Apply(OptionId id, const std::string& value, PackBuildOptions& options) {
  switch (id) {
    case OptionId::quality: return ParseQuality(value, options.quality);
    case OptionId::format: return ParseFormat(value, options.format);
    case OptionId::reencode: options.reencode = true; return true;
    case OptionId::jobs: options.jobs = ParseCount(value, kMaxJobs); return options.jobs != 0;
    case OptionId::csv: options.csv_path = PathFromUtf8(value); return !value.empty();
    case OptionId::stop_before_row:
      options.stop_before_row = ParseCount(value, 1000000);
      return options.stop_before_row != 0;
    case OptionId::help: options.show_help = true; return true;
    case OptionId::version: options.show_version = true; return true;
  }
  return false;
}

// The folder itself when it exists, else its nearest existing ancestor's
// chain: every existing folder on the way up from `path`, innermost first.
std::vector<fs::path> ExistingChain(const fs::path& path) {
  std::error_code ec;
  fs::path current = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) current = fs::absolute(path, ec).lexically_normal();
  std::vector<fs::path> chain;
  for (;;) {
    if (fs::exists(current, ec)) chain.push_back(current);
    const fs::path parent = current.parent_path();
    if (parent == current || parent.empty()) break;
    current = parent;
  }
  return chain;
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

const char* QualityName(EncodeQuality quality) {
  switch (quality) {
    case EncodeQuality::fast: return "fast";
    case EncodeQuality::normal: return "normal";
    case EncodeQuality::slow: return "slow";
  }
  return "normal";
}

const char* RequestedFormatName(RequestedFormat format) {
  switch (format) {
    case RequestedFormat::automatic: return "auto";
    case RequestedFormat::bc7: return "bc7";
    case RequestedFormat::bc3: return "bc3";
    case RequestedFormat::bc1: return "bc1";
    case RequestedFormat::rgba8: return "rgba8";
  }
  return "auto";
}

std::string PackBuildHelp() {
  std::string help = kPackBuildUsage;
  for (const OptionRow& row : kOptions) {
    if (row.help != nullptr) help += std::string("  ") + row.help + "\n";
  }
  help += "  SOURCE_PACK        the pack as edited: pack.txt and its PNG or DDS files\n";
  help += "  OUT_PACK           the built pack, created or brought up to date; a folder of its own\n";
  return help;
}

bool ParsePackBuildArguments(const std::vector<std::string>& args, PackBuildOptions& options,
                             std::string& usage_error) {
  std::vector<std::string> folders;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const OptionRow* option = FindOption(arg);
    // An option whose value is missing is not recognised as that option.
    if (option != nullptr && option->takes_value && i + 1 == args.size()) option = nullptr;
    if (option != nullptr) {
      const std::string value = option->takes_value ? args[++i] : std::string();
      if (!Apply(option->id, value, options)) {
        usage_error = "invalid " + arg + " value " + value + "\n";
        return false;
      }
      if (options.show_help || options.show_version) return true;
    } else if (arg.size() >= 2 && arg.compare(0, 2, "--") == 0) {
      usage_error = "unknown option " + arg + "\n";
      return false;
    } else {
      folders.push_back(arg);
    }
  }
  if (folders.size() != 2) {
    usage_error = kPackBuildUsage;
    return false;
  }
  options.source_dir = PathFromUtf8(folders[0]);
  options.out_dir = PathFromUtf8(folders[1]);
  if (options.jobs == 0) options.jobs = std::clamp<uint32_t>(std::thread::hardware_concurrency(), 1, kMaxJobs);
  return true;
}

bool CheckPacksApart(const fs::path& source_dir, const fs::path& out_dir, std::string& usage_error) {
  std::error_code ec;
  const bool source_exists = fs::exists(source_dir, ec);
  const bool out_exists = fs::exists(out_dir, ec);
  const std::vector<fs::path> out_chain = ExistingChain(out_dir);
  const std::vector<fs::path> source_chain = ExistingChain(source_dir);
  const auto same_as = [](const fs::path& folder) {
    return [&folder](const fs::path& p) { return SameFile(p, folder); };
  };
  const bool out_inside_source = source_exists && std::any_of(out_chain.begin(), out_chain.end(), same_as(source_dir));
  const bool source_inside_out = out_exists && std::any_of(source_chain.begin(), source_chain.end(), same_as(out_dir));
  if (out_inside_source || source_inside_out) {
    usage_error = "SOURCE_PACK and OUT_PACK must be different folders, neither inside the other\n";
    return false;
  }
  return true;
}

}  // namespace mivo
