// The loader over a long play session: what the pack does not list must not
// use it up, and nothing that fails on its threads may end the host.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "pack/pack_loader.h"
#include "support/pack_builder.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

using test::OriginalInfo;

class PackLoaderSession : public ::testing::Test {
 protected:
  PackLoaderSession() {
    std::vector<test::PackFile> files;
    for (uint64_t key = 1; key <= 5; ++key) {
      files.push_back(test::MakePackFile(key, HostFormat::RGBA8_UNORM, 32, 32, ".png", test::MakeFlatPng(4, 4, 0)));
      listed_.push_back(files.back().entry);
    }
    test::WritePack(temp_.path(), files);
    loader_.SetPackFolder(temp_.path().string());
  }
  // Requests every listed texture, each after `noise` unlisted ones, lets the
  // loader finish, and takes what arrived.
  size_t Round(uint64_t noise) {
    for (const ManifestEntry& entry : listed_) {
      for (uint64_t i = 0; i < noise; ++i) loader_.RequestReplacement(next_unlisted_++, OriginalInfo(listed_[0]));
      loader_.RequestReplacement(entry.hash, OriginalInfo(entry));
      most_requested_ = std::max(most_requested_, loader_.Stats().requested);
    }
    for (int ms = 0; ms < 20000 && !loader_.Stats().idle; ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    size_t taken = 0;
    for (const ManifestEntry& e : listed_) taken += loader_.TakeReplacement(e.hash, OriginalInfo(e), 4096) != nullptr;
    return taken;
  }

  test::TempFolder temp_;
  std::vector<ManifestEntry> listed_;
  PackLoader loader_{2};
  uint64_t next_unlisted_ = 1000;
  size_t most_requested_ = 0;
};

TEST_F(PackLoaderSession, UnlistedTexturesNeitherFillTheRequestedSetNorStopReplacements) {
  // 200,000 unlisted requests once the first round has read the manifest.
  for (int round = 0; round <= 10; ++round) EXPECT_EQ(Round(round == 0 ? 0 : 4000), 5u) << round;
  EXPECT_LE(most_requested_, 5u);
}

// The batch a failure hits is dropped, so its textures load when asked again.
TEST_F(PackLoaderSession, AFailureWhileLoadingOrMergingDropsOneBatchAndIsReported) {
  const struct {
    bool in_merge;
    void (*fail)();
    std::string status;
  } cases[] = {{false, [] { throw 7; }, "unexpected error while loading"},
               {true, [] { throw 7; }, "unexpected error while loading"},
               {true, [] { throw std::bad_alloc(); }, std::bad_alloc().what()}};
  for (const auto& c : cases) {
    std::atomic<bool> failed = false;
    const auto hook = [&](const ContentIdentity&) {
      if (!failed.exchange(true)) c.fail();
    };
    c.in_merge ? loader_.SetMergeHook(hook) : loader_.SetLoadHook(hook);
    loader_.SetPackFolder(temp_.path().string());
    EXPECT_LT(Round(0), 5u) << c.status;
    EXPECT_EQ(loader_.Status(), c.status);
    EXPECT_EQ(loader_.Stats().requested, 0u);
    EXPECT_EQ(Round(0), 5u);
    loader_.SetMergeHook({});
    loader_.SetLoadHook({});
  }
}

}  // namespace
}  // namespace mivo
