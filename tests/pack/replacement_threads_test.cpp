// Replacement loads on several threads at once, as the pack loader's pool
// runs them. On Windows each load initialises COM for its own thread and
// undoes exactly that, whatever apartment the thread was in before.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "common/png_writer.h"
#include "pack/replacement.h"
#include "support/temp_folder.h"

#ifdef _WIN32
#include <objbase.h>
#endif

namespace mivo {
namespace {

TEST(ReplacementThreads, PngLoadsOnSeveralThreadsAtOnceGiveTheSameTexture) {
  const test::TempFolder pack;
  std::vector<uint8_t> pixels(16 * 8 * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7);
  ASSERT_TRUE(WritePng(pack / "r.png", 16, 8, pixels.data()));
  const ManifestEntry entry{1, "bf_00000001_00000001", "r.png", HostFormat::RGBA8_UNORM, 16, 8};
  HostTextureData expected;
  std::string error;
  ASSERT_TRUE(LoadReplacement(pack.path(), entry, expected, error)) << error;

  constexpr int kThreads = 8, kLoads = 20;
  std::vector<int> good(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
#ifdef _WIN32
      // Every other thread is already in a single-threaded apartment.
      const bool sta = t % 2 == 1 && SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
#endif
      for (int i = 0; i < kLoads; ++i) {
        HostTextureData texture;
        std::string message;
        good[t] += LoadReplacement(pack.path(), entry, texture, message) && texture.data == expected.data;
      }
#ifdef _WIN32
      // Nothing is left initialised: the thread's first MTA initialisation
      // is still its own, and an STA thread is still in its apartment.
      const HRESULT again = CoInitializeEx(nullptr, sta ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
      if (again != (sta ? S_FALSE : S_OK)) good[t] = -1;
      if (SUCCEEDED(again)) CoUninitialize();
      if (sta) CoUninitialize();
#endif
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(good, std::vector<int>(kThreads, kLoads));
}

}  // namespace
}  // namespace mivo
