#include "pre_processor/common/logging.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace pre_processor::log {
namespace {

std::atomic<Sink*> g_sink{nullptr};
std::atomic<Level> g_max_level{Level::Off};
std::mutex g_install_mutex;

template <class Int>
std::string list_form(std::span<const Int> values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out += ", ";
    out += std::to_string(values[i]);
  }
  out += ']';
  return out;
}

void emit_record(Level level, std::string_view target, RecordKind kind, std::string_view text,
                 const char* file, std::uint32_t line, std::initializer_list<Field> fields) {
  emit(Record{level, target, kind, text, std::span(fields.begin(), fields.size()), file, line});
}

}  // namespace

bool install_sink(Sink* sink, Level max_level) {
  std::lock_guard lock(g_install_mutex);
  if (g_sink.load(std::memory_order_acquire) != nullptr) return false;
  g_sink.store(sink, std::memory_order_release);
  g_max_level.store(max_level, std::memory_order_release);
  return true;
}

Level max_level() { return g_max_level.load(std::memory_order_relaxed); }

void emit(const Record& record) {
  if (!enabled(record.level)) return;
  if (Sink* sink = g_sink.load(std::memory_order_acquire)) sink->forward(record);
}

void emit_event(Level level, std::string_view target, std::string_view message, const char* file,
                std::uint32_t line, std::initializer_list<Field> fields) {
  emit_record(level, target, RecordKind::Event, message, file, line, fields);
}

void emit_span(Level level, std::string_view target, std::string_view name, const char* file,
               std::uint32_t line, std::initializer_list<Field> fields) {
  emit_record(level, target, RecordKind::Span, name, file, line, fields);
}

std::string debug_form(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\0': out += "\\0"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char buffer[12];
          std::snprintf(buffer, sizeof buffer, "\\u{%x}", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

std::string debug_form(bool value) { return value ? "true" : "false"; }
std::string debug_form(std::int64_t value) { return std::to_string(value); }
std::string debug_form(std::uint64_t value) { return std::to_string(value); }
std::string debug_form(std::span<const std::uint32_t> values) { return list_form(values); }
std::string debug_form(std::span<const std::uint64_t> values) { return list_form(values); }

}  // namespace pre_processor::log
