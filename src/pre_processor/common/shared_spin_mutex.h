// A reader-writer lock that spins instead of sleeping.
//
// Meant for very short critical sections under contention from a handful of
// pool workers, such as one insert into a shard of a sharded table: there a
// futex-based lock (std::shared_mutex) puts a colliding thread to sleep and
// pays two context switches for a wait that would have lasted tens of
// nanoseconds. Waiters pause for a while, then yield their time slice.
//
// Satisfies the SharedMutex requirements used by std::unique_lock and
// std::shared_lock. Not recursive; no fairness between readers and writers.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace pre_processor {

class SharedSpinMutex {
 public:
  SharedSpinMutex() = default;
  SharedSpinMutex(const SharedSpinMutex&) = delete;
  SharedSpinMutex& operator=(const SharedSpinMutex&) = delete;

  void lock() {
    for (std::uint32_t attempt = 0;; ++attempt) {
      std::uint32_t expected = 0;
      if (state_.compare_exchange_weak(expected, kWriter, std::memory_order_acquire, std::memory_order_relaxed)) {
        return;
      }
      back_off(attempt);
    }
  }
  bool try_lock() {
    std::uint32_t expected = 0;
    return state_.compare_exchange_strong(expected, kWriter, std::memory_order_acquire, std::memory_order_relaxed);
  }
  void unlock() { state_.store(0, std::memory_order_release); }

  void lock_shared() {
    std::uint32_t current = state_.load(std::memory_order_relaxed);
    for (std::uint32_t attempt = 0;; ++attempt) {
      if ((current & kWriter) == 0 &&
          state_.compare_exchange_weak(current, current + 1, std::memory_order_acquire, std::memory_order_relaxed)) {
        return;
      }
      back_off(attempt);
      current = state_.load(std::memory_order_relaxed);
    }
  }
  void unlock_shared() { state_.fetch_sub(1, std::memory_order_release); }

 private:
  static constexpr std::uint32_t kWriter = 1u << 31;
  static constexpr std::uint32_t kSpinsBeforeYield = 64;

  static void back_off(std::uint32_t attempt) {
    if (attempt < kSpinsBeforeYield) {
#if defined(__x86_64__) || defined(__i386__)
      _mm_pause();
#endif
    } else {
      std::this_thread::yield();
    }
  }

  std::atomic<std::uint32_t> state_{0};  // kWriter, or the number of readers
};

}  // namespace pre_processor
