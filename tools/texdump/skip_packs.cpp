#include "texdump/skip_packs.h"

#include <system_error>

namespace mivo {

bool ReadReplacedByPacks(const std::vector<std::filesystem::path>& folders, ReplacedByPacks& replaced,
                         std::string& error) {
  replaced.clear();
  PackManifest entries;
  for (const std::filesystem::path& folder : folders) {
    std::string reason;
    if (!ReadPackManifest(folder, entries, reason)) {
      error = "cannot read the pack " + folder.string() + ": " + reason + "\n";
      return false;
    }
    for (const ManifestEntry& e : entries) {
      replaced.emplace(MakeContentIdentity(e.hash, e.original_host_format, e.original_width, e.original_height),
                       e.bf_name);
    }
  }
  return true;
}

bool CheckPacksApartFromTemplate(const std::vector<std::filesystem::path>& folders,
                                 const std::filesystem::path& template_dir, std::string& error) {
  if (template_dir.empty()) return true;
  for (const std::filesystem::path& folder : folders) {
    std::error_code ec;  // a template folder that does not exist yet is no pack
    if (std::filesystem::equivalent(folder, template_dir, ec)) {
      error = "--skip-pack " + folder.string() + " is also the --pack-template folder\n";
      return false;
    }
  }
  return true;
}

const std::string* FindReplacingAlias(const ReplacedByPacks& replaced, ContentKey key, const HostTextureData& texture) {
  // A texture without a key is one no pack can replace.
  if (key == 0 || replaced.empty()) return nullptr;
  const auto found = replaced.find(MakeContentIdentity(key, texture.host_format, texture.width, texture.height));
  return found != replaced.end() ? &found->second : nullptr;
}

}  // namespace mivo
