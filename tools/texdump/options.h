// Command line of mivo_texdump and the gathering of dump paths from it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/dds_writer.h"

namespace mivo {

constexpr const char* kDumpToolUsage =
    "usage: mivo_texdump [--out DIR] [--csv FILE] [--no-images] [--pack-template DIR] [--pack-png] "
    "[--tail-check FILE [--tail-images DIR]] FILE_OR_DIR...\n";

struct DumpToolOptions {
  std::filesystem::path out_dir = ".";  // DDS and PNG images of the normal mode
  std::string csv_path;                 // empty: no CSV report
  bool write_images = true;
  std::filesystem::path pack_template_dir;  // empty: no pack template
  bool pack_png = false;
  // Header of the DDS images; template files take a legacy one only where the pack loader reads it.
  DdsHeaderKind dds_header = DdsHeaderKind::dx10;
  // Packs whose textures a re-dump leaves out; each --skip-pack adds one.
  std::vector<std::filesystem::path> skip_packs;
  // --min-size WxH: textures whose base level is narrower or lower get no files.
  uint32_t min_width = 0, min_height = 0;
  bool unique = false;                        // --unique: a texture seen earlier in the run gets no images of its own
  std::string tail_check_path;                // not empty: run the mip tail check instead
  std::filesystem::path tail_images_dir;      // empty: no contact sheets
  std::vector<std::filesystem::path> inputs;  // dump files or folders, in command-line order
  std::filesystem::path gallery_dir;          // empty: no gallery page
  int png_compression = 0;                    // zlib level 1 to 9; 0 writes stored PNGs
  bool show_help = false;                     // --help or -h: print the help, run nothing
  bool show_version = false;
  // Dumps processed at once (--jobs, 1 to 256); the parser sets the default,
  // the number of hardware threads. Outputs are the same for any value.
  uint32_t jobs = 0;
};

// The usage line, then one line per option.
std::string DumpToolHelp();

// The number of hardware threads, at least 1 and at most 256.
uint32_t DefaultJobs();

// Parses the arguments after the program name, given in the platform's narrow
// encoding; `utf8_args`, when given, holds the same arguments as UTF-8 for the
// folders read in UTF-8 (where the narrow encoding is not UTF-8: Windows).
// On a usage error returns false with the exact text to print ("unknown
// option ...\n", "invalid --jobs value ...\n", a bad --png-compress level,
// --dds-header kind or --min-size, or the usage line); the caller then exits with status 2. --help, -h and
// --version end the parse with true and their flag set.
bool ParseDumpToolArguments(const std::vector<std::string>& args, DumpToolOptions& options, std::string& usage_error,
                            const std::vector<std::string>* utf8_args = nullptr);

// The dump paths of one input: a folder gives its direct "*.bin" entries in
// path order; anything else (a missing path too) is one dump path as given.
// False with a one-line message naming the operation and the path when the
// input's status cannot be read or the folder cannot be listed.
bool GatherDumpPaths(const std::filesystem::path& input, std::vector<std::filesystem::path>& dumps, std::string& error);

}  // namespace mivo
