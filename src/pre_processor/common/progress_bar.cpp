#include "pre_processor/common/progress_bar.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace pre_processor {
namespace {

constexpr int kStderr = 2;
constexpr std::string_view kClearLine = "\r\x1b[2K";
constexpr std::string_view kDoneStyle = "\x1b[36m";  // cyan
constexpr std::string_view kToDoStyle = "\x1b[34m";  // blue
constexpr std::string_view kResetStyle = "\x1b[0m";
constexpr char kDoneCell = '#';
constexpr char kHeadCell = '>';
constexpr char kToDoCell = '-';

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written <= 0) return;  // a failing terminal is not the batch's problem
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

ProgressBar::ProgressBar(std::uint64_t length, std::string message)
    : ProgressBar(length, std::move(message), kStderr, stderr_allows_drawing()) {}

ProgressBar::ProgressBar(std::uint64_t length, std::string message, int fd, bool visible)
    : length_(length), fd_(fd), visible_(visible), started_(Clock::now()), message_(std::move(message)) {
  if (visible_) {
    std::lock_guard lock(draw_mutex_);
    draw(false);
  }
  next_draw_.store((started_ + kMinRedrawInterval).time_since_epoch().count(),
                   std::memory_order_relaxed);
}

bool ProgressBar::visible_for(bool is_terminal, const char* no_color, const char* term) {
  return is_terminal && no_color == nullptr && term != nullptr && std::strcmp(term, "dumb") != 0;
}

bool ProgressBar::stderr_allows_drawing() {
  return visible_for(::isatty(kStderr) == 1, std::getenv("NO_COLOR"), std::getenv("TERM"));
}

void ProgressBar::advance(std::uint64_t steps) {
  position_.fetch_add(steps, std::memory_order_relaxed);
  if (!visible_) return;
  const Clock::rep now = Clock::now().time_since_epoch().count();
  Clock::rep due = next_draw_.load(std::memory_order_relaxed);
  if (now < due) return;
  const Clock::rep next = now + std::chrono::duration_cast<Clock::duration>(kMinRedrawInterval).count();
  // One thread wins the redraw; the others go back to work.
  if (!next_draw_.compare_exchange_strong(due, next, std::memory_order_relaxed)) return;
  std::unique_lock lock(draw_mutex_, std::try_to_lock);
  if (lock.owns_lock()) draw(false);
}

void ProgressBar::finish_with_message(std::string message) {
  position_.store(length_, std::memory_order_relaxed);
  std::lock_guard lock(draw_mutex_);
  message_ = std::move(message);
  if (visible_) draw(true);
}

std::chrono::duration<double> ProgressBar::estimate_eta(std::uint64_t position) const {
  if (position == 0 || position >= length_) return std::chrono::duration<double>(0);
  const std::chrono::duration<double> elapsed = Clock::now() - started_;
  return elapsed * (static_cast<double>(length_ - position) / static_cast<double>(position));
}

void ProgressBar::draw(bool last) {
  const std::uint64_t position = std::min(this->position(), length_);
  std::string line(kClearLine);
  line += render(message_, position, length_, estimate_eta(position));
  if (last) line += '\n';
  write_all(fd_, line);
}

std::string ProgressBar::render(std::string_view message, std::uint64_t position,
                                std::uint64_t length, std::chrono::duration<double> eta) {
  // An empty bar counts as full.
  const double fraction =
      length == 0 ? 1.0 : static_cast<double>(std::min(position, length)) / static_cast<double>(length);
  const double fill = fraction * kBarWidth;
  const int done = std::min(kBarWidth, static_cast<int>(fill));
  const int head = fill > 0 && done < kBarWidth ? 1 : 0;

  std::string line(message);
  line += " [";
  line += kDoneStyle;
  line.append(static_cast<std::size_t>(done), kDoneCell);
  if (head) line += kHeadCell;
  line += kToDoStyle;
  line.append(static_cast<std::size_t>(kBarWidth - done - head), kToDoCell);
  line += kResetStyle;
  line += "] ";
  line += std::to_string(position);
  line += '/';
  line += std::to_string(length);
  line += " (";
  line += format_eta(eta);
  line += ')';
  return line;
}

std::string ProgressBar::format_eta(std::chrono::duration<double> eta) {
  struct Unit {
    double seconds;
    char suffix;
  };
  static constexpr Unit kUnits[] = {{86400, 'd'}, {3600, 'h'}, {60, 'm'}};
  const double seconds = std::max(0.0, eta.count());
  // A larger unit is used from one and a half of it on, and then counts at least 2.
  for (const Unit& unit : kUnits) {
    if (seconds >= 1.5 * unit.seconds) {
      const auto count = std::max<long long>(2, std::llround(seconds / unit.seconds));
      return std::to_string(count) + unit.suffix;
    }
  }
  return std::to_string(std::llround(seconds)) + 's';
}

}  // namespace pre_processor
