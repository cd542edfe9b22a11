// NativeCleaningMode and NativeTextCleaner: the Python face of the cleaner.
#pragma once

#include <Python.h>

namespace bindings {

PyObject* cleaning_mode_type();
PyObject* text_cleaner_type();

}  // namespace bindings
