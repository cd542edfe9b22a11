#include "bindings/support/errors.h"

namespace bindings {

PyObject* exception_type(pre_processor::ErrorKind kind) {
  switch (kind) {
    case pre_processor::ErrorKind::InvalidArgument:
    case pre_processor::ErrorKind::UnsupportedExtension:
      return PyExc_ValueError;
    case pre_processor::ErrorKind::InvalidState:
    case pre_processor::ErrorKind::Persistence:
      return PyExc_RuntimeError;
  }
  return PyExc_RuntimeError;
}

PyObject* raise(const pre_processor::Error& error) {
  // Sized, so that a message quoting a path with a NUL character keeps all of it.
  PyObject* message = PyUnicode_DecodeUTF8(error.message.data(), static_cast<Py_ssize_t>(error.message.size()),
                                           "replace");
  if (message == nullptr) return nullptr;
  PyErr_SetObject(exception_type(error.kind), message);
  Py_DECREF(message);
  return nullptr;
}

}  // namespace bindings
