#include "guest/worker_pool.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>

namespace mivo {
namespace {

constexpr uint32_t kMaxWorkers = 3;

// How long a thread polls before it sleeps on a signal. Waking a sleeping
// thread costs tens of microseconds (on virtual machines most), as much as a
// small job; the other side is usually that close to done.
constexpr std::chrono::microseconds kPollTime(50);

// Polls `ready` under the lock for a short while, yielding the CPU between
// looks so that threads waiting for it can run. Returns with the lock held.
template <typename Ready>
void PollBriefly(std::unique_lock<std::mutex>& lock, const Ready& ready) {
  const auto deadline = std::chrono::steady_clock::now() + kPollTime;
  while (!ready() && std::chrono::steady_clock::now() < deadline) {
    lock.unlock();
    std::this_thread::yield();
    lock.lock();
  }
}

// Runs every P-th index from p; a throwing call is recorded (first one wins)
// and the share goes on, so every index is called.
void RunShare(WorkerPool& pool, uint32_t p, uint32_t participants, uint32_t count, void* context,
              IndexFunction function) {
  for (uint64_t i = p; i < count; i += participants) {
    try {
      function(context, uint32_t(i));
    } catch (...) {
      std::lock_guard<std::mutex> lock(pool.state_lock);
      if (!pool.first_error) pool.first_error = std::current_exception();
    }
  }
}

void WorkerBody(WorkerPool& pool, uint32_t k) {
  uint64_t last_seen = 0;
  std::unique_lock<std::mutex> lock(pool.state_lock);
  for (;;) {
    const auto woken = [&] { return pool.stop || pool.generation != last_seen; };
    PollBriefly(lock, woken);
    pool.work_signal.wait(lock, woken);
    if (pool.stop) return;
    last_seen = pool.generation;
    if (k >= pool.participants) continue;  // this job does not need worker k
    const uint32_t participants = pool.participants, count = pool.count;
    void* const context = pool.context;
    const IndexFunction function = pool.function;
    lock.unlock();
    RunShare(pool, k, participants, count, context, function);
    lock.lock();
    if (--pool.outstanding == 0) pool.done_signal.notify_one();
  }
}

void StopAndJoin(WorkerPool& pool) {
  {
    std::lock_guard<std::mutex> lock(pool.state_lock);
    pool.stop = true;
  }
  pool.work_signal.notify_all();
  for (std::thread& worker : pool.workers) {
    if (worker.joinable()) worker.join();
  }
  pool.workers.clear();
}

}  // namespace

namespace {

// Joining the calling thread would hang forever. The process ends instead,
// with the resource-deadlock system error as the exception being handled, so
// that the terminate handler reports it; nothing of the pool is torn down.
[[noreturn]] void EndWithDeadlock() {
  try {
    throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
  } catch (...) {
    std::terminate();
  }
}

}  // namespace

WorkerPool::~WorkerPool() {
  const std::thread::id self = std::this_thread::get_id();
  for (const std::thread& worker : workers) {
    if (worker.get_id() == self) EndWithDeadlock();
  }
  StopAndJoin(*this);
}

std::unique_ptr<WorkerPool> CreateWorkerPool(uint32_t requested) {
  auto pool = std::make_unique<WorkerPool>();
  const uint32_t w = requested < kMaxWorkers ? requested : kMaxWorkers;
  pool->workers.reserve(w);
  for (uint32_t k = 1; k <= w; ++k) {
    try {
      pool->workers.emplace_back(WorkerBody, std::ref(*pool), k);
    } catch (const std::system_error&) {
      StopAndJoin(*pool);
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
  }
  return pool;
}

uint64_t WorkerCount(const WorkerPool& pool) { return pool.workers.size(); }

void ParallelFor(WorkerPool& pool, uint32_t count, void* context, IndexFunction function) {
  std::lock_guard<std::mutex> submission(pool.submission_lock);
  if (count == 0) return;
  const uint64_t w = pool.workers.size();
  const uint32_t participants = uint32_t(std::min<uint64_t>(w + 1, count));
  {
    std::lock_guard<std::mutex> lock(pool.state_lock);
    pool.count = count;
    pool.participants = participants;
    pool.outstanding = participants - 1;
    pool.context = context;
    pool.function = function;
    pool.first_error = nullptr;
    ++pool.generation;
  }
  if (participants > 1) pool.work_signal.notify_all();

  RunShare(pool, 0, participants, count, context, function);

  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(pool.state_lock);
    const auto done = [&] { return pool.outstanding == 0; };
    PollBriefly(lock, done);
    pool.done_signal.wait(lock, done);
    pool.context = nullptr;
    pool.function = nullptr;
    error = std::move(pool.first_error);
    pool.first_error = nullptr;
  }
  if (error) std::rethrow_exception(error);
}

}  // namespace mivo
