// Instructions past the x86-64 baseline that some fast paths use, asked of
// the processor once. Every such path checks here at run time and keeps a
// plain path that gives the same bytes.
#pragma once

#if defined(__GNUC__) && defined(__x86_64__)
#define MIVO_X86_SIMD 1
#endif

namespace mivo {

#ifdef MIVO_X86_SIMD
inline bool CpuHasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

inline bool CpuHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// PCLMULQDQ, with the SSE4.1 extracts that go with it.
inline bool CpuHasCarrylessMultiply() {
  static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return has;
}
#endif

}  // namespace mivo
