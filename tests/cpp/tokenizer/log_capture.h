// Captures the log records of the core library for tests.
//
// The process has one sink; the first capture installs it at TRACE level and
// keeps it. If some other sink got there first, captured() reports false and
// the caller skips its log checks.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "pre_processor/common/logging.h"

namespace pre_processor::testing {

struct CapturedRecord {
  log::Level level;
  std::string target;
  log::RecordKind kind;
  std::string text;
  std::vector<std::pair<std::string, std::string>> fields;

  std::string field(const std::string& name) const {
    for (const auto& [n, v] : fields)
      if (n == name) return v;
    return "<missing>";
  }
};

class LogCapture final : public log::Sink {
 public:
  static LogCapture& instance() {
    static LogCapture capture;
    return capture;
  }

  bool captured() const { return installed_; }

  void forward(const log::Record& record) noexcept override {
    CapturedRecord copy{record.level, std::string(record.target), record.kind, std::string(record.text), {}};
    for (const log::Field& f : record.fields) copy.fields.emplace_back(std::string(f.name), f.value);
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(copy));
  }

  // Returns and forgets the records of `target` captured so far.
  std::vector<CapturedRecord> take(std::string_view target) {
    std::lock_guard lock(mutex_);
    std::vector<CapturedRecord> out;
    for (auto& record : records_)
      if (record.target == target) out.push_back(std::move(record));
    records_.clear();
    return out;
  }

 private:
  LogCapture() : installed_(log::install_sink(this, log::Level::Trace)) {}

  bool installed_;
  std::mutex mutex_;
  std::vector<CapturedRecord> records_;
};

}  // namespace pre_processor::testing
