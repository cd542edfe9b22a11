#include "bindings/tfidf_vectorizer_builder_class.h"

#include <array>
#include <string>

#include "bindings/support/arguments.h"
#include "bindings/support/conversions.h"
#include "bindings/support/gil.h"
#include "bindings/support/instance.h"
#include "bindings/tfidf_vectorizer_class.h"
#include "bindings/vectorizer_params_class.h"
#include "pre_processor/vectorizer/tfidf_vectorizer_builder.h"

namespace bindings {
namespace {

using pre_processor::Result;
using pre_processor::Status;
using pre_processor::TfidfVectorizer;
using pre_processor::TfidfVectorizerBuilder;
using pre_processor::VectorizerParams;

constexpr std::string_view kFinalizedRepr = "NativeTfidfVectorizerBuilder(finalized)";

std::string active_repr(const TfidfVectorizerBuilder& builder) {
  return "NativeTfidfVectorizerBuilder(total_docs=" + std::to_string(builder.total_docs()) +
         ", raw_vocab_size=" + std::to_string(builder.raw_vocab_size()) + ")";
}

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const Signature signature{"NativeTfidfVectorizerBuilder", {"params"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, kwargs, matched)) return nullptr;
  return guarded([&]() -> PyObject* {
    PythonVectorizerParams params;
    if (!extract_vectorizer_params("params", matched[0], params)) return nullptr;
    Result<VectorizerParams> core_params = params.to_core();
    if (!core_params) return raise(core_params.error());
    return wrap(type, TfidfVectorizerBuilder(std::move(core_params).value()));
  });
}

// Both mutating calls hold the builder exclusively for their whole run, with
// the interpreter lock released, so no other Python thread can observe or
// change it meanwhile: a conflicting call fails at once with a borrow error.
PyObject* partial_fit(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTfidfVectorizerBuilder.partial_fit", {"texts"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return with_exclusive<TfidfVectorizerBuilder>(self, [&](TfidfVectorizerBuilder& builder) -> PyObject* {
    Vec<String> texts;
    if (!extract_argument("texts", matched[0], texts)) return nullptr;
    const Status counted = without_gil([&] { return builder.partial_fit(texts); });
    if (!counted) return raise(counted.error());
    Py_RETURN_NONE;
  });
}

PyObject* finalize(PyObject* self, PyObject*) {
  return with_exclusive<TfidfVectorizerBuilder>(self, [](TfidfVectorizerBuilder& builder) -> PyObject* {
    Result<TfidfVectorizer> model = without_gil([&] { return builder.finalize(); });
    if (!model) return raise(model.error());
    return wrap_tfidf_vectorizer(std::move(model).value());
  });
}

PyObject* get_total_docs(PyObject* self, void*) {
  return with_shared<TfidfVectorizerBuilder>(self, [](const TfidfVectorizerBuilder& builder) {
    return PyLong_FromUnsignedLongLong(builder.total_docs());
  });
}

PyObject* get_raw_vocab_size(PyObject* self, void*) {
  return with_shared<TfidfVectorizerBuilder>(self, [](const TfidfVectorizerBuilder& builder) {
    return PyLong_FromUnsignedLongLong(builder.raw_vocab_size());
  });
}

PyObject* representation(PyObject* self) {
  return with_shared<TfidfVectorizerBuilder>(self, [](const TfidfVectorizerBuilder& builder) {
    return builder.is_finalized() ? to_python(kFinalizedRepr) : to_python(active_repr(builder));
  });
}

#define PP_FASTCALL(function) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function))

PyMethodDef methods[] = {
    {"partial_fit", PP_FASTCALL(partial_fit), METH_FASTCALL | METH_KEYWORDS,
     "partial_fit($self, texts)\n--\n\n"
     "Process a batch of texts, updating document frequencies.\n"
     "\n"
     "Can be called multiple times with different batches.\n"
     "\n"
     "# Errors\n"
     "\n"
     "Returns `RuntimeError` if called after `finalize()`."},
    {"finalize", finalize, METH_NOARGS,
     "finalize($self)\n--\n\n"
     "Finalize the vectorizer and return a fitted TfidfVectorizer.\n"
     "\n"
     "After calling this method, the builder is consumed and cannot be used again.\n"
     "\n"
     "# Errors\n"
     "\n"
     "Returns `RuntimeError` if called more than once."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef attributes[] = {
    {"total_docs", get_total_docs, nullptr, "Get current number of documents processed.", nullptr},
    {"raw_vocab_size", get_raw_vocab_size, nullptr, "Get current vocabulary size (before filtering).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(construct)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<TfidfVectorizerBuilder>)},
    {Py_tp_methods, methods},
    {Py_tp_getset, attributes},
    {Py_tp_repr, reinterpret_cast<void*>(representation)},
    {Py_tp_doc, const_cast<char*>("NativeTfidfVectorizerBuilder(params)\n--\n\n"
                                  "Python wrapper for [`TfidfVectorizerBuilder`].\n"
                                  "\n"
                                  "Supports incremental training with `partial_fit()` for large datasets.")},
    {0, nullptr},
};

PyType_Spec spec = {"_ordwen_preprocessing_native_bindings.NativeTfidfVectorizerBuilder",
                    sizeof(Instance<TfidfVectorizerBuilder>), 0, Py_TPFLAGS_DEFAULT, slots};

PyObject* cached_type = nullptr;

}  // namespace

PyObject* tfidf_vectorizer_builder_type() { return type_once(cached_type, spec); }

}  // namespace bindings
