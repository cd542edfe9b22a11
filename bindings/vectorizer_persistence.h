// The persistence methods of NativeTfidfVectorizer: to_bytes, to_json, save,
// from_bytes, load and from_json. Each releases the interpreter lock for all of
// its formatting, parsing and file work.
#pragma once

#include <Python.h>

namespace bindings::persistence_methods {

PyObject* to_bytes(PyObject* self, PyObject* unused);
PyObject* to_json(PyObject* self, PyObject* unused);
PyObject* save(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* from_bytes(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* load(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* from_json(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

inline constexpr const char* kToBytesDoc =
    "to_bytes($self)\n--\n\n"
    "Serialize the vectorizer to bytes using qarch format.\n"
    "Returns a bytes object that can be saved to disk or passed to `from_bytes`.\n"
    "Return the inner vectorizer serialized as bytes so it is compatible with Native side.";
inline constexpr const char* kToJsonDoc =
    "to_json($self)\n--\n\n"
    "Serialize the vectorizer to JSON string.\n"
    "Returns a JSON string that can be saved to disk or passed to `from_json`.\n"
    "Return the inner vectorizer serialized as JSON so it is compatible with Native side.";
inline constexpr const char* kSaveDoc =
    "save($self, path)\n--\n\n"
    "Save the vectorizer to a path based on the file extension.\n"
    "Supports .qarch (qarch) and .json (tallis).";
inline constexpr const char* kFromBytesDoc =
    "from_bytes(bytes)\n--\n\n"
    "Deserialize the vectorizer from bytes (qarch format).\n\n"
    "Args:\n    bytes: A bytes object containing the serialized vectorizer\n\n"
    "Returns:\n    A new `NativeTfidfVectorizer` instance";
inline constexpr const char* kLoadDoc =
    "load(path)\n--\n\n"
    "Load a vectorizer from a path based on the file extension.\n"
    "Supports .qarch (qarch) and .json (tallis).";
inline constexpr const char* kFromJsonDoc =
    "from_json(json)\n--\n\n"
    "Deserialize the vectorizer from JSON string.\n\n"
    "Args:\n    json: A JSON string containing the serialized vectorizer\n\n"
    "Returns:\n    A new `NativeTfidfVectorizer` instance";

}  // namespace bindings::persistence_methods
