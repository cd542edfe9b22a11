#include "bindings/tfidf_vectorizer_class.h"

#include <array>

#include "bindings/csr_components.h"
#include "bindings/support/arguments.h"
#include "bindings/support/conversions.h"
#include "bindings/support/gil.h"
#include "bindings/support/instance.h"
#include "bindings/vectorizer_params_class.h"
#include "bindings/vectorizer_persistence.h"
#include "pre_processor/vectorizer/text_forms.h"

namespace bindings {
namespace {

using pre_processor::CsrMatrix;
using pre_processor::Result;
using pre_processor::TfidfFit;
using pre_processor::TfidfVectorizer;
using pre_processor::VectorizerParams;

PyObject* cached_type = nullptr;

// Converts `texts` and `params`, the two arguments of fitting.
bool extract_fit_arguments(std::span<PyObject*> matched, Vec<String>& texts, PythonVectorizerParams& params) {
  return extract_argument("texts", matched[0], texts) && extract_vectorizer_params("params", matched[1], params);
}

// Checks the parameters, then runs a fitting flow on them, all without the
// interpreter lock; a refused bound ends the call before any text is touched.
template <class Flow>
auto fit_without_gil(const PythonVectorizerParams& params, Flow&& flow) {
  using Outcome = decltype(flow(std::declval<const VectorizerParams&>()));
  return without_gil([&]() -> Outcome {
    Result<VectorizerParams> core_params = params.to_core();
    if (!core_params) return core_params.error();
    return flow(*core_params);
  });
}

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const Signature signature{"NativeTfidfVectorizer", {"texts", "params"}, 2};
  std::array<PyObject*, 2> matched{};
  if (!match_arguments(signature, args, kwargs, matched)) return nullptr;
  return guarded([&]() -> PyObject* {
    Vec<String> texts;
    PythonVectorizerParams params;
    if (!extract_fit_arguments(matched, texts, params)) return nullptr;
    Result<TfidfVectorizer> model =
        fit_without_gil(params, [&](const VectorizerParams& checked) { return TfidfVectorizer::fit(texts, checked); });
    if (!model) return raise(model.error());
    return wrap(type, std::move(model).value());
  });
}

PyObject* fit_transform(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTfidfVectorizer.fit_transform", {"texts", "params"}, 2};
  std::array<PyObject*, 2> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return guarded([&]() -> PyObject* {
    Vec<String> texts;
    PythonVectorizerParams params;
    if (!extract_fit_arguments(matched, texts, params)) return nullptr;
    Result<TfidfFit> fit = fit_without_gil(
        params, [&](const VectorizerParams& checked) { return TfidfVectorizer::fit_transform(texts, checked); });
    if (!fit) return raise(fit.error());
    PyRef components = PyRef::steal(to_csr_components(fit->matrix));
    if (!components) return nullptr;
    fit->matrix = CsrMatrix{};
    PyRef vectorizer = PyRef::steal(wrap_tfidf_vectorizer(std::move(fit->model)));
    if (!vectorizer) return nullptr;
    return PyTuple_Pack(2, vectorizer.get(), components.get());
  });
}

// Runs a transform-like core flow without the interpreter lock and hands its
// matrix to Python.
template <class Flow>
PyObject* matrix_result(Flow&& flow) {
  Result<CsrMatrix> matrix = without_gil(std::forward<Flow>(flow));
  if (!matrix) return raise(matrix.error());
  return to_csr_components(*matrix);
}

PyObject* transform(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTfidfVectorizer.transform", {"texts"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return with_shared<TfidfVectorizer>(self, [&](const TfidfVectorizer& model) -> PyObject* {
    Vec<String> texts;
    if (!extract_argument("texts", matched[0], texts)) return nullptr;
    return matrix_result([&] { return pre_processor::transform(model, texts); });
  });
}

PyObject* vectorize_from_tokens(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTfidfVectorizer.vectorize_from_tokens", {"token_sequences"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return with_shared<TfidfVectorizer>(self, [&](const TfidfVectorizer& model) -> PyObject* {
    Vec<TokenSequence> sequences;
    if (!extract_argument("token_sequences", matched[0], sequences)) return nullptr;
    return matrix_result([&] { return pre_processor::vectorize_from_tokens(model, sequences); });
  });
}

PyObject* get_num_features(PyObject* self, void*) {
  return with_shared<TfidfVectorizer>(self, [](const TfidfVectorizer& model) {
    return PyLong_FromUnsignedLongLong(model.num_features());
  });
}

PyObject* get_vocabulary(PyObject* self, void*) {
  return with_shared<TfidfVectorizer>(self, [](const TfidfVectorizer& model) -> PyObject* {
    const auto decoded = model.count_vectorizer.decoded_vocabulary();
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [text, column] : decoded) {
      PyRef key = PyRef::steal(to_python(std::string_view(text)));
      PyRef value = PyRef::steal(PyLong_FromUnsignedLongLong(column));
      if (!key || !value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
    }
    return dict.release();
  });
}

PyObject* get_params(PyObject* self, void*) {
  return with_shared<TfidfVectorizer>(self, [](const TfidfVectorizer& model) -> PyObject* {
    auto params = PythonVectorizerParams::from_core(model.count_vectorizer.params);
    if (!params) return raise(params.error());
    return wrap_vectorizer_params(*params);
  });
}

PyObject* representation(PyObject* self) {
  return with_shared<TfidfVectorizer>(self, [](const TfidfVectorizer& model) {
    return to_python(pre_processor::text_forms::native_vectorizer_repr(model.num_features()));
  });
}

PyObject* structure_text(PyObject* self) {
  return with_shared<TfidfVectorizer>(self, [](const TfidfVectorizer& model) {
    return to_python(pre_processor::text_forms::native_vectorizer_str(model));
  });
}

constexpr const char* kTransformDoc =
    "transform($self, texts)\n--\n\n"
    "Transforms the input texts and returns the TF-IDF matrix components.\n"
    "\n"
    "Returns a tuple of (shape, data, indices, indptr):\n"
    "- shape: tuple[int, int], (number of rows, number of columns)\n"
    "- data: numpy.ndarray of float32, the values of the non-zero entries\n"
    "- indices: numpy.ndarray of uint64, the column indices of the non-zero entries\n"
    "- indptr: numpy.ndarray of uint64, the index pointers to the start of each row";

PyMethodDef methods[] = {
    {"transform", fastcall(transform), METH_FASTCALL | METH_KEYWORDS, kTransformDoc},
    {"fit_transform", fastcall(fit_transform), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "fit_transform(texts, params)\n--\n\n"
     "Fits the vectorizer and transforms the input texts in one step.\n"
     "Returns a tuple of (vectorizer, `tfidf_matrix_components`).\n"
     "The `tfidf_matrix_components` is the same as returned by `transform`."},
    {"vectorize_from_tokens", fastcall(vectorize_from_tokens), METH_FASTCALL | METH_KEYWORDS,
     "vectorize_from_tokens($self, token_sequences)\n--\n\nTransform pre-tokenized sequences to TF-IDF matrix"},
    {"to_bytes", persistence_methods::to_bytes, METH_NOARGS, persistence_methods::kToBytesDoc},
    {"to_json", persistence_methods::to_json, METH_NOARGS, persistence_methods::kToJsonDoc},
    {"save", fastcall(persistence_methods::save), METH_FASTCALL | METH_KEYWORDS, persistence_methods::kSaveDoc},
    {"from_bytes", fastcall(persistence_methods::from_bytes), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     persistence_methods::kFromBytesDoc},
    {"load", fastcall(persistence_methods::load), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     persistence_methods::kLoadDoc},
    {"from_json", fastcall(persistence_methods::from_json), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     persistence_methods::kFromJsonDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef attributes[] = {
    {"num_features", get_num_features, nullptr, "Getter for the number of features (vocabulary size).", nullptr},
    {"vocabulary", get_vocabulary, nullptr, "Getter for the vocabulary mapping (token to index).", nullptr},
    {"params", get_params, nullptr, "Getter for the vectorizer parameters.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(construct)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<TfidfVectorizer>)},
    {Py_tp_methods, methods},
    {Py_tp_getset, attributes},
    {Py_tp_repr, reinterpret_cast<void*>(representation)},
    {Py_tp_str, reinterpret_cast<void*>(structure_text)},
    {Py_tp_doc, const_cast<char*>("NativeTfidfVectorizer(texts, params)\n--\n\n"
                                  "A wrapper function around `TfidfVectorizer` to expose it to Python.")},
    {0, nullptr},
};

PyType_Spec spec = {"_ordwen_preprocessing_native_bindings.NativeTfidfVectorizer", sizeof(Instance<TfidfVectorizer>),
                    0, Py_TPFLAGS_DEFAULT, slots};

}  // namespace

PyObject* tfidf_vectorizer_type() { return type_once(cached_type, spec); }

PyObject* wrap_tfidf_vectorizer(TfidfVectorizer&& model) {
  PyRef type = PyRef::steal(tfidf_vectorizer_type());
  if (!type) return nullptr;
  return wrap(reinterpret_cast<PyTypeObject*>(type.get()), std::move(model));
}

}  // namespace bindings
