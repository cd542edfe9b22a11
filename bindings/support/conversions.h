// Conversion of Python arguments into native copies, and of core results into
// new Python objects. Everything here runs with the interpreter lock held.
//
// Each extract() returns false with a Python exception set. extract_argument()
// adds the argument-name prefix to a TypeError, keeping the original error as
// its __cause__; errors of other types pass through unchanged.
#pragma once

#include <Python.h>

#include <cstdint>
#include <span>
#include <string_view>

#include "bindings/support/python_ref.h"
#include "pre_processor/common/memory.h"
#include "pre_processor/tokenizer/tokenizer.h"

namespace bindings {

using pre_processor::String;
using pre_processor::TokenSequence;
using pre_processor::Vec;

inline constexpr const char* kStrToVecMessage = "Can't extract `str` to `Vec`";
inline constexpr const char* kTokenIdRangeMessage = "out of range integral type conversion attempted";

// A read-only view of a bytes object that stays valid while `owner` is held,
// with or without the interpreter lock (bytes are immutable).
struct BytesView {
  PyRef owner;
  std::string_view data;
};

// A read-only view of a str's UTF-8 form, valid while `owner` is held.
struct TextView {
  PyRef owner;
  std::string_view data;
};

bool extract(PyObject* object, String& out);                 // str
bool extract(PyObject* object, TextView& out);               // str, read in place
bool extract(PyObject* object, Vec<String>& out);            // sequence of str
bool extract(PyObject* object, TokenSequence& out);          // sequence of int
bool extract(PyObject* object, Vec<TokenSequence>& out);     // sequence of sequences of int
bool extract(PyObject* object, double& out);                 // float conversion
bool extract(PyObject* object, bool& out);                   // bool or NumPy bool scalar
bool extract(PyObject* object, std::uint64_t& out);          // non-negative int
bool extract(PyObject* object, BytesView& out);              // bytes (or subclass)

// Replaces a pending TypeError by one prefixed "argument '<name>': ".
void prefix_type_error(const char* name);

template <class T>
bool extract_argument(const char* name, PyObject* object, T& out) {
  if (extract(object, out)) return true;
  prefix_type_error(name);
  return false;
}

PyObject* to_python(std::string_view text);
PyObject* to_python(std::span<const String> texts);
PyObject* to_python(std::span<const pre_processor::TokenId> tokens);
PyObject* to_python(std::span<const TokenSequence> sequences);
PyObject* to_python(std::span<const Vec<TokenSequence>> nested);

}  // namespace bindings
