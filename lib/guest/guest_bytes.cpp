#include "guest/guest_bytes.h"

#include <algorithm>
#include <cstring>

#include "guest/byte_order.h"

namespace mivo {

void CopySwapped(uint32_t endian, const uint8_t* src, uint8_t* dst, size_t count) {
  count &= ~size_t(3);
  switch (endian & 3u) {
    case 0:
      if (src != dst) std::memmove(dst, src, count);
      break;
    case 1:  // 8in16: the two bytes of every 16-bit unit
      for (size_t i = 0; i < count; i += 4) {
        const uint32_t v = LoadNative32(src + i);
        StoreNative32(dst + i, ((v & 0x00FF00FFu) << 8) | ((v >> 8) & 0x00FF00FFu));
      }
      break;
    case 2:  // 8in32: the four bytes of every 32-bit unit
      for (size_t i = 0; i < count; i += 4) {
        const uint32_t v = LoadNative32(src + i);
        StoreNative32(dst + i, (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24));
      }
      break;
    default:  // 16in32: the two 16-bit halves of every 32-bit unit
      for (size_t i = 0; i < count; i += 4) {
        const uint32_t v = LoadNative32(src + i);
        StoreNative32(dst + i, (v << 16) | (v >> 16));
      }
      break;
  }
}

bool FindGuestRegion(const GuestMemoryView& view, uint32_t address, uint64_t count, uint32_t endian,
                     GuestRegionSource& out) {
  out = GuestRegionSource();
  out.size = (count + 3) & ~uint64_t(3);
  out.endian = endian & 3u;
  if (count == 0) return true;
  if (view.data == nullptr || address < view.guest_address || address - view.guest_address >= view.size) {
    return false;
  }
  const uint64_t start = address - view.guest_address;
  out.bytes = view.data + start;
  out.held = std::min<uint64_t>(view.size - start, out.size) & ~uint64_t(3);
  return true;
}

GuestRegionSource CopySource(const GuestRegionCopy& copy) {
  GuestRegionSource source;
  source.bytes = copy.bytes.data();
  source.held = copy.bytes.size();
  source.size = copy.size;
  return source;
}

bool SizeGuestCopy(const GuestMemoryView& view, uint32_t address, uint64_t count, GuestRegionCopy& out,
                   const uint8_t*& from) {
  GuestRegionSource source;
  const bool found = FindGuestRegion(view, address, count, 0, source);
  out.bytes.clear();
  out.size = source.size;
  from = source.bytes;
  // Only what exists is held: an untrusted size must not become an allocation.
  if (found) out.bytes.resize(size_t(source.held));
  return found;
}

bool ReadGuestBytes(const GuestMemoryView& view, uint32_t address, uint64_t count, uint32_t endian,
                    GuestRegionCopy& out) {
  const uint8_t* from = nullptr;
  if (!SizeGuestCopy(view, address, count, out, from)) return false;
  if (!out.bytes.empty()) CopySwapped(endian, from, out.bytes.data(), out.bytes.size());
  return true;
}

}  // namespace mivo
