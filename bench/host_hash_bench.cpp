#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "mivo/pack.h"
#include "pack/host_hash.h"

namespace mivo {
namespace {

// 16 MiB of random bytes, the size of a large decoded texture.
const std::vector<uint8_t>& Data() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> bytes(size_t(16) << 20);
    std::mt19937_64 random(1);
    for (uint8_t& b : bytes) b = uint8_t(random());
    return bytes;
  }();
  return data;
}

// The host hash as the tools compute it (the segmented route where the
// processor has it)...
void BM_HashHostData(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data();
  for (auto _ : state) benchmark::DoNotOptimize(HashHostData(data.data(), data.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}
BENCHMARK(BM_HashHostData);

// ...beside the plain byte-at-a-time loop that gives the same value.
void BM_HashHostDataPlain(benchmark::State& state) {
  const std::vector<uint8_t>& data = Data();
  for (auto _ : state) benchmark::DoNotOptimize(HashHostDataPlain(kFnvOffsetBasis, data.data(), data.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
}
BENCHMARK(BM_HashHostDataPlain);

}  // namespace
}  // namespace mivo
