// mivo, block compression: a level of texels in, BC blocks out.
//
// Every operation that can fail returns false and assigns one fixed message
// to the caller's `error` string (or its code, mivo/error.h, to `code`); bad
// input never throws.
#pragma once

#include <cstdint>
#include <string>

#include "mivo/error.h"
#include "mivo/guest.h"

namespace mivo {

// How hard the encoders search. Each step gives the same bytes on every
// platform and thread count.
enum class EncodeQuality : uint8_t { fast, normal, slow };

struct EncodeSettings {
  EncodeQuality quality = EncodeQuality::normal;
  // BC1: texels with alpha below 128 become the three-colour mode's
  // transparent black. Off: alpha is ignored and every texel stays opaque.
  bool bc1_punch_through = false;
  // BC7: colour error weighted by each texel's alpha. Off: transparent
  // texels keep their colour as faithfully as opaque ones.
  bool bc7_alpha_weighted = false;
};

// Bytes per input texel for `format`: 4 (R, G, B, A) for BC1, BC3 and BC7;
// 1 for BC4 (unsigned bytes, or signed bytes -127..127 for BC4_SNORM); 2 (R, G)
// for BC5 and BC5_SNORM. 0 for a format the encoders do not write.
uint32_t EncodeInputTexelBytes(HostFormat format);

// Bytes of a width x height level of a block format: partial edge blocks
// count whole. 0 for a format the encoders do not write.
uint64_t EncodedLevelBytes(HostFormat format, uint32_t width, uint32_t height);

// Encodes one level: `texels` holds width x height texels of
// EncodeInputTexelBytes(format) bytes, rows top to bottom, no padding; `out`
// receives EncodedLevelBytes(format, width, height) bytes. Partial edge
// blocks repeat the level's last column and row. `threads` 0 or 1 works on
// the caller's thread, more use up to 4; the bytes never depend on it. Messages:
// "unsupported encode format", "invalid level size".
bool EncodeLevel(HostFormat format, const uint8_t* texels, uint32_t width, uint32_t height,
                 const EncodeSettings& settings, uint32_t threads, uint8_t* out, std::string& error);
bool EncodeLevel(HostFormat format, const uint8_t* texels, uint32_t width, uint32_t height,
                 const EncodeSettings& settings, uint32_t threads, uint8_t* out, ErrorCode& code);

}  // namespace mivo
