// Releasing the interpreter lock around core work.
#pragma once

#include <Python.h>

#include <utility>

namespace bindings {

// Saves the thread state and releases the interpreter lock for a scope; the
// destructor takes it back, also when the core work throws.
class GilRelease {
 public:
  GilRelease() : state_(PyEval_SaveThread()) {}
  GilRelease(const GilRelease&) = delete;
  GilRelease& operator=(const GilRelease&) = delete;
  ~GilRelease() { PyEval_RestoreThread(state_); }

 private:
  PyThreadState* state_;
};

// Runs `work` with the interpreter lock released and returns its result. The
// work must not touch any Python object.
template <class Work>
decltype(auto) without_gil(Work&& work) {
  GilRelease release;
  return std::forward<Work>(work)();
}

}  // namespace bindings
