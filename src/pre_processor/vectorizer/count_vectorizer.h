// The fitted n-gram vocabulary of a vectorizer, and the sparse count transform.
//
// A fit keeps the n-grams whose document frequency lies within the inclusive
// thresholds of the parameters and numbers them in ascending key order, so the
// columns depend only on which documents contain which keys: never on chunking,
// thread count or hash seeds. Counting a batch gives one row per document and
// one column per vocabulary n-gram, each entry the number of windows (over all
// sizes) whose key is the column's key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include <absl/container/flat_hash_map.h>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_extraction.h"
#include "pre_processor/ngrams/ngram_key.h"
#include "pre_processor/tokenizer/tokenizer.h"
#include "pre_processor/vectorizer/csr_matrix.h"
#include "pre_processor/vectorizer/document_frequency_table.h"
#include "pre_processor/vectorizer/params.h"
#include "pre_processor/vectorizer/vocabulary.h"

namespace pre_processor {

namespace vectorizer {

inline constexpr std::string_view kCountVectorizerLogTarget =
    "ordwen_preprocessing::pre_processor::vectorizer::count_vectorizer";

// Documents per pool task when counting a corpus: N / 100 when that exceeds
// this floor, the floor otherwise (so at most 101 tasks).
inline constexpr std::size_t kMinCorpusChunk = 1000;
inline constexpr std::size_t kCorpusChunkDivisor = 100;
std::size_t corpus_chunk_size(std::size_t num_documents);

// Batches below this many documents are counted on the calling thread; larger
// ones in chunks of exactly this many documents.
inline constexpr std::size_t kTransformChunk = 1000;

}  // namespace vectorizer


// Decoded text of a vocabulary n-gram -> its column index.
using DecodedVocabulary = absl::flat_hash_map<String, std::uint64_t>;

// Numbers the keys of a list sorted ascending: position i gets column i.
Vocabulary vocabulary_from_sorted(std::span<const KeyDocumentFrequency> sorted);

struct CountVectorizerFit;

struct CountVectorizer {
  VectorizerParams params;
  Vocabulary vocab;  // the columns of a fit are 0 .. V-1 in ascending key order

  std::uint64_t vocab_size() const { return vocab.size(); }
  std::optional<std::uint64_t> column_of(NgramKey key) const;

  // Builds the vocabulary from the n-gram counts of a corpus, one NgramCounts
  // per document (made by count_ngrams with params.ngram_range, so that each
  // lists a key at most once). Refused only for an empty params.ngram_range.
  static Result<CountVectorizer> fit_from_tokenized(const VectorizerParams& params,
                                                    std::span<const NgramCounts> documents);

  // Tokenizes the texts once, extracts their n-grams once, and uses them both
  // for the vocabulary and for the count matrix of the same texts.
  static Result<CountVectorizerFit> fit_transform(std::span<const String> texts, const VectorizerParams& params);
  // The same from ready token sequences.
  static Result<CountVectorizerFit> fit_transform_tokenized(std::span<const TokenSequence> sequences,
                                                            const VectorizerParams& params);

  // The count matrix of the documents, shape (sequences.size(), V). `cached`,
  // when given, holds each document's NgramCounts (same order, same sizes) and
  // is used instead of extracting again; a cached batch that looks up at
  // least twice as many keys as the vocabulary holds builds a ColumnIndex for
  // its look-ups. Below kTransformChunk documents the work stays on the
  // calling thread; both paths give the same matrix.
  // Refused only when the vocabulary breaks its own invariant (a loaded model
  // with a column index not below V).
  Result<CsrMatrix> transform_from_tokenized(std::span<const TokenSequence> sequences,
                                             std::optional<std::span<const NgramCounts>> cached = std::nullopt) const;

  // Tokenizes the texts and counts them.
  Result<CsrMatrix> transform(std::span<const String> texts) const;

  // Text of each vocabulary n-gram -> column. Keys that spell no token (first
  // id 0) give the empty text; when several keys give one text, the largest
  // of their columns is kept. Built afresh on every call.
  DecodedVocabulary decoded_vocabulary() const;

  friend bool operator==(const CountVectorizer&, const CountVectorizer&) = default;
};

struct CountVectorizerFit {
  CountVectorizer vectorizer;
  CsrMatrix counts;
};

}  // namespace pre_processor
