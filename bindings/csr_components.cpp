#include "bindings/csr_components.h"

#include <cstring>

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL pp_numpy_array_api
#include <numpy/arrayobject.h>

#include "bindings/support/python_ref.h"

namespace bindings {
namespace {

// NumPy 2 moved the array module to numpy._core; its version decides where the
// _ARRAY_API capsule is taken from.
const char* array_module_name() {
  PyRef numpy = PyRef::steal(PyImport_ImportModule("numpy"));
  if (!numpy) return nullptr;
  PyRef version_text = PyRef::steal(PyObject_GetAttrString(numpy.get(), "__version__"));
  PyRef lib = PyRef::steal(PyImport_ImportModule("numpy.lib"));
  if (!version_text || !lib) return nullptr;
  PyRef version = PyRef::steal(PyObject_CallMethod(lib.get(), "NumpyVersion", "O", version_text.get()));
  if (!version) return nullptr;
  PyRef major = PyRef::steal(PyObject_GetAttrString(version.get(), "major"));
  if (!major) return nullptr;
  const long major_version = PyLong_AsLong(major.get());
  if (major_version == -1 && PyErr_Occurred()) return nullptr;
  return major_version >= 2 ? "numpy._core.multiarray" : "numpy.core.multiarray";
}

bool load_array_api() {
  const char* module_name = array_module_name();
  if (module_name == nullptr) return false;
  PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
  if (!module) return false;
  PyRef capsule = PyRef::steal(PyObject_GetAttrString(module.get(), "_ARRAY_API"));
  if (!capsule || !PyCapsule_CheckExact(capsule.get())) return false;
  void* table = PyCapsule_GetPointer(capsule.get(), nullptr);
  if (table == nullptr) return false;
  // The table lives in NumPy's extension module, which stays loaded.
  PY_ARRAY_UNIQUE_SYMBOL = static_cast<void**>(table);
  return true;
}

// Called with the interpreter lock held, which serialises the first load.
bool ensure_array_api() {
  static bool loaded = false;
  if (loaded) return true;
  if (!load_array_api()) {
    PyErr_Clear();
    PyErr_SetString(PyExc_RuntimeError, kNumpyApiFailure);
    return false;
  }
  loaded = true;
  return true;
}

template <class T>
PyObject* new_array(const pre_processor::Vec<T>& values, int type_number) {
  npy_intp length = static_cast<npy_intp>(values.size());
  PyObject* array = PyArray_SimpleNew(1, &length, type_number);
  if (array == nullptr) return nullptr;
  if (!values.empty()) {
    std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)), values.data(), values.size() * sizeof(T));
  }
  return array;
}

}  // namespace

PyObject* to_csr_components(const pre_processor::CsrMatrix& matrix) {
  static_assert(sizeof(npy_ulong) == sizeof(std::uint64_t), "indices are NumPy's unsigned long");
  if (!ensure_array_api()) return nullptr;
  PyRef data = PyRef::steal(new_array(matrix.data, NPY_FLOAT32));
  if (!data) return nullptr;
  PyRef indices = PyRef::steal(new_array(matrix.indices, NPY_ULONG));
  if (!indices) return nullptr;
  PyRef indptr = PyRef::steal(new_array(matrix.indptr, NPY_ULONG));
  if (!indptr) return nullptr;
  return Py_BuildValue("((KK)OOO)", static_cast<unsigned long long>(matrix.rows),
                       static_cast<unsigned long long>(matrix.cols), data.get(), indices.get(), indptr.get());
}

}  // namespace bindings
