// A pack maker edits files while the host runs: the host learns which keys
// changed and, requesting them again, gets what is on disk now.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "pack/pack_loader.h"
#include "support/pack_builder.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

using namespace std::chrono_literals;
using test::MakeFlatRgba8Dds;
using test::MakePackFile;
using test::PackFile;

class PackLoaderReload : public ::testing::Test {
 protected:
  PackLoaderReload() {
    test::WritePack(temp_.path(), {a_, b_});
    loader_.WatchPackFiles(5ms);
    loader_.SetPackFolder(temp_.path().string());
  }
  // Truncates first, unless `in_place`: a look may see the file empty meanwhile.
  void Rewrite(const PackFile& file, const std::vector<uint8_t>& bytes, bool in_place = false) {
    std::ofstream(temp_ / file.entry.replacement_file, std::ios::binary | (in_place ? std::ios::in : std::ios::trunc))
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // Writes "pack.txt" alone, in one write.
  void List(const std::vector<PackFile>& files) {
    PackManifest rows;
    for (const PackFile& file : files) rows.push_back(file.entry);
    ASSERT_TRUE(WritePackManifest(rows, temp_.path()));
  }
  // The keys reported within `wait`, gathered until `key` is among them.
  std::set<ContentKey> Changes(ContentKey key = 0, std::chrono::milliseconds wait = 100ms) {
    std::set<ContentKey> keys;
    for (auto end = std::chrono::steady_clock::now() + (key ? 20s : wait);
         !keys.contains(key) && std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(1ms)) {
      for (ContentKey k : loader_.CollectChangedKeys()) keys.insert(k);
    }
    return keys;
  }
  // Requests until the replacement arrives: its first texel, or 0 when nothing came.
  uint32_t Fetch(const ManifestEntry& e, std::chrono::milliseconds wait = 20s) {
    for (auto end = std::chrono::steady_clock::now() + wait; std::chrono::steady_clock::now() < end;) {
      loader_.RequestReplacement(e.hash, test::OriginalInfo(e));
      if (auto t = loader_.TakeReplacement(e.hash, test::OriginalInfo(e), kReadyBudgetBytes)) {
        return uint32_t(t->data[0]) << 24 | t->data[1] << 16 | t->data[2] << 8 | t->data[3];
      }
      std::this_thread::sleep_for(1ms);
    }
    return 0;
  }
  // What the host ends with once the edits stop being reported.
  uint32_t FetchLatest(const ManifestEntry& e) {
    uint32_t texel = Fetch(e);
    while (Changes().contains(e.hash)) texel = Fetch(e);
    return texel;
  }

  test::TempFolder temp_;
  const PackFile a_ = MakePackFile(0xA, HostFormat::RGBA8_UNORM, 16, 16, ".dds", MakeFlatRgba8Dds(4, 4, 0xA1));
  const PackFile b_ = MakePackFile(0xB, HostFormat::RGBA8_UNORM, 16, 16, ".dds", MakeFlatRgba8Dds(4, 4, 0xB1));
  const PackFile c_ = MakePackFile(0xC, HostFormat::RGBA8_UNORM, 16, 16, ".dds", MakeFlatRgba8Dds(4, 4, 0xC1));
  PackLoader loader_{2};
};

TEST_F(PackLoaderReload, QuickSameSizeSavesEndWithTheLastAndUnchangedBytesReportNothing) {
  ASSERT_EQ(Fetch(a_.entry), 0xA1u);
  Rewrite(a_, MakeFlatRgba8Dds(4, 4, 0xA2));
  Rewrite(a_, MakeFlatRgba8Dds(4, 4, 0xA3));
  Rewrite(b_, b_.bytes, true);
  EXPECT_EQ(Changes(a_.entry.hash), std::set<ContentKey>{a_.entry.hash});
  EXPECT_EQ(FetchLatest(a_.entry), 0xA3u);
}

TEST_F(PackLoaderReload, AFileTurnedInvalidServesNothingAndIsTriedAgainOnlyWhenSavedAgain) {
  ASSERT_EQ(Fetch(a_.entry), 0xA1u);
  Rewrite(a_, test::MakeFlatPng(4, 4, 0));
  Changes(a_.entry.hash);
  EXPECT_EQ(Fetch(a_.entry, 300ms), 0u);
  EXPECT_EQ(loader_.Status(), "invalid DDS header");
  std::atomic<int> loads = 0;
  PackLoaderTesting::SetLoadHook(loader_, [&](const ContentIdentity&) { ++loads; });
  EXPECT_EQ(Fetch(a_.entry, 100ms), 0u);
  EXPECT_EQ(loads.load(), 0);
  Rewrite(a_, MakeFlatRgba8Dds(4, 4, 0xA2));
  Changes(a_.entry.hash);
  EXPECT_EQ(FetchLatest(a_.entry), 0xA2u);
  EXPECT_EQ(loader_.Status(), "2 entries");
}

TEST_F(PackLoaderReload, ManifestGainingAndLosingRowsReportsThoseRowsOnly) {
  Rewrite(c_, c_.bytes);
  ASSERT_EQ(Fetch(b_.entry), 0xB1u);
  List({b_, c_});
  EXPECT_EQ(Changes(c_.entry.hash), (std::set<ContentKey>{a_.entry.hash, c_.entry.hash}));
  EXPECT_EQ(Fetch(a_.entry, 100ms), 0u);  // no longer listed
  EXPECT_EQ(Fetch(c_.entry), 0xC1u);
  EXPECT_EQ(loader_.Status(), "2 entries");
  std::ofstream(temp_ / "pack.txt") << "MVTP 2\n";
  Changes(0, 200ms);
  EXPECT_EQ(loader_.Status(), "unsupported pack version");
  EXPECT_EQ(Fetch(b_.entry), 0xB1u);  // the rows read before stay
  List({a_, b_, c_});
  EXPECT_EQ(Changes(a_.entry.hash), std::set<ContentKey>{a_.entry.hash});
  EXPECT_EQ(Fetch(a_.entry), 0xA1u);
  EXPECT_EQ(loader_.Status(), "3 entries");
}

TEST_F(PackLoaderReload, ASaveWhileTheOldVersionLoadsIsServedAfterIt) {
  std::atomic<bool> saved = false;
  PackLoaderTesting::SetMergeHook(loader_, [&](const ContentIdentity&) {
    if (!saved.exchange(true)) Rewrite(a_, MakeFlatRgba8Dds(4, 4, 0xA2));
  });
  loader_.RequestReplacement(a_.entry.hash, test::OriginalInfo(a_.entry));
  Changes(a_.entry.hash);  // the old version, ready by now, is not handed out
  EXPECT_EQ(FetchLatest(a_.entry), 0xA2u);
}

TEST_F(PackLoaderReload, AFolderSwitchForgetsPendingChangesAndWatchesTheNewPack) {
  Rewrite(a_, MakeFlatRgba8Dds(4, 4, 0xA2));
  std::this_thread::sleep_for(100ms);
  test::WritePack(temp_ / "other", {c_});
  loader_.SetPackFolder((temp_ / "other").string());
  EXPECT_EQ(Changes(), std::set<ContentKey>{});
  std::ofstream(temp_ / "other" / c_.entry.replacement_file) << "broken";
  EXPECT_EQ(Changes(c_.entry.hash), std::set<ContentKey>{c_.entry.hash});
}

// One thread saves files, valid or not, and now and then sets the folder
// again, while others request, take and collect changes; afterwards each
// texture arrives in its last version.
TEST_F(PackLoaderReload, SavesDuringRequestsAndTakesEndWithTheLastVersions) {
  std::atomic<bool> done = false;
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(t);
      while (!done) {
        const ManifestEntry& e = random() % 2 ? a_.entry : b_.entry;
        loader_.RequestReplacement(e.hash, test::OriginalInfo(e));
        loader_.TakeReplacement(e.hash, test::OriginalInfo(e), kReadyBudgetBytes);
        if (t == 0) loader_.CollectChangedKeys();
      }
    });
  }
  std::mt19937 random(7);
  for (auto end = std::chrono::steady_clock::now() + 1500ms; std::chrono::steady_clock::now() < end;) {
    Rewrite(random() % 2 ? a_ : b_, random() % 4 ? MakeFlatRgba8Dds(4, 4, random()) : std::vector<uint8_t>{1});
    if (random() % 64 == 0) loader_.SetPackFolder(temp_.path().string());
  }
  Rewrite(a_, MakeFlatRgba8Dds(4, 4, 0xAF));
  Rewrite(b_, MakeFlatRgba8Dds(4, 4, 0xBF));
  done = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(FetchLatest(a_.entry), 0xAFu);
  EXPECT_EQ(FetchLatest(b_.entry), 0xBFu);
}

}  // namespace
}  // namespace mivo
