#include "texdump/pack_template.h"

#include <algorithm>
#include <cerrno>

#include "common/dds_writer.h"
#include "guest/expand.h"
#include "pack/dds_header.h"
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

// The levels of `texture` decoded to RGBA8 as stored (identity view); false
// when they would pass the 128 MiB a texture may hold.
bool DecodeToRgba8(const HostTextureData& texture, HostTextureData& rgba) {
  HostTextureData plain = texture;
  plain.view = kIdentityView;
  rgba = HostTextureData{};
  static_cast<GuestTextureInfo&>(rgba) = plain;
  rgba.host_format = HostFormat::RGBA8_UNORM;
  for (const LevelRecord& level : plain.level_records) {
    if (!AddLevel(rgba, level.mip, level.width, level.height)) return false;
    const std::vector<uint8_t> pixels = ExpandToRgba8(plain, level, 0);
    const LevelRecord& added = rgba.level_records.back();
    if (pixels.size() != added.size) return false;
    std::copy(pixels.begin(), pixels.end(), rgba.data.begin() + std::ptrdiff_t(added.offset));
  }
  return true;
}

bool WriteReplacementDds(const std::filesystem::path& path, const HostTextureData& texture, DdsHeaderKind header) {
  // The loader takes no BC2 DDS; RGBA8 holds the same texels for the same family.
  HostTextureData decoded;
  if (texture.host_format == HostFormat::BC2_UNORM && DecodeToRgba8(texture, decoded)) {
    return WriteDds(path, decoded);
  }
  // A legacy header the loader would refuse would make the file useless as a replacement.
  const char* four_cc = LegacyFourCc(texture.host_format);
  const bool loader_reads_legacy =
      four_cc != nullptr && HostFormatFromFourCc(reinterpret_cast<const uint8_t*>(four_cc)) == texture.host_format;
  return WriteDds(path, texture, loader_reads_legacy ? header : DdsHeaderKind::dx10);
}

}  // namespace

TemplateOutcome AddTemplateReplacement(const std::filesystem::path& dir, bool png, int png_compression,
                                       DdsHeaderKind dds_header, const HostTextureData& texture, ContentKey key,
                                       const std::string& name, const std::string& pack_key, const ManifestEntry* known,
                                       std::vector<ManifestEntry>& entries, OutputFailures& failures) {
  if (dir.empty() || key == 0 || known != nullptr) return TemplateOutcome::skipped;
  // Any other name would put a row into pack.txt that its reader refuses,
  // making the whole template unreadable.
  if (!IsManifestBfName(name)) return TemplateOutcome::skipped_name;
  const std::string file = pack_key + (png ? ".png" : ".dds");
  const std::filesystem::path path = dir / file;
  errno = 0;
  const bool written =
      png ? WriteReplacementPng(path, texture, png_compression) : WriteReplacementDds(path, texture, dds_header);
  if (!written) {
    failures.push_back(png ? CannotWrite(path) : CannotWriteDds(path, texture, dds_header));
    return TemplateOutcome::failed;
  }
  entries.push_back({key, name, file, texture.host_format, texture.width, texture.height});
  return TemplateOutcome::written;
}

}  // namespace mivo
