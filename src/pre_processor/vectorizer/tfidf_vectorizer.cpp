#include "pre_processor/vectorizer/tfidf_vectorizer.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "pre_processor/common/logging.h"
#include "pre_processor/vectorizer/text_forms.h"

namespace pre_processor {
namespace {

using vectorizer::kTfidfVectorizerLogTarget;
using log::Level;

Status check_idf_covers_columns(const TfidfVectorizer& model, const CsrMatrix& counts) {
  if (counts.indices.empty()) return ok_status();
  const std::uint64_t largest = *std::max_element(counts.indices.begin(), counts.indices.end());
  if (largest < model.idf.size()) return ok_status();
  return Error{ErrorKind::InvalidState, "IDF vector has no weight for column " + std::to_string(largest) +
                                            " (idf length " + std::to_string(model.idf.size()) +
                                            ", vocabulary size " + std::to_string(model.num_features()) + ")"};
}

float sublinear(float count) { return count > 0.0f ? std::log(count) + 1.0f : count; }

// Weights and normalises one row's values; the running sum follows stored order.
void weight_row(std::span<float> values, std::span<const std::uint64_t> columns, const Vec<float>& idf,
                bool sublinear_tf) {
  float sum_of_squares = 0.0f;
  for (std::size_t i = 0; i < values.size(); ++i) {
    float value = sublinear_tf ? sublinear(values[i]) : values[i];
    value *= idf[columns[i]];
    values[i] = value;
    sum_of_squares += value * value;
  }
  if (!(sum_of_squares > 0.0f)) return;
  const float norm = std::sqrt(sum_of_squares);
  for (float& value : values) value /= norm;
}

Result<TfidfFit> weight_fitted_counts(CountVectorizerFit counted, std::uint64_t n_docs) {
  TfidfVectorizer model =
      TfidfVectorizer::fit_from_tf_matrix(std::move(counted.vectorizer), counted.counts, n_docs);
  Result<CsrMatrix> weighted = apply_tfidf_transform(model, std::move(counted.counts));
  if (!weighted) return weighted.error();
  return TfidfFit{std::move(model), std::move(weighted).value()};
}

}  // namespace

float idf_weight(std::uint64_t n_docs, std::uint64_t document_frequency) {
  const float documents = static_cast<float>(n_docs);
  const float frequency = static_cast<float>(document_frequency);
  return std::log((documents + 1.0f) / (frequency + 1.0f)) + 1.0f;
}

TfidfVectorizer TfidfVectorizer::fit_from_tf_matrix(CountVectorizer count_vectorizer, const CsrMatrix& counts,
                                                    std::uint64_t n_docs) {
  const std::uint64_t num_features = count_vectorizer.vocab_size();
  PP_LOG_SPAN(Level::Debug, kTfidfVectorizerLogTarget, "fit_from_tf_matrix", log::field("n_docs", n_docs),
              log::field("num_features", num_features));
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Calculating IDF values from TF matrix");

  Vec<std::uint64_t> document_frequencies(num_features, 0);
  for (std::uint64_t column : counts.indices) {
    if (column < num_features) ++document_frequencies[column];
  }
  Vec<float> idf(num_features);
  for (std::uint64_t column = 0; column < num_features; ++column) {
    idf[column] = idf_weight(n_docs, document_frequencies[column]);
  }

  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "IDF calculation complete");
  return TfidfVectorizer{std::move(count_vectorizer), std::move(idf)};
}

Result<CsrMatrix> apply_tfidf_transform(const TfidfVectorizer& model, CsrMatrix counts) {
  PP_LOG_SPAN(Level::Debug, kTfidfVectorizerLogTarget, "apply_tfidf_transform",
              log::raw_field("matrix_shape", text_forms::shape_debug_form(counts.rows, counts.cols)),
              log::field("nnz", counts.nnz()));
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Applying TF-IDF transformation");
  if (Status covered = check_idf_covers_columns(model, counts); !covered) return covered.error();

  const bool sublinear_tf = model.count_vectorizer.params.sublinear_tf;
  for (std::uint64_t row = 0; row < counts.rows; ++row) {
    const std::size_t begin = counts.indptr[row];
    const std::size_t length = counts.indptr[row + 1] - begin;
    weight_row(std::span(counts.data).subspan(begin, length), std::span(counts.indices).subspan(begin, length),
               model.idf, sublinear_tf);
  }
  return counts;
}

Result<TfidfVectorizer> TfidfVectorizer::fit(std::span<const String> texts, const VectorizerParams& params) {
  PP_LOG_SPAN(Level::Debug, kTfidfVectorizerLogTarget, "fit",
              log::raw_field("count_vectorizer_params", text_forms::params_debug_form(params)),
              log::field("num_texts", texts.size()));
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Fitting TfidfVectorizer",
               log::field("num_texts", texts.size()));
  Result<CountVectorizerFit> counted = CountVectorizer::fit_transform(texts, params);
  if (!counted) return counted.error();
  return fit_from_tf_matrix(std::move(counted->vectorizer), counted->counts, texts.size());
}

Result<TfidfFit> TfidfVectorizer::fit_transform(std::span<const String> texts, const VectorizerParams& params) {
  PP_LOG_SPAN(Level::Debug, kTfidfVectorizerLogTarget, "fit_transform",
              log::raw_field("count_vectorizer_params", text_forms::params_debug_form(params)),
              log::field("num_texts", texts.size()));
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Fitting and transforming texts using TfidfVectorizer",
               log::field("num_texts", texts.size()));
  Result<CountVectorizerFit> counted = CountVectorizer::fit_transform(texts, params);
  if (!counted) return counted.error();
  Result<TfidfFit> fitted = weight_fitted_counts(std::move(counted).value(), texts.size());
  if (fitted) {
    PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "fit_transform complete with single tokenization pass");
  }
  return fitted;
}

Result<TfidfFit> TfidfVectorizer::fit_transform_tokenized(std::span<const TokenSequence> sequences,
                                                          const VectorizerParams& params) {
  Result<CountVectorizerFit> counted = CountVectorizer::fit_transform_tokenized(sequences, params);
  if (!counted) return counted.error();
  return weight_fitted_counts(std::move(counted).value(), sequences.size());
}

Result<CsrMatrix> transform(const TfidfVectorizer& model, std::span<const String> texts) {
  PP_LOG_SPAN(Level::Debug, kTfidfVectorizerLogTarget, "transform", log::field("num_texts", texts.size()),
              log::field("num_features", model.num_features()));
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Transforming texts using TfidfVectorizer",
               log::field("num_texts", texts.size()));
  Result<CsrMatrix> counts = model.count_vectorizer.transform(texts);
  if (!counts) return counts.error();
  return apply_tfidf_transform(model, std::move(counts).value());
}

Result<CsrMatrix> vectorize_from_tokens(const TfidfVectorizer& model, std::span<const TokenSequence> sequences) {
  Result<CsrMatrix> counts = model.count_vectorizer.transform_from_tokenized(sequences);
  if (!counts) return counts.error();
  return apply_tfidf_transform(model, std::move(counts).value());
}

}  // namespace pre_processor
