// NativeTokenChunker: the Python face of TokenChunker.
#pragma once

#include <Python.h>

namespace bindings {

// A new reference to the class object (built once per process).
PyObject* token_chunker_type();

}  // namespace bindings
