// A terminal progress bar on standard error, shared by the workers of one
// batch.
//
// The drawn line follows the template "{msg} [{bar:40.cyan/blue}] {pos}/{len} ({eta})":
// the message, a 40-cell bar in brackets ('#' done, '>' head, '-' to do; the
// done part cyan, the rest blue), position/length and the estimated time left.
// A bar is visible only when standard error is a terminal, NO_COLOR is not
// set and TERM is set to something other than "dumb"; a hidden bar counts and
// draws nothing.
//
// Thread-safety: advance() may be called from any number of threads at once;
// it is an atomic increment plus a clock read, and takes a lock only for the
// at most 20 redraws a second. finish_with_message() is called once, by the
// owner, after the last advance().
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace pre_processor {

class ProgressBar {
 public:
  static constexpr int kBarWidth = 40;
  static constexpr auto kMinRedrawInterval = std::chrono::milliseconds(50);

  // A bar on standard error, visible as the environment allows.
  ProgressBar(std::uint64_t length, std::string message);
  // A bar drawing on file descriptor `fd` when `visible`.
  ProgressBar(std::uint64_t length, std::string message, int fd, bool visible);

  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void advance(std::uint64_t steps = 1);

  // Sets the position to the length and draws the last line, which stays.
  void finish_with_message(std::string message);

  std::uint64_t position() const { return position_.load(std::memory_order_relaxed); }
  bool visible() const { return visible_; }

  // The visibility rule, from the facts it depends on; null means unset.
  static bool visible_for(bool is_terminal, const char* no_color, const char* term);
  static bool stderr_allows_drawing();

  // The line for one state, without the terminal control codes around it.
  static std::string render(std::string_view message, std::uint64_t position, std::uint64_t length,
                            std::chrono::duration<double> eta);
  // Durations as "3s", "2m", "5h", "2d".
  static std::string format_eta(std::chrono::duration<double> eta);

 private:
  using Clock = std::chrono::steady_clock;

  void draw(bool last);
  std::chrono::duration<double> estimate_eta(std::uint64_t position) const;

  const std::uint64_t length_;
  const int fd_;
  const bool visible_;
  const Clock::time_point started_;
  std::string message_;  // changed only by finish_with_message(), under draw_mutex_
  std::atomic<std::uint64_t> position_{0};
  std::atomic<Clock::rep> next_draw_{0};
  std::mutex draw_mutex_;
};

}  // namespace pre_processor
