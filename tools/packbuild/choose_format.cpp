#include "packbuild/choose_format.h"

namespace mivo {
namespace {

enum class BaseAlpha : uint8_t { opaque, binary, graded };

// From level 0 only: averaged mips always hold alpha between 0 and 255.
BaseAlpha ClassifyAlpha(const HostTextureData& plain) {
  const LevelRecord* base = FindLevel(plain, 0, 0);
  if (base == nullptr || plain.host_format != HostFormat::RGBA8_UNORM) return BaseAlpha::opaque;
  BaseAlpha found = BaseAlpha::opaque;
  const uint8_t* texels = plain.data.data() + base->offset;
  for (uint64_t i = 3; i < base->size; i += 4) {
    if (texels[i] == 0) {
      found = BaseAlpha::binary;
    } else if (texels[i] != 255) {
      return BaseAlpha::graded;
    }
  }
  return found;
}

HostFormat FormatOf(RequestedFormat requested) {
  switch (requested) {
    case RequestedFormat::bc7: return HostFormat::BC7_UNORM;
    case RequestedFormat::bc3: return HostFormat::BC3_UNORM;
    case RequestedFormat::bc1: return HostFormat::BC1_UNORM;
    case RequestedFormat::rgba8: return HostFormat::RGBA8_UNORM;
    case RequestedFormat::automatic: break;
  }
  return HostFormat::UNKNOWN;
}

// Keeps a wanted block format only where the base level's sides allow one.
HostFormat UncompressedFallback(HostFormat format) {
  switch (format) {
    case HostFormat::BC5_UNORM: return HostFormat::RG8_UNORM;
    case HostFormat::BC5_SNORM: return HostFormat::RG8_SNORM;
    default: return HostFormat::RGBA8_UNORM;
  }
}

}  // namespace

bool ChooseOutputFormat(HostFormat original, const HostTextureData& plain, RequestedFormat requested,
                        FormatChoice& choice, std::string& error) {
  choice = FormatChoice{};
  const TextureFamily family = GetTextureFamily(original);
  switch (family) {
    case TextureFamily::one_channel: choice.format = HostFormat::R8_UNORM; break;
    case TextureFamily::two_channel: choice.format = HostFormat::BC5_UNORM; break;
    case TextureFamily::two_channel_signed: choice.format = HostFormat::BC5_SNORM; break;
    case TextureFamily::four_channel: choice.format = HostFormat::BC7_UNORM; break;
    case TextureFamily::bc1: {
      const BaseAlpha alpha = ClassifyAlpha(plain);
      choice.format = alpha == BaseAlpha::graded ? HostFormat::BC7_UNORM : HostFormat::BC1_UNORM;
      break;
    }
    case TextureFamily::none: error = "original format has no pack family"; return false;
  }
  const bool colour = family == TextureFamily::bc1 || family == TextureFamily::four_channel;
  if (colour && requested != RequestedFormat::automatic) {
    choice.format = FormatOf(requested);
    if (!(family == TextureFamily::bc1 || GetTextureFamily(choice.format) == family)) {
      error = std::string("--format ") + RequestedFormatName(requested) + " does not suit " + HostFormatName(original) +
              " originals";
      return false;
    }
  }
  if (choice.format == HostFormat::BC1_UNORM) choice.bc1_punch_through = ClassifyAlpha(plain) != BaseAlpha::opaque;
  if (IsBlockCompressed(choice.format) && (plain.width % 4 != 0 || plain.height % 4 != 0)) {
    choice.format = UncompressedFallback(choice.format);
    choice.uncompressed_for_size = true;
  }
  return true;
}

}  // namespace mivo
