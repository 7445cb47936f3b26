#include "texdump/pack_template.h"

#include "guest/expand.h"
#include "texdump/dds_writer.h"
#include "texdump/png_writer.h"

namespace mivo {
namespace {

// A replacement PNG shows the stored channels, whatever the texture's view.
bool WriteReplacementPng(const std::filesystem::path& path, const HostTextureData& texture) {
  HostTextureData plain = texture;
  plain.view = kIdentityView;
  const LevelRecord* base = FindLevel(plain, 0, 0);
  if (base == nullptr) return false;
  const std::vector<uint8_t> pixels = ExpandToRgba8(plain, *base, 0);
  return WritePng(path, base->width, base->height, pixels.data());
}

}  // namespace

TemplateOutcome AddTemplateReplacement(const std::filesystem::path& dir, bool png, const HostTextureData& texture,
                                       ContentKey key, const std::string& name, const std::string& pack_key,
                                       const ManifestEntry* known, std::vector<ManifestEntry>& entries) {
  // Any other name would put a row into pack.txt that its reader refuses,
  // making the whole template unreadable.
  if (dir.empty() || key == 0 || known != nullptr || !IsManifestBfName(name)) return TemplateOutcome::skipped;
  const std::string file = pack_key + (png ? ".png" : ".dds");
  const std::filesystem::path path = dir / file;
  const bool written = png ? WriteReplacementPng(path, texture) : WriteDds(path, texture);
  if (!written) return TemplateOutcome::failed;
  entries.push_back({key, name, file, texture.host_format, texture.width, texture.height});
  return TemplateOutcome::written;
}

}  // namespace mivo
