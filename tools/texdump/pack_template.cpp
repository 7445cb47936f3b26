#include "texdump/pack_template.h"

#include <cerrno>

#include "guest/expand.h"
#include "common/dds_writer.h"
#include "texdump/png_output.h"

namespace mivo {
namespace {

// A replacement PNG shows the stored channels, whatever the texture's view.
bool WriteReplacementPng(const std::filesystem::path& path, const HostTextureData& texture, int png_compression) {
  HostTextureData plain = texture;
  plain.view = kIdentityView;
  const LevelRecord* base = FindLevel(plain, 0, 0);
  if (base == nullptr) return false;
  const std::vector<uint8_t> pixels = ExpandToRgba8(plain, *base, 0);
  return WriteToolPng(path, base->width, base->height, pixels.data(), png_compression);
}

}  // namespace

TemplateOutcome AddTemplateReplacement(const std::filesystem::path& dir, bool png, int png_compression,
                                       const HostTextureData& texture, ContentKey key, const std::string& name,
                                       const std::string& pack_key, const ManifestEntry* known,
                                       std::vector<ManifestEntry>& entries, OutputFailures& failures) {
  if (dir.empty() || key == 0 || known != nullptr) return TemplateOutcome::skipped;
  // Any other name would put a row into pack.txt that its reader refuses,
  // making the whole template unreadable.
  if (!IsManifestBfName(name)) return TemplateOutcome::skipped_name;
  const std::string file = pack_key + (png ? ".png" : ".dds");
  const std::filesystem::path path = dir / file;
  errno = 0;
  const bool written = png ? WriteReplacementPng(path, texture, png_compression) : WriteDds(path, texture);
  if (!written) {
    failures.push_back(png ? CannotWrite(path) : CannotWriteDds(path, texture));
    return TemplateOutcome::failed;
  }
  entries.push_back({key, name, file, texture.host_format, texture.width, texture.height});
  return TemplateOutcome::written;
}

}  // namespace mivo
