#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "common/dds_writer.h"
#include "common/png_writer.h"

namespace mivo {
namespace {

std::vector<uint8_t> Noise(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = 12345;
  for (uint8_t& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = uint8_t(state >> 24);
  }
  return bytes;
}

// The PNG file of a 2048x2048 RGBA8 image, produced piece by piece into a
// sink that only looks at each piece: the encoder's cost without the I/O.
void BM_ProducePng2048(benchmark::State& state) {
  const uint32_t side = 2048;
  const std::vector<uint8_t> pixels = Noise(size_t(side) * side * 4);
  for (auto _ : state) {
    ProducePng(side, side, pixels.data(), [](const uint8_t* bytes, size_t size) {
      benchmark::DoNotOptimize(bytes[size - 1]);
      return true;
    });
  }
  state.SetBytesProcessed(state.iterations() * int64_t(pixels.size()));
}
BENCHMARK(BM_ProducePng2048)->Unit(benchmark::kMillisecond);

// The whole DDS file of a 64 MiB texture (4096x4096 RGBA8 base level),
// built in memory.
void BM_BuildDds64MiB(benchmark::State& state) {
  HostTextureData texture;
  texture.host_format = HostFormat::RGBA8_UNORM;
  texture.width = texture.height = 4096;
  if (!AddLevel(texture, 0, 4096, 4096)) {
    state.SkipWithError("level refused");
    return;
  }
  texture.data = Noise(texture.data.size());
  for (auto _ : state) {
    std::vector<uint8_t> file = BuildDds(texture);
    benchmark::DoNotOptimize(file.data());
  }
  state.SetBytesProcessed(state.iterations() * int64_t(texture.data.size()));
}
BENCHMARK(BM_BuildDds64MiB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mivo
