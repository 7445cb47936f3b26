// How an emulator embeds the pack loader. Render threads know each texture
// they have decoded by its content key and description; on every use they
// ask for its replacement and, once one is ready, swap it in. Nothing here
// ever waits for a file to load.
//
//   mivo_pack_host_example PACK_FOLDER [SECONDS]
//
// With SECONDS it plays that long and watches the pack for edits: save a
// replacement (or "pack.txt") meanwhile and the next frames show it.
//
// The textures "in use" are the originals that the pack's manifest lists. A
// real host has the key from ComputeContentKey and the description from
// DescribeTexture of the texture it has just decoded.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <mivo/pack.h>

namespace {

using namespace mivo;

constexpr uint32_t kRenderThreads = 4;
constexpr uint32_t kLoaderWorkers = 2;
// Upload bandwidth one frame may spend on replacements: a texture that does
// not fit now stays ready in the loader for a later frame.
constexpr uint64_t kUploadBytesPerFrame = 32ull << 20;
constexpr auto kFrameTime = std::chrono::milliseconds(1);
constexpr auto kWatchingFrameTime = std::chrono::milliseconds(16);
// Frames in a row without any loading work before a thread stops asking:
// what has not arrived by then failed to load or is not in the pack.
constexpr int kQuietFrames = 200;
constexpr int kMaxFrames = 20000;

struct GameTexture {
  ContentKey key = 0;
  std::string name;  // the dump's alias, only for printing
  GuestTextureInfo info;
  std::shared_ptr<HostTextureData> replacement;  // what the renderer would bind
  std::atomic<bool> stale = false;               // its replacement changed on disk
};

// Once per frame, on one thread: the textures whose replacement a pack maker
// has just saved are marked, and their own threads fetch them anew.
// The status is shown as it changes, so a save that broke a file is seen.
void MarkChangedTextures(PackLoader& loader, std::vector<GameTexture>& textures, int frame, std::string& status) {
  if (std::string now = loader.Status(); now != status) {
    status = std::move(now);
    std::printf("frame %d: status: %s\n", frame, status.c_str());
  }
  const std::vector<ContentKey> keys = loader.CollectChangedKeys();
  if (keys.empty()) return;
  size_t changed = 0;
  for (GameTexture& texture : textures) {
    if (!std::binary_search(keys.begin(), keys.end(), texture.key)) continue;
    texture.stale = true;
    ++changed;
  }
  std::printf("frame %d: %zu textures changed\n", frame, changed);
}

void RenderThread(PackLoader& loader, std::vector<GameTexture>& textures, uint32_t thread_index,
                  std::chrono::steady_clock::time_point until) {
  const bool watching = until != std::chrono::steady_clock::time_point();
  int quiet = 0;
  std::string status;
  for (int frame = 0; watching ? std::chrono::steady_clock::now() < until : frame < kMaxFrames && quiet < kQuietFrames;
       ++frame) {
    if (watching && thread_index == 0) MarkChangedTextures(loader, textures, frame, status);
    uint64_t upload_left = kUploadBytesPerFrame;
    bool waiting_for_any = false;
    for (size_t i = thread_index; i < textures.size(); i += kRenderThreads) {
      GameTexture& texture = textures[i];
      // Until the new version arrives the renderer uses the original.
      if (texture.stale.exchange(false)) texture.replacement.reset();
      if (texture.replacement) continue;
      waiting_for_any = true;
      // Cheap and harmless to repeat: a texture already asked for is not loaded twice.
      loader.RequestReplacement(texture.key, texture.info);
      std::shared_ptr<HostTextureData> ready = loader.TakeReplacement(texture.key, texture.info, upload_left);
      if (!ready) continue;
      upload_left -= ready->data.size();
      std::printf("frame %d: %s -> %ux%u %s, %u levels, %zu bytes\n", frame,
                  FormatContentKey(texture.key, texture.name).c_str(), ready->width, ready->height,
                  HostFormatName(ready->host_format), ready->levels, ready->data.size());
      texture.replacement = std::move(ready);
    }
    if (!waiting_for_any && !watching) return;
    const PackLoaderStats stats = loader.Stats();
    quiet = stats.idle && stats.ready == 0 ? quiet + 1 : 0;
    std::this_thread::sleep_for(watching ? kWatchingFrameTime : kFrameTime);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc == 3 ? std::atoi(argv[2]) : 0;
  if ((argc != 2 && argc != 3) || (argc == 3 && seconds <= 0)) {
    std::printf("usage: mivo_pack_host_example PACK_FOLDER [SECONDS]\n");
    return 2;
  }
  const std::string folder = argv[1];
  PackManifest manifest;
  std::string error;
  if (!ReadPackManifest(folder, manifest, error)) {
    std::printf("%s: %s\n", folder.c_str(), error.c_str());
    return 1;
  }
  std::vector<GameTexture> textures(manifest.size());
  for (size_t i = 0; i < manifest.size(); ++i) {
    textures[i].key = manifest[i].hash;
    textures[i].name = manifest[i].bf_name;
    textures[i].info.host_format = manifest[i].original_host_format;
    textures[i].info.width = manifest[i].original_width;
    textures[i].info.height = manifest[i].original_height;
  }

  PackLoader loader(kLoaderWorkers);
  std::chrono::steady_clock::time_point until;
  if (seconds > 0) {
    loader.WatchPackFiles(kPackWatchInterval);
    until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  }
  loader.SetPackFolder(folder);
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kRenderThreads; ++t) {
    threads.emplace_back(RenderThread, std::ref(loader), std::ref(textures), t, until);
  }
  for (std::thread& thread : threads) thread.join();

  size_t replaced = 0;
  for (const GameTexture& texture : textures) replaced += texture.replacement ? 1 : 0;
  std::printf("status: %s\n", loader.Status().c_str());
  std::printf("%zu of %zu textures replaced\n", replaced, textures.size());
  return 0;
}
