// Refusals of the core library: an error kind and a fixed message.
//
// The core never throws for a refusal; operations that can refuse return
// Result<T>. The Python bindings map each kind to an exception type.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace pre_processor {

enum class ErrorKind {
  InvalidArgument,       // a value outside what the operation accepts
  InvalidState,          // the operation does not fit the object's state
  Persistence,           // a stored form could not be written or read
  UnsupportedExtension,  // a file name whose extension names no known format
};

struct Error {
  ErrorKind kind;
  std::string message;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Error error) : state_(std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

// For operations that refuse or succeed with nothing to return.
struct Unit {};
using Status = Result<Unit>;
inline Status ok_status() { return Unit{}; }

}  // namespace pre_processor
