#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "common/dds_writer.h"
#include "common/png_writer.h"
#include "pack/content_key.h"
#include "pack/mip_chain.h"
#include "pack/pack_loader.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSide = 1024;
constexpr uint32_t kTextures = 64;

std::vector<uint8_t> NoisyGradientPng(uint32_t seed) {
  std::vector<uint8_t> rgba(size_t(kSide) * kSide * 4);
  uint32_t noise = seed;
  for (uint32_t y = 0; y < kSide; ++y) {
    for (uint32_t x = 0; x < kSide; ++x) {
      noise = noise * 1664525u + 1013904223u;
      uint8_t* p = &rgba[(size_t(y) * kSide + x) * 4];
      p[0] = uint8_t(x >> 2);
      p[1] = uint8_t(y >> 2);
      p[2] = uint8_t(((x + y) >> 3) + ((noise >> 28) & 3));
      p[3] = uint8_t(255 - ((x ^ y) >> 4));
    }
  }
  return BuildPng(kSide, kSide, rgba.data());
}

// A square block-compressed DDS of noise with `levels` levels.
std::vector<uint8_t> BlockDds(HostFormat format, uint32_t levels, uint32_t seed) {
  HostTextureData t;
  t.host_format = format;
  t.width = t.height = kSide;
  t.levels = levels;
  for (uint32_t m = 0; m < levels; ++m) AddLevel(t, m, std::max(1u, kSide >> m), std::max(1u, kSide >> m));
  uint32_t noise = seed;
  for (uint8_t& b : t.data) {
    noise = noise * 1664525u + 1013904223u;
    b = uint8_t(noise >> 24);
  }
  return BuildDds(t);
}

// A manifest row for `key` whose replacement file gets the key's name.
ManifestEntry Row(uint64_t key, HostFormat format, const char* extension) {
  char alias[32];
  std::snprintf(alias, sizeof alias, "bf_%08X_%08X", uint32_t(key >> 32), uint32_t(key));
  return {key, alias, FormatContentKey(key, alias) + extension, format, kSide, kSide};
}

// 64 replacements of 1024x1024, in request order: every other one an RGBA
// PNG (decoded, 10 levels generated), then alternately a BC3 DDS with all 11
// levels (read as it is) and a single-level BC1 DDS (decoded, 10 levels
// generated).
struct BenchPack {
  fs::path folder;
  std::vector<ManifestEntry> entries;

  BenchPack() {
    folder = fs::temp_directory_path() / "mivo_pack_loader_bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (uint32_t i = 0; i < kTextures; ++i) {
      const uint64_t key = 0xB000 + i;
      std::vector<uint8_t> bytes;
      if (i % 2 == 0) {
        entries.push_back(Row(key, HostFormat::RGBA8_UNORM, ".png"));
        bytes = NoisyGradientPng(i);
      } else if (i % 4 == 1) {
        entries.push_back(Row(key, HostFormat::BC3_UNORM, ".dds"));
        bytes = BlockDds(HostFormat::BC3_UNORM, CompleteChainCount(kSide, kSide), i);
      } else {
        entries.push_back(Row(key, HostFormat::BC1_UNORM, ".dds"));
        bytes = BlockDds(HostFormat::BC1_UNORM, 1, i);
      }
      std::ofstream(folder / entries.back().replacement_file, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    WritePackManifest(entries, folder);
  }
  ~BenchPack() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
};

const BenchPack& Pack() {
  static const BenchPack pack;
  return pack;
}

// From SetPackFolder to the last of the 64 textures taken, polling like a
// host's frame loop. Untaken textures are requested again on every poll, as
// a host does, so one dropped for the budget comes back.
void BM_PackLoaderSetFolderToAllTaken(benchmark::State& state) {
  const BenchPack& pack = Pack();
  PackLoader loader(uint32_t(state.range(0)));
  std::vector<GuestTextureInfo> infos;
  for (const ManifestEntry& entry : pack.entries) {
    GuestTextureInfo info;
    info.host_format = entry.original_host_format;
    info.width = entry.original_width;
    info.height = entry.original_height;
    infos.push_back(info);
  }
  for (auto _ : state) {
    std::vector<std::shared_ptr<HostTextureData>> taken(kTextures);
    uint32_t left = kTextures;
    loader.SetPackFolder(pack.folder.string());
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (left > 0) {
      for (uint32_t i = 0; i < kTextures; ++i) {
        if (taken[i]) continue;
        loader.RequestReplacement(pack.entries[i].hash, infos[i]);
        taken[i] = loader.TakeReplacement(pack.entries[i].hash, infos[i], kReadyBudgetBytes);
        if (taken[i]) --left;
      }
      if (std::chrono::steady_clock::now() > give_up) {
        state.SkipWithError(("textures never arrived: " + loader.Status()).c_str());
        return;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    state.PauseTiming();
    taken.clear();
    state.ResumeTiming();
  }
  state.counters["textures/s"] =
      benchmark::Counter(double(kTextures) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PackLoaderSetFolderToAllTaken)
    ->ArgName("workers")
    ->Arg(0)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

}  // namespace
}  // namespace mivo
