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

GuestMemorySpans SpansOfView(const GuestMemoryView& view) {
  GuestMemorySpans memory;
  if (view.data == nullptr) return memory;  // no buffer: no address lies inside it
  memory.guest_address = view.guest_address;
  memory.size = view.size;
  memory.spans[0] = {view.guest_address, view.data, view.size};
  memory.count = 1;
  return memory;
}

std::vector<uint8_t> FlattenGuestMemory(const GuestMemorySpans& memory) {
  std::vector<uint8_t> flat(size_t(memory.size), 0);
  for (size_t i = 0; i < memory.count; ++i) {
    const GuestMemorySpan& span = memory.spans[i];
    const uint64_t start = span.address - memory.guest_address;
    if (span.address < memory.guest_address || start >= memory.size) continue;
    std::memcpy(flat.data() + start, span.data, size_t(std::min(span.size, memory.size - start)));
  }
  return flat;
}

bool FindGuestRegion(const GuestMemorySpans& memory, uint32_t address, uint64_t count, uint32_t endian,
                     GuestRegionSource& out) {
  out = GuestRegionSource();
  out.size = (count + 3) & ~uint64_t(3);
  out.endian = endian & 3u;
  if (count == 0) return true;
  if (address < memory.guest_address || address - memory.guest_address >= memory.size) return false;
  // Whole 4-byte units only, counted from the region's start; past the end
  // of the memory everything reads as zero.
  const uint64_t limit = std::min<uint64_t>(memory.size - (address - memory.guest_address), out.size) & ~uint64_t(3);
  uint32_t count_in = 0;
  for (size_t i = 0; i < memory.count; ++i) {
    const GuestMemorySpan& span = memory.spans[i];
    const uint64_t lo = std::max<uint64_t>(span.address, address),
                   hi = std::min(span.address + span.size, address + limit);
    if (lo >= hi) continue;
    GuestRegionPiece piece{lo - address, span.data + (lo - span.address), hi - lo};
    uint32_t at = count_in++;
    for (; at > 0 && out.pieces[at - 1].offset > piece.offset; --at) out.pieces[at] = out.pieces[at - 1];
    out.pieces[at] = piece;
  }
  if (count_in != 0 && out.pieces[0].offset == 0) {
    out.bytes = out.pieces[0].bytes;
    out.held = out.pieces[0].size & ~uint64_t(3);
  }
  // One run of whole units from the start is what a plain buffer gives.
  const bool plain = count_in == 0 || (count_in == 1 && out.pieces[0].offset == 0 && out.held == out.pieces[0].size);
  out.piece_count = plain ? 0 : count_in;
  return true;
}

bool FindGuestRegion(const GuestMemoryView& view, uint32_t address, uint64_t count, uint32_t endian,
                     GuestRegionSource& out) {
  return FindGuestRegion(SpansOfView(view), address, count, endian, out);
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
