// Captures the core library's log records for tests.
//
// The first call installs a process-wide sink at TRACE level; records are kept
// only while a LogCapture object is alive (one at a time).
#pragma once

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "pre_processor/common/logging.h"

namespace pre_processor::testing {

struct CapturedRecord {
  log::Level level;
  std::string target;
  log::RecordKind kind;
  std::string text;
  std::vector<std::pair<std::string, std::string>> fields;

  // The value of a field, or "<missing>".
  std::string field(std::string_view name) const {
    for (const auto& [key, value] : fields) {
      if (key == name) return value;
    }
    return "<missing>";
  }
  std::vector<std::string> field_names() const {
    std::vector<std::string> names;
    for (const auto& entry : fields) names.push_back(entry.first);
    return names;
  }
};

class CapturingSink final : public log::Sink {
 public:
  void forward(const log::Record& record) noexcept override {
    if (!armed_.load(std::memory_order_acquire)) return;
    std::lock_guard lock(mutex_);
    CapturedRecord captured{record.level, std::string(record.target), record.kind, std::string(record.text), {}};
    for (const log::Field& field : record.fields) captured.fields.emplace_back(field.name, field.value);
    records_.push_back(std::move(captured));
  }

  void arm(bool armed) {
    std::lock_guard lock(mutex_);
    armed_.store(armed, std::memory_order_release);
    records_.clear();
  }

  std::vector<CapturedRecord> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }

  static CapturingSink& instance() {
    static CapturingSink* sink = [] {
      auto* created = new CapturingSink;
      log::install_sink(created, log::Level::Trace);
      return created;
    }();
    return *sink;
  }

 private:
  mutable std::mutex mutex_;
  std::atomic<bool> armed_{false};
  std::vector<CapturedRecord> records_;
};

// Records everything emitted during its lifetime.
class LogCapture {
 public:
  LogCapture() { CapturingSink::instance().arm(true); }
  ~LogCapture() { CapturingSink::instance().arm(false); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<CapturedRecord> records() const { return CapturingSink::instance().records(); }

  // Every record whose message (event) or name (span) is `text`.
  std::vector<CapturedRecord> named(std::string_view text) const {
    std::vector<CapturedRecord> found;
    for (auto& record : records()) {
      if (record.text == text) found.push_back(record);
    }
    return found;
  }
};

}  // namespace pre_processor::testing
