#include "packcheck/check.h"

#include <cstdio>
#include <map>
#include <set>
#include <system_error>

#include "common/platform_text.h"
#include "pack/content_key.h"
#include "pack/manifest.h"
#include "pack/replacement.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAbsent = "replacement absent or outside pack";

std::string KeyString(const ManifestEntry& entry) { return FormatContentKey(entry.hash, entry.bf_name); }

bool SameOriginal(const ManifestEntry& a, const ManifestEntry& b) {
  return a.original_host_format == b.original_host_format && a.original_width == b.original_width &&
         a.original_height == b.original_height;
}

std::string OriginalText(const ManifestEntry& row) {
  return std::to_string(row.original_width) + "x" + std::to_string(row.original_height) + " " +
         HostFormatName(row.original_host_format);
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// A file in `folder` whose name differs from `name` only in letter case, or
// empty. A listing that fails just gives no hint.
std::string CaseOnlyMatch(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string candidate = it->path().filename().string();
    if (candidate != name && EqualIgnoringCase(candidate, name)) return candidate;
  }
  return std::string();
}

// Hints go to standard error so that the report lines stay as they are.
void HintManifest(const char* which, const fs::path& folder, const ManifestFailure& where) {
  const std::string path = (folder / "pack.txt").string();
  if (where.line == 0) {
    std::fprintf(stderr, "mivo_packcheck: hint: the %s manifest %s is missing, unreadable or over 8 MiB\n", which,
                 path.c_str());
  } else {
    std::fprintf(stderr, "mivo_packcheck: hint: the %s manifest %s fails at line %zu, field %s\n", which, path.c_str(),
                 where.line, where.field);
  }
}

void HintAspect(const ManifestEntry& row, const HostTextureData& texture) {
  if (uint64_t(texture.width) * row.original_height == uint64_t(texture.height) * row.original_width) return;
  std::fprintf(stderr, "mivo_packcheck: hint: %s is %ux%u, its original %ux%u: the aspect ratio differs\n",
               row.replacement_file.c_str(), texture.width, texture.height, row.original_width, row.original_height);
}

bool LoadOriginal(const fs::path& folder, const ManifestEntry& row, HostTextureData& texture, std::string& error) {
  texture = HostTextureData{};
  return LoadReplacement(folder, row, texture, error);
}

// Checks every pack row against the template and loads its file.
void CheckRows(const fs::path& pack_folder, const fs::path& template_folder, const PackManifest& pack,
               const PackManifest& templ, const CheckOptions& options, std::set<std::string>& listed,
               CheckResult& result) {
  std::map<std::string, const ManifestEntry*> index;
  for (const ManifestEntry& row : templ) index.emplace(KeyString(row), &row);  // the first row of a key stays

  const bool pictures = bool(options.pictures);
  HostTextureData texture;
  HostTextureData original;
  for (const ManifestEntry& row : pack) {
    listed.insert(row.replacement_file);
    RowOutcome outcome;
    outcome.key = KeyString(row);
    outcome.file = row.replacement_file;
    const auto found = index.find(outcome.key);
    bool have_original = false;
    std::string original_error = "the template has no row for this key";
    if (found != index.end() && (pictures || options.likeness)) {
      have_original = LoadOriginal(template_folder, *found->second, original, original_error);
    }
    bool have_replacement = false;
    RgbaImage shrunk;
    if (found == index.end() || !SameOriginal(*found->second, row)) {
      const bool unknown = found == index.end();
      std::printf("%s %s\n", unknown ? "UNKNOWN KEY" : "ORIGINAL MISMATCH", outcome.key.c_str());
      outcome.verdict = unknown ? Verdict::unknown_key : Verdict::original_mismatch;
      if (!unknown) {
        outcome.message = "the row says " + OriginalText(row) + ", the template " + OriginalText(*found->second);
      }
      if (pictures) {
        texture = HostTextureData{};
        std::string error;
        have_replacement = LoadReplacement(pack_folder, row, texture, error);
        outcome.replacement = have_replacement ? MakePreview(texture) : MissingPreview(error);
      }
      ++result.errors;
    } else {
      texture = HostTextureData{};
      std::string error;
      if (LoadReplacement(pack_folder, row, texture, error)) {
        have_replacement = true;
        std::printf("OK %s: %ux%u %s, %u mips, %zu bytes\n", row.replacement_file.c_str(), texture.width,
                    texture.height, HostFormatName(texture.host_format), texture.levels, texture.data.size());
        HintAspect(row, texture);
        outcome.replacement = MakePreview(texture);
        if (options.likeness && have_original) {
          outcome.likeness = MeasureLikeness(original, texture, pictures ? &shrunk : nullptr);
        }
      } else {
        std::printf("INVALID %s: %s\n", row.replacement_file.c_str(), error.c_str());
        outcome.verdict = Verdict::invalid;
        outcome.message = error;
        outcome.replacement = MissingPreview(error);
        ++result.errors;
        const std::string near = error == kAbsent ? CaseOnlyMatch(pack_folder, row.replacement_file) : "";
        if (!near.empty()) {
          std::fprintf(stderr,
                       "mivo_packcheck: hint: %s is not in the pack, but %s is: the names differ in letter case\n",
                       row.replacement_file.c_str(), near.c_str());
        }
      }
    }
    if (pictures) {
      outcome.original = have_original ? MakePreview(original) : MissingPreview(original_error);
      options.pictures(result.rows.size(), have_original ? &original : nullptr, have_replacement ? &texture : nullptr,
                       shrunk.pixels.empty() ? nullptr : &shrunk, outcome);
    }
    result.rows.push_back(std::move(outcome));
  }
}

// One line per row where the likeness figures are strong evidence.
void HintLikeness(CheckResult& result) {
  std::vector<Likeness> figures;
  for (const RowOutcome& row : result.rows) figures.push_back(row.likeness);
  const std::vector<Hint> hints = JudgeLikeness(figures);
  for (size_t i = 0; i < hints.size(); ++i) {
    result.rows[i].hint = hints[i];
    if (hints[i].kinds.empty()) continue;
    std::fprintf(stderr, "mivo_packcheck: hint: %s: %s\n", result.rows[i].file.c_str(), hints[i].detail.c_str());
  }
}

// Replacement files in the pack folder (not its subfolders) that no row
// lists. Only the exact lower-case extensions count; other files are notes.
void CheckUnlisted(const fs::path& pack_folder, const std::set<std::string>& listed, CheckResult& result) {
  std::error_code ec;
  fs::directory_iterator it(pack_folder, ec);
  if (ec) {
    // Counted as the report lines have it; said here, since no line names it.
    std::fprintf(stderr, "mivo_packcheck: cannot list the pack folder %s: %s\n", pack_folder.string().c_str(),
                 ec.message().c_str());
    result.listing_failed = true;
    ++result.errors;
    return;
  }
  for (; it != fs::directory_iterator(); ++it) {
    const fs::path& path = it->path();
    const std::string extension = NarrowFromPath(path.extension());
    if (extension != ".dds" && extension != ".png") continue;
    const std::string name = NarrowFromPath(path.filename());
    if (listed.count(name) == 0) {
      std::printf("UNLISTED/UNKNOWN FILE %s\n", name.c_str());
      const std::u8string utf8 = path.filename().u8string();  // the page's encoding on every platform
      result.unlisted.emplace_back(utf8.begin(), utf8.end());
      ++result.errors;
    }
  }
}

}  // namespace

CheckResult CheckPack(const fs::path& pack_folder, const fs::path& template_folder, const CheckOptions& options) {
  CheckResult result;
  PackManifest pack;
  PackManifest templ;
  ManifestFailure where;
  if (!ReadPackManifest(pack_folder, pack, result.manifest_error, &where)) {
    std::printf("manifest: %s\n", result.manifest_error.c_str());
    HintManifest("pack", pack_folder, where);
    return result;
  }
  if (!ReadPackManifest(template_folder, templ, result.manifest_error, &where)) {
    std::printf("manifest: %s\n", result.manifest_error.c_str());
    HintManifest("template", template_folder, where);
    return result;
  }
  result.manifests_read = true;
  result.entries = pack.size();
  std::set<std::string> listed;
  CheckRows(pack_folder, template_folder, pack, templ, options, listed, result);
  HintLikeness(result);
  CheckUnlisted(pack_folder, listed, result);
  std::printf("%zu entries, %u errors\n", result.entries, result.errors);
  return result;
}

}  // namespace mivo
