// Structured log records of the core library.
//
// Core code emits events (a message with named fields) and spans (a named
// stretch of work with named fields), each with a level and a target. One sink
// per process receives them; until a sink is installed nothing is emitted.
// Records more detailed than the installed maximum level are dropped before any
// field is formatted, so a disabled TRACE record costs one relaxed atomic load.
//
// Thread-safety: every function here may be called from any thread at any time.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace pre_processor::log {

// Greater means more detail; Off disables everything.
enum class Level : std::uint8_t { Off = 0, Error = 1, Warn = 2, Info = 3, Debug = 4, Trace = 5 };

// One named field; `value` is already written in its debug form.
struct Field {
  std::string_view name;
  std::string value;
};

enum class RecordKind : std::uint8_t { Event, Span };

struct Record {
  Level level;
  std::string_view target;
  RecordKind kind;
  std::string_view text;  // the message of an event, the name of a span
  std::span<const Field> fields;
  const char* file;  // may be null
  std::uint32_t line;  // 0 when unknown
};

class Sink {
 public:
  virtual ~Sink() = default;
  // Called on the emitting thread; must not throw and must not fail the caller.
  virtual void forward(const Record& record) noexcept = 0;
};

// Installs the process-wide sink with the given maximum level. Returns false,
// and leaves the installed sink alone, when one is installed already. The sink
// must live until the process ends.
bool install_sink(Sink* sink, Level max_level);

Level max_level();
inline bool enabled(Level level) { return level != Level::Off && level <= max_level(); }

void emit(const Record& record);

// Debug forms of field values: strings quoted and escaped, numbers as digits,
// booleans as true/false, lists as "[a, b]".
std::string debug_form(std::string_view text);
std::string debug_form(bool value);
std::string debug_form(std::int64_t value);
std::string debug_form(std::uint64_t value);
std::string debug_form(std::span<const std::uint32_t> values);
std::string debug_form(std::span<const std::uint64_t> values);

template <class T>
Field field(std::string_view name, const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    return {name, debug_form(value)};
  } else if constexpr (std::signed_integral<T>) {
    return {name, debug_form(static_cast<std::int64_t>(value))};
  } else if constexpr (std::unsigned_integral<T>) {
    return {name, debug_form(static_cast<std::uint64_t>(value))};
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    return {name, debug_form(std::string_view(value))};
  } else {
    return {name, debug_form(std::span(value.data(), value.size()))};
  }
}

// A field whose value is written by the caller, for types with their own form.
inline Field raw_field(std::string_view name, std::string value) { return {name, std::move(value)}; }

void emit_event(Level level, std::string_view target, std::string_view message, const char* file,
                std::uint32_t line, std::initializer_list<Field> fields);
void emit_span(Level level, std::string_view target, std::string_view name, const char* file,
               std::uint32_t line, std::initializer_list<Field> fields);

}  // namespace pre_processor::log

// Field expressions are evaluated only when the level is enabled.
#define PP_LOG_EVENT(level, target, message, ...)                                          \
  do {                                                                                     \
    if (::pre_processor::log::enabled(level))                                              \
      ::pre_processor::log::emit_event(level, target, message, __FILE__, __LINE__,         \
                                       {__VA_ARGS__});                                     \
  } while (0)

// A span is announced once, when the stretch of work it names begins.
#define PP_LOG_SPAN(level, target, name, ...)                                              \
  do {                                                                                     \
    if (::pre_processor::log::enabled(level))                                              \
      ::pre_processor::log::emit_span(level, target, name, __FILE__, __LINE__,             \
                                      {__VA_ARGS__});                                      \
  } while (0)
