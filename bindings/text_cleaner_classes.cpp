#include "bindings/text_cleaner_classes.h"

#include <array>
#include <string>

#include "bindings/support/arguments.h"
#include "bindings/support/conversions.h"
#include "bindings/support/gil.h"
#include "bindings/support/instance.h"
#include "pre_processor/cleaner/text_cleaner.h"

namespace bindings {
namespace {

using pre_processor::cleaner::CleaningMode;
using pre_processor::cleaner::TextCleaner;

struct ModeMember {
  const char* name;
  CleaningMode mode;
};

constexpr std::array<ModeMember, 2> kModeMembers = {{
    {"Training", CleaningMode::Training},
    {"Inference", CleaningMode::Inference},
}};

PyObject* cached_mode_type = nullptr;
PyObject* cached_cleaner_type = nullptr;

const char* member_name(CleaningMode mode) {
  return mode == CleaningMode::Training ? kModeMembers[0].name : kModeMembers[1].name;
}

// ---- NativeCleaningMode ----

PyObject* mode_representation(PyObject* self) {
  return with_shared<CleaningMode>(self, [](CleaningMode mode) {
    return to_python(std::string("NativeCleaningMode.") + member_name(mode));
  });
}

PyObject* mode_as_int(PyObject* self) {
  return with_shared<CleaningMode>(self, [](CleaningMode mode) {
    return PyLong_FromLong(static_cast<long>(mode));
  });
}

PyType_Slot mode_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<CleaningMode>)},
    {Py_tp_repr, reinterpret_cast<void*>(mode_representation)},
    {Py_nb_int, reinterpret_cast<void*>(mode_as_int)},
    {Py_tp_doc, const_cast<char*>("")},
    {0, nullptr},
};

// No constructor: the two class attributes are the only instances.
PyType_Spec mode_spec = {"_ordwen_preprocessing_native_bindings.NativeCleaningMode",
                         sizeof(Instance<CleaningMode>), 0,
                         Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, mode_slots};

PyObject* build_mode_type() {
  PyRef type = PyRef::steal(PyType_FromSpec(&mode_spec));
  if (!type) return nullptr;
  for (const ModeMember& member : kModeMembers) {
    PyRef instance = PyRef::steal(wrap(reinterpret_cast<PyTypeObject*>(type.get()), CleaningMode(member.mode)));
    if (!instance || PyObject_SetAttrString(type.get(), member.name, instance.get()) < 0) return nullptr;
  }
  return type.release();
}

// ---- NativeTextCleaner ----

bool extract_mode(PyObject* object, CleaningMode& out) {
  PyRef type = PyRef::steal(cleaning_mode_type());
  if (!type) return false;
  if (!PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(type.get()))) {
    PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to 'NativeCleaningMode'",
                 Py_TYPE(object)->tp_name);
    prefix_type_error("mode");
    return false;
  }
  auto* instance = as_instance<CleaningMode>(object);
  Borrow borrow(instance->borrow, Borrow::Kind::Shared);
  if (!borrow) return false;
  out = *instance->core;
  return true;
}

PyObject* construct_cleaner(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  static const Signature signature{"NativeTextCleaner", {"mode"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, kwargs, matched)) return nullptr;
  return guarded([&]() -> PyObject* {
    CleaningMode mode = CleaningMode::Training;
    if (!extract_mode(matched[0], mode)) return nullptr;
    return wrap(type, TextCleaner(mode));
  });
}

PyObject* clean(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTextCleaner.clean", {"text"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return with_shared<TextCleaner>(self, [&](const TextCleaner& cleaner) -> PyObject* {
    String text;
    if (!extract_argument("text", matched[0], text)) return nullptr;
    const String cleaned = cleaner.clean(text);
    return to_python(std::string_view(cleaned));
  });
}

PyObject* clean_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature signature{"NativeTextCleaner.clean_batch", {"texts"}, 1};
  std::array<PyObject*, 1> matched{};
  if (!match_arguments(signature, args, nargs, kwnames, matched)) return nullptr;
  return with_shared<TextCleaner>(self, [&](const TextCleaner& cleaner) -> PyObject* {
    Vec<String> texts;
    if (!extract_argument("texts", matched[0], texts)) return nullptr;
    const Vec<String> cleaned = without_gil([&] { return cleaner.clean_batch(texts); });
    return to_python(std::span<const String>(cleaned));
  });
}

PyObject* is_training_mode(PyObject* self, PyObject*) {
  return with_shared<TextCleaner>(self, [](const TextCleaner& cleaner) {
    return PyBool_FromLong(cleaner.is_training_mode());
  });
}

PyMethodDef cleaner_methods[] = {
    {"clean", fastcall(clean), METH_FASTCALL | METH_KEYWORDS, "clean($self, text)\n--\n\nClean a single text string"},
    {"clean_batch", fastcall(clean_batch), METH_FASTCALL | METH_KEYWORDS,
     "clean_batch($self, texts)\n--\n\nClean multiple texts in parallel"},
    {"is_training_mode", is_training_mode, METH_NOARGS, "is_training_mode($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot cleaner_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(construct_cleaner)},
    {Py_tp_dealloc, reinterpret_cast<void*>(deallocate<TextCleaner>)},
    {Py_tp_methods, cleaner_methods},
    {Py_tp_doc, const_cast<char*>("NativeTextCleaner(mode)\n--\n\n")},
    {0, nullptr},
};

PyType_Spec cleaner_spec = {"_ordwen_preprocessing_native_bindings.NativeTextCleaner", sizeof(Instance<TextCleaner>),
                            0, Py_TPFLAGS_DEFAULT, cleaner_slots};

}  // namespace

PyObject* cleaning_mode_type() {
  if (cached_mode_type == nullptr) {
    cached_mode_type = build_mode_type();  // kept for the life of the process
    if (cached_mode_type == nullptr) return nullptr;
  }
  Py_INCREF(cached_mode_type);
  return cached_mode_type;
}

PyObject* text_cleaner_type() { return type_once(cached_cleaner_type, cleaner_spec); }

}  // namespace bindings
