// How an emulator embeds the pack loader. Render threads know each texture
// they have decoded by its content key and description; on every use they
// ask for its replacement and, once one is ready, swap it in. Nothing here
// ever waits for a file to load.
//
//   mivo_pack_host_example PACK_FOLDER
//
// The textures "in use" are the originals that the pack's manifest lists. A
// real host has the key from ComputeContentKey and the description from
// DescribeTexture of the texture it has just decoded.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pack/content_key.h"
#include "pack/manifest.h"
#include "pack/pack_loader.h"

namespace {

using namespace mivo;

constexpr uint32_t kRenderThreads = 4;
constexpr uint32_t kLoaderWorkers = 2;
// Upload bandwidth one frame may spend on replacements: a texture that does
// not fit now stays ready in the loader for a later frame.
constexpr uint64_t kUploadBytesPerFrame = 32ull << 20;
constexpr auto kFrameTime = std::chrono::milliseconds(1);
// Frames in a row without any loading work before a thread stops asking:
// what has not arrived by then failed to load or is not in the pack.
constexpr int kQuietFrames = 200;
constexpr int kMaxFrames = 20000;

struct GameTexture {
  ContentKey key = 0;
  std::string name;  // the dump's alias, only for printing
  GuestTextureInfo info;
  std::shared_ptr<HostTextureData> replacement;  // what the renderer would bind
};

void RenderThread(PackLoader& loader, std::vector<GameTexture>& textures, uint32_t thread_index) {
  int quiet = 0;
  for (int frame = 0; frame < kMaxFrames && quiet < kQuietFrames; ++frame) {
    uint64_t upload_left = kUploadBytesPerFrame;
    bool waiting_for_any = false;
    for (size_t i = thread_index; i < textures.size(); i += kRenderThreads) {
      GameTexture& texture = textures[i];
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
    if (!waiting_for_any) return;
    const PackLoaderStats stats = loader.Stats();
    quiet = stats.idle && stats.ready == 0 ? quiet + 1 : 0;
    std::this_thread::sleep_for(kFrameTime);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: mivo_pack_host_example PACK_FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  PackManifest manifest;
  std::string error;
  if (!ReadPackManifest(folder, manifest, error)) {
    std::printf("%s: %s\n", folder.c_str(), error.c_str());
    return 1;
  }
  std::vector<GameTexture> textures;
  for (const ManifestEntry& entry : manifest) {
    GameTexture texture;
    texture.key = entry.hash;
    texture.name = entry.bf_name;
    texture.info.host_format = entry.original_host_format;
    texture.info.width = entry.original_width;
    texture.info.height = entry.original_height;
    textures.push_back(texture);
  }

  PackLoader loader(kLoaderWorkers);
  loader.SetPackFolder(folder);
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < kRenderThreads; ++t) {
    threads.emplace_back(RenderThread, std::ref(loader), std::ref(textures), t);
  }
  for (std::thread& thread : threads) thread.join();

  size_t replaced = 0;
  for (const GameTexture& texture : textures) replaced += texture.replacement ? 1 : 0;
  std::printf("status: %s\n", loader.Status().c_str());
  std::printf("%zu of %zu textures replaced\n", replaced, textures.size());
  return 0;
}
