#include "pre_processor/persistence/json_document.h"

#include <charconv>

#include "pre_processor/persistence/json_numbers.h"
#include "pre_processor/persistence/vocabulary_entries.h"

namespace pre_processor::persistence {
namespace {

constexpr std::size_t kInitialCapacity = 128;

void append_unsigned(String& out, std::uint64_t value) {
  char digits[24];
  const auto written = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, static_cast<std::size_t>(written.ptr - digits));
}

template <class T, class AppendOne>
void append_list(String& out, std::span<const T> values, AppendOne append_one) {
  out.push_back('[');
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out.push_back(',');
    append_one(out, values[i]);
  }
  out.push_back(']');
}

void append_params(String& out, const VectorizerParams& params) {
  out.append("{\"ngram_range\":");
  append_list(out, std::span<const std::uint64_t>(params.ngram_range), append_unsigned);
  out.append(",\"min_df\":");
  append_json_float(out, params.min_df);
  out.append(",\"max_df\":");
  append_json_float(out, params.max_df);
  out.append(",\"sublinear_tf\":");
  out.append(params.sublinear_tf ? "true" : "false");
  out.push_back('}');
}

void append_entry(String& out, const VocabularyEntry& entry) {
  const auto lanes = entry.key.lanes();
  append_list(out, std::span<const std::uint32_t>(lanes),
              [](String& o, std::uint32_t lane) { append_unsigned(o, lane); });
  out.push_back(',');
  append_unsigned(out, entry.column);
}

}  // namespace

String write_json_document(const TfidfVectorizer& model) {
  String out;
  out.reserve(kInitialCapacity);
  out.append("{\"count_vectorizer\":{\"params\":");
  append_params(out, model.count_vectorizer.params);
  out.append(",\"vocab\":");
  const Vec<VocabularyEntry> entries = entries_by_column(model.count_vectorizer.vocab);
  append_list(out, std::span<const VocabularyEntry>(entries), [](String& o, const VocabularyEntry& entry) {
    o.push_back('[');
    append_entry(o, entry);
    o.push_back(']');
  });
  out.append("},\"idf\":");
  append_list(out, std::span<const float>(model.idf), append_json_float);
  out.push_back('}');
  return out;
}

}  // namespace pre_processor::persistence
