#include "texdump/ordered_run.h"

#include <chrono>
#include <map>
#include <thread>
#include <vector>

namespace mivo {
namespace {

// How far the threads may run ahead of the consumer, per thread. Waiting
// outputs are a line and a row each, so a long lead costs little, and it lets
// the other threads go on past one large dump.
constexpr size_t kLeadPerThread = 256;
constexpr auto kTickInterval = std::chrono::milliseconds(100);

void AbandonTurns(OrderedTurn& turn) {
  {
    std::lock_guard<std::mutex> lock(turn.mutex);
    turn.abandoned = true;
  }
  turn.changed.notify_all();
}

ItemOutput RunItem(OrderedRun& run, const ItemWork& work, size_t index) {
  ItemOutput output;
  try {
    work(index, output);
  } catch (...) {
    output.error = std::current_exception();
  }
  FinishTurn(run.turn, index);
  return output;
}

// The threads and the outputs waiting to be emitted.
struct Workshop {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<size_t, ItemOutput> ready;
  size_t next_item = 0;   // the next item a thread takes
  size_t emitted = 0;     // items emitted so far
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

void WorkerLoop(OrderedRun& run, Workshop& shop, size_t lead, const ItemWork& work) {
  for (;;) {
    size_t index;
    {
      std::unique_lock<std::mutex> lock(shop.mutex);
      shop.changed.wait(lock, [&] { return shop.stop || shop.next_item >= run.count || shop.next_item < shop.emitted + lead; });
      if (shop.stop || shop.next_item >= run.count) return;
      index = shop.next_item++;
      run.dispatched = shop.next_item;
    }
    ItemOutput output = RunItem(run, work, index);
    {
      std::lock_guard<std::mutex> lock(shop.mutex);
      shop.ready.emplace(index, std::move(output));
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

void FinishTurn(OrderedTurn& turn, size_t index) {
  {
    std::lock_guard<std::mutex> lock(turn.mutex);
    if (index < turn.next) return;
    turn.finished.insert(index);
    while (!turn.finished.empty() && *turn.finished.begin() == turn.next) {
      turn.finished.erase(turn.finished.begin());
      ++turn.next;
    }
  }
  turn.changed.notify_all();
}

void RunInOrder(OrderedRun& run, uint32_t jobs, const ItemWork& work, const ItemEmit& emit,
                const std::function<void()>& tick) {
  const size_t threads = std::min<size_t>(jobs, run.count);
  if (threads <= 1) return RunInline(run, work, emit, tick);

  Workshop shop;  // joins its threads on every way out
  try {
    for (size_t i = 0; i < threads; ++i) {
      shop.threads.emplace_back(WorkerLoop, std::ref(run), std::ref(shop), threads * kLeadPerThread, std::cref(work));
    }
    for (size_t index = 0; index < run.count; ++index) {
      ItemOutput output;
      {
        std::unique_lock<std::mutex> lock(shop.mutex);
        while (!shop.changed.wait_for(lock, kTickInterval, [&] { return shop.ready.count(index) != 0; })) {
          lock.unlock();
          if (tick) tick();
          lock.lock();
        }
        auto found = shop.ready.find(index);
        output = std::move(found->second);
        shop.ready.erase(found);
        shop.emitted = index + 1;
      }
      shop.changed.notify_all();
      emit(output);
      if (output.error) std::rethrow_exception(output.error);
      if (tick) tick();
    }
  } catch (...) {
    AbandonTurns(run.turn);
    shop.StopAndJoin();
    throw;
  }
}

}  // namespace mivo
