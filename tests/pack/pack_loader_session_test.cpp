// The loader over a long play session: what the pack does not list must not
// use it up, and nothing that goes wrong on its threads may end the host.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "pack/pack_loader.h"
#include "support/pack_builder.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

using namespace std::chrono_literals;

bool WaitIdle(const PackLoader& loader) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!loader.Stats().idle) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class PackLoaderSession : public ::testing::Test {
 protected:
  PackLoaderSession() {
    std::vector<test::PackFile> files;
    for (uint32_t i = 0; i < 5; ++i) {
      files.push_back(test::MakePackFile(0xA000 + i, HostFormat::RGBA8_UNORM, 32, 32, ".png",
                                         test::MakeFlatPng(4, 4, 0x10203040 + i)));
      listed_.push_back(files.back().entry);
    }
    test::WritePack(temp_ / "pack", files);
  }
  std::string pack() const { return (temp_ / "pack").string(); }
  void Request(PackLoader& loader, const ManifestEntry& entry) {
    loader.RequestReplacement(entry.hash, test::OriginalInfo(entry));
  }
  // Takes every listed texture; how many were ready.
  size_t TakeAll(PackLoader& loader) {
    size_t taken = 0;
    for (const ManifestEntry& entry : listed_) {
      taken += loader.TakeReplacement(entry.hash, test::OriginalInfo(entry), kReadyBudgetBytes) != nullptr;
    }
    return taken;
  }

  test::TempFolder temp_;
  std::vector<ManifestEntry> listed_;
};

TEST_F(PackLoaderSession, UnlistedTexturesNeitherFillTheRequestedSetNorStopReplacements) {
  const GuestTextureInfo unlisted = test::OriginalInfo(listed_[0]);
  PackLoader loader(2);
  loader.SetPackFolder(pack());
  // Most unlisted ones come before the manifest is read and are dropped when it is.
  for (const ManifestEntry& entry : listed_) Request(loader, entry);
  for (uint64_t key = 1; key <= 300; ++key) loader.RequestReplacement(key, unlisted);
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(loader.Stats().requested, listed_.size());
  EXPECT_EQ(TakeAll(loader), listed_.size());

  size_t most_requested = 0;
  uint64_t key = 1000;
  for (int round = 0; round < 10; ++round) {
    for (int i = 0; i < 20000; ++i, ++key) {
      loader.RequestReplacement(key, unlisted);
      if (i % 4000 == 0) Request(loader, listed_[i / 4000]);
      if (i % 500 == 0) most_requested = std::max(most_requested, loader.Stats().requested);
    }
    ASSERT_TRUE(WaitIdle(loader));
    EXPECT_EQ(TakeAll(loader), listed_.size()) << "round " << round;
  }
  EXPECT_LE(most_requested, listed_.size());
  EXPECT_EQ(loader.Status(), "5 entries");
}

// A failure on the loader's threads drops the batch it hit; the loader says
// so and serves the same textures when they are asked for again.
TEST_F(PackLoaderSession, AFailureWhileLoadingOrMergingDropsTheBatchAndLoadingGoesOn) {
  struct Case {
    const char* name;
    bool in_merge;  // else in the load hook
    void (*fail)();
    std::string status;
  };
  const Case cases[] = {
      {"non-standard exception while loading", false, [] { throw 7; }, "unexpected error while loading"},
      {"allocation failure while merging", true, [] { throw std::bad_alloc(); }, std::bad_alloc().what()},
      {"non-standard exception while merging", true, [] { throw 7; }, "unexpected error while loading"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> failed = false;
    const auto fail_once = [&](const ContentIdentity&) {
      if (!failed.exchange(true)) c.fail();
    };
    PackLoader loader(2);
    if (c.in_merge) {
      loader.SetMergeHook(fail_once);
    } else {
      loader.SetLoadHook(fail_once);
    }
    loader.SetPackFolder(pack());
    for (const ManifestEntry& entry : listed_) Request(loader, entry);
    ASSERT_TRUE(WaitIdle(loader));
    EXPECT_TRUE(failed);
    EXPECT_EQ(loader.Status(), c.status);
    // Nothing of the dropped batch is remembered as requested.
    const PackLoaderStats stats = loader.Stats();
    EXPECT_LT(stats.ready, listed_.size());
    EXPECT_EQ(stats.requested, stats.ready);

    for (const ManifestEntry& entry : listed_) Request(loader, entry);
    ASSERT_TRUE(WaitIdle(loader));
    EXPECT_EQ(TakeAll(loader), listed_.size());
  }
}

}  // namespace
}  // namespace mivo
