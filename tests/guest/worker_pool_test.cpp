#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "guest/worker_pool.h"

namespace mivo {
namespace {

TEST(WorkerPool, WorkerCountIsCappedAtThreeAndAnEmptyRangeCallsNothing) {
  EXPECT_EQ(WorkerCount(*CreateWorkerPool(0)), 0u);
  EXPECT_EQ(WorkerCount(*CreateWorkerPool(2)), 2u);
  auto pool = CreateWorkerPool(10);
  EXPECT_EQ(WorkerCount(*pool), 3u);
  int calls = 0;
  ParallelFor(*pool, 0, [&](uint32_t) { ++calls; });
  EXPECT_EQ(calls, 0);
}

TEST(WorkerPool, IndicesAreDealtOutInStridesOverCallerAndWorkers) {
  auto pool = CreateWorkerPool(3);
  const std::thread::id caller = std::this_thread::get_id();
  for (int round = 0; round < 20; ++round) {
    for (uint32_t count : {2u, 10u}) {
      std::vector<std::thread::id> ran(count);
      ParallelFor(*pool, count, [&](uint32_t i) { ran[i] = std::this_thread::get_id(); });
      // Participant p (the caller is 0) takes p, p + 4, p + 8, ...; each a different thread.
      for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(ran[i] == caller, i % 4 == 0) << count << ": " << i;
        EXPECT_EQ(ran[i], ran[i % 4]) << count << ": " << i;
        for (uint32_t j = 0; j < std::min(count, 4u); ++j)
          EXPECT_TRUE(j == i % 4 || ran[i] != ran[j]) << count << ": " << i << " " << j;
      }
    }
  }
}

TEST(WorkerPool, PoolWithoutWorkersRunsEveryIndexInOrderOnTheCaller) {
  auto pool = CreateWorkerPool(0);
  const std::thread::id caller_id = std::this_thread::get_id();
  std::vector<uint32_t> order;
  ParallelFor(*pool, 7, [&](uint32_t i) {
    EXPECT_EQ(std::this_thread::get_id(), caller_id);
    order.push_back(i);
  });
  EXPECT_EQ(order, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(WorkerPool, ThrowingCallsDoNotStopTheOthersAndOneErrorReachesTheCaller) {
  for (uint32_t workers : {0u, 3u}) {
    auto pool = CreateWorkerPool(workers);
    std::vector<std::atomic<int>> calls(12);
    std::string caught;
    try {
      ParallelFor(*pool, 12, [&](uint32_t i) {
        ++calls[i];
        if (i == 2 || i == 5) throw std::runtime_error(std::to_string(i));
      });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
    EXPECT_TRUE(caught == "2" || caught == "5") << caught;
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(calls[i].load(), 1) << i;

    // The error belongs to that job only.
    std::atomic<int> after = 0;
    EXPECT_NO_THROW(ParallelFor(*pool, 4, [&](uint32_t) { ++after; }));
  }
}

TEST(WorkerPool, JobsFromTwoCallersRunOneAfterTheOther) {
  auto pool = CreateWorkerPool(3);
  for (int round = 0; round < 20; ++round) {
    std::atomic<uint32_t> clock{0};
    std::vector<uint32_t> stamps[2] = {std::vector<uint32_t>(64), std::vector<uint32_t>(64)};
    auto submit = [&](int job) {
      ParallelFor(*pool, 64, [&](uint32_t i) {
        stamps[job][i] = clock.fetch_add(1);
        std::this_thread::yield();
      });
    };
    std::thread other(submit, 1);
    submit(0);
    other.join();
    // Every call of one job happened before every call of the other.
    const auto [min0, max0] = std::minmax_element(stamps[0].begin(), stamps[0].end());
    const auto [min1, max1] = std::minmax_element(stamps[1].begin(), stamps[1].end());
    EXPECT_TRUE(*max0 < *min1 || *max1 < *min0);
  }
}

TEST(WorkerPoolDeathTest, DestroyingThePoolFromItsOwnWorkerReportsDeadlock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        auto pool = CreateWorkerPool(1);
        WorkerPool* raw = pool.release();
        ParallelFor(*raw, 2, [&](uint32_t i) {
          if (i == 1) {
            delete raw;
          }
        });
        std::abort();
      },
      "deadlock");
}

}  // namespace
}  // namespace mivo
