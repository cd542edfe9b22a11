#include "bindings/vectorizer_params_class.h"

#include <array>

#include "bindings/support/arguments.h"
#include "bindings/support/conversions.h"
#include "bindings/support/instance.h"
#include "pre_processor/vectorizer/text_forms.h"

namespace bindings {
namespace {

namespace text_forms = pre_processor::text_forms;
using Params = PythonVectorizerParams;

PyObject* cached_type = nullptr;

PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const Signature signature{"NativeVectorizerParams", {"min_df", "max_df", "sublinear_tf"}, 3};
  std::array<PyObject*, 3> matched{};
  if (!match_arguments(signature, args, kwargs, matched)) return nullptr;
  return guarded([&]() -> PyObject* {
    double min_df = 0;
    double max_df = 0;
    bool sublinear_tf = false;
    if (!extract_argument("min_df", matched[0], min_df) || !extract_argument("max_df", matched[1], max_df) ||
        !extract_argument("sublinear_tf", matched[2], sublinear_tf)) {
      return nullptr;
    }
    Params params;
    params.min_df = static_cast<float>(min_df);
    params.max_df = static_cast<float>(max_df);
    params.sublinear_tf = sublinear_tf;
    return wrap(type, std::move(params));
  });
}

PyObject* get_ngram_range(PyObject* self, void*) {
  return with_shared<Params>(self, [](const Params& params) -> PyObject* {
    return Py_BuildValue("(KK)", static_cast<unsigned long long>(params.ngram_first),
                         static_cast<unsigned long long>(params.ngram_last));
  });
}

PyObject* get_min_df(PyObject* self, void*) {
  return with_shared<Params>(self, [](const Params& params) { return PyFloat_FromDouble(params.min_df); });
}

PyObject* get_max_df(PyObject* self, void*) {
  return with_shared<Params>(self, [](const Params& params) { return PyFloat_FromDouble(params.max_df); });
}

PyObject* get_sublinear_tf(PyObject* self, void*) {
  return with_shared<Params>(self, [](const Params& params) { return PyBool_FromLong(params.sublinear_tf); });
}

PyObject* representation(PyObject* self) {
  return with_shared<Params>(self, [](const Params& params) -> PyObject* {
    return to_python(text_forms::native_params_repr({params.ngram_first, params.ngram_last}, params.min_df,
                                                    params.max_df, params.sublinear_tf));
  });
}

PyObject* structure_text(PyObject* self) {
  return with_shared<Params>(self, [](const Params& params) -> PyObject* {
    return to_python(text_forms::native_params_str({params.ngram_first, params.ngram_last}, params.min_df,
                                                   params.max_df, params.sublinear_tf));
  });
}

PyGetSetDef attributes[] = {
    {"ngram_range", get_ngram_range, nullptr, nullptr, nullptr},
    {"min_df", get_min_df, nullptr, nullptr, nullptr},
    {"max_df", get_max_df, nullptr, nullptr, nullptr},
    {"sublinear_tf", get_sublinear_tf, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(construct)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<Params>)},
    {Py_tp_getset, attributes},
    {Py_tp_repr, reinterpret_cast<void*>(representation)},
    {Py_tp_str, reinterpret_cast<void*>(structure_text)},
    {Py_tp_doc, const_cast<char*>("NativeVectorizerParams(min_df, max_df, sublinear_tf)\n--\n\n"
                                  "Python wrapper for [`VectorizerParams`].\n\n"
                                  "Configuration parameters for TF-IDF vectorization exposed to Python.")},
    {0, nullptr},
};

PyType_Spec spec = {"_ordwen_preprocessing_native_bindings.NativeVectorizerParams", sizeof(Instance<Params>), 0,
                    Py_TPFLAGS_DEFAULT, slots};

}  // namespace

pre_processor::Result<pre_processor::VectorizerParams> PythonVectorizerParams::to_core() const {
  return pre_processor::VectorizerParams::create(min_df, max_df, sublinear_tf);
}

pre_processor::Result<PythonVectorizerParams> PythonVectorizerParams::from_core(
    const pre_processor::VectorizerParams& params) {
  auto bounds = params.ngram_range_bounds();
  if (!bounds) return bounds.error();
  return PythonVectorizerParams{bounds->first, bounds->last, params.min_df, params.max_df, params.sublinear_tf};
}

PyObject* vectorizer_params_type() { return type_once(cached_type, spec); }

PyObject* wrap_vectorizer_params(const PythonVectorizerParams& params) {
  PyRef type = PyRef::steal(vectorizer_params_type());
  if (!type) return nullptr;
  return wrap(reinterpret_cast<PyTypeObject*>(type.get()), PythonVectorizerParams(params));
}

bool extract_vectorizer_params(const char* name, PyObject* object, PythonVectorizerParams& out) {
  PyRef type = PyRef::steal(vectorizer_params_type());
  if (!type) return false;
  if (!PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(type.get()))) {
    PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to 'NativeVectorizerParams'",
                 Py_TYPE(object)->tp_name);
    prefix_type_error(name);
    return false;
  }
  auto* instance = as_instance<PythonVectorizerParams>(object);
  Borrow borrow(instance->borrow, Borrow::Kind::Shared);
  if (!borrow) return false;
  out = *instance->core;
  return true;
}

}  // namespace bindings
