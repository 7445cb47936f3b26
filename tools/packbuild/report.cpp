#include "packbuild/report.h"

#include <cstdio>

namespace mivo {
namespace {

constexpr const char* kVerbNames[] = {"BUILT", "COPIED", "UNCHANGED", "FAILED"};

}  // namespace

std::string RowLine(RowVerb verb, const std::string& file, const OutputSummary& s) {
  char head[96];
  std::snprintf(head, sizeof head, ": %s %ux%u, %u levels, PSNR ", HostFormatName(s.format), s.width, s.height,
                s.levels);
  return std::string(kVerbNames[size_t(verb)]) + " " + file + head + FidelityText(s.fidelity) +
         (s.uncompressed_for_size ? ", uncompressed: sides not multiples of 4" : "") + "\n";
}

std::string FailedLine(const std::string& file, const std::string& message) {
  return "FAILED " + file + ": " + message + "\n";
}

std::string CsvRow(RowVerb verb, const std::string& file, const std::string& output_file, const OutputSummary& s) {
  const Fidelity& f = s.fidelity;
  std::string figures;
  switch (f.kind) {
    case MeasureKind::rgb_alpha: figures = DecibelText(f.centi_db[0]) + "," + DecibelText(f.centi_db[1]) + ",,"; break;
    case MeasureKind::r: figures = ",," + DecibelText(f.centi_db[0]) + ","; break;
    case MeasureKind::rg: figures = ",," + DecibelText(f.centi_db[0]) + "," + DecibelText(f.centi_db[1]); break;
  }
  return std::string(kVerbNames[size_t(verb)]) + "," + file + "," + output_file + "," + HostFormatName(s.format) + "," +
         std::to_string(s.width) + "," + std::to_string(s.height) + "," + std::to_string(s.levels) + "," +
         std::to_string(s.file_bytes) + "," + figures + "," +
         (s.uncompressed_for_size ? "uncompressed: sides not multiples of 4" : "") + "\n";
}

std::string FailedCsvRow(const std::string& file, const std::string& message) {
  return "FAILED," + file + ",,,,,,,,,,," + message + "\n";
}

std::string MegabyteText(uint64_t bytes) {
  const uint64_t hundredths = (bytes + 5000) / 10000;
  char text[48];
  std::snprintf(text, sizeof text, "%llu.%02llu MB", static_cast<unsigned long long>(hundredths / 100),
                static_cast<unsigned long long>(hundredths % 100));
  return text;
}

std::string SummaryLines(const PackBuildTotals& t) {
  char text[256];
  std::string lines;
  if (t.uncompressed_for_size != 0) {
    std::snprintf(text, sizeof text, "%zu rows uncompressed: sides not multiples of 4\n", t.uncompressed_for_size);
    lines += text;
  }
  std::snprintf(text, sizeof text, "%zu rows: %zu built, %zu copied, %zu unchanged, %zu failed; ", t.rows, t.built,
                t.copied, t.unchanged, t.failed);
  return lines + text + MegabyteText(t.source_bytes) + " -> " + MegabyteText(t.out_bytes) + "\n";
}

}  // namespace mivo
