#include "packbuild/build_state.h"

#include <charconv>
#include <cstdio>
#include <set>

#include <xxhash.h>

#include "pack/manifest.h"
#include "pack/mip_chain.h"
#include "pack/replacement.h"
#include "pack/whole_file.h"

namespace mivo {
namespace {

constexpr std::string_view kHeader = "MVPB 1";
constexpr size_t kFields = 13;
constexpr int32_t kMaxCentiDb = 99999;

// The formats a build writes, the only ones a record may name.
constexpr HostFormat kOutputFormats[] = {
    HostFormat::R8_UNORM,  HostFormat::RG8_UNORM, HostFormat::RG8_SNORM, HostFormat::RGBA8_UNORM, HostFormat::BC1_UNORM,
    HostFormat::BC3_UNORM, HostFormat::BC5_UNORM, HostFormat::BC5_SNORM, HostFormat::BC7_UNORM,
};

constexpr const char* kKindNames[] = {"built", "copied"};
constexpr const char* kMeasureNames[] = {"rgba", "r", "rg"};

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

std::string Hex64(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
  return text;
}

bool ParseHex64(std::string_view text, uint64_t& value) {
  if (text.size() != 16) return false;
  value = 0;
  for (char c : text) {
    if (!IsUpperHex(c)) return false;
    value = value << 4 | uint64_t(c <= '9' ? c - '0' : c - 'A' + 10);
  }
  return true;
}

// Decimal digits only, no sign, no leading zero, at most `max`.
bool ParseDecimal(std::string_view text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value <= max;
}

bool ParseCentiDb(std::string_view text, int32_t& value) {
  if (text == "inf" || text == "-") {
    value = text == "inf" ? kExactDb : kNotMeasured;
    return true;
  }
  uint64_t parsed = 0;
  if (!ParseDecimal(text, kMaxCentiDb, parsed)) return false;
  value = int32_t(parsed);
  return true;
}

std::string CentiDbField(int32_t value) { return value >= 0 ? std::to_string(value) : DecibelText(value); }

template <size_t N>
bool FindName(std::string_view text, const char* const (&names)[N], size_t& index) {
  for (index = 0; index < N; ++index) {
    if (text == names[index]) return true;
  }
  return false;
}

bool ParseFormat(std::string_view text, HostFormat& format) {
  for (HostFormat f : kOutputFormats) {
    if (text == HostFormatName(f)) {
      format = f;
      return true;
    }
  }
  return false;
}

// Single spaces between fields, exactly kFields of them.
bool SplitFields(std::string_view line, std::string_view (&fields)[kFields]) {
  size_t count = 0;
  size_t start = 0;
  for (;;) {
    const size_t space = line.find(' ', start);
    if (count == kFields) return false;
    fields[count++] = line.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start);
    if (space == std::string_view::npos) break;
    start = space + 1;
  }
  return count == kFields;
}

bool ParseRecord(std::string_view line, StateRecord& record) {
  std::string_view f[kFields];
  if (!SplitFields(line, f)) return false;
  size_t kind = 0, measure = 0;
  uint64_t width = 0, height = 0, levels = 0, bytes = 0, odd = 0;
  OutputSummary& s = record.summary;
  if (!ParseHex64(f[0], record.recipe) || !IsOutputFileName(f[1]) || !ParseHex64(f[2], record.file_digest) ||
      !FindName(f[3], kKindNames, kind) || !ParseFormat(f[4], s.format) ||
      !ParseDecimal(f[5], kMaxReplacementSide, width) || width == 0 ||
      !ParseDecimal(f[6], kMaxReplacementSide, height) || height == 0 || !ParseDecimal(f[7], 14, levels) ||
      !ParseDecimal(f[8], kMaxWholeFileBytes, bytes) || !FindName(f[9], kMeasureNames, measure) ||
      !ParseCentiDb(f[10], s.fidelity.centi_db[0]) || !ParseCentiDb(f[11], s.fidelity.centi_db[1]) ||
      !ParseDecimal(f[12], 1, odd)) {
    return false;
  }
  record.file = std::string(f[1]);
  record.kind = OutputKind(kind);
  s.width = uint32_t(width);
  s.height = uint32_t(height);
  s.levels = uint32_t(levels);
  s.file_bytes = bytes;
  s.fidelity.kind = MeasureKind(measure);
  s.uncompressed_for_size = odd != 0;
  return s.levels == CompleteChainCount(s.width, s.height);
}

}  // namespace

uint64_t BuildRecipe(std::string_view version, std::string_view settings, std::string_view row,
                     uint64_t source_digest) {
  std::string text;
  text.append(version).append("\n").append(settings).append("\n").append(row).append("\n");
  text.append(Hex64(source_digest));
  return XXH3_64bits(text.data(), text.size());
}

bool IsOutputFileName(std::string_view name) {
  if (name.size() != 42 || name.substr(16, 2) != "__" || name.substr(38) != ".dds") return false;
  for (char c : name.substr(0, 16)) {
    if (!IsUpperHex(c)) return false;
  }
  return IsManifestBfName(name.substr(18, 20));
}

std::string FormatBuildState(const std::vector<StateRecord>& records) {
  std::string text(kHeader);
  text += '\n';
  for (const StateRecord& r : records) {
    const OutputSummary& s = r.summary;
    text += Hex64(r.recipe) + " " + r.file + " " + Hex64(r.file_digest) + " " + kKindNames[size_t(r.kind)] + " " +
            HostFormatName(s.format) + " " + std::to_string(s.width) + " " + std::to_string(s.height) + " " +
            std::to_string(s.levels) + " " + std::to_string(s.file_bytes) + " " +
            kMeasureNames[size_t(s.fidelity.kind)] + " " + CentiDbField(s.fidelity.centi_db[0]) + " " +
            CentiDbField(s.fidelity.centi_db[1]) + " " + (s.uncompressed_for_size ? "1" : "0") + "\n";
  }
  return text;
}

bool ParseBuildState(std::string_view text, std::vector<StateRecord>& records) {
  records.clear();
  if (text.size() > kMaxBuildStateBytes || text.empty() || text.back() != '\n') return false;
  text.remove_suffix(1);
  std::set<std::string, std::less<>> files;
  size_t start = 0;
  bool header = true;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (header) {
      header = false;
      if (line != kHeader) return false;
      continue;
    }
    StateRecord record;
    if (records.size() == kMaxBuildStateRecords || !ParseRecord(line, record) || !files.insert(record.file).second) {
      records.clear();
      return false;
    }
    records.push_back(std::move(record));
  }
  return true;
}

}  // namespace mivo
