// NativeVectorizerParams: the settings a Python caller chooses for fitting.
#pragma once

#include <Python.h>

#include <cstdint>

#include "pre_processor/common/error.h"
#include "pre_processor/vectorizer/params.h"

namespace bindings {

// What a NativeVectorizerParams holds. Unlike VectorizerParams it keeps only
// the first and last n-gram size, and its bounds are not checked until a
// vectorizer or builder turns it into VectorizerParams.
struct PythonVectorizerParams {
  std::uint64_t ngram_first = 2;
  std::uint64_t ngram_last = 4;
  float min_df = 1.0f;
  float max_df = 1.0f;
  bool sublinear_tf = false;

  // The checked core parameters (sizes 2, 3, 4), as fitting starts.
  pre_processor::Result<pre_processor::VectorizerParams> to_core() const;
  // The back-conversion of a model's parameters; refused for an empty size list.
  static pre_processor::Result<PythonVectorizerParams> from_core(const pre_processor::VectorizerParams& params);
};

PyObject* vectorizer_params_type();

// A new NativeVectorizerParams owning `params`.
PyObject* wrap_vectorizer_params(const PythonVectorizerParams& params);

// Extracts the `params` argument: a NativeVectorizerParams, borrowed shared
// while its values are copied. TypeError (prefixed with the argument name)
// for anything else.
bool extract_vectorizer_params(const char* name, PyObject* object, PythonVectorizerParams& out);

}  // namespace bindings
