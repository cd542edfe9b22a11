// The module functions `tokenize` and `reverse_tokenize`.
#pragma once

#include <Python.h>

namespace bindings {

extern PyMethodDef tokenize_function;
extern PyMethodDef reverse_tokenize_function;

}  // namespace bindings
