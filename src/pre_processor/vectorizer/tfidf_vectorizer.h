// The fitted TF-IDF model: a CountVectorizer plus one idf weight per column,
// and the fit and transform flows that produce L2-normalised TF-IDF rows.
//
// All weighting arithmetic is single precision and runs on the calling thread
// in a fixed order, so every matrix is the same bit for bit whatever the
// thread count, chunking or hash seeds.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"
#include "pre_processor/tokenizer/tokenizer.h"
#include "pre_processor/vectorizer/count_vectorizer.h"
#include "pre_processor/vectorizer/csr_matrix.h"
#include "pre_processor/vectorizer/params.h"

namespace pre_processor {

namespace vectorizer {

inline constexpr std::string_view kTfidfVectorizerLogTarget =
    "ordwen_preprocessing::pre_processor::vectorizer::tfidf_vectorizer";

}  // namespace vectorizer

// ln((n_docs + 1) / (document_frequency + 1)) + 1, every step in single
// precision: 1.0 for a column in every document, more for rarer ones.
float idf_weight(std::uint64_t n_docs, std::uint64_t document_frequency);

struct TfidfFit;

struct TfidfVectorizer {
  CountVectorizer count_vectorizer;
  Vec<float> idf;  // weight of column j at position j; V entries when fitted

  std::uint64_t num_features() const { return count_vectorizer.vocab_size(); }

  // Takes the vectorizer and computes each column's idf from the number of
  // rows of `counts` that store it, for a corpus of `n_docs` documents.
  static TfidfVectorizer fit_from_tf_matrix(CountVectorizer count_vectorizer, const CsrMatrix& counts,
                                            std::uint64_t n_docs);

  // Fits on the texts (tokenized once, n-grams extracted once).
  static Result<TfidfVectorizer> fit(std::span<const String> texts, const VectorizerParams& params);

  // Fits on the texts and returns the weighted matrix of the same texts.
  static Result<TfidfFit> fit_transform(std::span<const String> texts, const VectorizerParams& params);
  // The same from ready token sequences.
  static Result<TfidfFit> fit_transform_tokenized(std::span<const TokenSequence> sequences,
                                                  const VectorizerParams& params);

  friend bool operator==(const TfidfVectorizer&, const TfidfVectorizer&) = default;
};

struct TfidfFit {
  TfidfVectorizer model;
  CsrMatrix matrix;
};

// Weights a count matrix made with the model's vocabulary, in place: per row,
// each value (ln(v) + 1 first when sublinear_tf is set and v > 0) times its
// column's idf, then the row divided by its Euclidean norm; empty rows stay
// empty. Refused, with nothing weighted, when a stored column has no idf
// weight (a loaded model whose idf is shorter than its vocabulary).
Result<CsrMatrix> apply_tfidf_transform(const TfidfVectorizer& model, CsrMatrix counts);

// The weighted matrix of new texts, one row per text.
Result<CsrMatrix> transform(const TfidfVectorizer& model, std::span<const String> texts);

// The weighted matrix of documents given as token sequences (no tokenization).
Result<CsrMatrix> vectorize_from_tokens(const TfidfVectorizer& model, std::span<const TokenSequence> sequences);

}  // namespace pre_processor
