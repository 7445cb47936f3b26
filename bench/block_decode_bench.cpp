// Single-threaded decode speed, reported as texels per second (items/s).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "guest/block_decode.h"
#include "guest/convert.h"
#include "guest/expand.h"

namespace mivo {
namespace {

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = uint8_t(rng());
  return bytes;
}

// 4096 random blocks: big enough to defeat branch memorisation, small enough
// to stay in cache so that the decoder, not memory, is measured.
constexpr size_t kBlocks = 4096;

template <typename Decode>
void DecodeBlocks(benchmark::State& state, size_t block_bytes, Decode decode) {
  const std::vector<uint8_t> blocks = RandomBytes(kBlocks * block_bytes, 7);
  alignas(16) uint8_t out[64];
  for (auto _ : state) {
    for (size_t i = 0; i < kBlocks; ++i) {
      decode(blocks.data() + i * block_bytes, out);
      benchmark::DoNotOptimize(out);
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kBlocks * 16);
}

void BM_DecodeBc1(benchmark::State& state) {
  DecodeBlocks(state, 8, [](const uint8_t* b, uint8_t* o) { DecodeBc1Block(b, false, o); });
}
void BM_DecodeBc3(benchmark::State& state) { DecodeBlocks(state, 16, DecodeBc3Block); }
void BM_DecodeBc5(benchmark::State& state) { DecodeBlocks(state, 16, DecodeBc5Block); }
BENCHMARK(BM_DecodeBc1);
BENCHMARK(BM_DecodeBc3);
BENCHMARK(BM_DecodeBc5);

constexpr uint32_t kSide = 1024;

void ConvertLevel(benchmark::State& state, Conversion conversion, GuestFormat guest, HostFormat host) {
  const GuestFormatInfo& g = GuestFormatRow(uint32_t(guest));
  const uint32_t bx = kSide / g.block_width, by = kSide / g.block_height;
  const std::vector<uint8_t> src = RandomBytes(uint64_t(bx) * by * GuestBytesPerBlock(g), 11);
  std::vector<uint8_t> dst(HostSliceSize(host, kSide, kSide));
  TexelConversion job;
  job.conversion = conversion;
  job.guest_format = guest;
  job.host_format = host;
  job.src = src.data();
  job.bx = bx, job.by = by, job.bz = 1;
  job.width = kSide, job.height = kSide;
  job.dst = dst.data();
  job.row_pitch = HostRowPitch(host, kSide);
  job.slice_pitch = dst.size();
  for (auto _ : state) {
    ConvertTexels(job);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
}

void BM_ConvertDxt1ToRgba8(benchmark::State& state) {
  ConvertLevel(state, Conversion::dxt1_to_rgba8, GuestFormat::k_DXT1, HostFormat::RGBA8_UNORM);
}
void BM_Convert565ToRgba8(benchmark::State& state) {
  ConvertLevel(state, Conversion::c565_to_rgba8, GuestFormat::k_5_6_5, HostFormat::RGBA8_UNORM);
}
void BM_ConvertFixed16ToHalf(benchmark::State& state) {
  ConvertLevel(state, Conversion::fixed16_to_half, GuestFormat::k_16_16_16_16_EDRAM, HostFormat::RGBA16_FLOAT);
}
BENCHMARK(BM_ConvertDxt1ToRgba8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert565ToRgba8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertFixed16ToHalf)->Unit(benchmark::kMillisecond);

void ExpandLevel(benchmark::State& state, HostFormat format) {
  HostTextureData texture;
  texture.host_format = format;
  AddLevel(texture, 0, kSide, kSide);
  texture.data = RandomBytes(texture.data.size(), 13);
  std::vector<uint8_t> out(size_t(kSide) * kSide * 4);
  for (auto _ : state) {
    ExpandToRgba8Into(texture, texture.level_records[0], 0, out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kSide * kSide);
}

void BM_ExpandBc1(benchmark::State& state) { ExpandLevel(state, HostFormat::BC1_UNORM); }
void BM_ExpandRgba8(benchmark::State& state) { ExpandLevel(state, HostFormat::RGBA8_UNORM); }
void BM_ExpandRgba16Float(benchmark::State& state) { ExpandLevel(state, HostFormat::RGBA16_FLOAT); }
BENCHMARK(BM_ExpandBc1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpandRgba8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExpandRgba16Float)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mivo
