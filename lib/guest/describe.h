// Turns a fetch constant into a texture description: host format and
// conversion, sizes, mip level range, channel view and flags.
#pragma once

#include <cstdint>
#include <string>

#include "guest/formats.h"

namespace mivo {

// floor_log2(x) is 0 for x < 2; ceil_log2(x) is 0 for x < 2 and 1 for x = 2.
uint32_t FloorLog2(uint32_t x);
uint32_t CeilLog2(uint32_t x);

struct LevelRange {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth_or_layers = 1;  // depth for 3D, 6 for cube, stack count for 2D, 1 for 1D
  uint32_t base_address = 0;     // 0 = none, after the level rules
  uint32_t mip_address = 0;
  uint32_t min_level = 0;
  uint32_t max_level = 0;
  bool mips_in_base_tail = false;
};

// Base-level width, height and third size (depth, 6 faces or layers) read
// from word 2 by the texture's dimension.
void FetchSizes(const FetchConstant& fetch, uint32_t& width, uint32_t& height, uint32_t& third);

// The first mip level whose smaller side is at most 16 texels.
uint32_t PackedTailLevel(uint32_t width, uint32_t height);

// The levels a texture uses and which of its two addresses are read.
// `assume_mips_in_base_tail` enables the base-tail rule only when it is 1.
LevelRange ComputeLevelRange(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail);

// No mip address, packed mips, a base address, a max level, not 1D, and a
// base level that already lies in the packed tail.
bool HasMipsInBaseTail(const FetchConstant& fetch);

// Report texts.
constexpr const char* kSignLetters = "uSbg";              // by 2-bit sign
constexpr const char* kGuestSwizzleLetters = "XYZW01??";  // by 3-bit guest swizzle
constexpr const char* kHostViewLetters = "RGBA01??";      // by 3-bit view selector
// The string forms' message for a description's failure: the code's
// message, with the fetch constant's type or guest format name where the
// code names them.
std::string DescriptionFailureText(const FetchConstant& fetch, ErrorCode code);
// Four sign letters, X first.
std::string SignText(const FetchConstant& fetch);
// Four guest swizzle letters, X first.
std::string GuestSwizzleText(const FetchConstant& fetch);
// Four host view letters, X first.
std::string ViewText(uint16_t view);
// Flag names in bit order joined by "+", or "-" when there are none.
std::string FlagsText(uint8_t flags);

}  // namespace mivo
