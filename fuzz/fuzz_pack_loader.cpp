// The pack loader's life cycle driven by bytes: each byte is one call (low
// three bits) with its argument (the other five), over a few packs written
// once to a temporary folder. Checks what the loader promises its host: a
// texture is handed out at most once per request, never above the caller's
// byte limit, and ready textures stay within the budget.
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/png_writer.h"
#include "pack/content_key.h"
#include "pack/manifest.h"
#include "pack/pack_loader.h"

namespace {

using namespace mivo;
namespace fs = std::filesystem;

struct Texture {
  uint64_t hash;
  HostFormat format;
  uint32_t width, height;
};

// Listed in the first pack (a PNG, a DDS of each kind, a missing file, a
// broken file, a larger PNG) and partly in the second; 0x7777 nowhere.
constexpr Texture kTextures[] = {
    {0x1111, HostFormat::RGBA8_UNORM, 4, 4}, {0x2222, HostFormat::BC1_UNORM, 8, 8},
    {0x3333, HostFormat::R8_UNORM, 16, 16},  {0x4444, HostFormat::RGBA8_UNORM, 8, 8},
    {0x5555, HostFormat::RG8_UNORM, 4, 4},   {0x6666, HostFormat::RGBA8_UNORM, 64, 64},
    {0x7777, HostFormat::RGBA8_UNORM, 4, 4},
};
constexpr size_t kTextureCount = std::size(kTextures);
// Beyond the textures: the first one asked with key 0, as a cube, from level 1.
constexpr size_t kRequestKinds = kTextureCount + 3;
constexpr uint64_t kLimits[] = {UINT64_MAX, 0, 84, 4096};
constexpr uint64_t kBudgets[] = {kReadyBudgetBytes, 0, 100, 30000};

std::vector<uint8_t> Dds(uint32_t width, uint32_t height, const char* fourcc, uint32_t dxgi, size_t data_bytes) {
  std::vector<uint8_t> file(dxgi != 0 ? 148 : 128, 0);
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(v >> (8 * i));
  };
  put(0, 0x20534444);
  put(4, 124);
  put(8, 0x1007);
  put(12, height);
  put(16, width);
  put(28, 1);
  put(76, 32);
  put(80, 4);
  for (int i = 0; i < 4; ++i) file[84 + i] = uint8_t(fourcc[i]);
  if (dxgi != 0) {
    put(128, dxgi);
    put(132, 3);
    put(140, 1);
  }
  for (size_t i = 0; i < data_bytes; ++i) file.push_back(uint8_t(i * 7));
  return file;
}

std::vector<uint8_t> Png(uint32_t side) {
  std::vector<uint8_t> pixels(size_t(side) * side * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 13);
  return BuildPng(side, side, pixels.data());
}

ManifestEntry Row(const Texture& t, uint32_t alias, const char* ext) {
  char name[21];
  std::snprintf(name, sizeof name, "bf_%08X_5E1C0001", alias);
  return {t.hash, name, FormatContentKey(t.hash, name) + ext, t.format, t.width, t.height};
}

void Put(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The packs, written once and removed at exit.
struct Packs {
  fs::path root;
  std::vector<std::string> folders;

  Packs() {
    char pattern[] = "/tmp/mivo_fuzz_packs_XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    root = pattern;
    const fs::path a = root / "a", b = root / "b", bad = root / "bad";
    for (const fs::path& folder : {a, b, bad, root / "empty"}) fs::create_directory(folder);
    const std::vector<std::pair<ManifestEntry, std::vector<uint8_t>>> rows_a = {
        {Row(kTextures[0], 1, ".png"), Png(4)},
        {Row(kTextures[0], 2, ".png"), Png(8)},  // an alias: the first row wins
        {Row(kTextures[1], 1, ".dds"), Dds(8, 8, "DXT1", 0, 32)},
        {Row(kTextures[2], 1, ".dds"), Dds(16, 16, "DX10", 61, 256)},
        {Row(kTextures[3], 1, ".png"), {}},  // listed, not there
        {Row(kTextures[4], 1, ".dds"), Dds(4, 4, "DDS?", 0, 0)},
        {Row(kTextures[5], 1, ".png"), Png(64)},
    };
    PackManifest manifest;
    for (const auto& [row, bytes] : rows_a) {
      manifest.push_back(row);
      if (!bytes.empty()) Put(a / row.replacement_file, bytes);
    }
    WritePackManifest(manifest, a);
    const ManifestEntry other = Row(kTextures[0], 3, ".dds");
    Put(b / other.replacement_file, Dds(4, 4, "DX10", 28, 64));
    WritePackManifest({other, manifest[3]}, b);
    Put(bad / "pack.txt", {'M', 'V', 'T', 'P', ' ', '2', '\n'});
    folders = {a.string(), b.string(), bad.string(), (root / "empty").string(), (root / "none").string(), ""};
  }
  ~Packs() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

GuestTextureInfo Info(size_t kind) {
  GuestTextureInfo info;
  const Texture& t = kTextures[kind < kTextureCount ? kind : 0];
  info.host_format = t.format;
  info.width = t.width;
  info.height = t.height;
  if (kind == kTextureCount + 1) info.dim = kDimCube, info.layers = 6;
  if (kind == kTextureCount + 2) info.min_level = 1;
  return info;
}

uint64_t Key(size_t kind) { return kind == kTextureCount ? 0 : kTextures[kind < kTextureCount ? kind : 0].hash; }

// The host's side of the contract.
struct Session {
  uint64_t budget = kReadyBudgetBytes;
  std::unique_ptr<PackLoader> loader;
  std::map<ContentIdentity, bool> may_take;  // requested since the last take or folder change

  void Start(uint32_t threads, uint64_t ready_budget) {
    loader.reset();
    budget = ready_budget;
    loader = std::make_unique<PackLoader>(threads, ready_budget);
    may_take.clear();
  }
  void CheckStats() const {
    const PackLoaderStats stats = loader->Stats();
    if (stats.ready_bytes > budget || stats.ready > stats.requested || stats.waiting > kMaxWaitingRequests ||
        (stats.ready == 0 && stats.ready_bytes != 0)) {
      __builtin_trap();
    }
  }
  void Call(uint8_t op, uint8_t arg, const Packs& packs) {
    const size_t kind = arg % kRequestKinds;
    const GuestTextureInfo info = Info(kind);
    const ContentIdentity identity = MakeContentIdentity(Key(kind), info.host_format, info.width, info.height);
    switch (op) {
      case 0:
      case 1:
        loader->RequestReplacement(Key(kind), info);
        if (Key(kind) != 0 && IsPackable(info)) may_take[identity] = true;
        break;
      case 2: {
        const uint64_t limit = kLimits[arg / kRequestKinds % std::size(kLimits)];
        const std::shared_ptr<HostTextureData> taken = loader->TakeReplacement(Key(kind), info, limit);
        if (taken == nullptr) break;
        if (!may_take[identity] || taken->data.size() > limit || taken->level_records.empty()) __builtin_trap();
        may_take[identity] = false;
        break;
      }
      case 3:
        loader->SetPackFolder(packs.folders[arg % packs.folders.size()]);
        may_take.clear();
        break;
      case 4:
        if (loader->Status().find('\n') != std::string::npos) __builtin_trap();
        break;
      case 5: CheckStats(); break;
      case 6:
        while (!loader->Stats().idle) std::this_thread::sleep_for(std::chrono::microseconds(50));
        CheckStats();
        break;
      default: Start(arg & 3, kBudgets[(arg >> 2) & 3]); break;
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const Packs packs;
  Session session;
  session.Start(1, kReadyBudgetBytes);
  for (size_t i = 0; i < size; ++i) session.Call(data[i] & 7, data[i] >> 3, packs);
  session.CheckStats();
  return 0;
}
