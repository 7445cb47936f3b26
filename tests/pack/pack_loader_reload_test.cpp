// A pack maker edits files while the host runs: the host learns which keys
// changed and, requesting them again, gets what is on disk now.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "pack/pack_loader.h"
#include "support/original_info.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

using namespace std::chrono_literals;
using test::OriginalInfo;

// A 4x4 RGBA8 DDS with its complete chain, every texel `texel` (R first).
std::vector<uint8_t> FlatDds(uint32_t texel) {
  std::vector<uint8_t> file(148 + 21 * 4);
  const auto put = [&](size_t at, uint32_t value) { std::memcpy(&file[at], &value, 4); };
  std::memcpy(&file[0], "DDS ", 4);
  std::memcpy(&file[84], "DX10", 4);
  for (auto [at, value] :
       {std::pair{4, 124}, {12, 4}, {16, 4}, {28, 3}, {76, 32}, {80, 4}, {128, 28}, {132, 3}, {140, 1}}) {
    put(at, value);
  }
  for (size_t at = 148; at < file.size(); at += 4)
    put(at, texel >> 24 | (texel >> 8 & 0xFF00) | (texel << 8 & 0xFF0000) | texel << 24);
  return file;
}

struct PackFile {
  ManifestEntry entry;
  std::vector<uint8_t> bytes;
};

// A 16x16 RGBA8 original whose replacement is a flat DDS.
PackFile MakePackFile(uint64_t hash, uint32_t texel) {
  char alias[21];
  std::snprintf(alias, sizeof alias, "bf_%08X_00000000", unsigned(hash));
  const ManifestEntry e{hash, alias, FormatContentKey(hash, alias) + ".dds", HostFormat::RGBA8_UNORM, 16, 16};
  return {e, FlatDds(texel)};
}

class PackLoaderReload : public ::testing::Test {
 protected:
  PackLoaderReload() {
    for (const PackFile* file : {&a_, &b_}) Rewrite(*file, file->bytes);
    List({a_, b_});
    loader_.WatchPackFiles(5ms);
    loader_.SetPackFolder(temp_.path().string());
  }
  // Truncates first, unless `in_place`: a look may see the file empty meanwhile.
  void Rewrite(const PackFile& file, const std::vector<uint8_t>& bytes, bool in_place = false) {
    std::ofstream(temp_ / file.entry.replacement_file, std::ios::binary | (in_place ? std::ios::in : std::ios::trunc))
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  // Writes "pack.txt" alone, in one write.
  void List(const std::vector<PackFile>& files, const std::filesystem::path& folder = {}) {
    PackManifest rows;
    for (const PackFile& file : files) rows.push_back(file.entry);
    ASSERT_TRUE(WritePackManifest(rows, folder.empty() ? temp_.path() : folder));
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
      loader_.RequestReplacement(e.hash, OriginalInfo(e));
      if (auto t = loader_.TakeReplacement(e.hash, OriginalInfo(e), kReadyBudgetBytes)) {
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
  const PackFile a_ = MakePackFile(0xA, 0xA1);
  const PackFile b_ = MakePackFile(0xB, 0xB1);
  const PackFile c_ = MakePackFile(0xC, 0xC1);
  PackLoader loader_{2};
};

// The first save comes while the old version is being merged: that version,
// ready by the time the save is seen, is not handed out.
TEST_F(PackLoaderReload, SavesWhileLoadingAndQuickSameSizeSavesEndWithTheLastOne) {
  std::atomic<bool> saved = false;
  PackLoaderTesting::SetMergeHook(loader_, [&](const ContentIdentity&) {
    if (!saved.exchange(true)) Rewrite(a_, FlatDds(0xA2));
  });
  loader_.RequestReplacement(a_.entry.hash, OriginalInfo(a_.entry));
  Changes(a_.entry.hash);
  EXPECT_EQ(FetchLatest(a_.entry), 0xA2u);
  Rewrite(a_, FlatDds(0xA3));
  Rewrite(a_, FlatDds(0xA4));
  Rewrite(b_, b_.bytes, true);  // the same bytes: not a change
  EXPECT_EQ(Changes(a_.entry.hash), std::set<ContentKey>{a_.entry.hash});
  EXPECT_EQ(FetchLatest(a_.entry), 0xA4u);
}

TEST_F(PackLoaderReload, AFileTurnedInvalidServesNothingAndIsTriedAgainOnlyWhenSavedAgain) {
  ASSERT_EQ(Fetch(a_.entry), 0xA1u);
  Rewrite(a_, {'D', 'D', 'S', ' '});
  Changes(a_.entry.hash);
  EXPECT_EQ(Fetch(a_.entry, 300ms), 0u);
  EXPECT_EQ(loader_.StatusCode(), ErrorCode::dds_header);
  std::atomic<int> loads = 0;
  PackLoaderTesting::SetLoadHook(loader_, [&](const ContentIdentity&) { ++loads; });
  EXPECT_EQ(Fetch(a_.entry, 100ms), 0u);
  EXPECT_EQ(loads.load(), 0);
  Rewrite(a_, FlatDds(0xA2));
  Changes(a_.entry.hash);
  EXPECT_EQ(FetchLatest(a_.entry), 0xA2u);
  EXPECT_EQ(loader_.Status(), "2 entries");
  EXPECT_EQ(loader_.StatusCode(), ErrorCode::ok);
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
  EXPECT_EQ(loader_.StatusCode(), ErrorCode::manifest_version);
  EXPECT_EQ(Fetch(b_.entry), 0xB1u);  // the rows read before stay
  List({a_, b_, c_});
  EXPECT_EQ(Changes(a_.entry.hash), std::set<ContentKey>{a_.entry.hash});
  EXPECT_EQ(Fetch(a_.entry), 0xA1u);
  EXPECT_EQ(loader_.Status(), "3 entries");
}

TEST_F(PackLoaderReload, AFolderSwitchForgetsPendingChangesAndWatchesTheNewPack) {
  Rewrite(a_, FlatDds(0xA2));
  std::this_thread::sleep_for(100ms);
  std::filesystem::create_directory(temp_ / "other");
  std::ofstream(temp_ / "other" / c_.entry.replacement_file);
  List({c_}, temp_ / "other");
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
        loader_.RequestReplacement(e.hash, OriginalInfo(e));
        loader_.TakeReplacement(e.hash, OriginalInfo(e), kReadyBudgetBytes);
        if (t == 0) loader_.CollectChangedKeys();
      }
    });
  }
  std::mt19937 random(7);
  for (auto end = std::chrono::steady_clock::now() + 1500ms; std::chrono::steady_clock::now() < end;) {
    Rewrite(random() % 2 ? a_ : b_, random() % 4 ? FlatDds(random()) : std::vector<uint8_t>{1});
    if (random() % 64 == 0) loader_.SetPackFolder(temp_.path().string());
  }
  Rewrite(a_, FlatDds(0xAF));
  Rewrite(b_, FlatDds(0xBF));
  done = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(FetchLatest(a_.entry), 0xAFu);
  EXPECT_EQ(FetchLatest(b_.entry), 0xBFu);
}

}  // namespace
}  // namespace mivo
