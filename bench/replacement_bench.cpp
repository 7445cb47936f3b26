#include <benchmark/benchmark.h>

#include <spng.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/dds_writer.h"
#include "common/png_writer.h"
#include "pack/mip_chain.h"
#include "pack/replacement.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSide = 4096;

void Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The two replacement files, written once per run: a 4096x4096 RGBA PNG of
// smooth gradients with some noise, and a 4096x4096 BC3 DDS with all 13 levels.
struct Files {
  fs::path folder;
  std::vector<uint8_t> png;
  size_t dds_size = 0;

  Files() {
    folder = fs::temp_directory_path() / "mivo_replacement_bench";
    fs::create_directories(folder);
    std::vector<uint8_t> rgba(size_t(kSide) * kSide * 4);
    uint32_t noise = 1;
    for (uint32_t y = 0; y < kSide; ++y) {
      for (uint32_t x = 0; x < kSide; ++x) {
        noise = noise * 1664525u + 1013904223u;
        uint8_t* p = &rgba[(size_t(y) * kSide + x) * 4];
        p[0] = uint8_t(x >> 4);
        p[1] = uint8_t(y >> 4);
        p[2] = uint8_t((x + y) >> 5) + uint8_t((noise >> 28) & 3);
        p[3] = uint8_t(255 - ((x ^ y) >> 6));
      }
    }
    png = BuildPng(kSide, kSide, rgba.data());
    Write(folder / "image.png", png);

    HostTextureData blocks;  // all zero
    blocks.host_format = HostFormat::BC3_UNORM;
    blocks.width = blocks.height = kSide;
    blocks.levels = CompleteChainCount(kSide, kSide);
    for (uint32_t m = 0; m < blocks.levels; ++m)
      AddLevel(blocks, m, std::max(1u, kSide >> m), std::max(1u, kSide >> m));
    const std::vector<uint8_t> dds = BuildDds(blocks);
    Write(folder / "blocks.dds", dds);
    dds_size = dds.size();
  }
};

const Files& BenchFiles() {
  static const Files files;
  return files;
}

void Load(benchmark::State& state, const char* name, HostFormat original, size_t file_size) {
  ManifestEntry entry;
  entry.replacement_file = name;
  entry.original_host_format = original;
  HostTextureData texture;
  std::string error;
  for (auto _ : state) {
    if (!LoadReplacement(BenchFiles().folder, entry, texture, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    benchmark::DoNotOptimize(texture.data.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file_size));
}

// Whole load of the PNG: read, decode, copy, 12 generated levels.
void BM_LoadPngRgba8WithMips(benchmark::State& state) {
  Load(state, "image.png", HostFormat::RGBA8_UNORM, BenchFiles().png.size());
}
BENCHMARK(BM_LoadPngRgba8WithMips)->Unit(benchmark::kMillisecond);

// Whole load of the DDS: read and copy 13 levels of blocks.
void BM_LoadDdsBc3FullChain(benchmark::State& state) {
  Load(state, "blocks.dds", HostFormat::BC3_UNORM, BenchFiles().dds_size);
}
BENCHMARK(BM_LoadDdsBc3FullChain)->Unit(benchmark::kMillisecond);

// The decoder library alone on the same PNG bytes, in its fastest mode.
void BM_SpngDecodeOnly(benchmark::State& state) {
  const std::vector<uint8_t>& png = BenchFiles().png;
  std::vector<uint8_t> out(size_t(kSide) * kSide * 4);
  for (auto _ : state) {
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, png.data(), png.size());
    if (spng_decode_image(ctx, out.data(), out.size(), SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) {
      state.SkipWithError("decode failed");
    }
    spng_ctx_free(ctx);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(png.size()));
}
BENCHMARK(BM_SpngDecodeOnly)->Unit(benchmark::kMillisecond);

// Mip generation alone: levels 1 to 12 of a 4096x4096 RGBA8 base.
void BM_GenerateRgba8Mips(benchmark::State& state) {
  HostTextureData base;
  base.host_format = HostFormat::RGBA8_UNORM;
  base.width = kSide;
  base.height = kSide;
  AddLevel(base, 0, kSide, kSide);
  for (size_t i = 0; i < base.data.size(); ++i) base.data[i] = uint8_t(i * 31 >> 3);
  for (auto _ : state) {
    state.PauseTiming();
    HostTextureData texture = base;
    state.ResumeTiming();
    if (!GenerateMipLevels(texture)) state.SkipWithError("generation failed");
    benchmark::DoNotOptimize(texture.data.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(base.data.size()));
}
BENCHMARK(BM_GenerateRgba8Mips)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mivo
