#include "mivo/error.h"

namespace mivo {
namespace {

// By code. The texts are the library's messages byte for byte: reports and
// golden files carry them.
constexpr const char* kMessages[kErrorCodeCount] = {
    "",
    "not a texture fetch constant",
    "unsupported format",
    "no base or mip address",
    "block format with an unaligned size and no decoder",
    "texture too large",
    "texture memory outside guest memory",
    "no level could be read",
    "missing/oversized pack.txt",
    "unsupported pack version",
    "invalid manifest row",
    "unsupported format, duplicate key or filename does not match identity",
    "duplicate original content: keep one canonical BF alias",
    "pack folder unavailable",
    "replacement absent or outside pack",
    "replacement unreadable/too large",
    "requires an 8-bit PNG",
    "colour PNG requires an explicit alpha channel",
    "PNG decode/size failure",
    "PNG pixel decode failed",
    "PNG too large",
    "invalid DDS header",
    "DDS must be a bounded single 2D image",
    "unsupported DDS DX10 shape/alpha mode",
    "DDS requires linear BC1/BC3/BC5/BC7 or raw UNORM/RG SNORM; sRGB changes sampling",
    "premultiplied DDS is incompatible",
    "unsupported DDS pixel format",
    "BC base dimensions must be multiples of four; use PNG/raw DDS for odd sizes",
    "DDS exceeds 128 MiB",
    "truncated DDS mip data",
    "unexpected trailing DDS data",
    "format family/alpha/signedness mismatch",
    "BC7 DDS requires a complete mip chain",
    "cannot decode DDS for mip generation",
    "generated mips exceed 128 MiB",
    "too many textures requested",
    "unexpected error while loading",
    "unsupported encode format",
    "invalid level size",
};
static_assert(uint32_t(ErrorCode::encode_level_size) + 1 == kErrorCodeCount);

}  // namespace

const char* ErrorMessage(ErrorCode code) {
  return uint32_t(code) < kErrorCodeCount ? kMessages[uint32_t(code)] : "unknown error";
}

}  // namespace mivo
