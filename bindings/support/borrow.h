// The per-instance borrow counter that protects a core value while a call runs,
// including while the interpreter lock is released.
//
// States: 0 (free), n > 0 (n shared uses), all bits set (one exclusive use).
// A borrow that cannot be taken fails at once; nothing ever waits for one.
#pragma once

#include <Python.h>

#include <atomic>
#include <cstdint>
#include <limits>

namespace bindings {

inline constexpr const char* kAlreadyMutablyBorrowed = "Already mutably borrowed";
inline constexpr const char* kAlreadyBorrowed = "Already borrowed";

class BorrowFlag {
 public:
  static constexpr std::uintptr_t kExclusive = std::numeric_limits<std::uintptr_t>::max();

  bool try_shared() {
    std::uintptr_t current = state_.load(std::memory_order_relaxed);
    do {
      if (current == kExclusive || current == kExclusive - 1) return false;
    } while (!state_.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                           std::memory_order_relaxed));
    return true;
  }
  void release_shared() { state_.fetch_sub(1, std::memory_order_release); }

  bool try_exclusive() {
    std::uintptr_t expected = 0;
    return state_.compare_exchange_strong(expected, kExclusive, std::memory_order_acquire,
                                          std::memory_order_relaxed);
  }
  void release_exclusive() { state_.store(0, std::memory_order_release); }

 private:
  std::atomic<std::uintptr_t> state_{0};
};

// Holds one borrow for a scope. Check it after construction: a borrow that
// failed has set the Python RuntimeError already.
class Borrow {
 public:
  enum class Kind { Shared, Exclusive };

  Borrow(BorrowFlag& flag, Kind kind) : flag_(&flag), kind_(kind) {
    const bool taken = kind == Kind::Shared ? flag.try_shared() : flag.try_exclusive();
    if (!taken) {
      flag_ = nullptr;
      PyErr_SetString(PyExc_RuntimeError,
                      kind == Kind::Shared ? kAlreadyMutablyBorrowed : kAlreadyBorrowed);
    }
  }
  Borrow(const Borrow&) = delete;
  Borrow& operator=(const Borrow&) = delete;
  ~Borrow() {
    if (flag_ == nullptr) return;
    if (kind_ == Kind::Shared) {
      flag_->release_shared();
    } else {
      flag_->release_exclusive();
    }
  }

  explicit operator bool() const { return flag_ != nullptr; }

 private:
  BorrowFlag* flag_;
  Kind kind_;
};

}  // namespace bindings
