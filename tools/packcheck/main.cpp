// mivo_packcheck PACK_FOLDER EXTRACTED_TEMPLATE_FOLDER: compares a pack's
// manifest with the template it was made from, loads every replacement the
// pack lists, and reports replacement files that no row lists.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/platform_text.h"
#include "guest/formats.h"
#include "pack/content_key.h"
#include "pack/manifest.h"
#include "pack/replacement.h"

namespace {

namespace fs = std::filesystem;
using mivo::ManifestEntry;
using mivo::PackManifest;

fs::path PathFromUtf8(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string KeyString(const ManifestEntry& entry) { return mivo::FormatContentKey(entry.hash, entry.bf_name); }

bool SameOriginal(const ManifestEntry& a, const ManifestEntry& b) {
  return a.original_host_format == b.original_host_format && a.original_width == b.original_width &&
         a.original_height == b.original_height;
}

// Checks every pack row against the template and loads its file; returns the
// number of errors and collects the file names the rows list.
uint32_t CheckRows(const fs::path& pack_folder, const PackManifest& pack, const PackManifest& templ,
                   std::set<std::string>& listed) {
  std::map<std::string, const ManifestEntry*> index;
  for (const ManifestEntry& row : templ) index.emplace(KeyString(row), &row);  // the first row of a key stays

  uint32_t errors = 0;
  mivo::HostTextureData texture;
  for (const ManifestEntry& row : pack) {
    listed.insert(row.replacement_file);
    const std::string key = KeyString(row);
    const auto found = index.find(key);
    if (found == index.end()) {
      std::printf("UNKNOWN KEY %s\n", key.c_str());
      ++errors;
      continue;
    }
    if (!SameOriginal(*found->second, row)) {
      std::printf("ORIGINAL MISMATCH %s\n", key.c_str());
      ++errors;
      continue;
    }
    texture = mivo::HostTextureData{};
    std::string error;
    if (mivo::LoadReplacement(pack_folder, row, texture, error)) {
      std::printf("OK %s: %ux%u %s, %u mips, %zu bytes\n", row.replacement_file.c_str(), texture.width,
                  texture.height, mivo::HostFormatName(texture.host_format), texture.levels, texture.data.size());
    } else {
      std::printf("INVALID %s: %s\n", row.replacement_file.c_str(), error.c_str());
      ++errors;
    }
  }
  return errors;
}

// Replacement files in the pack folder (not its subfolders) that no row
// lists. Only the exact lower-case extensions count; other files are notes.
uint32_t CheckUnlisted(const fs::path& pack_folder, const std::set<std::string>& listed) {
  std::error_code ec;
  fs::directory_iterator it(pack_folder, ec);
  if (ec) return 1;
  uint32_t errors = 0;
  for (; it != fs::directory_iterator(); ++it) {
    const fs::path& path = it->path();
    const std::string extension = mivo::NarrowFromPath(path.extension());
    if (extension != ".dds" && extension != ".png") continue;
    const std::string name = mivo::NarrowFromPath(path.filename());
    if (listed.count(name) == 0) {
      std::printf("UNLISTED/UNKNOWN FILE %s\n", name.c_str());
      ++errors;
    }
  }
  return errors;
}

int Run(const fs::path& pack_folder, const fs::path& template_folder) {
  PackManifest pack;
  PackManifest templ;
  std::string error;
  if (!mivo::ReadPackManifest(pack_folder, pack, error) || !mivo::ReadPackManifest(template_folder, templ, error)) {
    std::printf("manifest: %s\n", error.c_str());
    return 1;
  }
  std::set<std::string> listed;
  uint32_t errors = CheckRows(pack_folder, pack, templ, listed);
  errors += CheckUnlisted(pack_folder, listed);
  std::printf("%zu entries, %u errors\n", pack.size(), errors);
  return errors == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = mivo::Utf8Arguments(argc, argv);
  if (args.size() != 2) {
    std::printf("usage: mivo_packcheck PACK_FOLDER EXTRACTED_TEMPLATE_FOLDER\n");
    return 2;
  }
  try {
    return Run(PathFromUtf8(args[0]), PathFromUtf8(args[1]));
  } catch (const fs::filesystem_error& e) {
    // Only a folder listing that breaks part way gets here.
    std::printf("%s\n", e.what());
    return 1;
  }
}
