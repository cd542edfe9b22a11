// Forwards the core library's log records to Python's `logging`.
//
// Records at DEBUG and above go to the logger named after the record's target
// ("::" becomes "."), through logger.makeRecord + logger.handle. TRACE records
// are dropped before the interpreter lock is taken. Forwarding takes the
// interpreter lock per record, so it is safe from pool workers while the
// calling thread has released the lock.
#pragma once

#include <Python.h>

namespace bindings {

inline constexpr const char* kLoggingInitFailure = "Failed to initialize python logging";

// Installs the bridge as the process-wide log sink. Call with the interpreter
// lock held. A bridge installed by an earlier initialisation stays in place.
// Returns false with ImportError set when `logging` cannot be imported.
bool install_log_bridge();

}  // namespace bindings
