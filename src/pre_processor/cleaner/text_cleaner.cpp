#include "pre_processor/cleaner/text_cleaner.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "pre_processor/cleaner/unicode_classes.h"
#include "pre_processor/common/thread_pool.h"

namespace pre_processor::cleaner {
namespace {

constexpr std::string_view kTrimmedQuotes = "'\"";

// The tables one mode uses, built on the first cleaner of that mode.
struct PatternSet {
  std::shared_ptr<const RuleTable> training;
  std::shared_ptr<const RuleTable> basic;
};

const PatternSet& pattern_set(CleaningMode mode) {
  // Never destroyed: workers may still clean while the process exits.
  if (mode == CleaningMode::Training) {
    static const PatternSet* const training = new PatternSet{training_table(), basic_table()};
    return *training;
  }
  static const PatternSet* const inference = new PatternSet{nullptr, basic_table()};
  return *inference;
}

// RE2 takes a reader-writer lock on every search of its lazily built DFA, so
// pool workers sharing one compiled rule contend for that lock's cache line: a
// batch on two cores ran at 1.6x one core. Each worker therefore cleans batches
// with its own compilation of the mode's tables, made on its first batch of
// that mode (about 5 ms) and kept for the life of the thread.
const PatternSet& worker_pattern_set(CleaningMode mode) {
  thread_local std::array<std::unique_ptr<const PatternSet>, 2> sets;
  auto& set = sets[static_cast<std::size_t>(mode)];
  if (!set) {
    set = std::make_unique<const PatternSet>(
        PatternSet{mode == CleaningMode::Training ? compile_table(kTrainingRules) : nullptr,
                   compile_table(kBasicRules)});
  }
  return *set;
}

bool is_white_space(char32_t code_point) {
  return std::any_of(kWhiteSpaceRanges.begin(), kWhiteSpaceRanges.end(),
                     [&](const CodePointRange& range) {
                       return code_point >= range.first && code_point <= range.last;
                     });
}

struct CodePoint {
  char32_t value;
  std::size_t length;  // 0 when the bytes are not one well-formed UTF-8 sequence
};

CodePoint decode_first(std::string_view text) {
  if (text.empty()) return {0, 0};
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length;
  char32_t value;
  char32_t minimum;
  if (lead < 0x80) return {lead, 1};
  if ((lead & 0xE0) == 0xC0) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return {0, 0};
  }
  if (text.size() < length) return {0, 0};
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) return {0, 0};
    value = (value << 6) | (byte & 0x3F);
  }
  if (value < minimum) return {0, 0};
  return {value, length};
}

CodePoint decode_last(std::string_view text) {
  if (text.empty()) return {0, 0};
  std::size_t start = text.size() - 1;
  while (start > 0 && text.size() - start < 4 &&
         (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
    --start;
  }
  const CodePoint last = decode_first(text.substr(start));
  return last.length == text.size() - start ? last : CodePoint{0, 0};
}

std::string_view trim_white_space(std::string_view text) {
  for (CodePoint first = decode_first(text); first.length != 0 && is_white_space(first.value);
       first = decode_first(text)) {
    text.remove_prefix(first.length);
  }
  for (CodePoint last = decode_last(text); last.length != 0 && is_white_space(last.value);
       last = decode_last(text)) {
    text.remove_suffix(last.length);
  }
  return text;
}

std::string_view trim_quotes(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kTrimmedQuotes);
  if (first == std::string_view::npos) return text.substr(text.size());
  const std::size_t last = text.find_last_not_of(kTrimmedQuotes);
  return text.substr(first, last - first + 1);
}

// Applies the rules of `table` in order. `current` views either the input or
// `buffer`; a rule that matches writes into `scratch`, which then trades places
// with `buffer`, so a whole table needs at most two allocations.
void apply_table(const RuleTable& table, std::string_view& current, String& buffer,
                 String& scratch) {
  for (const CompiledRule& rule : table) {
    if (rule.apply(current, scratch)) {
      buffer.swap(scratch);
      current = buffer;
    }
  }
}

String clean_with(const RuleTable* training_rules, const RuleTable& basic_rules, std::string_view text) {
  String buffer;
  String scratch;
  std::string_view current = text;
  if (training_rules != nullptr) apply_table(*training_rules, current, buffer, scratch);
  apply_table(basic_rules, current, buffer, scratch);

  const std::string_view trimmed = trim_cleaned_text(current);
  if (current.data() != buffer.data()) return to_string(trimmed);
  // The rules rewrote the text: trim the buffer in place and hand it over.
  buffer.erase(static_cast<std::size_t>(trimmed.data() - buffer.data()) + trimmed.size());
  buffer.erase(0, static_cast<std::size_t>(trimmed.data() - buffer.data()));
  return buffer;
}

}  // namespace

std::string_view trim_cleaned_text(std::string_view text) {
  return trim_quotes(trim_white_space(text));
}

TextCleaner::TextCleaner(CleaningMode mode)
    : training_rules_(pattern_set(mode).training),
      basic_rules_(pattern_set(mode).basic),
      mode_(mode) {}

String TextCleaner::clean(std::string_view text) const {
  return clean_with(training_rules_.get(), *basic_rules_, text);
}

Vec<String> TextCleaner::clean_batch(std::span<const String> texts) const {
  return pool::map(texts, [this](const String& text) {
    const PatternSet& own = worker_pattern_set(mode_);
    return clean_with(own.training.get(), *own.basic, text);
  });
}

}  // namespace pre_processor::cleaner
