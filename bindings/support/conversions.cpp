#include "bindings/support/conversions.h"

#if PY_VERSION_HEX < 0x030B0000
#include <longintrepr.h>
#endif

#include <algorithm>
#include <limits>
#include <string_view>
#include <vector>

#include "pre_processor/common/thread_pool.h"

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

// The value of an exact int read straight from the object, without a call into
// the interpreter: what PyLong_AsLongLong gives for it. Only for one-digit
// non-negative values (every id of the encoding); anything else - an int
// subclass, an object with __index__, a negative or a larger value - returns
// false and goes the general way, which also raises its errors. Reads only,
// so pool threads may use it while the calling thread holds the lock.
bool read_plain_token_id(PyObject* item, pre_processor::TokenId& out) {
  if (Py_TYPE(item) != &PyLong_Type) return false;
  const auto* number = reinterpret_cast<const PyLongObject*>(item);
#if PY_VERSION_HEX >= 0x030C0000
  if (!PyUnstable_Long_IsCompact(number)) return false;
  const Py_ssize_t value = PyUnstable_Long_CompactValue(number);
  if (value < 0 || value > static_cast<Py_ssize_t>(std::numeric_limits<pre_processor::TokenId>::max())) return false;
  out = static_cast<pre_processor::TokenId>(value);
#else
  const Py_ssize_t digits = Py_SIZE(item);
  if (digits != 0 && digits != 1) return false;
  out = digits == 0 ? 0 : static_cast<pre_processor::TokenId>(number->ob_digit[0]);
#endif
  return true;
}

bool is_exact_list_or_tuple(PyObject* object) { return PyList_CheckExact(object) || PyTuple_CheckExact(object); }

// The items of an exact list or tuple, valid while no Python code runs.
std::span<PyObject* const> items_of(PyObject* list_or_tuple) {
  return {PySequence_Fast_ITEMS(list_or_tuple), static_cast<std::size_t>(PySequence_Fast_GET_SIZE(list_or_tuple))};
}

// All items plain ints: converts them and returns true. Otherwise false, with
// `out` undefined.
bool read_plain_token_ids(std::span<PyObject* const> items, TokenSequence& out) {
  out.resize(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!read_plain_token_id(items[i], out[i])) return false;
  }
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
  if (is_exact_list_or_tuple(object) && read_plain_token_ids(items_of(object), out)) return true;
  return extract_sequence(object, out, extract_token_id);
}

namespace {

// Batches with at least this many tokens convert their leading plain
// sequences on the pool.
constexpr std::size_t kParallelConversionTokens = 1u << 16;

// Converts on the pool the longest run of leading items that are lists or
// tuples of plain ints, and returns its length; the caller converts the rest
// in order. No Python code runs meanwhile and nothing is written to any
// object, so the items cannot change under the pool threads.
std::size_t read_leading_plain_sequences(PyObject* outer, Vec<TokenSequence>& out) {
  const std::span<PyObject* const> items = items_of(outer);
  Vec<std::span<PyObject* const>> inner;
  std::size_t tokens = 0;
  for (PyObject* item : items) {
    if (!is_exact_list_or_tuple(item)) break;
    inner.push_back(items_of(item));
    tokens += inner.back().size();
  }
  if (tokens < kParallelConversionTokens) return 0;
  out.resize(inner.size());
  Vec<std::uint8_t> plain(inner.size(), 0);
  pre_processor::pool::for_each_index(inner.size(),
                                      [&](std::size_t i) { plain[i] = read_plain_token_ids(inner[i], out[i]); });
  const std::size_t leading = static_cast<std::size_t>(std::find(plain.begin(), plain.end(), 0) - plain.begin());
  out.resize(leading);
  return leading;
}

}  // namespace

bool extract(PyObject* object, Vec<TokenSequence>& out) {
  const auto extract_tokens = [](PyObject* item, TokenSequence& tokens) { return extract(item, tokens); };
  if (!is_exact_list_or_tuple(object)) return extract_sequence(object, out, extract_tokens);
  out.clear();
  const std::size_t leading = read_leading_plain_sequences(object, out);
  out.reserve(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(object)));
  // The rest as the general rules say; a list is read again at every step,
  // since a conversion may run Python code.
  for (Py_ssize_t i = static_cast<Py_ssize_t>(leading); i < PySequence_Fast_GET_SIZE(object); ++i) {
    PyRef item = PyRef::borrow(PySequence_Fast_GET_ITEM(object, i));
    TokenSequence tokens;
    if (!extract(item.get(), tokens)) return false;
    out.push_back(std::move(tokens));
  }
  return true;
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

// Python int objects of token ids for converting one result. Small results
// make an object per position. Large ones share one object per distinct id
// (ints are immutable), and each shared object takes all of its references
// in one step before the lists are filled, instead of one increment per
// position: filling then writes only to the new lists, never to int objects
// scattered through memory.
//
// `for_each_span(visit)` calls visit with every token span of the result, in
// the order in which the lists are filled.
template <class ForEachSpan>
class TokenIdObjects {
 public:
  // Ids of the encoding are below this; larger ids get objects of their own.
  static constexpr pre_processor::TokenId kSharedIds = 1u << 18;
  // Smaller results convert directly: the tables would cost more than they save.
  static constexpr std::size_t kTokensBeforeSharing = 1u << 16;

  TokenIdObjects(std::size_t tokens, ForEachSpan for_each_span)
      : tokens_(tokens), for_each_span_(std::move(for_each_span)) {}
  TokenIdObjects(const TokenIdObjects&) = delete;
  TokenIdObjects& operator=(const TokenIdObjects&) = delete;
  ~TokenIdObjects() { release_untaken(); }

  // Makes the shared objects with their references; false with an exception set.
  bool prepare() {
    if (tokens_ < kTokensBeforeSharing) return true;
    std::vector<std::size_t> references(kSharedIds, 0);
    for_each_span_([&](std::span<const pre_processor::TokenId> span) {
      for (const pre_processor::TokenId id : span) {
        if (id < kSharedIds) ++references[id];
      }
    });
    objects_.assign(kSharedIds, nullptr);
    for (pre_processor::TokenId id = 0; id < kSharedIds; ++id) {
      if (references[id] == 0) continue;
      PyObject* object = PyLong_FromUnsignedLong(id);
      if (object == nullptr) {
        release_made(references);
        return false;
      }
      // The new reference is one of them. Immortal objects ignore this.
      Py_SET_REFCNT(object, Py_REFCNT(object) + static_cast<Py_ssize_t>(references[id]) - 1);
      objects_[id] = object;
    }
    return true;
  }

  // A new reference to the int of the next position's `id`.
  PyObject* take(pre_processor::TokenId id) {
    ++taken_;
    if (objects_.empty() || id >= kSharedIds) return PyLong_FromUnsignedLong(id);
    return objects_[id];
  }

 private:
  // After a failed prepare(), when nothing has been taken yet.
  void release_made(const std::vector<std::size_t>& references) {
    for (pre_processor::TokenId id = 0; id < kSharedIds; ++id) {
      PyObject* object = objects_[id];
      if (object == nullptr) continue;
      Py_SET_REFCNT(object, Py_REFCNT(object) - static_cast<Py_ssize_t>(references[id]) + 1);
      Py_DECREF(object);
    }
    objects_.clear();
  }

  // After a failure: the references made for positions never filled.
  void release_untaken() {
    if (objects_.empty() || taken_ == tokens_) return;
    std::size_t position = 0;
    for_each_span_([&](std::span<const pre_processor::TokenId> span) {
      for (const pre_processor::TokenId id : span) {
        if (position++ >= taken_ && id < kSharedIds) Py_DECREF(objects_[id]);
      }
    });
  }

  std::size_t tokens_;
  ForEachSpan for_each_span_;
  std::size_t taken_ = 0;
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

template <class Ids>
PyObject* token_list(std::span<const pre_processor::TokenId> tokens, Ids& ids) {
  return list_of(tokens, [&](pre_processor::TokenId id) { return ids.take(id); });
}

template <class Ids>
PyObject* sequence_lists(std::span<const TokenSequence> sequences, Ids& ids) {
  return list_of(sequences, [&](const TokenSequence& tokens) { return token_list(tokens, ids); });
}

std::size_t token_count(std::span<const TokenSequence> sequences) {
  std::size_t tokens = 0;
  for (const TokenSequence& sequence : sequences) tokens += sequence.size();
  return tokens;
}

}  // namespace

PyObject* to_python(std::span<const pre_processor::TokenId> tokens) {
  TokenIdObjects ids(tokens.size(), [=](auto&& visit) { visit(tokens); });
  if (!ids.prepare()) return nullptr;
  return token_list(tokens, ids);
}

PyObject* to_python(std::span<const TokenSequence> sequences) {
  CollectorPause pause;
  TokenIdObjects ids(token_count(sequences), [=](auto&& visit) {
    for (const TokenSequence& sequence : sequences) visit(sequence);
  });
  if (!ids.prepare()) return nullptr;
  return sequence_lists(sequences, ids);
}

PyObject* to_python(std::span<const Vec<TokenSequence>> nested) {
  CollectorPause pause;
  std::size_t tokens = 0;
  for (const Vec<TokenSequence>& sequences : nested) tokens += token_count(sequences);
  TokenIdObjects ids(tokens, [=](auto&& visit) {
    for (const Vec<TokenSequence>& sequences : nested) {
      for (const TokenSequence& sequence : sequences) visit(sequence);
    }
  });
  if (!ids.prepare()) return nullptr;
  return list_of(nested, [&](const Vec<TokenSequence>& sequences) { return sequence_lists(sequences, ids); });
}

}  // namespace bindings
