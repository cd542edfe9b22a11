#include "bindings/support/instance.h"

namespace bindings {

PyObject* type_once(PyObject*& cache, PyType_Spec& spec) {
  if (cache == nullptr) {
    cache = PyType_FromSpec(&spec);  // kept for the life of the process
    if (cache == nullptr) return nullptr;
  }
  Py_INCREF(cache);
  return cache;
}

}  // namespace bindings
