// The layout shared by every Python class of the module: a Python object that
// owns one core value and the borrow counter guarding it.
#pragma once

#include <Python.h>

#include <new>
#include <type_traits>
#include <utility>

#include "bindings/support/borrow.h"
#include "bindings/support/errors.h"

namespace bindings {

template <class Core>
struct Instance {
  PyObject_HEAD
  BorrowFlag borrow;
  Core* core;  // owned; null only while the object is being built
};

template <class Core>
Instance<Core>* as_instance(PyObject* self) {
  return reinterpret_cast<Instance<Core>*>(self);
}

// tp_alloc + placement of the borrow counter; the core value is set by wrap().
template <class Core>
PyObject* allocate(PyTypeObject* type) {
  PyObject* self = type->tp_alloc(type, 0);
  if (self == nullptr) return nullptr;
  auto* instance = as_instance<Core>(self);
  new (&instance->borrow) BorrowFlag();
  instance->core = nullptr;
  return self;
}

// A new Python instance of `type` owning `value`.
template <class Core>
PyObject* wrap(PyTypeObject* type, Core&& value) {
  PyObject* self = allocate<Core>(type);
  if (self == nullptr) return nullptr;
  as_instance<Core>(self)->core = new (std::nothrow) Core(std::move(value));
  if (as_instance<Core>(self)->core == nullptr) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  return self;
}

template <class Core>
void deallocate(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  auto* instance = as_instance<Core>(self);
  delete instance->core;
  instance->borrow.~BorrowFlag();
  type->tp_free(self);
  Py_DECREF(type);  // heap types are owned by their instances
}

// Runs `body(core)` under a borrow of the instance, turning C++ exceptions
// into Python ones. A borrow that cannot be taken fails the call at once.
template <class Core, class Body>
auto with_borrow(PyObject* self, Borrow::Kind kind, Body&& body) -> decltype(body(std::declval<Core&>())) {
  auto* instance = as_instance<Core>(self);
  Borrow borrow(instance->borrow, kind);
  if (!borrow) {
    if constexpr (std::is_pointer_v<decltype(body(std::declval<Core&>()))>) {
      return nullptr;
    } else {
      return -1;
    }
  }
  return guarded([&] { return body(*instance->core); });
}

template <class Core, class Body>
auto with_shared(PyObject* self, Body&& body) {
  return with_borrow<Core>(self, Borrow::Kind::Shared, std::forward<Body>(body));
}

template <class Core, class Body>
auto with_exclusive(PyObject* self, Body&& body) {
  return with_borrow<Core>(self, Borrow::Kind::Exclusive, std::forward<Body>(body));
}

// Builds a heap type from its spec once per process; later calls (a module
// initialised again after removal from sys.modules) get the same object.
// Returns a new reference, or null with an exception set.
PyObject* type_once(PyObject*& cache, PyType_Spec& spec);

}  // namespace bindings
