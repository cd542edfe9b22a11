#include "pre_processor/common/progress_bar.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace pre_processor {
namespace {

using namespace std::chrono_literals;

TEST(ProgressBar, RendersTheTemplate) {
  const std::string cyan = "\x1b[36m", blue = "\x1b[34m", reset = "\x1b[0m";
  struct Case {
    std::uint64_t position, length;
    std::string cells_done, cells_to_do;
  };
  const Case cases[] = {
      {0, 100, "", std::string(40, '-')},
      {50, 100, std::string(20, '#') + ">", std::string(19, '-')},
      {1, 100, ">", std::string(39, '-')},  // less than a cell: the head alone
      {99, 100, std::string(39, '#') + ">", ""},
      {100, 100, std::string(40, '#'), ""},
      {0, 0, std::string(40, '#'), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressBar::render("Working", c.position, c.length, 3s),
              "Working [" + cyan + c.cells_done + blue + c.cells_to_do + reset + "] " +
                  std::to_string(c.position) + "/" + std::to_string(c.length) + " (3s)");
  }
}

TEST(ProgressBar, FormatsTimeLeftInItsLargestUnit) {
  const std::pair<std::chrono::duration<double>, std::string> cases[] = {
      {0s, "0s"}, {2.4s, "2s"}, {59s, "59s"}, {89s, "89s"}, {90s, "2m"}, {300s, "5m"},
      {5400s, "2h"}, {7200s, "2h"}, {36h, "2d"}, {-1s, "0s"}};
  for (const auto& [eta, text] : cases) EXPECT_EQ(ProgressBar::format_eta(eta), text);
}

TEST(ProgressBar, IsVisibleOnlyOnATerminalThatAllowsIt) {
  struct Case {
    bool terminal;
    const char* no_color;
    const char* term;
    bool visible;
  };
  const Case cases[] = {
      {true, nullptr, "xterm-256color", true}, {false, nullptr, "xterm", false},
      {true, "1", "xterm", false},             {true, "", "xterm", false},
      {true, nullptr, nullptr, false},         {true, nullptr, "dumb", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProgressBar::visible_for(c.terminal, c.no_color, c.term), c.visible)
        << c.terminal << " " << (c.no_color ? c.no_color : "<unset>") << " " << (c.term ? c.term : "<unset>");
}

std::string read_all(int fd) {
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
  return out;
}

// Advances from several threads at once; returns what the bar drew.
std::string run_bar(bool visible, std::uint64_t& final_position) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  constexpr int kThreads = 4, kSteps = 5000;
  {
    ProgressBar bar(kThreads * kSteps, "Tokenizing texts in parallel", fds[1], visible);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < kSteps; ++i) bar.advance();
      });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(bar.position(), std::uint64_t{kThreads * kSteps});
    bar.finish_with_message("Parallel tokenization complete");
    final_position = bar.position();
  }
  ::close(fds[1]);
  const std::string drawn = read_all(fds[0]);
  ::close(fds[0]);
  return drawn;
}

TEST(ProgressBar, CountsFromManyThreadsAndLeavesTheFinishedLine) {
  std::uint64_t position = 0;
  const std::string drawn = run_bar(true, position);
  EXPECT_EQ(position, 20000u);
  EXPECT_EQ(drawn.rfind("\r\x1b[2K", 0), 0u) << "every line redraws in place";
  const std::string last_line = "\r\x1b[2KParallel tokenization complete [\x1b[36m" + std::string(40, '#') +
                                "\x1b[34m\x1b[0m] 20000/20000 (0s)\n";
  ASSERT_GE(drawn.size(), last_line.size());
  EXPECT_EQ(drawn.substr(drawn.size() - last_line.size()), last_line);
  // The first line is drawn at creation; redraws are rate limited.
  EXPECT_NE(drawn.find("Tokenizing texts in parallel ["), std::string::npos);
}

TEST(ProgressBar, HiddenBarCountsButDrawsNothing) {
  std::uint64_t position = 0;
  EXPECT_EQ(run_bar(false, position), "");
  EXPECT_EQ(position, 20000u);
}

}  // namespace
}  // namespace pre_processor
