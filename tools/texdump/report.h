// The dump tool's console lines and CSV reports.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "texdump/tail_check.h"

namespace mivo {

// Everything the description line and the CSV row show for one readable dump.
struct DumpReport {
  std::string name;           // stem of the dump path
  FetchConstant fetch;        // staged; only non-address fields are shown
  uint32_t base_address = 0;  // as read from the dump
  uint32_t mip_address = 0;
  GuestTextureInfo info;  // what the reader filled, also after a failure
  bool ok = false;
  std::string error;                 // the reader's message when !ok
  bool shorter_than_layout = false;  // the layout needs bytes the dump lacks
  bool version1_shifted = false;
  uint64_t host_hash = 0;
  uint64_t content_key = 0;
  std::string pack_key;  // empty when content_key is 0
};

constexpr const char* kCsvHeader =
    "name,base,mip,format,endian,tiling,dim,width,height,depth_or_layers,min_level,levels,packed,signs,swizzle,"
    "host_format,conversion,view,flags,decompressed,ok,host_hash,error,base_xxh3,pack_key\n";
constexpr const char* kShortDumpNote = " (dump shorter than the layout: zeros)";
constexpr const char* kVersion1Note = " (version 1 dump: moved up a page, last page zero)";

// "%s: %s\n": a dump file that could not be read.
std::string UnreadableDumpLine(const std::string& path, const std::string& error);

// The console line for a readable dump, newline included.
std::string DescriptionLine(const DumpReport& report);

// The 25-column CSV row, newline included.
std::string CsvRow(const DumpReport& report);

// Writes `text` as is; for console lines and CSV rows.
void WriteText(std::FILE* stream, const std::string& text);

// Tail-check mode.

constexpr const char* kTailCsvHeader =
    "name,format,width,height,levels,distinct,box_mae_per_level,flat_mae_per_level,worst_box_mae,best_flat_mae\n";

// One value per level after the first, "%.2f" each, separated by single spaces.
std::string MaeList(const std::vector<double>& values);

// The 10-column row of a tail candidate that was read; `width` and `height`
// are the texture's, the rest comes from the analysis.
std::string TailCsvRow(const std::string& name, const char* format_name, uint32_t width, uint32_t height,
                       const MipTailResult& result);

// The row of a tail candidate whose texture could not be read: seven empty
// fields keep it at ten columns.
std::string TailFailureRow(const std::string& name, const char* format_name, const std::string& error);

// "%d textures, %d with their mips in the base's tail (%zu distinct), %d failed\n".
std::string TailSummaryLine(int32_t textures, int32_t in_tail, size_t distinct, int32_t failed);

}  // namespace mivo
