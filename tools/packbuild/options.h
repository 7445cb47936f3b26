// Command line of mivo_packbuild.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mivo/encode.h"

namespace mivo {

constexpr const char* kPackBuildUsage =
    "usage: mivo_packbuild [--quality fast|normal|slow] [--format bc7|bc3|bc1|rgba8] [--reencode] [--jobs N] "
    "[--csv FILE] SOURCE_PACK OUT_PACK\n";

// The colour format asked for with --format; automatic lets each row's
// original decide.
enum class RequestedFormat : uint8_t { automatic, bc7, bc3, bc1, rgba8 };

struct PackBuildOptions {
  std::filesystem::path source_dir;
  std::filesystem::path out_dir;
  std::filesystem::path csv_path;  // empty: no CSV
  EncodeQuality quality = EncodeQuality::normal;
  RequestedFormat format = RequestedFormat::automatic;
  bool reencode = false;  // block-compressed sources with their chains are encoded again, not copied
  uint32_t jobs = 0;      // threads encoding a level, caller included; the parser sets the default
  // Test hook, not in --help: the run ends as if killed just before writing
  // the output of this row (1-based). 0: never.
  uint32_t stop_before_row = 0;
  bool show_help = false;
  bool show_version = false;
};

// The usage line, then one line per option.
std::string PackBuildHelp();

// Parses the arguments after the program name, as UTF-8. On a usage error
// returns false with the exact text to print ("unknown option ...\n", an
// invalid value, or the usage line); the caller exits with status 2.
bool ParsePackBuildArguments(const std::vector<std::string>& args, PackBuildOptions& options, std::string& usage_error);

// The two folders must be different and neither inside the other, compared
// by file identity (links and letter case do not hide a match). False with
// the usage error text otherwise.
bool CheckPacksApart(const std::filesystem::path& source_dir, const std::filesystem::path& out_dir,
                     std::string& usage_error);

const char* QualityName(EncodeQuality quality);
const char* RequestedFormatName(RequestedFormat format);

}  // namespace mivo
