// Module entry: multi-phase initialisation of _ordwen_preprocessing_native_bindings.
#include <Python.h>

#include "bindings/log_bridge.h"
#include "bindings/support/python_ref.h"
#include "bindings/text_cleaner_classes.h"
#include "bindings/tfidf_vectorizer_builder_class.h"
#include "bindings/tfidf_vectorizer_class.h"
#include "bindings/token_chunker_class.h"
#include "bindings/tokenizer_functions.h"
#include "bindings/vectorizer_params_class.h"
#include "pre_processor/common/memory.h"

namespace bindings {
namespace {

constexpr const char* kModuleName = "_ordwen_preprocessing_native_bindings";
constexpr const char* kVersion = "0.6.0-alpha.1";

// Each returns a new reference to the class object, built on first use.
struct ClassEntry {
  const char* name;
  PyObject* (*type)();
};

constexpr ClassEntry kClasses[] = {
    {"NativeVectorizerParams", vectorizer_params_type},
    {"NativeTfidfVectorizer", tfidf_vectorizer_type},
    {"NativeTfidfVectorizerBuilder", tfidf_vectorizer_builder_type},
    {"NativeTokenChunker", token_chunker_type},
    {"NativeCleaningMode", cleaning_mode_type},
    {"NativeTextCleaner", text_cleaner_type},
};

PyMethodDef* const kFunctions[] = {&tokenize_function, &reverse_tokenize_function};

bool add_classes(PyObject* module) {
  for (const ClassEntry& entry : kClasses) {
    PyRef type = PyRef::steal(entry.type());
    if (!type || PyModule_AddObjectRef(module, entry.name, type.get()) < 0) return false;
  }
  return true;
}

bool add_functions(PyObject* module) {
  PyRef module_name = PyRef::steal(PyUnicode_FromString(kModuleName));
  if (!module_name) return false;
  for (PyMethodDef* definition : kFunctions) {
    PyRef function = PyRef::steal(PyCFunction_NewEx(definition, module, module_name.get()));
    if (!function || PyModule_AddObjectRef(module, definition->ml_name, function.get()) < 0) {
      return false;
    }
  }
  return true;
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "module initialisation expects a module object");
    return -1;
  }
  pre_processor::configure_allocator();
  if (!install_log_bridge()) return -1;
  if (PyModule_AddStringConstant(module, "__version__", kVersion) < 0) return -1;
  if (!add_classes(module) || !add_functions(module)) return -1;
  return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, kModuleName, "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace bindings

PyMODINIT_FUNC PyInit__ordwen_preprocessing_native_bindings() {
  return PyModuleDef_Init(&bindings::module_definition);
}
