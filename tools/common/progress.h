// The progress line of a long run: items done of the total (dumps, rows),
// input MB/s and the time left, on standard error and only when it is a terminal, so that
// scripts, logs and CSV users see no change. Erased at the end.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace mivo {

class ProgressLine {
 public:
  // `unit` names the items in the line ("dumps"); it must outlive the line.
  explicit ProgressLine(size_t total, const char* unit = "dumps");
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // One more item done, with the bytes it read.
  void Add(uint64_t bytes);
  // Redraws the line when the run has lasted a second and the last drawing
  // is a quarter of a second old.
  void Show();
  // Erases the line before other text reaches the same terminal.
  void BeforeOutput();
  // Erases the line for good.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;
  const size_t total_;
  const char* const unit_;
  const bool enabled_;
  const bool shares_terminal_;  // standard output goes to a terminal too
  const Clock::time_point start_;
  Clock::time_point drawn_at_;
  size_t done_ = 0;
  uint64_t bytes_ = 0;
  size_t shown_width_ = 0;  // characters on screen now; 0 when nothing is shown
};

}  // namespace mivo
