// The dump tool's console lines and CSV report for the normal mode.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "guest/formats.h"

namespace mivo {

// Everything the description line and the CSV row show for one readable dump.
struct DumpReport {
  std::string name;            // stem of the dump path
  FetchConstant fetch;         // staged; only non-address fields are shown
  uint32_t base_address = 0;   // as read from the dump
  uint32_t mip_address = 0;
  GuestTextureInfo info;       // what the reader filled, also after a failure
  bool ok = false;
  std::string error;           // the reader's message when !ok
  bool shorter_than_layout = false;  // the layout needs bytes the dump lacks
  bool version1_shifted = false;
  uint64_t host_hash = 0;
  uint64_t content_key = 0;
  std::string pack_key;        // empty when content_key is 0
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

// "%d textures, %d failed\n".
std::string SummaryLine(int32_t textures, int32_t failed);

// Writes `text` as is; for console lines and CSV rows.
void WriteText(std::FILE* stream, const std::string& text);

}  // namespace mivo
