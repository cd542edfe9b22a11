#include "pre_processor/vectorizer/text_forms.h"

#include <algorithm>
#include <string_view>

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
    out_ += "NativeTfidfVectorizer {";
    field(1, "inner");
    tfidf_vectorizer(model, 1);
    out_ += ',';
    close_record(0);
  }

 private:
  void tfidf_vectorizer(const TfidfVectorizer& model, int depth) {
    out_ += "TfidfVectorizer {";
    field(depth + 1, "count_vectorizer");
    count_vectorizer(model.count_vectorizer, depth + 1);
    out_ += ',';
    field(depth + 1, "idf");
    float_list(model.idf, depth + 1);
    out_ += ',';
    close_record(depth);
  }

  void count_vectorizer(const CountVectorizer& vectorizer, int depth) {
    out_ += "CountVectorizer {";
    field(depth + 1, "params");
    params(vectorizer.params, depth + 1);
    out_ += ',';
    field(depth + 1, "vocab");
    vocab(vectorizer.vocab, depth + 1);
    out_ += ',';
    close_record(depth);
  }

  void params(const VectorizerParams& params, int depth) {
    out_ += "VectorizerParams {";
    field(depth + 1, "ngram_range");
    open_list(params.ngram_range.empty(), '[');
    for (std::uint64_t size : params.ngram_range) element(depth + 2, std::to_string(size));
    close_list(params.ngram_range.empty(), ']', depth + 1);
    out_ += ',';
    field(depth + 1, "min_df");
    out_ += float_format::debug(params.min_df) + ',';
    field(depth + 1, "max_df");
    out_ += float_format::debug(params.max_df) + ',';
    field(depth + 1, "sublinear_tf");
    out_ += bool_text(params.sublinear_tf) + ',';
    close_record(depth);
  }

  void vocab(const Vocabulary& vocab, int depth) {
    open_list(vocab.empty(), '{');
    for (const auto& [key, column] : vocab) {
      newline(depth + 1);
      out_ += "NgramKey(";
      newline(depth + 2);
      out_ += u128_decimal(key.value) + ',';
      newline(depth + 1);
      out_ += "): " + std::to_string(column) + ',';
    }
    close_list(vocab.empty(), '}', depth);
  }

  void float_list(const Vec<float>& values, int depth) {
    open_list(values.empty(), '[');
    for (float value : values) element(depth + 1, float_format::debug(value));
    close_list(values.empty(), ']', depth);
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
  void element(int depth, const std::string& text) {
    newline(depth);
    out_ += text + ',';
  }
  void close_record(int depth) {
    newline(depth);
    out_ += '}';
  }
  void open_list(bool empty, char open) {
    out_ += open;
    if (empty) out_ += open == '[' ? ']' : '}';
  }
  void close_list(bool empty, char close, int depth) {
    if (empty) return;
    newline(depth);
    out_ += close;
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
