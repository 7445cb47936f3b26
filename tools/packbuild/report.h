// What mivo_packbuild prints: one line per row, the CSV table of the same,
// the summary.
#pragma once

#include <cstdint>
#include <string>

#include "packbuild/build_state.h"

namespace mivo {

enum class RowVerb : uint8_t { built, copied, unchanged, failed };

constexpr const char* kPackBuildCsvHeader =
    "status,file,output_file,format,width,height,levels,bytes,psnr_rgb,psnr_a,psnr_r,psnr_g,message\n";

struct PackBuildTotals {
  size_t rows = 0;
  size_t built = 0;
  size_t copied = 0;
  size_t unchanged = 0;
  size_t failed = 0;
  size_t uncompressed_for_size = 0;
  uint64_t source_bytes = 0;  // the source files of every row that could be read
  uint64_t out_bytes = 0;     // the output files of the built pack
};

// "BUILT FILE: BC7_UNORM 256x256, 9 levels, PSNR RGB 41.23 dB, A exact\n".
std::string RowLine(RowVerb verb, const std::string& file, const OutputSummary& summary);
// "FAILED FILE: MESSAGE\n".
std::string FailedLine(const std::string& file, const std::string& message);

std::string CsvRow(RowVerb verb, const std::string& file, const std::string& output_file, const OutputSummary& summary);
std::string FailedCsvRow(const std::string& file, const std::string& message);

// "N rows: B built, C copied, U unchanged, F failed; 12.34 MB -> 3.21 MB\n",
// preceded by a line counting the rows kept uncompressed for their size
// when there are any.
std::string SummaryLines(const PackBuildTotals& totals);

// Bytes in megabytes (10^6) with two decimals, rounded to nearest.
std::string MegabyteText(uint64_t bytes);

}  // namespace mivo
