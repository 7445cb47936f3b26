// Runs the work of many items on threads of its own and hands each item's
// output to one consumer on the calling thread, strictly in item order, so
// the run's output does not depend on how many threads did the work.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace mivo {

// What one dump contributes to the run, emitted in input order.
struct ItemOutput {
  std::string out;  // standard output text
  std::string csv;  // report rows
  int32_t textures = 0;
  int32_t failures = 0;
  int32_t in_tail = 0;         // tail-check mode: measured candidates
  int32_t skipped = 0;         // left out because a pack replaces it (--skip-pack)
  int32_t small = 0;           // no files: below --min-size
  int32_t shared = 0;          // no images: an earlier dump holds the same texture (--unique)
  int32_t misnamed = 0;        // eligible, but no template entry: not a bf_XXXXXXXX_XXXXXXXX name
  std::string err;             // standard error lines: outputs that could not be written
  bool output_failed = false;  // an output that was asked for could not be written
  uint64_t input_bytes = 0;    // size of the dump file, for progress
  // Set when the item ended the run (memory exhausted): `out` holds what it
  // printed before that, and the consumer rethrows after emitting it.
  std::exception_ptr error;
};

// Order-dependent steps (the pack template's first-name rule, numbering
// distinct contents) are taken in item order through turns: item i's turn
// comes once every earlier item has finished its turn or skipped it.
struct OrderedTurn {
  explicit OrderedTurn(size_t count) : finished(count, 0) {}
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0;                // every item below has finished its turn
  std::vector<uint8_t> finished;  // per item; sized up front, so finishing never allocates
  bool abandoned = false;
};

// Blocks until it is `index`'s turn. False when the run is being abandoned;
// the item then gives up.
bool WaitForTurn(OrderedTurn& turn, size_t index);
// Ends `index`'s turn whether it was taken or not; never blocks, and a second
// call does nothing.
void FinishTurn(OrderedTurn& turn, size_t index);

// Which items have finished their work, for an item that must come after a
// particular earlier one (files of the same name, the later one winning).
struct FinishedItems {
  explicit FinishedItems(size_t count) : done(count, 0) {}
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<uint8_t> done;  // per item; sized up front, so marking never allocates
  bool abandoned = false;
};

// State shared by the work of all items.
struct OrderedRun {
  explicit OrderedRun(size_t item_count) : count(item_count), turn(item_count), finished(item_count) {}
  const size_t count;
  OrderedTurn turn;
  FinishedItems finished;
  std::atomic<size_t> dispatched{0};  // items handed to a thread so far
};

// Blocks until item `earlier` (below the caller's own index) has finished its
// work. False when the run is being abandoned; the item then gives up.
bool WaitForItem(OrderedRun& run, size_t earlier);

using ItemWork = std::function<void(size_t index, ItemOutput& output)>;
using ItemEmit = std::function<void(const ItemOutput& output)>;

// Calls work(i) for every item on min(jobs, count) threads started here (with
// jobs 1, on the calling thread, one item after the other), and emit() on the
// calling thread for each output in item order, then `tick` now and then
// while waiting (may be empty). An item is started only when a thread is free
// and its output is at most a few hundred items ahead of the one emitted
// next, so memory stays bounded by the threads' items (waiting outputs are
// small). An output carrying an error
// stops the run: no new item starts, every thread is joined, and the error is
// rethrown after that output was emitted.
void RunInOrder(OrderedRun& run, uint32_t jobs, const ItemWork& work, const ItemEmit& emit,
                const std::function<void()>& tick);

}  // namespace mivo
