// ReadGuestTexture throughput on large tiled textures, sequential and on a
// three-worker pool, with the endian swaps such textures carry (8in32,
// 8in16). Bytes processed are the guest bytes the texture touches.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "guest/read_texture.h"
#include "guest/worker_pool.h"

namespace mivo {
namespace {

struct Prepared {
  FetchConstant fetch;
  std::vector<uint8_t> memory;  // guest memory from address 0, noise
  uint64_t guest_bytes = 0;
};

// A tiled 2048x2048 texture at 16 MiB with its mips (if any) at 32 MiB.
Prepared Prepare(GuestFormat format, uint32_t max_level, uint32_t endian) {
  constexpr uint32_t kSideLess1 = 2047, kPitch = 64, kBase = 0x01000000, kMips = 0x02000000;
  const uint32_t xyzw = (0u | 1u << 3 | 2u << 6 | 3u << 9) << 1;
  Prepared p;
  uint32_t* w = p.fetch.words;
  w[0] = 2u | kPitch << 22 | 1u << 31;  // texture, tiled
  w[1] = uint32_t(format) | endian << 6 | kBase;
  w[2] = kSideLess1 | kSideLess1 << 13;
  w[3] = xyzw;
  w[4] = max_level << 6;
  w[5] = kDim2D << 9 | (max_level != 0 ? kMips : 0);
  const GuestExtents extents = ComputeGuestExtents(p.fetch, 0);
  p.memory.resize(
      size_t(max_level != 0 ? extents.mip_address + extents.mip_size : extents.base_address + extents.base_size));
  std::mt19937 rng(1);
  for (uint8_t& b : p.memory) b = uint8_t(rng());
  p.guest_bytes = extents.base_size + extents.mip_size;
  return p;
}

void RunRead(benchmark::State& state, GuestFormat format, uint32_t max_level) {
  static const Prepared rgba = Prepare(GuestFormat::k_8_8_8_8, 11, 2);
  static const Prepared dxt1 = Prepare(GuestFormat::k_DXT1, 0, 1);
  const Prepared& p = format == GuestFormat::k_DXT1 ? dxt1 : rgba;
  (void)max_level;
  const uint32_t workers = uint32_t(state.range(0));
  auto pool = workers != 0 ? CreateWorkerPool(workers) : nullptr;
  HostTextureData texture;
  std::string error;
  for (auto _ : state) {
    if (!ReadGuestTexture(p.fetch, {p.memory.data(), p.memory.size(), 0}, texture, error, 0, pool.get()))
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(texture.data.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations() * p.guest_bytes));
}

void BM_ReadTiledRgba8WithMips(benchmark::State& state) { RunRead(state, GuestFormat::k_8_8_8_8, 11); }
void BM_ReadTiledDxt1(benchmark::State& state) { RunRead(state, GuestFormat::k_DXT1, 0); }

// Argument: pool workers (0 = no pool).
BENCHMARK(BM_ReadTiledRgba8WithMips)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadTiledDxt1)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace mivo
