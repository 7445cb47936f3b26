#include "guest/describe.h"

#include <algorithm>

#include "guest/error_text.h"

namespace mivo {

uint32_t FloorLog2(uint32_t x) {
  uint32_t r = 0;
  while (x >= 2) {
    x >>= 1;
    ++r;
  }
  return r;
}

uint32_t CeilLog2(uint32_t x) {
  if (x < 2) return 0;
  const uint32_t f = FloorLog2(x);
  return (x & (x - 1)) == 0 ? f : f + 1;
}

void FetchSizes(const FetchConstant& fetch, uint32_t& width, uint32_t& height, uint32_t& third) {
  const uint32_t w2 = fetch.words[2];
  switch (FetchDimension(fetch)) {
    case kDim1D:
      width = (w2 & 0xFFFFFFu) + 1;
      height = 1;
      third = 1;
      break;
    case kDim2D:
      width = (w2 & 0x1FFFu) + 1;
      height = ((w2 >> 13) & 0x1FFFu) + 1;
      third = FetchStacked(fetch) ? ((w2 >> 26) & 0x3Fu) + 1 : 1;
      break;
    case kDim3D:
      width = (w2 & 0x7FFu) + 1;
      height = ((w2 >> 11) & 0x7FFu) + 1;
      third = ((w2 >> 22) & 0x3FFu) + 1;
      break;
    default:  // cube
      width = (w2 & 0x1FFFu) + 1;
      height = ((w2 >> 13) & 0x1FFFu) + 1;
      third = 6;
      break;
  }
}

uint32_t PackedTailLevel(uint32_t width, uint32_t height) {
  const uint32_t m = std::min(width, height);
  if (m < 2) return 0;
  const uint32_t c = CeilLog2(m);
  return c >= 4 ? c - 4 : 0;
}

LevelRange ComputeLevelRange(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail) {
  LevelRange r;
  FetchSizes(fetch, r.width, r.height, r.depth_or_layers);
  const uint32_t dim = FetchDimension(fetch);
  uint32_t largest = std::max(r.width, r.height);
  if (dim == kDim3D) largest = std::max(largest, r.depth_or_layers);
  const uint32_t l = FloorLog2(largest);

  r.base_address = FetchBaseAddress(fetch);
  r.mip_address = FetchMipAddress(fetch);
  const uint32_t min_field = FetchMinLevel(fetch);
  const uint32_t max_field = FetchMaxLevel(fetch);

  if (r.mip_address != 0) {
    r.min_level = std::min(l, min_field);
    r.max_level = std::max(std::min(l, max_field), r.min_level);
    if (r.max_level == 0) {
      r.mip_address = 0;
      r.min_level = r.max_level = 0;
    } else {
      if (r.base_address == 0 && r.min_level == 0) r.min_level = 1;
      // A texture that starts above level 0 does not read its base level.
      if (r.min_level != 0) r.base_address = 0;
    }
  } else if (assume_mips_in_base_tail == 1 && FetchPacked(fetch) && r.base_address != 0 && max_field != 0 &&
             dim != kDim1D && PackedTailLevel(r.width, r.height) == 0) {
    r.max_level = std::min(l, max_field);
    r.min_level = std::min(r.max_level, min_field);
    r.mips_in_base_tail = r.max_level != 0;
  }
  return r;
}

bool HasMipsInBaseTail(const FetchConstant& fetch) {
  uint32_t width = 0, height = 0, third = 0;
  FetchSizes(fetch, width, height, third);
  return FetchMipAddress(fetch) == 0 && FetchPacked(fetch) && FetchBaseAddress(fetch) != 0 &&
         FetchMaxLevel(fetch) != 0 && FetchDimension(fetch) != kDim1D && PackedTailLevel(width, height) == 0;
}

std::string DescriptionFailureText(const FetchConstant& fetch, ErrorCode code) {
  std::string text = ErrorMessage(code);
  if (code == ErrorCode::not_texture_fetch) text += " (type " + std::to_string(FetchType(fetch)) + ")";
  if (code == ErrorCode::unsupported_format) text += std::string(" ") + GuestFormatName(FetchFormat(fetch));
  return text;
}

bool DescribeTexture(const FetchConstant& fetch, GuestTextureInfo& info, std::string& error,
                     uint8_t assume_mips_in_base_tail) {
  ErrorCode code = ErrorCode::ok;
  if (DescribeTexture(fetch, info, code, assume_mips_in_base_tail)) return true;
  error = DescriptionFailureText(fetch, code);
  return false;
}

bool DescribeTexture(const FetchConstant& fetch, GuestTextureInfo& info, ErrorCode& code,
                     uint8_t assume_mips_in_base_tail) {
  info = GuestTextureInfo{};
  if (FetchType(fetch) != 2) return Fail(code, ErrorCode::not_texture_fetch);
  const uint32_t format = FetchFormat(fetch);
  const FormatDecode& row = FormatDecodeRow(format);
  if (row.host_format == HostFormat::UNKNOWN) return Fail(code, ErrorCode::unsupported_format);

  const LevelRange range = ComputeLevelRange(fetch, assume_mips_in_base_tail);
  const uint32_t dim = FetchDimension(fetch);
  info.dim = uint8_t(dim);
  info.width = range.width;
  info.height = range.height;
  info.depth = dim == kDim3D ? range.depth_or_layers : 1;
  info.layers = dim == kDim3D ? 1 : range.depth_or_layers;
  info.levels = range.max_level + 1;
  info.min_level = range.min_level;
  if (range.base_address == 0 && range.mip_address == 0) {
    return Fail(code, ErrorCode::no_address);
  }

  // Classify the signs of the guest channels that the swizzle reads.
  bool any_unsigned = false, any_signed = false, any_biased = false, any_gamma = false;
  for (uint32_t ch = 0; ch < 4; ++ch) {
    const uint32_t s = FetchSwizzle(fetch, ch);
    if (s > 3) continue;  // a constant selects no channel
    const uint32_t sign = FetchSign(fetch, s);
    any_signed |= sign == 1;
    any_unsigned |= sign != 1;
    any_biased |= sign == 2;
    any_gamma |= sign == 3;
  }

  const bool take_signed = any_signed && !any_unsigned && row.signed_host_format != HostFormat::UNKNOWN;
  info.host_format = take_signed ? row.signed_host_format : row.host_format;
  info.conversion = take_signed ? row.signed_conversion : row.conversion;

  uint8_t flags = 0;
  if (any_biased) flags |= kFlagBias;
  if (any_gamma) flags |= kFlagGamma;
  flags |= row.extra_flags;
  if (any_signed && !take_signed) flags |= kFlagSigns;
  if (FetchExpAdjust(fetch) != 0) flags |= kFlagExp;
  if (FetchIsInteger(fetch) && !IsFloatFormat(info.host_format)) flags |= kFlagInt;
  const GuestFormat guest = GuestFormat(format);
  if ((guest == GuestFormat::k_32 || guest == GuestFormat::k_32_32 || guest == GuestFormat::k_32_32_32_32) &&
      !FetchIsInteger(fetch)) {
    flags |= kFlagNorm32;
  }
  info.flags = flags;

  if (IsBlockCompressed(info.host_format) && (info.width % 4 != 0 || info.height % 4 != 0)) {
    if (take_signed && row.unaligned_signed_host_format != HostFormat::UNKNOWN) {
      info.host_format = row.unaligned_signed_host_format;
      info.conversion = row.unaligned_signed_conversion;
    } else if (row.unaligned_host_format != HostFormat::UNKNOWN) {
      info.host_format = row.unaligned_host_format;
      info.conversion = row.unaligned_conversion;
    } else {
      return Fail(code, ErrorCode::unaligned_block_size);
    }
  }

  const uint32_t conv = uint32_t(info.conversion);
  const bool decoder_output = (conv >= 10 && conv <= 21) || (conv >= 25 && conv <= 27);
  info.decompressed = decoder_output && GuestFormatRow(format).kind == kKindBlock;

  uint16_t view = 0;
  for (uint32_t ch = 0; ch < 4; ++ch) {
    uint32_t s = FetchSwizzle(fetch, ch);
    uint32_t selector = s <= 3 ? (row.channel_map >> (3 * s)) & 7u : (s <= 5 ? s : 4u);
    view |= uint16_t(selector << (3 * ch));
  }
  info.view = view;
  return true;
}

std::string SignText(const FetchConstant& fetch) {
  std::string text;
  for (uint32_t ch = 0; ch < 4; ++ch) text += kSignLetters[FetchSign(fetch, ch)];
  return text;
}

std::string GuestSwizzleText(const FetchConstant& fetch) {
  std::string text;
  for (uint32_t ch = 0; ch < 4; ++ch) text += kGuestSwizzleLetters[FetchSwizzle(fetch, ch)];
  return text;
}

std::string ViewText(uint16_t view) {
  std::string text;
  for (uint32_t ch = 0; ch < 4; ++ch) text += kHostViewLetters[(view >> (3 * ch)) & 7u];
  return text;
}

std::string FlagsText(uint8_t flags) {
  std::string text;
  for (uint32_t bit = 0; bit < kFlagCount; ++bit) {
    if (!(flags & (1u << bit))) continue;
    if (!text.empty()) text += '+';
    text += FlagName(bit);
  }
  return text.empty() ? "-" : text;
}

}  // namespace mivo
