// CsrComponents: the (shape, data, indices, indptr) tuple in which a CsrMatrix
// crosses to Python, as new NumPy arrays that own their memory.
#pragma once

#include <Python.h>

#include "pre_processor/vectorizer/csr_matrix.h"

namespace bindings {

inline constexpr const char* kNumpyApiFailure = "Failed to access NumPy array API capsule";

// Copies the matrix once into each array. Needs the interpreter lock. Fails
// with RuntimeError when NumPy's C array interface cannot be obtained.
PyObject* to_csr_components(const pre_processor::CsrMatrix& matrix);

}  // namespace bindings
