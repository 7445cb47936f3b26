#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "texdump/ordered_run.h"

namespace mivo {
namespace {

struct Outcome {
  std::string emitted;
  std::vector<size_t> turns;  // items in the order they took their turn
  bool out_of_memory = false;
};

// Twelve items finishing in scrambled order, each taking its turn; item
// `failing` prints a partial line and then runs out of memory.
Outcome RunItems(uint32_t jobs, size_t failing, std::atomic<int>& active) {
  Outcome outcome;
  OrderedRun run(12);
  const ItemWork work = [&](size_t index, ItemOutput& output) {
    ++active;
    std::this_thread::sleep_for(std::chrono::milliseconds((index * 7) % 5));
    output.out = "line " + std::to_string(index) + "\n";
    if (index == failing) {
      --active;
      throw std::bad_alloc();
    }
    if (WaitForTurn(run.turn, index)) {
      outcome.turns.push_back(index);
      FinishTurn(run.turn, index);
    }
    --active;
  };
  try {
    RunInOrder(run, jobs, work, [&](const ItemOutput& output) { outcome.emitted += output.out; }, {});
  } catch (const std::bad_alloc&) {
    outcome.out_of_memory = true;
  }
  return outcome;
}

TEST(OrderedRunThreads, OutputsAndTurnsFollowItemOrderWhateverTheThreadCount) {
  std::atomic<int> active{0};
  const Outcome one = RunItems(1, SIZE_MAX, active);
  ASSERT_EQ(one.turns.size(), 12u);
  for (size_t i = 0; i < 12; ++i) EXPECT_EQ(one.turns[i], i);
  for (uint32_t jobs : {2u, 3u, 8u}) {
    const Outcome many = RunItems(jobs, SIZE_MAX, active);
    EXPECT_EQ(many.emitted, one.emitted) << jobs;
    EXPECT_EQ(many.turns, one.turns) << jobs;
  }
}

TEST(OrderedRunThreads, AnItemOutOfMemoryEndsTheRunAfterTheItemsBeforeIt) {
  std::atomic<int> active{0};
  const Outcome one = RunItems(1, 5, active);
  EXPECT_TRUE(one.out_of_memory);
  EXPECT_EQ(one.emitted, "line 0\nline 1\nline 2\nline 3\nline 4\nline 5\n");
  const Outcome three = RunItems(3, 5, active);
  EXPECT_TRUE(three.out_of_memory);
  EXPECT_EQ(three.emitted, one.emitted);
  EXPECT_EQ(active.load(), 0) << "every thread has finished its item and been joined";
}

}  // namespace
}  // namespace mivo
