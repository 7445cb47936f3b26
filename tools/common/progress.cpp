#include "common/progress.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#define MIVO_ISATTY(stream) _isatty(_fileno(stream))
#else
#include <unistd.h>
#define MIVO_ISATTY(stream) isatty(fileno(stream))
#endif

namespace mivo {
namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

}  // namespace

ProgressLine::ProgressLine(size_t total, const char* unit)
    : total_(total),
      unit_(unit),
      enabled_(MIVO_ISATTY(stderr) != 0),
      shares_terminal_(enabled_ && MIVO_ISATTY(stdout) != 0),
      start_(Clock::now()),
      drawn_at_(start_) {}

void ProgressLine::Add(uint64_t bytes) {
  ++done_;
  bytes_ += bytes;
}

void ProgressLine::Show() {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuietStart || (shown_width_ != 0 && now - drawn_at_ < kRedrawInterval)) return;
  drawn_at_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  char left[32] = "?";
  if (done_ != 0) std::snprintf(left, sizeof left, "%.0f s", seconds * double(total_ - done_) / double(done_));
  char text[128];
  const int width = std::snprintf(text, sizeof text, "%zu/%zu %s, %.1f MB/s, %s left", done_, total_, unit_,
                                  double(bytes_) / 1e6 / seconds, left);
  // Pads over the end of a longer earlier line.
  const std::string pad(shown_width_ > size_t(width) ? shown_width_ - size_t(width) : 0, ' ');
  std::fprintf(stderr, "\r%s%s", text, pad.c_str());
  std::fflush(stderr);
  shown_width_ = size_t(width);
}

void ProgressLine::BeforeOutput() {
  if (shares_terminal_) Clear();
}

void ProgressLine::Clear() {
  if (shown_width_ == 0) return;
  std::fprintf(stderr, "\r%s\r", std::string(shown_width_, ' ').c_str());
  std::fflush(stderr);
  shown_width_ = 0;
}

}  // namespace mivo
