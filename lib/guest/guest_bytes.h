// Guest regions: copied out of guest memory with their endian swap, or
// found in it to be swapped as they are read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "mivo/guest.h"

namespace mivo {

// Leaves the bytes of a resize unwritten: a region copy is overwritten whole
// right after sizing, and zero-filling megabytes first would be wasted work.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {  // not std::allocator's, where a library still has one
    using other = UninitializedAllocator<U>;
  };
  UninitializedAllocator() = default;
  template <typename U>
  UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
};

// Guest memory given as a few spans of bytes at their guest addresses, every
// other address from `guest_address` up to guest_address + size reading as
// zero: the memory of a zero-filled buffer holding the spans, without the
// buffer, so that what lies between the spans costs nothing.
struct GuestMemorySpan {
  uint64_t address = 0;  // guest address of data[0]
  const uint8_t* data = nullptr;
  uint64_t size = 0;
};

struct GuestMemorySpans {
  static constexpr size_t kMaxSpans = 4;
  uint32_t guest_address = 0;        // the first address of the memory
  uint64_t size = 0;                 // bytes from there, zeros included
  GuestMemorySpan spans[kMaxSpans];  // not overlapping each other
  size_t count = 0;
};

// A view as spans: one span, the whole buffer.
GuestMemorySpans SpansOfView(const GuestMemoryView& view);

// The spans written into one zero-filled buffer of memory.size bytes: the
// same memory as a view (for callers that need one, and for comparing).
std::vector<uint8_t> FlattenGuestMemory(const GuestMemorySpans& memory);

// One region as the texture touches it, already endian-swapped. Only the
// bytes that exist in guest memory are held: everything from bytes.size()
// up to `size` reads as zero.
struct GuestRegionCopy {
  std::vector<uint8_t, UninitializedAllocator<uint8_t>> bytes;  // a multiple of 4 long, at most `size`
  uint64_t size = 0;                                            // touched size rounded up to a multiple of 4
};

struct GuestRegionCopies {
  GuestRegionCopy base;
  GuestRegionCopy mip;
};

// Endian codes: 0 none, 1 8in16, 2 8in32, 3 16in32. Works in whole 4-byte
// units (count is rounded down to one); src and dst may be the same.
void CopySwapped(uint32_t endian, const uint8_t* src, uint8_t* dst, size_t count);

// Copies `count` bytes at guest `address`; false when the start lies outside
// the view (no buffer, below its first address, at or past its end). A region
// that runs past the end of the view is read as far as it exists.
bool ReadGuestBytes(const GuestMemoryView& view, uint32_t address, uint64_t count, uint32_t endian,
                    GuestRegionCopy& out);

// The first half of ReadGuestBytes, for callers that swap in pieces: checks
// the start, sizes `out` to the bytes that exist (left unwritten) and points
// `from` at them in the view.
bool SizeGuestCopy(const GuestMemoryView& view, uint32_t address, uint64_t count, GuestRegionCopy& out,
                   const uint8_t*& from);

// Bytes of guest memory inside a region: `size` bytes from `offset` bytes
// past the region's start.
struct GuestRegionPiece {
  uint64_t offset = 0;
  const uint8_t* bytes = nullptr;
  uint64_t size = 0;
};

// One region as the gathering reads it: the region copy's bytes, or the
// guest memory's own bytes swapped as each block is taken, so that a texture
// is read without a second copy of its guest memory. Bytes from `held` up to
// `size` read as zero, unless the region is made of pieces: then `bytes` and
// `held` are the whole 4-byte units of a piece at offset 0 (the quick way),
// and every byte of the region is taken from the piece holding it, zero
// where none does.
struct GuestRegionSource {
  const uint8_t* bytes = nullptr;
  uint64_t held = 0;                                     // a multiple of 4, at most `size`
  uint64_t size = 0;                                     // touched size rounded up to a multiple of 4
  uint32_t endian = 0;                                   // the swap of `bytes`; 0 for a region copy
  GuestRegionPiece pieces[GuestMemorySpans::kMaxSpans];  // in offset order
  uint32_t piece_count = 0;                              // 0: `bytes` and `held` say it all
};

struct GuestRegionSources {
  GuestRegionSource base;
  GuestRegionSource mip;
};

// The region at guest `address` as it lies in the view, with the checks and
// the held size of ReadGuestBytes.
bool FindGuestRegion(const GuestMemoryView& view, uint32_t address, uint64_t count, uint32_t endian,
                     GuestRegionSource& out);

// The same for memory given as spans.
bool FindGuestRegion(const GuestMemorySpans& memory, uint32_t address, uint64_t count, uint32_t endian,
                     GuestRegionSource& out);

// A region copy as a source (already swapped).
GuestRegionSource CopySource(const GuestRegionCopy& copy);

}  // namespace mivo
