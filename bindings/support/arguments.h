// Matching of call arguments to parameters.
//
// Every parameter is positional-or-keyword. Positional arguments fill the
// parameters in declaration order, keywords match by name. A call is refused
// with TypeError for too many positional arguments, an unknown keyword, a
// parameter given twice or a required parameter missing; each message names the
// callable.
#pragma once

#include <Python.h>

#include <cstddef>
#include <initializer_list>
#include <span>

namespace bindings {

struct Signature {
  const char* callable;  // as shown in messages, e.g. "NativeTfidfVectorizer.transform"
  std::initializer_list<const char*> parameters;
  std::size_t required;  // the first `required` parameters have no default
};

// The method-table entry of a METH_FASTCALL | METH_KEYWORDS function.
using FastcallFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
inline PyCFunction fastcall(FastcallFunction function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Vectorcall form (METH_FASTCALL | METH_KEYWORDS). On success `out[i]` holds a
// borrowed reference for parameter i, or null for an omitted optional one.
bool match_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<PyObject*> out);

// Tuple-and-dict form, for constructors.
bool match_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> out);

}  // namespace bindings
