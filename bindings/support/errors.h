// Mapping of core refusals and C++ exceptions to Python exceptions.
#pragma once

#include <Python.h>

#include <exception>
#include <new>
#include <type_traits>

#include "pre_processor/common/error.h"

namespace bindings {

// The Python exception type that carries a core refusal of this kind.
PyObject* exception_type(pre_processor::ErrorKind kind);

// Sets the Python exception for a core refusal; returns null for convenience.
PyObject* raise(const pre_processor::Error& error);

// Runs a binding body, turning any C++ exception that escapes it (for example
// std::bad_alloc from a huge batch) into a Python exception, so that no input
// can end the process.
template <class Body>
auto guarded(Body&& body) noexcept -> decltype(body()) {
  using Result = decltype(body());
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_RuntimeError, error.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unexpected native error");
  }
  if constexpr (std::is_pointer_v<Result>) {
    return nullptr;
  } else {
    return -1;
  }
}

}  // namespace bindings
