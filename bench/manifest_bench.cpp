#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "pack/manifest.h"

namespace mivo {
namespace {

// A full manifest: 32768 rows, each with its own hash, alias and file name.
void BM_ReadFullManifest(benchmark::State& state) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / "mivo_manifest_bench";
  fs::create_directories(dir);
  PackManifest written;
  for (uint32_t i = 0; i < kMaxManifestEntries; ++i) {
    char bf[21], file[64];
    std::snprintf(bf, sizeof bf, "bf_%08X_%08x", i * 7919u, i);
    uint64_t hash = 0x9E3779B97F4A7C15ull * (i + 1);
    std::snprintf(file, sizeof file, "%016llX__%s.dds", static_cast<unsigned long long>(hash), bf);
    written.push_back({hash, bf, file, HostFormat::BC3_UNORM, 256 + i % 512, 128});
  }
  if (!WritePackManifest(written, dir)) {
    state.SkipWithError("cannot write the manifest");
    return;
  }
  PackManifest entries;
  std::string error;
  for (auto _ : state) {
    bool ok = ReadPackManifest(dir, entries, error);
    benchmark::DoNotOptimize(ok);
    if (!ok || entries.size() != kMaxManifestEntries) state.SkipWithError("manifest refused");
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kMaxManifestEntries));
  fs::remove_all(dir);
}
BENCHMARK(BM_ReadFullManifest)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mivo
