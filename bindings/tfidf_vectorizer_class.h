// NativeTfidfVectorizer: the Python face of a fitted TfidfVectorizer.
#pragma once

#include <Python.h>

#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace bindings {

PyObject* tfidf_vectorizer_type();

// A new NativeTfidfVectorizer owning `model`.
PyObject* wrap_tfidf_vectorizer(pre_processor::TfidfVectorizer&& model);

}  // namespace bindings
