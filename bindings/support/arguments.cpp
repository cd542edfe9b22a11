#include "bindings/support/arguments.h"

#include <string>
#include <vector>

namespace bindings {
namespace {

const char* parameter_name(const Signature& signature, std::size_t index) {
  return signature.parameters.begin()[index];
}

void refuse_too_many_positional(const Signature& signature, Py_ssize_t given) {
  const std::size_t total = signature.parameters.size();
  std::string expected;
  if (signature.required == total) {
    expected = std::to_string(total);
  } else {
    expected = "from " + std::to_string(signature.required) + " to " + std::to_string(total);
  }
  PyErr_Format(PyExc_TypeError, "%s() takes %s positional argument%s but %zd %s given",
               signature.callable, expected.c_str(), total == 1 ? "" : "s", given,
               given == 1 ? "was" : "were");
}

void refuse_missing(const Signature& signature, std::span<PyObject*> out) {
  std::vector<std::string> missing;
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (out[i] == nullptr) missing.push_back(std::string("'") + parameter_name(signature, i) + "'");
  }
  std::string names;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i != 0) names += (i + 1 == missing.size()) ? (missing.size() > 2 ? ", and " : " and ") : ", ";
    names += missing[i];
  }
  PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s",
               signature.callable, missing.size(), missing.size() == 1 ? "" : "s", names.c_str());
}

// Places one keyword argument; false (with TypeError set) when it names no
// parameter or a parameter that is already filled.
bool place_keyword(const Signature& signature, PyObject* name, PyObject* value,
                   std::span<PyObject*> out) {
  for (std::size_t i = 0; i < signature.parameters.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(name, parameter_name(signature, i)) != 0) continue;
    if (out[i] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                   signature.callable, parameter_name(signature, i));
      return false;
    }
    out[i] = value;
    return true;
  }
  PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", signature.callable,
               name);
  return false;
}

bool place_positional(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                      std::span<PyObject*> out) {
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = nullptr;
  if (static_cast<std::size_t>(nargs) > signature.parameters.size()) {
    refuse_too_many_positional(signature, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
  return true;
}

bool check_required(const Signature& signature, std::span<PyObject*> out) {
  for (std::size_t i = 0; i < signature.required; ++i) {
    if (out[i] == nullptr) {
      refuse_missing(signature, out);
      return false;
    }
  }
  return true;
}

}  // namespace

bool match_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, std::span<PyObject*> out) {
  nargs = PyVectorcall_NARGS(nargs);
  if (!place_positional(signature, args, nargs, out)) return false;
  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    if (!place_keyword(signature, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
  }
  return check_required(signature, out);
}

bool match_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                     std::span<PyObject*> out) {
  if (!place_positional(signature, &PyTuple_GET_ITEM(args, 0), PyTuple_GET_SIZE(args), out)) {
    return false;
  }
  if (kwargs != nullptr) {
    PyObject* name;
    PyObject* value;
    Py_ssize_t position = 0;
    while (PyDict_Next(kwargs, &position, &name, &value)) {
      if (!place_keyword(signature, name, value, out)) return false;
    }
  }
  return check_required(signature, out);
}

}  // namespace bindings
