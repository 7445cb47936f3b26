// ReadGuestTexture throughput on large tiled textures, sequential and on a
// three-worker pool, with the endian swaps such textures carry (8in32,
// 8in16). Bytes processed are the guest bytes the texture touches.
#include <benchmark/benchmark.h>

#include "guest/read_texture.h"
#include "support/dump_builder.h"
#include "support/guest_image_builder.h"

namespace mivo {
namespace {

struct Prepared {
  FetchConstant fetch;
  test::GuestMemory memory;
  uint64_t guest_bytes = 0;
};

Prepared Prepare(GuestFormat format, uint32_t max_level, uint32_t endian) {
  test::FetchFields f;
  f.endian = endian;
  f.format = format;
  f.width = f.height = 2048;
  f.pitch = 64;
  f.tiled = true;
  f.max_level = max_level;
  f.base_address = 0x01000000;
  f.mip_address = max_level != 0 ? 0x02000000 : 0;
  Prepared p;
  p.fetch = test::MakeFetchConstant(f);
  p.memory = test::MakeGuestMemory(p.fetch, test::PlaceGuestTexture(p.fetch, test::NoisePattern(1)), 0x01000000);
  const GuestExtents extents = ComputeGuestExtents(p.fetch, 0);
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
  for (auto _ : state) {
    if (!ReadGuestTexture(p.fetch, p.memory.View(), texture, nullptr, 0, pool.get())) state.SkipWithError("read failed");
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
