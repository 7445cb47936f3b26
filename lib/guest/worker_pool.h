// A small persistent worker pool and the one operation on it: call a
// function once for every index of a range, on the workers and the caller.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace mivo {

using IndexFunction = void (*)(void* context, uint32_t index);

struct WorkerPool {
  std::mutex submission_lock;  // held for a whole ParallelFor: jobs run one after another
  std::mutex state_lock;       // guards every field below
  std::condition_variable work_signal;
  std::condition_variable done_signal;
  std::vector<std::thread> workers;  // worker k (1..W) is workers[k - 1]
  bool stop = false;
  uint64_t generation = 0;  // one increment per job
  uint32_t count = 0;
  uint32_t participants = 0;  // caller included
  uint32_t outstanding = 0;   // participating workers not yet done
  void* context = nullptr;
  IndexFunction function = nullptr;
  std::exception_ptr first_error;

  WorkerPool() = default;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  // Stops and joins the workers. From one of the pool's own workers that
  // would deadlock: the process ends with the resource-deadlock system error.
  ~WorkerPool();
};

// Starts min(requested, 3) workers; 0 gives a pool whose jobs run wholly on
// the caller. Throws the resource-unavailable system error when a thread
// cannot be started.
std::unique_ptr<WorkerPool> CreateWorkerPool(uint32_t requested);

// Workers of the pool, the calling thread not counted.
uint64_t WorkerCount(const WorkerPool& pool);

// Calls function(context, i) once for every i < count, participant p taking
// indices p, p + P, p + 2P, ...; returns when all calls have returned, then
// rethrows the first exception any call threw.
void ParallelFor(WorkerPool& pool, uint32_t count, void* context, IndexFunction function);

// The same with any callable taking the index.
template <typename Function>
void ParallelFor(WorkerPool& pool, uint32_t count, Function&& function) {
  ParallelFor(pool, count, &function, [](void* context, uint32_t index) {
    (*static_cast<std::remove_reference_t<Function>*>(context))(index);
  });
}

}  // namespace mivo
