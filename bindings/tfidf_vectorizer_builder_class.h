// NativeTfidfVectorizerBuilder: the Python face of TfidfVectorizerBuilder,
// which fits a vectorizer batch by batch.
#pragma once

#include <Python.h>

namespace bindings {

// A new reference to the class object (built once per process).
PyObject* tfidf_vectorizer_builder_type();

}  // namespace bindings
