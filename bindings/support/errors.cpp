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
  PyErr_SetString(exception_type(error.kind), error.message.c_str());
  return nullptr;
}

}  // namespace bindings
