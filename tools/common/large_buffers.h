// Buffers of megabytes that a program fills, lets go of and fills again.
// Where the system offers large pages (Linux's transparent huge pages), such
// a buffer asks for them: a first touch then maps 2 MiB at once instead of a
// single 4 KiB page, and on a virtual machine each fault is costly.
#pragma once

#include <cstddef>

namespace mivo {

constexpr size_t kLargePageBytes = size_t(2) << 20;

// Asks for large pages under the whole pages of [data, data + size); a hint
// that changes nothing but speed, and nothing at all where it is not offered.
void AdviseLargePages(void* data, size_t size);

// How many bytes from `data` to advise for `need` bytes in a buffer with a
// large page of room past them: up to the end of the large page that holds
// the last byte, or only up to its start where that page would reach past
// `need` by more than a quarter of it.
size_t LargePagedBytes(const void* data, size_t need);

// Makes room for `need` bytes in `buffer` (a std::vector of bytes) before
// anything writes there; a buffer that has to grow lets go of its old memory
// first. A buffer that held something before is one that is filled again and
// again: it gets room for a large page at least, and when it grows larger it
// asks for large pages, with room for one more
// past `need` where the last of `need` would otherwise miss out on one
// (unless that page would stand out past `need` by more than a quarter). A
// first buffer is sized exactly, so that a program handling one file holds no
// more than that file needs.
template <typename Vector>
void ReserveLargeBuffer(Vector& buffer, size_t need) {
  if (buffer.capacity() >= need) return;
  const bool refilled = buffer.capacity() != 0;
  Vector().swap(buffer);
  if (!refilled) return buffer.reserve(need);
  // Room that is never written costs no memory: small needs to come fit too.
  if (need < kLargePageBytes) return buffer.reserve(kLargePageBytes);
  buffer.reserve(need + kLargePageBytes);
  AdviseLargePages(buffer.data(), LargePagedBytes(buffer.data(), need));
}

// ReserveLargeBuffer, then `need` bytes in place of what the buffer held.
template <typename Vector>
void RefillLargeBuffer(Vector& buffer, size_t need) {
  ReserveLargeBuffer(buffer, need);
  buffer.clear();  // old bytes are not moved or kept
  buffer.resize(need);
}

}  // namespace mivo
