#include "pack/pack_loader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/original_info.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::OriginalInfo;

// Small packs of flat PNGs and RGBA8 DDS files with their complete chains:
// "pack" (a_, b_, c_), "failing" (a_, a missing file, a PNG named .dds),
// "other" (another file for a_'s key, one more row), "many" (a_, and rows
// without files for keys 1 to 266), "stress1" and "stress2", "session".
const fs::path kPacks = fs::path(MIVO_SOURCE_DIR) / "tests" / "data" / "packs";

PackManifest Rows(const std::string& pack) {
  PackManifest rows;
  std::string error;
  EXPECT_TRUE(ReadPackManifest(kPacks / pack, rows, error)) << error;
  return rows;
}

constexpr auto kPatience = 20s;

template <typename Predicate>
bool WaitUntil(Predicate done) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

bool WaitIdle(const PackLoader& loader) {
  return WaitUntil([&] { return loader.Stats().idle; });
}

// Load hook that records each load and, while closed, holds it, so a test can
// act while a batch is in flight. Holds for at most kPatience.
class Gate {
 public:
  explicit Gate(bool open) : open_(open) {}
  PackLoadHook Hook() {
    return [this](const ContentIdentity& identity) {
      std::unique_lock lock(mutex_);
      entered_.push_back(identity);
      signal_.notify_all();
      signal_.wait_for(lock, kPatience, [&] { return open_; });
    };
  }
  void Set(bool open) {
    std::lock_guard lock(mutex_);
    open_ = open;
    signal_.notify_all();
  }
  bool WaitEntered(size_t count) {
    std::unique_lock lock(mutex_);
    return signal_.wait_for(lock, kPatience, [&] { return entered_.size() >= count; });
  }
  std::vector<ContentIdentity> Entered() {
    std::lock_guard lock(mutex_);
    return entered_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable signal_;
  bool open_;
  std::vector<ContentIdentity> entered_;
};

ContentIdentity IdentityOf(const ManifestEntry& e) {
  return MakeContentIdentity(e.hash, e.original_host_format, e.original_width, e.original_height);
}
void Request(PackLoader& loader, const ManifestEntry& entry) {
  loader.RequestReplacement(entry.hash, OriginalInfo(entry));
}
std::shared_ptr<HostTextureData> Take(PackLoader& loader, const ManifestEntry& entry,
                                      uint64_t limit = kReadyBudgetBytes) {
  return loader.TakeReplacement(entry.hash, OriginalInfo(entry), limit);
}
uint32_t FirstTexel(const HostTextureData& t) {
  return uint32_t(t.data[0]) << 24 | uint32_t(t.data[1]) << 16 | uint32_t(t.data[2]) << 8 | t.data[3];
}

// Sizes of the loaded textures with their complete chains.
constexpr uint64_t kBytesA = 8 * 8 * 4 + 4 * 4 * 4 + 2 * 2 * 4 + 4;                // 340
constexpr uint64_t kBytesB = 16 * 16 * 4 + 8 * 8 * 4 + 4 * 4 * 4 + 2 * 2 * 4 + 4;  // 1364

class PackLoaderLifecycle : public ::testing::Test {
 protected:
  fs::path pack() const { return kPacks / "pack"; }
  fs::path failing_pack() const { return kPacks / "failing"; }

  const PackManifest rows_ = Rows("pack"), failing_rows_ = Rows("failing");
  const ManifestEntry &a_ = rows_.at(0), &b_ = rows_.at(1), &c_ = rows_.at(2);
  const ManifestEntry &absent_ = failing_rows_.at(1), &bad_dds_ = failing_rows_.at(2);
  const ManifestEntry unlisted_{0x6666666666666666, "bf_66666666_66666666", "", HostFormat::RGBA8_UNORM, 32, 32};
};

TEST_F(PackLoaderLifecycle, RequestsWithoutAPackAKeyOrAPackableTextureAreIgnored) {
  PackLoader loader(1);
  Request(loader, a_);
  EXPECT_EQ(loader.Stats().requested, 0u);
  EXPECT_EQ(loader.Status(), "");
  loader.SetPackFolder(pack().string());
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(loader.Status(), "3 entries");
  loader.SetPackFolder("");  // no pack again: the status clears
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(loader.Status(), "");
  Request(loader, a_);
  EXPECT_EQ(loader.Stats().requested, 0u);
  EXPECT_EQ(loader.Stats().waiting, 0u);

  loader.SetPackFolder(pack().string());
  const GuestTextureInfo good = OriginalInfo(a_);
  loader.RequestReplacement(0, good);
  std::vector<GuestTextureInfo> unpackable(6, good);
  unpackable[0].dim = kDimCube;
  unpackable[1].dim = kDim3D;
  unpackable[2].depth = 2;
  unpackable[3].layers = 2;
  unpackable[4].min_level = 1;
  unpackable[5].host_format = HostFormat::RGBA16_UNORM;
  for (const GuestTextureInfo& info : unpackable) loader.RequestReplacement(a_.hash, info);
  EXPECT_EQ(loader.Stats().requested, 0u);
  // Fields outside the identity do not matter.
  GuestTextureInfo other_levels = good;
  other_levels.levels = 7;
  other_levels.view = 0;
  loader.RequestReplacement(a_.hash, other_levels);
  EXPECT_EQ(loader.Stats().requested, 1u);
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_NE(Take(loader, a_), nullptr);
}

TEST_F(PackLoaderLifecycle, ATextureRequestedTwiceLoadsOnceAndIsHandedOutOnce) {
  Gate gate(true);
  PackLoader loader(2);
  PackLoaderTesting::SetLoadHook(loader, gate.Hook());
  loader.SetPackFolder(pack().string());
  Request(loader, a_);
  Request(loader, a_);
  ASSERT_TRUE(WaitIdle(loader));
  Request(loader, a_);  // still ready: not loaded again
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(gate.Entered(), std::vector<ContentIdentity>{IdentityOf(a_)});
  EXPECT_EQ(loader.Stats().ready_bytes, kBytesA);

  EXPECT_EQ(Take(loader, a_, kBytesA - 1), nullptr);  // too big for the caller: stays ready
  EXPECT_EQ(loader.Stats().ready, 1u);
  std::shared_ptr<HostTextureData> texture = Take(loader, a_, kBytesA);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture.use_count(), 1);
  EXPECT_TRUE(texture->host_format == HostFormat::RGBA8_UNORM && texture->width == 8 && texture->height == 8 &&
              texture->levels == 4 && texture->data.size() == kBytesA);
  EXPECT_EQ(FirstTexel(*texture), 0x11223344u);
  EXPECT_EQ(Take(loader, a_), nullptr);
  EXPECT_EQ(loader.Stats().ready_bytes, 0u);
  EXPECT_EQ(loader.Stats().requested, 0u);

  Request(loader, a_);
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(gate.Entered().size(), 2u);
  std::shared_ptr<HostTextureData> again = Take(loader, a_);
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, texture);
}

TEST_F(PackLoaderLifecycle, AMissingManifestIsReportedAndNothingLoads) {
  Gate gate(true);
  PackLoader loader(1);
  PackLoaderTesting::SetLoadHook(loader, gate.Hook());
  loader.SetPackFolder((kPacks / "missing").string());
  Request(loader, a_);
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(loader.StatusCode(), ErrorCode::manifest_missing);
  EXPECT_EQ(loader.Stats().requested, 0u);  // an unreadable manifest lists nothing
  EXPECT_EQ(loader.Stats().ready, 0u);
  EXPECT_TRUE(gate.Entered().empty());
}

TEST_F(PackLoaderLifecycle, TheLastFailingRequestOfABatchSetsTheStatus) {
  Gate gate(false);
  PackLoader loader(3);
  PackLoaderTesting::SetLoadHook(loader, gate.Hook());
  // The first batch is held so that both failing requests share the next
  // one, where they load in parallel.
  const auto run = [&](const ManifestEntry& first, const ManifestEntry& second) {
    gate.Set(false);
    loader.SetPackFolder(failing_pack().string());
    const size_t before = gate.Entered().size();
    Request(loader, a_);
    ASSERT_TRUE(gate.WaitEntered(before + 1));
    Request(loader, first);
    Request(loader, second);
    gate.Set(true);
    ASSERT_TRUE(WaitIdle(loader));
  };
  run(absent_, bad_dds_);
  EXPECT_EQ(loader.StatusCode(), ErrorCode::dds_header);
  run(bad_dds_, absent_);
  EXPECT_EQ(loader.StatusCode(), ErrorCode::replacement_absent);
  EXPECT_EQ(loader.Stats().ready, 1u);
}

TEST_F(PackLoaderLifecycle, SwitchingFoldersDuringABatchDiscardsItAndReadsTheNewManifestFirst) {
  const PackManifest other = Rows("other");  // another file for a_'s key, and one more
  const ManifestEntry& only_there = other.at(1);
  Gate gate(false);
  PackLoader loader(0);
  PackLoaderTesting::SetLoadHook(loader, gate.Hook());
  loader.SetPackFolder(pack().string());
  Request(loader, a_);
  ASSERT_TRUE(gate.WaitEntered(1));
  loader.SetPackFolder((kPacks / "other").string());
  Request(loader, only_there);
  gate.Set(true);
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(loader.Status(), "2 entries");
  EXPECT_EQ(loader.Stats().ready, 1u);
  EXPECT_EQ(Take(loader, a_), nullptr);
  EXPECT_NE(Take(loader, only_there), nullptr);

  Request(loader, a_);
  ASSERT_TRUE(WaitIdle(loader));
  std::shared_ptr<HostTextureData> texture = Take(loader, a_);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(FirstTexel(*texture), 0x99AABBCCu);
}

TEST_F(PackLoaderLifecycle, ATextureOverTheBudgetIsDroppedAndMayBeRequestedAgain) {
  PackLoader loader(0, kBytesA + kBytesB - 1);
  loader.SetPackFolder(pack().string());
  Request(loader, a_);
  Request(loader, b_);
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(loader.Stats().ready_bytes, kBytesA);
  EXPECT_EQ(loader.Stats().requested, 1u);
  EXPECT_EQ(Take(loader, b_), nullptr);

  ASSERT_NE(Take(loader, a_), nullptr);
  Request(loader, b_);
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(loader.Stats().ready_bytes, kBytesB);
  std::shared_ptr<HostTextureData> b = Take(loader, b_);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->host_format, HostFormat::RGBA8_UNORM);
  EXPECT_EQ(FirstTexel(*b), 0x55667788u);

  PackLoader exact(0, kBytesA + kBytesB);  // a budget met exactly holds both
  exact.SetPackFolder(pack().string());
  Request(exact, a_);
  Request(exact, b_);
  ASSERT_TRUE(WaitIdle(exact));
  EXPECT_EQ(exact.Stats().ready_bytes, kBytesA + kBytesB);
}

TEST_F(PackLoaderLifecycle, UnlistedAndFailedTexturesAreNotRetriedUntilTheFolderIsSetAgain) {
  Gate gate(true);
  PackLoader loader(1);
  PackLoaderTesting::SetLoadHook(loader, gate.Hook());
  loader.SetPackFolder(failing_pack().string());
  for (int round = 0; round < 2; ++round) {
    Request(loader, unlisted_);
    Request(loader, bad_dds_);
    if (round == 1) {
      EXPECT_EQ(loader.Stats().waiting, 0u);
    }
    ASSERT_TRUE(WaitIdle(loader));
    EXPECT_EQ(gate.Entered(), std::vector<ContentIdentity>{IdentityOf(bad_dds_)});
    EXPECT_EQ(loader.Stats().requested, 1u);  // only the failed one is remembered
  }
  EXPECT_EQ(Take(loader, unlisted_), nullptr);
  loader.SetPackFolder(failing_pack().string());
  Request(loader, bad_dds_);
  ASSERT_TRUE(WaitIdle(loader));
  EXPECT_EQ(gate.Entered().size(), 2u);
}

TEST_F(PackLoaderLifecycle, RequestsBeyondTheWaitingLimitAreIgnored) {
  Gate gate(false);
  PackLoader loader(0);
  PackLoaderTesting::SetLoadHook(loader, gate.Hook());
  loader.SetPackFolder((kPacks / "many").string());  // a_ and rows, without files, for keys 1 to 266
  Request(loader, a_);
  ASSERT_TRUE(gate.WaitEntered(1));
  for (uint64_t key = 1; key <= kMaxWaitingRequests + 10; ++key) loader.RequestReplacement(key, OriginalInfo(a_));
  EXPECT_EQ(loader.Stats().waiting, kMaxWaitingRequests);
  EXPECT_EQ(loader.Stats().requested, kMaxWaitingRequests + 1);
  gate.Set(true);
  ASSERT_TRUE(WaitIdle(loader));
  // An ignored request left no trace, so it is accepted once there is room.
  loader.RequestReplacement(kMaxWaitingRequests + 10, OriginalInfo(a_));
  EXPECT_EQ(loader.Stats().requested, kMaxWaitingRequests + 2);
}

TEST_F(PackLoaderLifecycle, DestroyingWhileABatchLoadsLetsItFinish) {
  std::atomic<int> entered = 0;
  std::atomic<int> returned = 0;
  auto loader = std::make_unique<PackLoader>(3);
  PackLoaderTesting::SetLoadHook(*loader, [&](const ContentIdentity&) {
    ++entered;
    std::this_thread::sleep_for(50ms);  // long enough for the destructor to start meanwhile
    ++returned;
  });
  loader->SetPackFolder(pack().string());
  for (const ManifestEntry* entry : {&a_, &b_, &c_}) Request(*loader, *entry);
  ASSERT_TRUE(WaitUntil([&] { return entered > 0; }));
  loader.reset();
  EXPECT_EQ(returned.load(), entered.load());
}

// Several hosts' threads request and take at random while another switches
// folders, for a fixed time against real packs on disk.
TEST(PackLoaderConcurrency, RandomRequestsTakesAndFolderSwitchesStayConsistent) {
  constexpr uint32_t kListed = 12;
  constexpr uint32_t kKeys = 16;  // the last four are listed nowhere or fail
  constexpr uint64_t kBudget = 4000;
  constexpr auto kRunTime = 2s;

  // Keys 0x1000 + i, the first texel i << 24 | pack << 16 | 0xFFFF; the last
  // two rows hold broken files, the last two keys no rows.
  std::vector<ManifestEntry> originals = Rows("stress1");
  for (uint32_t i = kKeys - 2; i < kKeys; ++i)
    originals.push_back({0x1000 + i, "", "", HostFormat::RGBA8_UNORM, 32, 32});
  const std::vector<std::string> folders = {(kPacks / "stress1").string(), (kPacks / "stress2").string(), "",
                                            (kPacks / "missing").string()};

  PackLoader loader(3, kBudget);
  loader.SetPackFolder(folders[0]);
  const auto end = std::chrono::steady_clock::now() + kRunTime;
  std::atomic<uint64_t> taken = 0;
  std::atomic<uint64_t> faults = 0;
  std::atomic<uint64_t> over_budget = 0;

  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(t);
      while (std::chrono::steady_clock::now() < end) {
        const ManifestEntry& entry = originals[random() % kKeys];
        const uint32_t action = random() % 4;
        if (action < 2) {
          Request(loader, entry);
        } else if (action == 3) {
          over_budget += loader.Stats().ready_bytes > kBudget;
        } else if (std::shared_ptr<HostTextureData> texture = Take(loader, entry, random() % 2 ? kBudget : 600)) {
          ++taken;
          // Handed out once: the loader kept no reference, and no earlier taker marked it.
          faults += texture.use_count() != 1 || texture->flags != 0 || entry.hash - 0x1000 >= kListed ||
                    texture->data[0] != entry.hash - 0x1000;
          texture->flags = 1;
        }
      }
    });
  }
  threads.emplace_back([&] {
    std::mt19937 random(99);
    while (std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1 + random() % 15));
      loader.SetPackFolder(folders[random() % folders.size()]);
      (void)loader.Status();
    }
  });
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(faults.load(), 0u);
  EXPECT_EQ(over_budget.load(), 0u);
  EXPECT_GT(taken.load(), 0u);

  // Still serving afterwards: every listed texture arrives.
  loader.SetPackFolder(folders[1]);
  for (uint32_t i = 0; i < kListed; ++i) {
    Request(loader, originals[i]);
    std::shared_ptr<HostTextureData> texture;
    ASSERT_TRUE(WaitUntil([&] { return (texture = Take(loader, originals[i])) != nullptr; })) << i;
    EXPECT_EQ(FirstTexel(*texture), i << 24 | 2u << 16 | 0xFFFF);
  }
  EXPECT_EQ(loader.Status(), "14 entries");
}

// The loader over a long play session: what the pack does not list must not
// use it up, and nothing that fails on its threads may end the host.
class PackLoaderSession : public ::testing::Test {
 protected:
  PackLoaderSession() { loader_.SetPackFolder(folder_); }
  // Requests every listed texture, each after `noise` unlisted ones, lets the
  // loader finish, and takes what arrived.
  size_t Round(uint64_t noise) {
    for (const ManifestEntry& entry : listed_) {
      for (uint64_t i = 0; i < noise; ++i) loader_.RequestReplacement(next_unlisted_++, OriginalInfo(listed_[0]));
      loader_.RequestReplacement(entry.hash, OriginalInfo(entry));
      most_requested_ = std::max(most_requested_, loader_.Stats().requested);
    }
    for (int ms = 0; ms < 20000 && !loader_.Stats().idle; ++ms)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    size_t taken = 0;
    for (const ManifestEntry& e : listed_) taken += loader_.TakeReplacement(e.hash, OriginalInfo(e), 4096) != nullptr;
    return taken;
  }

  const std::string folder_ = (kPacks / "session").string();  // keys 1 to 5, 4x4 PNGs
  const PackManifest listed_ = Rows("session");
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
    c.in_merge ? PackLoaderTesting::SetMergeHook(loader_, hook) : PackLoaderTesting::SetLoadHook(loader_, hook);
    loader_.SetPackFolder(folder_);
    EXPECT_LT(Round(0), 5u) << c.status;
    EXPECT_EQ(loader_.Status(), c.status);
    EXPECT_EQ(loader_.StatusCode(), ErrorCode::unexpected_error);
    EXPECT_EQ(loader_.Stats().requested, 0u);
    EXPECT_EQ(Round(0), 5u);
    PackLoaderTesting::SetMergeHook(loader_, {});
    PackLoaderTesting::SetLoadHook(loader_, {});
  }
}

}  // namespace
}  // namespace mivo
