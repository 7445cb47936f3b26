#include "texdump/ordered_run.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace mivo {
namespace {

// How far the threads may run ahead of the consumer, per thread. Waiting
// outputs are a line and a row each, so a long lead costs little, and it lets
// the other threads go on past one large dump.
constexpr size_t kLeadPerThread = 256;
constexpr auto kTickInterval = std::chrono::milliseconds(100);

// Wakes every item waiting for a turn or for an earlier item; they give up.
void Abandon(OrderedRun& run) {
  {
    std::lock_guard<std::mutex> lock(run.turn.mutex);
    run.turn.abandoned = true;
  }
  run.turn.changed.notify_all();
  {
    std::lock_guard<std::mutex> lock(run.finished.mutex);
    run.finished.abandoned = true;
  }
  run.finished.changed.notify_all();
}

ItemOutput RunItem(OrderedRun& run, const ItemWork& work, size_t index) {
  ItemOutput output;
  try {
    work(index, output);
  } catch (...) {
    output.error = std::current_exception();
  }
  FinishTurn(run.turn, index);
  {
    std::lock_guard<std::mutex> lock(run.finished.mutex);
    run.finished.done[index] = 1;
  }
  run.finished.changed.notify_all();
  return output;
}

// The threads and the outputs waiting to be emitted: item i's output waits
// in slot i mod lead, free by then since items run at most `lead` ahead. The
// slots are made up front, so handing an output over never allocates (a
// worker thread has nowhere to report a failure of its own).
struct Workshop {
  explicit Workshop(size_t slot_count) : slots(slot_count), filled(slot_count, 0) {}
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<ItemOutput> slots;
  std::vector<uint8_t> filled;
  size_t next_item = 0;  // the next item a thread takes
  size_t emitted = 0;    // items emitted so far
  bool stop = false;
  std::vector<std::thread> threads;

  ~Workshop() { StopAndJoin(); }

  void StopAndJoin() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    changed.notify_all();
    for (std::thread& thread : threads) {
      if (thread.joinable()) thread.join();
    }
  }
};

void WorkerLoop(OrderedRun& run, Workshop& shop, const ItemWork& work) {
  const size_t lead = shop.slots.size();
  for (;;) {
    size_t index;
    {
      std::unique_lock<std::mutex> lock(shop.mutex);
      shop.changed.wait(
          lock, [&] { return shop.stop || shop.next_item >= run.count || shop.next_item < shop.emitted + lead; });
      if (shop.stop || shop.next_item >= run.count) return;
      index = shop.next_item++;
      run.dispatched = shop.next_item;
    }
    ItemOutput output = RunItem(run, work, index);
    {
      std::lock_guard<std::mutex> lock(shop.mutex);
      shop.slots[index % lead] = std::move(output);
      shop.filled[index % lead] = 1;
    }
    shop.changed.notify_all();
  }
}

void RunInline(OrderedRun& run, const ItemWork& work, const ItemEmit& emit, const std::function<void()>& tick) {
  for (size_t index = 0; index < run.count; ++index) {
    run.dispatched = index + 1;
    const ItemOutput output = RunItem(run, work, index);
    emit(output);
    if (output.error) std::rethrow_exception(output.error);
    if (tick) tick();
  }
}

}  // namespace

bool WaitForTurn(OrderedTurn& turn, size_t index) {
  std::unique_lock<std::mutex> lock(turn.mutex);
  turn.changed.wait(lock, [&] { return turn.abandoned || turn.next == index; });
  return !turn.abandoned;
}

bool WaitForItem(OrderedRun& run, size_t earlier) {
  FinishedItems& finished = run.finished;
  std::unique_lock<std::mutex> lock(finished.mutex);
  finished.changed.wait(lock, [&] { return finished.abandoned || finished.done[earlier] != 0; });
  return !finished.abandoned;
}

void FinishTurn(OrderedTurn& turn, size_t index) {
  {
    std::lock_guard<std::mutex> lock(turn.mutex);
    if (index < turn.next || index >= turn.finished.size()) return;
    turn.finished[index] = 1;
    while (turn.next < turn.finished.size() && turn.finished[turn.next] != 0) ++turn.next;
  }
  turn.changed.notify_all();
}

void RunInOrder(OrderedRun& run, uint32_t jobs, const ItemWork& work, const ItemEmit& emit,
                const std::function<void()>& tick) {
  const size_t threads = std::min<size_t>(jobs, run.count);
  if (threads <= 1) return RunInline(run, work, emit, tick);

  const size_t lead = std::min(run.count, threads * kLeadPerThread);
  Workshop shop(lead);  // joins its threads on every way out
  try {
    for (size_t i = 0; i < threads; ++i) {
      shop.threads.emplace_back(WorkerLoop, std::ref(run), std::ref(shop), std::cref(work));
    }
    for (size_t index = 0; index < run.count; ++index) {
      ItemOutput output;
      {
        std::unique_lock<std::mutex> lock(shop.mutex);
        const size_t slot = index % lead;
        while (!shop.changed.wait_for(lock, kTickInterval, [&] { return shop.filled[slot] != 0; })) {
          lock.unlock();
          if (tick) tick();
          lock.lock();
        }
        output = std::move(shop.slots[slot]);
        shop.filled[slot] = 0;
        shop.emitted = index + 1;
      }
      shop.changed.notify_all();
      emit(output);
      if (output.error) std::rethrow_exception(output.error);
      if (tick) tick();
    }
  } catch (...) {
    Abandon(run);
    shop.StopAndJoin();
    throw;
  }
}

}  // namespace mivo
