// The pack loader's limits; the class itself is public, in mivo/pack.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mivo/pack.h"

namespace mivo {

constexpr size_t kMaxWaitingRequests = 256;
constexpr size_t kMaxRequestedIdentities = 65536;
constexpr uint32_t kMaxBatchRequests = 4;

}  // namespace mivo
