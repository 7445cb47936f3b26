// mivo, failure causes: every fixed message that an operation of the library
// can report has a code here, so that a host branches on the cause instead
// of comparing text. The string forms of the operations report the same
// messages; ErrorMessage gives a code's.
#pragma once

#include <cstdint>

namespace mivo {

enum class ErrorCode : uint8_t {
  ok,
  // DescribeTexture (and so ReadGuestTexture)
  not_texture_fetch,   // the string form adds " (type N)"
  unsupported_format,  // the string form adds " " and the guest format's name
  no_address,
  unaligned_block_size,
  // ReadGuestTexture
  texture_too_large,
  outside_guest_memory,
  no_level_read,
  // ReadPackManifest
  manifest_missing,
  manifest_version,
  manifest_row,
  manifest_mismatch,
  manifest_duplicate_content,
  // LoadReplacement
  pack_folder_unavailable,
  replacement_absent,
  replacement_unreadable,
  png_not_8bit,
  png_without_alpha,
  png_decode,
  png_pixels,
  png_too_large,
  dds_header,
  dds_shape,
  dds_dx10_shape,
  dds_dx10_format,
  dds_premultiplied,
  dds_pixel_format,
  dds_block_size,
  dds_too_large,
  dds_truncated,
  dds_trailing_data,
  format_mismatch,
  bc7_incomplete_chain,
  dds_undecodable,
  mips_too_large,
  // PackLoader::StatusCode
  too_many_requested,
  unexpected_error,  // also an exception that failed a load; Status() gives its text
  // EncodeLevel
  encode_format_unsupported,
  encode_level_size,
};
constexpr uint32_t kErrorCodeCount = 39;

// The code's fixed message, without a final full stop; "" for ok and
// "unknown error" for a code past the table.
const char* ErrorMessage(ErrorCode code);

}  // namespace mivo
