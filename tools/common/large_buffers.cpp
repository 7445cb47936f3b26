#include "common/large_buffers.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace mivo {

size_t LargePagedBytes(const void* data, size_t need) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(data), end = start + need;
  const uintptr_t page_end = (end + kLargePageBytes - 1) & ~uintptr_t(kLargePageBytes - 1);
  if (page_end - end <= kLargePageBytes / 4) return size_t(page_end - start);
  const uintptr_t page_start = end & ~uintptr_t(kLargePageBytes - 1);
  return page_start > start ? size_t(page_start - start) : 0;
}

void AdviseLargePages(void* data, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kPage = 4096;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(kPage - 1);
  // Only a hint: where it is refused the buffer works as before.
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace mivo
