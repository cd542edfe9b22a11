#include "bindings/support/conversions.h"

#include <limits>
#include <vector>
#include <string_view>

namespace bindings {
namespace {

void refuse_type(PyObject* object, const char* target) {
  PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to '%s'",
               Py_TYPE(object)->tp_name, target);
}

// Iterates a sequence as the extraction rules say: a str is refused, the
// length is only a capacity hint, and the first failing item ends it.
template <class Item, class Convert>
bool extract_sequence(PyObject* object, Vec<Item>& out, Convert&& convert) {
  if (PyUnicode_Check(object)) {
    PyErr_SetString(PyExc_TypeError, kStrToVecMessage);
    return false;
  }
  if (!PySequence_Check(object)) {
    refuse_type(object, "Sequence");
    return false;
  }
  out.clear();
  const Py_ssize_t hint = PySequence_Size(object);
  if (hint < 0) {
    PyErr_Clear();
  } else {
    out.reserve(static_cast<std::size_t>(hint));
  }
  if (PyList_CheckExact(object)) {
    // What list iteration does, without the iterator object: the size is read
    // again at every step, since a conversion may run Python code.
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(object); ++i) {
      PyRef item = PyRef::borrow(PyList_GET_ITEM(object, i));
      Item value{};
      if (!convert(item.get(), value)) return false;
      out.push_back(std::move(value));
    }
    return true;
  }
  PyRef iterator = PyRef::steal(PyObject_GetIter(object));
  if (!iterator) return false;
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    Item value{};
    if (!convert(item.get(), value)) return false;
    out.push_back(std::move(value));
  }
  return !PyErr_Occurred();
}

bool extract_token_id(PyObject* object, pre_processor::TokenId& out) {
  const long long value = PyLong_AsLongLong(object);
  if (value == -1 && PyErr_Occurred()) return false;
  if (value < 0 || value > static_cast<long long>(std::numeric_limits<pre_processor::TokenId>::max())) {
    PyErr_SetString(PyExc_OverflowError, kTokenIdRangeMessage);
    return false;
  }
  out = static_cast<pre_processor::TokenId>(value);
  return true;
}

bool is_numpy_bool(PyObject* object) {
  PyTypeObject* type = Py_TYPE(object);
  const std::string_view name = type->tp_name;
  return name == "numpy.bool" || name == "numpy.bool_";
}

}  // namespace

bool extract(PyObject* object, String& out) {
  if (!PyUnicode_Check(object)) {
    refuse_type(object, "PyString");
    return false;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) return false;
  out.assign(utf8, static_cast<std::size_t>(size));
  return true;
}

bool extract(PyObject* object, TextView& out) {
  if (!PyUnicode_Check(object)) {
    refuse_type(object, "PyString");
    return false;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);  // cached by the str object
  if (utf8 == nullptr) return false;
  out.owner = PyRef::borrow(object);
  out.data = std::string_view(utf8, static_cast<std::size_t>(size));
  return true;
}

bool extract(PyObject* object, Vec<String>& out) {
  return extract_sequence(object, out, [](PyObject* item, String& text) { return extract(item, text); });
}

bool extract(PyObject* object, TokenSequence& out) {
  return extract_sequence(object, out, extract_token_id);
}

bool extract(PyObject* object, Vec<TokenSequence>& out) {
  return extract_sequence(object, out,
                          [](PyObject* item, TokenSequence& tokens) { return extract(item, tokens); });
}

bool extract(PyObject* object, double& out) {
  out = PyFloat_AsDouble(object);
  return !(out == -1.0 && PyErr_Occurred());
}

bool extract(PyObject* object, bool& out) {
  if (PyBool_Check(object)) {
    out = object == Py_True;
    return true;
  }
  if (is_numpy_bool(object)) {
    const int truth = PyObject_IsTrue(object);
    if (truth < 0) return false;
    out = truth == 1;
    return true;
  }
  refuse_type(object, "PyBool");
  return false;
}

bool extract(PyObject* object, std::uint64_t& out) {
  if (!PyLong_Check(object)) {
    PyRef index = PyRef::steal(PyNumber_Index(object));
    if (!index) return false;
    return extract(index.get(), out);
  }
  const unsigned long long value = PyLong_AsUnsignedLongLong(object);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
  out = value;
  return true;
}

bool extract(PyObject* object, BytesView& out) {
  if (!PyBytes_Check(object)) {
    refuse_type(object, "PyBytes");
    return false;
  }
  out.owner = PyRef::borrow(object);
  out.data = std::string_view(PyBytes_AS_STRING(object), static_cast<std::size_t>(PyBytes_GET_SIZE(object)));
  return true;
}

void prefix_type_error(const char* name) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyObject* type;
  PyObject* value;
  PyObject* traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr) PyException_SetTraceback(value, traceback);
  PyRef original = PyRef::steal(value);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  PyRef text = PyRef::steal(PyObject_Str(original.get()));
  if (!text) return;
  PyRef message = PyRef::steal(PyUnicode_FromFormat("argument '%s': %U", name, text.get()));
  if (!message) return;
  PyRef replacement = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!replacement) return;
  PyException_SetCause(replacement.get(), original.release());
  PyErr_SetObject(PyExc_TypeError, replacement.get());
}

PyObject* to_python(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
}

namespace {

template <class Items, class Convert>
PyObject* list_of(const Items& items, Convert&& convert) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < items.size(); ++i) {
    PyObject* item = convert(items[i]);
    if (item == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

}  // namespace

PyObject* to_python(std::span<const String> texts) {
  return list_of(texts, [](const String& text) { return to_python(std::string_view(text)); });
}

namespace {

// Python int objects of token ids, made once per conversion and shared by
// every position that holds the same id (ints are immutable). Large results
// repeat ids millions of times; sharing saves an allocation per token.
class TokenIdObjects {
 public:
  // Ids of the encoding are below this; larger ids get objects of their own.
  static constexpr pre_processor::TokenId kCachedIds = 1u << 18;
  // Small results convert directly: the table would cost more than it saves.
  static constexpr std::size_t kTokensBeforeCaching = 1u << 16;

  TokenIdObjects(const TokenIdObjects&) = delete;
  TokenIdObjects& operator=(const TokenIdObjects&) = delete;
  TokenIdObjects() = default;
  ~TokenIdObjects() {
    for (PyObject* object : objects_) Py_XDECREF(object);
  }

  // A new reference to the int of `id`.
  PyObject* get(pre_processor::TokenId id) {
    if (id >= kCachedIds || ++converted_ <= kTokensBeforeCaching) return PyLong_FromUnsignedLong(id);
    if (objects_.empty()) objects_.assign(kCachedIds, nullptr);
    PyObject*& object = objects_[id];
    if (object == nullptr) object = PyLong_FromUnsignedLong(id);
    Py_XINCREF(object);
    return object;
  }

 private:
  std::size_t converted_ = 0;
  std::vector<PyObject*> objects_;
};

// Pauses the cyclic garbage collector while a large nested result is built:
// the new lists hold only ints and lists, so they form no cycles, and every
// collection the allocations would trigger meanwhile would scan them in vain.
class CollectorPause {
 public:
  CollectorPause() : was_enabled_(PyGC_Disable() == 1) {}
  CollectorPause(const CollectorPause&) = delete;
  CollectorPause& operator=(const CollectorPause&) = delete;
  ~CollectorPause() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  bool was_enabled_;
};

PyObject* token_list(std::span<const pre_processor::TokenId> tokens, TokenIdObjects& ids) {
  return list_of(tokens, [&](pre_processor::TokenId id) { return ids.get(id); });
}

PyObject* sequence_lists(std::span<const TokenSequence> sequences, TokenIdObjects& ids) {
  return list_of(sequences, [&](const TokenSequence& tokens) { return token_list(tokens, ids); });
}

}  // namespace

PyObject* to_python(std::span<const pre_processor::TokenId> tokens) {
  TokenIdObjects ids;
  return token_list(tokens, ids);
}

PyObject* to_python(std::span<const TokenSequence> sequences) {
  CollectorPause pause;
  TokenIdObjects ids;
  return sequence_lists(sequences, ids);
}

PyObject* to_python(std::span<const Vec<TokenSequence>> nested) {
  CollectorPause pause;
  TokenIdObjects ids;
  return list_of(nested, [&](const Vec<TokenSequence>& sequences) { return sequence_lists(sequences, ids); });
}

}  // namespace bindings
