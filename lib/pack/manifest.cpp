#include "pack/manifest.h"

#include "guest/error_text.h"
#include "pack/content_key.h"
#include "pack/open_file.h"
#include "pack/replacement.h"
#include "pack/whole_file.h"

#include <cstdio>
#include <fstream>
#include <unordered_set>

namespace mivo {
namespace {

constexpr std::string_view kHeader = "MVTP 1";
constexpr std::string_view kHeaderCr = "MVTP 1\r";
constexpr std::string_view kHeaderAndComment =
    "MVTP 1\n# hash bf_name original_host_format original_width original_height replacement_file\n";

constexpr ErrorCode kMissingOrOversized = ErrorCode::manifest_missing;
constexpr ErrorCode kUnsupportedVersion = ErrorCode::manifest_version;
constexpr ErrorCode kInvalidRow = ErrorCode::manifest_row;
constexpr ErrorCode kMismatch = ErrorCode::manifest_mismatch;
constexpr ErrorCode kDuplicateContent = ErrorCode::manifest_duplicate_content;

constexpr size_t kRowFields = 6;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool IsHexRun(std::string_view text) {
  for (char c : text) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}

bool IsFieldSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Splits a row into at most max_words + 1 words, so that one word too many is
// noticed without splitting the rest of a long line.
std::vector<std::string_view> SplitWords(std::string_view line, size_t max_words) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (words.size() <= max_words) {
    while (i < line.size() && IsFieldSpace(line[i])) ++i;
    if (i == line.size()) break;
    size_t start = i;
    while (i < line.size() && !IsFieldSpace(line[i])) ++i;
    words.push_back(line.substr(start, i - start));
  }
  return words;
}

// Digits only, at most 32 bits.
bool ParseUint32(std::string_view text, uint32_t& value) {
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + uint64_t(c - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  value = uint32_t(v);
  return true;
}

uint64_t ParseHex64(std::string_view text) {
  uint64_t v = 0;
  for (char c : text) {
    uint32_t digit = c <= '9' ? uint32_t(c - '0') : uint32_t((c | 0x20) - 'a' + 10);
    v = (v << 4) | digit;
  }
  return v;
}

// Pack formats by exact name among codes 1 to 36; UNKNOWN when none matches.
HostFormat PackFormatByName(std::string_view name) {
  for (uint32_t code = 1; code < kHostFormatCount; ++code) {
    if (name == HostFormatName(code)) {
      return HostFormatRow(code).pack_format ? HostFormat(code) : HostFormat::UNKNOWN;
    }
  }
  return HostFormat::UNKNOWN;
}

bool IsSizeInRange(uint32_t side) { return side >= 1 && side <= kMaxReplacementSide; }

struct RowCheck {
  ErrorCode error = ErrorCode::ok;  // ok: accepted
  const char* field = "";           // the field that failed
  ManifestEntry entry;
};

RowCheck Refuse(RowCheck check, ErrorCode error, const char* field) {
  check.error = error;
  check.field = field;
  return check;
}

// Steps that need no memory of earlier rows, in the order their messages rank.
RowCheck CheckRowFields(std::string_view line, size_t accepted) {
  RowCheck check;
  std::vector<std::string_view> words = SplitWords(line, kRowFields);
  if (words.size() != kRowFields) return Refuse(check, kInvalidRow, "field count");
  ManifestEntry& e = check.entry;
  if (!ParseUint32(words[3], e.original_width)) return Refuse(check, kInvalidRow, "original_width");
  if (!ParseUint32(words[4], e.original_height)) return Refuse(check, kInvalidRow, "original_height");
  std::string_view hash = words[0];
  if (hash.size() != 16 || !IsHexRun(hash)) return Refuse(check, kInvalidRow, "hash");
  e.hash = ParseHex64(hash);
  if (e.hash == 0) return Refuse(check, kInvalidRow, "hash");
  if (!IsManifestBfName(words[1])) return Refuse(check, kInvalidRow, "bf_name");
  if (!IsSizeInRange(e.original_width)) return Refuse(check, kInvalidRow, "original_width");
  if (!IsSizeInRange(e.original_height)) return Refuse(check, kInvalidRow, "original_height");
  if (accepted >= kMaxManifestEntries) return Refuse(check, kInvalidRow, "row count");

  e.original_host_format = PackFormatByName(words[2]);
  if (e.original_host_format == HostFormat::UNKNOWN) return Refuse(check, kMismatch, "original_host_format");
  e.bf_name = std::string(words[1]);
  e.replacement_file = std::string(words[5]);
  // The name must be the key string plus a lower-case ".dds" or ".png"; that
  // also rules out folder parts, since key strings hold no separators.
  std::string key = FormatContentKey(e.hash, e.bf_name);
  if (e.replacement_file != key + ".dds" && e.replacement_file != key + ".png") {
    return Refuse(check, kMismatch, "replacement_file");
  }
  return check;
}

bool Fail(ErrorCode& code, ErrorCode cause, ManifestFailure* where, size_t line, const char* field) {
  code = cause;
  if (where != nullptr) *where = {line, field};
  return false;
}

}  // namespace

ContentIdentity MakeContentIdentity(uint64_t hash, HostFormat format, uint32_t width, uint32_t height) {
  char text[64];
  std::snprintf(text, sizeof text, "%016llX:%u:%u:%u", static_cast<unsigned long long>(hash),
                static_cast<unsigned>(format), static_cast<unsigned>(width), static_cast<unsigned>(height));
  return text;
}

bool IsManifestBfName(std::string_view name) {
  return name.size() == 20 && name.substr(0, 3) == "bf_" && IsHexRun(name.substr(3, 8)) && name[11] == '_' &&
         IsHexRun(name.substr(12, 8));
}

bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, std::string& error) {
  return ReadPackManifest(folder, entries, error, nullptr);
}

bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, ErrorCode& code) {
  return ReadPackManifest(folder, entries, code, nullptr);
}

bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, std::string& error,
                      ManifestFailure* where) {
  ErrorCode code = ErrorCode::ok;
  return ReportMessage(ReadPackManifest(folder, entries, code, where), code, error);
}

bool ParsePackManifestText(std::string_view text, PackManifest& entries, std::string& error, ManifestFailure* where) {
  ErrorCode code = ErrorCode::ok;
  return ReportMessage(ParsePackManifestText(text, entries, code, where), code, error);
}

bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, ErrorCode& code,
                      ManifestFailure* where) {
  entries.clear();
  std::vector<uint8_t> bytes;
  // An oversized manifest is refused before it is read, not after.
  if (!ReadFileUpTo(folder / kManifestFileName, kMaxManifestBytes, bytes)) {
    return Fail(code, kMissingOrOversized, where, 0, "");
  }
  return ParsePackManifestText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), entries,
                               code, where);
}

bool ParsePackManifestText(std::string_view text, PackManifest& entries, ErrorCode& code, ManifestFailure* where) {
  entries.clear();
  if (text.size() > kMaxManifestBytes) return Fail(code, kMissingOrOversized, where, 0, "");
  size_t line_end = text.find('\n');
  std::string_view header = text.substr(0, line_end);
  if (header != kHeader && header != kHeaderCr) return Fail(code, kUnsupportedVersion, where, 1, "header");

  std::unordered_set<std::string> keys;
  std::unordered_set<ContentIdentity> identities;
  size_t line_number = 1;
  while (line_end != std::string_view::npos) {
    size_t start = line_end + 1;
    ++line_number;
    line_end = text.find('\n', start);
    std::string_view line = text.substr(start, line_end == std::string_view::npos ? line_end : line_end - start);
    if (line.empty() || line == "\r" || line[0] == '#') continue;

    RowCheck check = CheckRowFields(line, entries.size());
    if (check.error != ErrorCode::ok) return Fail(code, check.error, where, line_number, check.field);
    ManifestEntry& e = check.entry;
    if (!keys.insert(FormatContentKey(e.hash, e.bf_name)).second) {
      return Fail(code, kMismatch, where, line_number, "key");
    }
    if (!identities.insert(MakeContentIdentity(e.hash, e.original_host_format, e.original_width, e.original_height))
             .second) {
      return Fail(code, kDuplicateContent, where, line_number, "content");
    }
    entries.push_back(std::move(e));
  }
  return true;
}

bool WritePackManifest(const PackManifest& entries, const std::filesystem::path& folder) {
  std::string text(kHeaderAndComment);
  char hash[17];
  for (const ManifestEntry& e : entries) {
    std::snprintf(hash, sizeof hash, "%016llX", static_cast<unsigned long long>(e.hash));
    text += hash;
    text += ' ';
    text += e.bf_name;
    text += ' ';
    text += HostFormatName(e.original_host_format);
    text += ' ';
    text += std::to_string(e.original_width);
    text += ' ';
    text += std::to_string(e.original_height);
    text += ' ';
    text += e.replacement_file;
    text += '\n';
  }
  std::FILE* file = OpenFile(folder / kManifestFileName, "wb");
  if (!file) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  // A full disk may only show when the buffered bytes are flushed at close.
  bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace mivo
