#include "bindings/vectorizer_persistence.h"

#include <array>

#include "bindings/support/arguments.h"
#include "bindings/support/conversions.h"
#include "bindings/support/gil.h"
#include "bindings/support/instance.h"
#include "bindings/tfidf_vectorizer_class.h"
#include "pre_processor/persistence/model_files.h"

namespace bindings::persistence_methods {
namespace {

namespace persistence = pre_processor::persistence;
using pre_processor::Result;
using pre_processor::TfidfVectorizer;

std::span<const std::uint8_t> as_bytes(std::string_view data) {
  return {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
}

// Hands a decoded model to Python, or raises its refusal.
PyObject* vectorizer_result(Result<TfidfVectorizer>&& model) {
  if (!model) return raise(model.error());
  return wrap_tfidf_vectorizer(std::move(model).value());
}

// Matches the single argument of a static reader and converts it.
template <class Argument>
bool single_argument(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     Argument& out) {
  std::array<PyObject*, 1> matched{};
  return match_arguments(signature, args, nargs, kwnames, matched) &&
         extract_argument(signature.parameters.begin()[0], matched[0], out);
}

}  // namespace

PyObject* to_bytes(PyObject* self, PyObject*) {
  return with_shared<TfidfVectorizer>(self, [](const TfidfVectorizer& model) -> PyObject* {
    auto archive = without_gil([&] { return persistence::vectorizer_to_bytes(model); });
    if (!archive) return raise(archive.error());
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(archive->data()),
                                     static_cast<Py_ssize_t>(archive->size()));
  });
}

PyObject* to_json(PyObject* self, PyObject*) {
  return with_shared<TfidfVectorizer>(self, [](const TfidfVectorizer& model) -> PyObject* {
    const String document = without_gil([&] { return persistence::vectorizer_to_json(model); });
    return to_python(std::string_view(document));
  });
}

PyObject* save(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTfidfVectorizer.save", {"path"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return with_shared<TfidfVectorizer>(self, [&](const TfidfVectorizer& model) -> PyObject* {
    String path;
    if (!extract_argument("path", matched[0], path)) return nullptr;
    const pre_processor::Status saved = without_gil([&] { return persistence::save_vectorizer(model, path); });
    if (!saved) return raise(saved.error());
    Py_RETURN_NONE;
  });
}

PyObject* from_bytes(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTfidfVectorizer.from_bytes", {"bytes"}, 1};
  return guarded([&]() -> PyObject* {
    BytesView bytes;
    if (!single_argument(signature, args, nargs, kwnames, bytes)) return nullptr;
    return vectorizer_result(without_gil([&] { return persistence::vectorizer_from_bytes(as_bytes(bytes.data)); }));
  });
}

PyObject* load(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTfidfVectorizer.load", {"path"}, 1};
  return guarded([&]() -> PyObject* {
    String path;
    if (!single_argument(signature, args, nargs, kwnames, path)) return nullptr;
    return vectorizer_result(without_gil([&] { return persistence::load_vectorizer(path); }));
  });
}

PyObject* from_json(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTfidfVectorizer.from_json", {"json"}, 1};
  return guarded([&]() -> PyObject* {
    TextView json;
    if (!single_argument(signature, args, nargs, kwnames, json)) return nullptr;
    return vectorizer_result(without_gil([&] { return persistence::vectorizer_from_json(json.data); }));
  });
}

}  // namespace bindings::persistence_methods
