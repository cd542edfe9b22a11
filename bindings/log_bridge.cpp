#include "bindings/log_bridge.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "bindings/support/python_ref.h"
#include "pre_processor/common/logging.h"

namespace bindings {
namespace {

namespace log = pre_processor::log;

constexpr log::Level kMaxLevel = log::Level::Debug;

int python_level(log::Level level) {
  switch (level) {
    case log::Level::Error: return 40;
    case log::Level::Warn: return 30;
    case log::Level::Info: return 20;
    default: return 10;
  }
}

std::string logger_name(std::string_view target) {
  std::string name;
  name.reserve(target.size());
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (target.compare(i, 2, "::") == 0) {
      name += '.';
      ++i;
    } else {
      name += target[i];
    }
  }
  return name;
}

std::string format_message(const log::Record& record) {
  std::string message(record.text);
  if (record.kind == log::RecordKind::Span) message += ';';
  for (const log::Field& field : record.fields) {
    message += ' ';
    message += field.name;
    message += '=';
    message += field.value;
  }
  return message;
}

class PythonLogBridge final : public log::Sink {
 public:
  explicit PythonLogBridge(PyObject* logging_module) : logging_(logging_module) {}

  void forward(const log::Record& record) noexcept override {
    if (record.level == log::Level::Trace || record.level > kMaxLevel) return;
    if (Py_IsInitialized() == 0 || interpreter_finalizing()) return;
    const PyGILState_STATE gil = PyGILState_Ensure();
    try {
      handle(record);
    } catch (...) {
      // Formatting ran out of memory: the record is lost, the core goes on.
    }
    if (PyErr_Occurred()) PyErr_WriteUnraisable(nullptr);
    PyGILState_Release(gil);
  }

 private:
  struct CachedLogger {
    PyObject* logger = nullptr;                 // owned for the life of the process
    std::array<std::int8_t, 6> enabled{-1, -1, -1, -1, -1, -1};  // per level: -1 unknown
  };

  static bool interpreter_finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
  }

  // Called with the interpreter lock held; errors are left set for the caller.
  void handle(const log::Record& record) {
    const std::string name = logger_name(record.target);
    CachedLogger* cached = logger_for(name);
    if (cached == nullptr) return;
    const int level = python_level(record.level);
    if (!is_enabled(*cached, record.level, level)) return;

    const std::string message = format_message(record);
    PyRef py_message = PyRef::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (!py_message) return;
    PyRef path = record.file != nullptr ? PyRef::steal(PyUnicode_DecodeFSDefault(record.file))
                                        : PyRef::borrow(Py_None);
    if (!path) return;
    PyRef py_record = PyRef::steal(PyObject_CallMethod(
        cached->logger, "makeRecord", "siOIO()OOO", name.c_str(), level, path.get(),
        static_cast<unsigned int>(record.line), py_message.get(), Py_None, Py_None, Py_None));
    if (!py_record) return;
    PyRef handled = PyRef::steal(PyObject_CallMethod(cached->logger, "handle", "O", py_record.get()));
  }

  CachedLogger* logger_for(const std::string& name) {
    auto found = loggers_.find(name);
    if (found != loggers_.end()) return &found->second;
    PyObject* logger = PyObject_CallMethod(logging_, "getLogger", "s", name.c_str());
    if (logger == nullptr) return nullptr;
    CachedLogger& entry = loggers_[name];
    entry.logger = logger;
    return &entry;
  }

  static bool is_enabled(CachedLogger& cached, log::Level level, int python_level) {
    std::int8_t& answer = cached.enabled[static_cast<std::size_t>(level)];
    if (answer < 0) {
      PyRef result = PyRef::steal(PyObject_CallMethod(cached.logger, "isEnabledFor", "i", python_level));
      if (!result) return false;
      const int truth = PyObject_IsTrue(result.get());
      if (truth < 0) return false;
      answer = static_cast<std::int8_t>(truth);
    }
    return answer == 1;
  }

  PyObject* logging_;  // owned for the life of the process
  // Read and filled only with the interpreter lock held.
  std::unordered_map<std::string, CachedLogger> loggers_;
};

}  // namespace

bool install_log_bridge() {
  PyObject* logging_module = PyImport_ImportModule("logging");
  if (logging_module == nullptr) {
    PyErr_SetString(PyExc_ImportError, kLoggingInitFailure);
    return false;
  }
  if (log::max_level() != log::Level::Off) {  // installed by an earlier initialisation
    Py_DECREF(logging_module);
    return true;
  }
  // The bridge lives until the process ends, like the process-wide sink slot.
  auto* bridge = new PythonLogBridge(logging_module);
  if (!log::install_sink(bridge, kMaxLevel)) {
    delete bridge;
    Py_DECREF(logging_module);
  }
  return true;
}

}  // namespace bindings
