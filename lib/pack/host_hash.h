// The host hash (FNV-1a 64, public as HashHostData in mivo/pack.h) and the
// routes that compute it. Every route gives the same value; the tests hold
// the fast one to the plain one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivo {

constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;  // the state before any byte

// FNV-1a 64 continued from `hash` over `length` bytes, one byte at a time.
uint64_t HashHostDataPlain(uint64_t hash, const uint8_t* bytes, size_t length);

// The same value by the segmented route where this processor has what it
// needs (x86-64 with AVX2); false, and nothing written, where it has not.
bool HashHostDataSegmented(uint64_t hash, const uint8_t* bytes, size_t length, uint64_t& result);

}  // namespace mivo
