#include "pre_processor/vectorizer/count_vectorizer.h"

#include <algorithm>

#include "pre_processor/common/float_format.h"
#include "pre_processor/common/logging.h"
#include "pre_processor/common/thread_pool.h"
#include "pre_processor/vectorizer/text_forms.h"

namespace pre_processor {
namespace {

using vectorizer::kCountVectorizerLogTarget;
using log::Level;

// Room for the document-frequency counts of one corpus chunk.
constexpr std::size_t kChunkMapCapacity = 14336;

// Room reserved when counting a batch: the sequential path reserves
// max(V * n / kSequentialVocabDivisor, kSequentialEntriesPerDocument * n)
// entries, never more than the batch can produce; the parallel path reserves
// kParallelEntriesPerDocument per document of a chunk, and per-row buffers of
// kTokenRowBuffer / kCachedRowBuffer pairs.
constexpr std::uint64_t kSequentialVocabDivisor = 20;
constexpr std::uint64_t kSequentialEntriesPerDocument = 10;
constexpr std::size_t kParallelEntriesPerDocument = 400;
constexpr std::size_t kTokenRowBuffer = 512;
constexpr std::size_t kCachedRowBuffer = 400;

using ColumnValue = std::pair<std::uint64_t, float>;
using DocumentFrequencyMap = absl::flat_hash_map<NgramKey, std::uint64_t, NgramKeyHash, std::equal_to<NgramKey>,
                                                 Allocator<std::pair<const NgramKey, std::uint64_t>>>;

// Reads a batch's documents from their token sequences or their cached counts.
class RowSource {
 public:
  RowSource(const CountVectorizer& vectorizer, std::span<const TokenSequence> sequences,
            std::optional<std::span<const NgramCounts>> cached)
      : vectorizer_(vectorizer), sequences_(sequences), cached_(cached) {}

  std::size_t size() const { return sequences_.size(); }
  bool cached() const { return cached_.has_value(); }

  // The row of document `doc`: (column, value) pairs in ascending column order,
  // one per column.
  void build_row(std::size_t doc, Vec<ColumnValue>& row) const {
    row.clear();
    if (cached_) {
      collect_cached(doc, row);
    } else {
      collect_windows(doc, row);
    }
    canonicalize(row);
  }

  // The most entries document `doc` can produce.
  std::uint64_t entry_bound(std::size_t doc) const {
    if (cached_) return (*cached_)[doc].size();
    return ngrams::window_count(sequences_[doc].size(), vectorizer_.params.ngram_range);
  }

 private:
  void collect_cached(std::size_t doc, Vec<ColumnValue>& row) const {
    for (const auto& [key, count] : (*cached_)[doc]) {
      if (auto column = vectorizer_.column_of(key)) row.emplace_back(*column, static_cast<float>(count));
    }
  }

  void collect_windows(std::size_t doc, Vec<ColumnValue>& row) const {
    const TokenSequence& tokens = sequences_[doc];
    if (vectorizer_.vocab.empty()) return;
    for (std::uint64_t size : vectorizer_.params.ngram_range) {
      if (size == 0 || size > tokens.size()) continue;
      const std::size_t n = static_cast<std::size_t>(size);
      for (std::size_t start = 0; start + n <= tokens.size(); ++start) {
        const NgramKey key = NgramKey::from_window(std::span(tokens).subspan(start, n));
        if (auto column = vectorizer_.column_of(key)) row.emplace_back(*column, 1.0f);
      }
    }
  }

  // Sorts by column, then value, and sums each run of equal columns in that
  // order, so a row's values never depend on the order of emission.
  static void canonicalize(Vec<ColumnValue>& row) {
    std::sort(row.begin(), row.end());
    std::size_t out = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (out != 0 && row[out - 1].first == row[i].first) {
        row[out - 1].second += row[i].second;
      } else {
        row[out++] = row[i];
      }
    }
    row.resize(out);
  }

  const CountVectorizer& vectorizer_;
  std::span<const TokenSequence> sequences_;
  std::optional<std::span<const NgramCounts>> cached_;
};

struct ChunkRows {
  Vec<std::uint64_t> columns;
  Vec<float> values;
  Vec<std::uint64_t> row_lengths;
};

Result<CsrMatrix> count_sequentially(const RowSource& source, std::uint64_t vocab_size) {
  const std::uint64_t n = source.size();
  std::uint64_t bound = 0;
  for (std::size_t doc = 0; doc < n; ++doc) bound += source.entry_bound(doc);
  const std::uint64_t wanted = std::max(vocab_size * n / kSequentialVocabDivisor, kSequentialEntriesPerDocument * n);

  Vec<std::uint64_t> indptr;
  indptr.reserve(n + 1);
  indptr.push_back(0);
  Vec<std::uint64_t> indices;
  Vec<float> data;
  indices.reserve(std::min(wanted, bound));
  data.reserve(std::min(wanted, bound));

  Vec<ColumnValue> row;
  for (std::size_t doc = 0; doc < n; ++doc) {
    source.build_row(doc, row);
    for (const auto& [column, value] : row) {
      indices.push_back(column);
      data.push_back(value);
    }
    indptr.push_back(indices.size());
  }
  return CsrMatrix::from_parts(n, vocab_size, std::move(indptr), std::move(indices), std::move(data));
}

ChunkRows count_chunk(const RowSource& source, std::size_t begin, std::size_t end) {
  ChunkRows rows;
  const std::size_t documents = end - begin;
  rows.columns.reserve(documents * kParallelEntriesPerDocument);
  rows.values.reserve(documents * kParallelEntriesPerDocument);
  rows.row_lengths.reserve(documents);
  Vec<ColumnValue> row;
  row.reserve(source.cached() ? kCachedRowBuffer : kTokenRowBuffer);
  for (std::size_t doc = begin; doc < end; ++doc) {
    source.build_row(doc, row);
    for (const auto& [column, value] : row) {
      rows.columns.push_back(column);
      rows.values.push_back(value);
    }
    rows.row_lengths.push_back(row.size());
  }
  return rows;
}

Result<CsrMatrix> count_in_parallel(const RowSource& source, std::uint64_t vocab_size) {
  const std::size_t n = source.size();
  const std::size_t chunk = vectorizer::kTransformChunk;
  Vec<ChunkRows> chunks((n + chunk - 1) / chunk);
  pool::for_each_chunk(n, chunk, [&](std::size_t begin, std::size_t end) {
    chunks[begin / chunk] = count_chunk(source, begin, end);
  });

  std::size_t nnz = 0;
  for (const ChunkRows& rows : chunks) nnz += rows.columns.size();
  Vec<std::uint64_t> indices;
  Vec<float> data;
  Vec<std::uint64_t> indptr;
  indices.reserve(nnz);
  data.reserve(nnz);
  indptr.reserve(n + 1);
  indptr.push_back(0);
  for (ChunkRows& rows : chunks) {
    indices.insert(indices.end(), rows.columns.begin(), rows.columns.end());
    data.insert(data.end(), rows.values.begin(), rows.values.end());
    for (std::uint64_t length : rows.row_lengths) indptr.push_back(indptr.back() + length);
    rows = ChunkRows{};
  }
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Parallel sparse transform complete",
               log::field("non_zero_entries", nnz), log::field("avg_nnz_per_doc", nnz / n));
  return CsrMatrix::from_parts(n, vocab_size, std::move(indptr), std::move(indices), std::move(data));
}

// Document frequencies of documents [begin, end): 1 per distinct key per document.
DocumentFrequencyMap count_chunk_document_frequencies(std::span<const NgramCounts> documents, std::size_t begin,
                                                      std::size_t end) {
  DocumentFrequencyMap frequencies;
  frequencies.reserve(kChunkMapCapacity);
  for (std::size_t doc = begin; doc < end; ++doc) {
    for (const auto& entry : documents[doc]) ++frequencies[entry.first];
  }
  return frequencies;
}

DocumentFrequencyTable count_document_frequencies(std::span<const NgramCounts> documents) {
  const std::size_t chunk = vectorizer::corpus_chunk_size(documents.size());
  Vec<DocumentFrequencyMap> chunk_maps((documents.size() + chunk - 1) / chunk);
  pool::for_each_chunk(documents.size(), chunk, [&](std::size_t begin, std::size_t end) {
    chunk_maps[begin / chunk] = count_chunk_document_frequencies(documents, begin, end);
  });

  DocumentFrequencyTable table(documents.size() / 2);
  for (DocumentFrequencyMap& frequencies : chunk_maps) {
    for (const auto& [key, count] : frequencies) table.add(key, count);
    DocumentFrequencyMap().swap(frequencies);
  }
  return table;
}

Vec<NgramCounts> count_corpus_ngrams(std::span<const TokenSequence> sequences,
                                     std::span<const std::uint64_t> ngram_sizes) {
  Vec<NgramCounts> counts(sequences.size());
  pool::for_each_chunk(sequences.size(), vectorizer::corpus_chunk_size(sequences.size()),
                       [&](std::size_t begin, std::size_t end) {
                         for (std::size_t i = begin; i < end; ++i) {
                           counts[i] = ngrams::count_ngrams(sequences[i], ngram_sizes);
                         }
                       });
  return counts;
}

}  // namespace

std::size_t vectorizer::corpus_chunk_size(std::size_t num_documents) {
  return std::max(num_documents / kCorpusChunkDivisor, kMinCorpusChunk);
}

Vocabulary vocabulary_from_sorted(std::span<const KeyDocumentFrequency> sorted) {
  Vocabulary vocab;
  vocab.reserve(sorted.size());
  for (std::size_t column = 0; column < sorted.size(); ++column) vocab.emplace(sorted[column].key, column);
  return vocab;
}

std::optional<std::uint64_t> CountVectorizer::column_of(NgramKey key) const {
  const auto it = vocab.find(key);
  if (it == vocab.end()) return std::nullopt;
  return it->second;
}

Result<CountVectorizer> CountVectorizer::fit_from_tokenized(const VectorizerParams& params,
                                                            std::span<const NgramCounts> documents) {
  const std::uint64_t num_docs = documents.size();
  PP_LOG_SPAN(Level::Debug, kCountVectorizerLogTarget, "fit_from_tokenized",
              log::raw_field("params", text_forms::params_debug_form(params)), log::field("num_texts", num_docs),
              log::field("has_precomputed", true));
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Building vocabulary from tokenized texts");

  const Result<std::uint64_t> largest = params.largest_ngram_size();
  if (!largest) return largest.error();
  if (*largest > DEFAULT_MAX_NGRAM) {
    PP_LOG_EVENT(Level::Warn, kCountVectorizerLogTarget,
                 "Requested n-gram size exceeds DEFAULT_MAX_NGRAM; this may lead to suboptimal performance as the "
                 "n-gram keys will not fit in the optimized PackedVec size",
                 log::field("max_ngram_size", *largest), log::field("ngram_const_key", DEFAULT_MAX_NGRAM));
  }

  const std::uint64_t min_threshold = params.min_df_threshold(num_docs);
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Using pre-computed n-grams for vocabulary building");

  DocumentFrequencyTable document_frequencies = count_document_frequencies(documents);
  const std::uint64_t original_size = document_frequencies.size();
  const std::uint64_t max_threshold = params.max_df_threshold(num_docs);

  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Applying min_df and max_df filtering",
               log::raw_field("min_df", float_format::debug(params.min_df)),
               log::field("min_df_threshold", min_threshold),
               log::field("min_df_interpretation", params.min_df_interpretation()),
               log::raw_field("max_df", float_format::debug(params.max_df)),
               log::field("max_df_threshold", max_threshold),
               log::field("max_df_interpretation", params.max_df_interpretation()),
               log::field("num_docs", num_docs));

  const Vec<KeyDocumentFrequency> kept = document_frequencies.drain_filtered(min_threshold, max_threshold);
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Vocabulary filtered by min_df and max_df",
               log::field("original_size", original_size), log::field("filtered_size", kept.size()));

  CountVectorizer vectorizer{params, vocabulary_from_sorted(kept)};
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "CountVectorizer fitting complete",
               log::field("vocab_size", vectorizer.vocab_size()));
  return vectorizer;
}

Result<CountVectorizerFit> CountVectorizer::fit_transform(std::span<const String> texts,
                                                          const VectorizerParams& params) {
  PP_LOG_SPAN(Level::Debug, kCountVectorizerLogTarget, "fit_transform",
              log::raw_field("params", text_forms::params_debug_form(params)), log::field("num_texts", texts.size()));
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "fit_transform: computing n-grams once",
               log::field("num_texts", texts.size()));
  const Vec<TokenSequence> sequences = tokenizer::tokenize(texts);
  return fit_transform_tokenized(sequences, params);
}

Result<CountVectorizerFit> CountVectorizer::fit_transform_tokenized(std::span<const TokenSequence> sequences,
                                                                    const VectorizerParams& params) {
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Computing n-grams for all documents");
  const Vec<NgramCounts> counts = count_corpus_ngrams(sequences, params.ngram_range);

  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Fitting vectorizer from cached n-grams");
  Result<CountVectorizer> fitted = fit_from_tokenized(params, counts);
  if (!fitted) return fitted.error();

  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Transforming using cached n-grams");
  Result<CsrMatrix> matrix = fitted->transform_from_tokenized(sequences, std::span<const NgramCounts>(counts));
  if (!matrix) return matrix.error();

  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "fit_transform complete with single n-gram computation");
  return CountVectorizerFit{std::move(fitted).value(), std::move(matrix).value()};
}

Result<CsrMatrix> CountVectorizer::transform_from_tokenized(std::span<const TokenSequence> sequences,
                                                            std::optional<std::span<const NgramCounts>> cached) const {
  PP_LOG_SPAN(Level::Debug, kCountVectorizerLogTarget, "transform_from_tokenized",
              log::field("num_texts", sequences.size()), log::field("vocab_size", vocab_size()),
              log::field("has_precomputed", cached.has_value()));
  const RowSource source(*this, sequences, cached);
  if (sequences.size() < vectorizer::kTransformChunk) return count_sequentially(source, vocab_size());
  return count_in_parallel(source, vocab_size());
}

Result<CsrMatrix> CountVectorizer::transform(std::span<const String> texts) const {
  PP_LOG_SPAN(Level::Debug, kCountVectorizerLogTarget, "transform", log::field("num_texts", texts.size()),
              log::field("vocab_size", vocab_size()));
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Transforming texts using CountVectorizer",
               log::field("num_texts", texts.size()));
  const Vec<TokenSequence> sequences = tokenizer::tokenize(texts);
  return transform_from_tokenized(sequences);
}

DecodedVocabulary CountVectorizer::decoded_vocabulary() const {
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Decoding vocabulary for the first time (will be cached)",
               log::field("vocab_size", vocab_size()));
  DecodedVocabulary decoded;
  decoded.reserve(vocab.size());
  for (const auto& [key, column] : vocab) {
    const Vec<TokenId> tokens = NgramKey::key_tokens(key);
    String text = tokens.empty() ? String() : tokenizer::decode_token_ids(tokens);
    // Keeping the largest column makes the result independent of the map's order.
    auto [it, inserted] = decoded.try_emplace(std::move(text), column);
    if (!inserted) it->second = std::max(it->second, column);
  }
  return decoded;
}

}  // namespace pre_processor
