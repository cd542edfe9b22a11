#include <Python.h>

namespace {

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "expected a module object");
    return -1;
  }
  return PyModule_AddStringConstant(module, "__version__", "0.6.0-alpha.1");
}

PyModuleDef_Slot g_slots[] = {{Py_mod_exec, reinterpret_cast<void*>(exec_module)}, {0, nullptr}};

PyModuleDef g_module = {PyModuleDef_HEAD_INIT, "_ordwen_preprocessing_native_bindings", "", 0,
                        nullptr, g_slots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__ordwen_preprocessing_native_bindings() { return PyModuleDef_Init(&g_module); }
