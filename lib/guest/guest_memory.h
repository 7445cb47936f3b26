// A read-only window of guest memory, as the texture reader sees it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivo {

struct GuestMemoryView {
  const uint8_t* data = nullptr;  // only read
  size_t size = 0;                // bytes in the buffer
  uint32_t guest_address = 0;     // guest address of data[0]
};

}  // namespace mivo
