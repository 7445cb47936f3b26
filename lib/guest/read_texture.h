// Reading a guest texture out of guest memory into a host-format texture:
// describe, lay out, copy and swap the regions, untile, convert.
#pragma once

#include <cstdint>
#include <string>

#include "guest/formats.h"
#include "guest/guest_bytes.h"
#include "guest/layout.h"
#include "guest/untile.h"
#include "guest/worker_pool.h"
#include "mivo/guest.h"

namespace mivo {

// Textures beyond these cannot exist: the guest address space is 512 MiB,
// and decoding must not be talked into allocating more than 2 GiB.
constexpr uint64_t kGuestAddressSpace = 0x20000000;
constexpr uint64_t kMaxHostTextureBytes = 0x80000000;

// Fills `texture` (reset first) with every level and layer that can be
// located, from min_level up. False with one message in `error`: the
// description's own message, "texture too large", "texture memory outside
// guest memory" or "no level could be read". With a pool, textures of 256 KiB
// and more are read in pieces of rows on the pool; the result is the same
// byte for byte. (Hosts use the form without a pool in mivo/guest.h.)
bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemoryView& view, HostTextureData& texture,
                      std::string& error, uint8_t assume_mips_in_base_tail, WorkerPool* pool);
bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemoryView& view, HostTextureData& texture,
                      ErrorCode& code, uint8_t assume_mips_in_base_tail, WorkerPool* pool);

// Bytes of host data ReadGuestTexture would fill for this fetch constant (0
// when it would fail before reading), so that a caller can size a buffer first.
uint64_t HostDataBytes(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail = 0);

// The same for guest memory given as spans, zero between them.
bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemorySpans& memory, HostTextureData& texture,
                      std::string& error, uint8_t assume_mips_in_base_tail = 0, WorkerPool* pool = nullptr);
bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemorySpans& memory, HostTextureData& texture,
                      ErrorCode& code, uint8_t assume_mips_in_base_tail = 0, WorkerPool* pool = nullptr);

}  // namespace mivo
