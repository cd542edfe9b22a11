#include "pre_processor/vectorizer/text_forms.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "pre_processor/common/float_format.h"

namespace pre_processor::text_forms {
namespace {

constexpr std::size_t kIndentWidth = 4;

std::string bool_text(bool value) { return value ? "true" : "false"; }

std::string pair_text(NgramRangeBounds bounds) {
  return "(" + std::to_string(bounds.first) + ", " + std::to_string(bounds.last) + ")";
}

// Writes the indented structure form; `depth` is the nesting of the line being
// written, each level four spaces.
class StructureWriter {
 public:
  std::string take() { return std::move(out_); }

  void native_vectorizer(const TfidfVectorizer& model) {
    record("NativeTfidfVectorizer", 0, {{"inner", [&](int depth) { tfidf_vectorizer(model, depth); }}});
  }

 private:
  // A field's name and the writer of its value, which takes the field's depth.
  using Field = std::pair<std::string_view, std::function<void(int)>>;

  // "Name {", then each field as "name: value," one level deeper, then "}".
  void record(std::string_view name, int depth, std::initializer_list<Field> fields) {
    out_ += name;
    out_ += " {";
    for (const auto& [field_name, write_value] : fields) {
      field(depth + 1, field_name);
      write_value(depth + 1);
      out_ += ',';
    }
    newline(depth);
    out_ += '}';
  }

  void tfidf_vectorizer(const TfidfVectorizer& model, int depth) {
    record("TfidfVectorizer", depth,
           {{"count_vectorizer", [&](int inner) { count_vectorizer(model.count_vectorizer, inner); }},
            {"idf",
             [&](int inner) { list(model.idf, inner, [](float value) { return float_format::debug(value); }); }}});
  }

  void count_vectorizer(const CountVectorizer& vectorizer, int depth) {
    record("CountVectorizer", depth,
           {{"params", [&](int inner) { params(vectorizer.params, inner); }},
            {"vocab", [&](int inner) { vocab(vectorizer.vocab, inner); }}});
  }

  void params(const VectorizerParams& params, int depth) {
    record("VectorizerParams", depth,
           {{"ngram_range",
             [&](int inner) {
               list(params.ngram_range, inner, [](std::uint64_t size) { return std::to_string(size); });
             }},
            {"min_df", [&](int) { out_ += float_format::debug(params.min_df); }},
            {"max_df", [&](int) { out_ += float_format::debug(params.max_df); }},
            {"sublinear_tf", [&](int) { out_ += bool_text(params.sublinear_tf); }}});
  }

  void vocab(const Vocabulary& vocab, int depth) {
    collection('{', vocab, depth, [&](const auto& entry, int entry_depth) {
      const auto& [key, column] = entry;
      newline(entry_depth);
      out_ += "NgramKey(";
      newline(entry_depth + 1);
      out_ += u128_decimal(key.value) + ',';
      newline(entry_depth);
      out_ += "): " + std::to_string(column) + ',';
    });
  }

  template <class Values, class ToText>
  void list(const Values& values, int depth, ToText to_text) {
    collection('[', values, depth, [&](const auto& value, int entry_depth) {
      newline(entry_depth);
      out_ += to_text(value) + ',';
    });
  }

  // Lists and maps alike: the opening bracket, each entry written one level
  // deeper, then the closing bracket on its own line; both brackets together
  // when there are no entries.
  template <class Entries, class WriteEntry>
  void collection(char open, const Entries& entries, int depth, WriteEntry write_entry) {
    const char close = open == '[' ? ']' : '}';
    out_ += open;
    if (entries.empty()) {
      out_ += close;
      return;
    }
    for (const auto& entry : entries) write_entry(entry, depth + 1);
    newline(depth);
    out_ += close;
  }

  void newline(int depth) {
    out_ += '\n';
    out_.append(kIndentWidth * static_cast<std::size_t>(depth), ' ');
  }
  void field(int depth, std::string_view name) {
    newline(depth);
    out_ += name;
    out_ += ": ";
  }

  std::string out_;
};

}  // namespace

std::string u128_decimal(unsigned __int128 value) {
  std::string digits;
  do {
    digits += static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  std::reverse(digits.begin(), digits.end());
  return digits;
}

std::string params_debug_form(const VectorizerParams& params) {
  std::string sizes = "[";
  for (std::size_t i = 0; i < params.ngram_range.size(); ++i) {
    if (i != 0) sizes += ", ";
    sizes += std::to_string(params.ngram_range[i]);
  }
  sizes += ']';
  return "VectorizerParams { ngram_range: " + sizes + ", min_df: " + float_format::debug(params.min_df) +
         ", max_df: " + float_format::debug(params.max_df) + ", sublinear_tf: " + bool_text(params.sublinear_tf) +
         " }";
}

std::string shape_debug_form(std::uint64_t rows, std::uint64_t cols) {
  return "(" + std::to_string(rows) + ", " + std::to_string(cols) + ")";
}

std::string native_params_repr(NgramRangeBounds ngram_range, float min_df, float max_df, bool sublinear_tf) {
  return "NativeVectorizerParams(ngram_range=" + pair_text(ngram_range) + ", min_df=" + float_format::plain(min_df) +
         ", max_df=" + float_format::plain(max_df) + ", sublinear_tf=" + bool_text(sublinear_tf) + ")";
}

std::string native_params_str(NgramRangeBounds ngram_range, float min_df, float max_df, bool sublinear_tf) {
  return "NativeVectorizerParams { ngram_range: " + pair_text(ngram_range) + ", min_df: " +
         float_format::debug(min_df) + ", max_df: " + float_format::debug(max_df) +
         ", sublinear_tf: " + bool_text(sublinear_tf) + " }";
}

std::string native_vectorizer_repr(std::uint64_t num_features) {
  return "NativeTfidfVectorizer(vocabulary_size=" + std::to_string(num_features) + ")";
}

std::string native_vectorizer_str(const TfidfVectorizer& model) {
  StructureWriter writer;
  writer.native_vectorizer(model);
  return writer.take();
}

}  // namespace pre_processor::text_forms
