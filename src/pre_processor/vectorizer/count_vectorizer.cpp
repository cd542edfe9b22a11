#include "pre_processor/vectorizer/count_vectorizer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

#include "pre_processor/common/float_format.h"
#include "pre_processor/common/logging.h"
#include "pre_processor/common/thread_pool.h"
#include "pre_processor/vectorizer/column_index.h"
#include "pre_processor/vectorizer/text_forms.h"

namespace pre_processor {
namespace {

using vectorizer::kCountVectorizerLogTarget;
using log::Level;

// A fit's document-frequency table gets one shard per this many (document,
// distinct key) pairs, rounded up to a power of two, at most kMaxFitShards.
constexpr std::uint64_t kFitEntriesPerShard = std::uint64_t{1} << 16;
constexpr std::uint64_t kMaxFitShards = 4096;

// How far ahead of its use a row's column look-up starts, and how far ahead
// it locates its slot (see ColumnIndex).
constexpr std::size_t kLookupStartDistance = 16;
constexpr std::size_t kLookupLocateDistance = 8;
static_assert(kLookupLocateDistance < kLookupStartDistance);

// A batch of cached counts builds a ColumnIndex when it looks up at least this
// many keys per vocabulary key.
constexpr std::uint64_t kIndexedLookupsPerKey = 2;

// Room reserved when counting a batch: the sequential path reserves
// max(V * n / kSequentialVocabDivisor, kSequentialEntriesPerDocument * n)
// entries, never more than the batch can produce; the parallel path reserves
// 1 / kChunkEntryBoundDivisor of the most entries a chunk can produce (usually
// no more than half of a document's n-grams are in the vocabulary; the lists
// grow when they are), and per-row buffers of kTokenRowBuffer /
// kCachedRowBuffer pairs.
constexpr std::uint64_t kSequentialVocabDivisor = 20;
constexpr std::uint64_t kSequentialEntriesPerDocument = 10;
constexpr std::uint64_t kChunkEntryBoundDivisor = 2;
constexpr std::size_t kTokenRowBuffer = 512;
constexpr std::size_t kCachedRowBuffer = 400;

using ColumnValue = std::pair<std::uint64_t, float>;

constexpr std::size_t kRadixSortMinRow = 32;
constexpr unsigned kRadixBits = 8;
constexpr std::size_t kRadixBuckets = std::size_t{1} << kRadixBits;
constexpr std::uint64_t kRadixMask = kRadixBuckets - 1;
constexpr unsigned kColumnBits = 64;

// Sorts a row's pairs by column, keeping pairs of equal columns in their
// order. Short rows take an insertion sort; longer ones a byte-wise radix sort
// (a pass per byte of the largest column), which beats comparison sorting on
// the few hundred random columns of a document's row.
void sort_by_column(Vec<ColumnValue>& row, Vec<ColumnValue>& scratch) {
  if (row.size() <= kRadixSortMinRow) {
    for (std::size_t i = 1; i < row.size(); ++i) {
      const ColumnValue pair = row[i];
      std::size_t j = i;
      for (; j > 0 && row[j - 1].first > pair.first; --j) row[j] = row[j - 1];
      row[j] = pair;
    }
    return;
  }
  std::uint64_t largest = 0;
  for (const ColumnValue& pair : row) largest = std::max(largest, pair.first);
  scratch.resize(row.size());
  ColumnValue* from = row.data();
  ColumnValue* to = scratch.data();
  for (unsigned shift = 0; shift < kColumnBits && (largest >> shift) != 0; shift += kRadixBits) {
    std::array<std::size_t, kRadixBuckets + 1> starts{};
    for (std::size_t i = 0; i < row.size(); ++i) ++starts[((from[i].first >> shift) & kRadixMask) + 1];
    for (std::size_t bucket = 0; bucket < kRadixBuckets; ++bucket) starts[bucket + 1] += starts[bucket];
    for (std::size_t i = 0; i < row.size(); ++i) to[starts[(from[i].first >> shift) & kRadixMask]++] = from[i];
    std::swap(from, to);
  }
  if (from != row.data()) std::copy(from, from + row.size(), row.data());
}

// Emits (column, count) for each counted key that the index knows. The steps
// of each look-up run ahead of its use (start kLookupStartDistance keys ahead,
// locate kLookupLocateDistance keys ahead), so that their cache misses overlap.
void collect_indexed_columns(const NgramCounts& counts, const ColumnIndex& index, Vec<ColumnValue>& row) {
  std::array<ColumnIndex::Probe, kLookupStartDistance> probes;  // a ring, probe i at i % size
  const std::size_t n = counts.size();
  const auto probe = [&](std::size_t i) -> ColumnIndex::Probe& { return probes[i % kLookupStartDistance]; };
  for (std::size_t i = 0; i < std::min(n, kLookupStartDistance); ++i) probe(i) = index.start(counts[i].first);
  for (std::size_t i = 0; i < std::min(n, kLookupLocateDistance); ++i) index.locate(probe(i));
  for (std::size_t i = 0; i < n; ++i) {
    if (i + kLookupLocateDistance < n) index.locate(probe(i + kLookupLocateDistance));
    if (const auto column = index.column(probe(i))) row.emplace_back(*column, static_cast<float>(counts[i].second));
    if (i + kLookupStartDistance < n) probe(i + kLookupStartDistance) = index.start(counts[i + kLookupStartDistance].first);
  }
}

// Reads a batch's documents from their token sequences or their cached counts.
class RowSource {
 public:
  RowSource(const CountVectorizer& vectorizer, std::span<const TokenSequence> sequences,
            std::optional<std::span<const NgramCounts>> cached)
      : vectorizer_(vectorizer), sequences_(sequences), cached_(cached) {
    if (cached_ && worth_indexing()) index_ = ColumnIndex::build(vectorizer_.vocab);
  }

  std::size_t size() const { return sequences_.size(); }
  bool cached() const { return cached_.has_value(); }

  // The row of document `doc`: (column, value) pairs in ascending column order,
  // one per column.
  void build_row(std::size_t doc, Vec<ColumnValue>& row, Vec<ColumnValue>& scratch) const {
    row.clear();
    if (cached_) {
      collect_cached(doc, row);
    } else {
      collect_windows(doc, row);
    }
    canonicalize(row, scratch);
  }

  // The most entries document `doc` can produce.
  std::uint64_t entry_bound(std::size_t doc) const {
    if (cached_) return (*cached_)[doc].size();
    return ngrams::window_count(sequences_[doc].size(), vectorizer_.params.ngram_range);
  }

 private:
  // Whether building a ColumnIndex costs less than the map look-ups it saves:
  // when the batch looks up more keys than kIndexedLookupsPerKey per vocabulary key.
  bool worth_indexing() const {
    std::uint64_t lookups = 0;
    for (std::size_t doc = 0; doc < size(); ++doc) lookups += entry_bound(doc);
    return lookups >= kIndexedLookupsPerKey * vectorizer_.vocab.size();
  }

  void collect_cached(std::size_t doc, Vec<ColumnValue>& row) const {
    if (index_) {
      collect_indexed_columns((*cached_)[doc], *index_, row);
      return;
    }
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

  // Orders the pairs by column and sums each run of equal columns. Runs arise
  // only from token windows, whose pairs all hold 1.0, and cached counts never
  // repeat a column, so the sums never depend on the order of emission.
  static void canonicalize(Vec<ColumnValue>& row, Vec<ColumnValue>& scratch) {
    sort_by_column(row, scratch);
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
  std::optional<ColumnIndex> index_;
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
  Vec<ColumnValue> scratch;
  for (std::size_t doc = 0; doc < n; ++doc) {
    source.build_row(doc, row, scratch);
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
  std::uint64_t bound = 0;
  for (std::size_t doc = begin; doc < end; ++doc) bound += source.entry_bound(doc);
  rows.columns.reserve(bound / kChunkEntryBoundDivisor);
  rows.values.reserve(bound / kChunkEntryBoundDivisor);
  rows.row_lengths.reserve(end - begin);
  Vec<ColumnValue> row;
  row.reserve(source.cached() ? kCachedRowBuffer : kTokenRowBuffer);
  Vec<ColumnValue> scratch;
  for (std::size_t doc = begin; doc < end; ++doc) {
    source.build_row(doc, row, scratch);
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

// The shard count of a fit's document-frequency table for `entries` (document,
// distinct key) pairs: enough shards that each one's map stays small enough to
// sit in a core's cache while it is filled, never fewer than the default.
std::size_t fit_shard_count(std::uint64_t entries) {
  const std::uint64_t wanted = std::bit_ceil(std::max<std::uint64_t>(entries / kFitEntriesPerShard, 1));
  const std::size_t shards = std::max<std::size_t>(DocumentFrequencyTable::default_shard_count(), wanted);
  return std::min<std::size_t>(shards, kMaxFitShards);
}

using ShardNumber = std::uint16_t;
static_assert(kMaxFitShards - 1 <= std::numeric_limits<ShardNumber>::max());

// The distinct keys of a chunk of documents, grouped by the table shard that
// holds them: the keys of shard i are keys[group_starts[i] .. group_starts[i + 1]).
struct ChunkKeys {
  Vec<NgramKey> keys;
  Vec<std::size_t> group_starts;

  std::span<const NgramKey> group(std::size_t shard) const {
    return std::span(keys).subspan(group_starts[shard], group_starts[shard + 1] - group_starts[shard]);
  }
};

// A counting sort of the chunk's keys by shard: each key is hashed once, and
// the keys are copied once, straight to their place.
ChunkKeys group_keys_by_shard(const DocumentFrequencyTable& table, std::span<const NgramCounts> documents) {
  std::size_t entries = 0;
  for (const NgramCounts& counts : documents) entries += counts.size();
  Vec<ShardNumber> shard_of_entry;
  shard_of_entry.reserve(entries);
  ChunkKeys chunk;
  chunk.group_starts.assign(table.shard_count() + 1, 0);
  for (const NgramCounts& counts : documents) {
    for (const auto& entry : counts) {
      const std::size_t shard = table.shard_index(entry.first);
      shard_of_entry.push_back(static_cast<ShardNumber>(shard));
      ++chunk.group_starts[shard + 1];
    }
  }
  for (std::size_t shard = 0; shard < table.shard_count(); ++shard) {
    chunk.group_starts[shard + 1] += chunk.group_starts[shard];
  }

  chunk.keys.resize(entries);
  Vec<std::size_t> next(chunk.group_starts.begin(), chunk.group_starts.end() - 1);
  std::size_t entry = 0;
  for (const NgramCounts& counts : documents) {
    for (const auto& [key, count] : counts) chunk.keys[next[shard_of_entry[entry++]]++] = key;
  }
  return chunk;
}

struct FilteredVocabulary {
  Vec<KeyDocumentFrequency> kept;  // ascending key order
  std::uint64_t original_size = 0;  // distinct keys before filtering
};

// Counts the document frequencies of the corpus and keeps the keys within the
// thresholds. The chunks first group their keys by shard, in parallel; then one
// task per shard adds that shard's groups from every chunk and drains the shard
// at once: no two tasks write to the same shard, and only the shards being
// worked on hold a map.
FilteredVocabulary count_and_filter_document_frequencies(std::span<const NgramCounts> documents,
                                                         std::uint64_t min_threshold, std::uint64_t max_threshold) {
  std::uint64_t entries = 0;
  for (const NgramCounts& counts : documents) entries += counts.size();
  DocumentFrequencyTable table(documents.size() / 2, random_hash_seed(), fit_shard_count(entries));

  const std::size_t chunk = vectorizer::corpus_chunk_size(documents.size());
  Vec<ChunkKeys> chunks((documents.size() + chunk - 1) / chunk);
  pool::for_each_chunk(documents.size(), chunk, [&](std::size_t begin, std::size_t end) {
    chunks[begin / chunk] = group_keys_by_shard(table, documents.subspan(begin, end - begin));
  });

  Vec<Vec<KeyDocumentFrequency>> kept_per_shard(table.shard_count());
  Vec<std::uint64_t> keys_per_shard(table.shard_count(), 0);
  pool::for_each_index(table.shard_count(), [&](std::size_t shard) {
    // The shard's entries bound its distinct keys; its map is drained right
    // away, so room for all of them costs little and saves every rehash.
    std::size_t shard_entries = 0;
    for (const ChunkKeys& chunk_keys : chunks) shard_entries += chunk_keys.group(shard).size();
    table.reserve_shard(shard, shard_entries);
    for (const ChunkKeys& chunk_keys : chunks) table.add_to_shard(shard, chunk_keys.group(shard));
    keys_per_shard[shard] = table.drain_shard_filtered(shard, min_threshold, max_threshold, kept_per_shard[shard]);
  });
  chunks = Vec<ChunkKeys>();

  FilteredVocabulary result;
  for (std::uint64_t keys : keys_per_shard) result.original_size += keys;
  result.kept = DocumentFrequencyTable::join_in_key_order(kept_per_shard);
  return result;
}

Vec<NgramCounts> count_corpus_ngrams(std::span<const TokenSequence> sequences,
                                     std::span<const std::uint64_t> ngram_sizes) {
  Vec<NgramCounts> counts(sequences.size());
  pool::for_each_chunk(sequences.size(), vectorizer::corpus_chunk_size(sequences.size()),
                       [&](std::size_t begin, std::size_t end) {
                         ngrams::NgramCounter counter;
                         for (std::size_t i = begin; i < end; ++i) counts[i] = counter.count(sequences[i], ngram_sizes);
                       });
  return counts;
}

}  // namespace

std::size_t vectorizer::corpus_chunk_size(std::size_t num_documents) {
  return std::max(num_documents / kCorpusChunkDivisor, kMinCorpusChunk);
}

Vocabulary vocabulary_from_sorted(std::span<const KeyDocumentFrequency> sorted) {
  Vec<VocabularyEntry> entries(sorted.size());
  for (std::size_t column = 0; column < sorted.size(); ++column) entries[column] = {sorted[column].key, column};
  return Vocabulary::from_entries(std::move(entries));
}

std::optional<std::uint64_t> CountVectorizer::column_of(NgramKey key) const {
  return vocab.column_of(key);
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

  const std::uint64_t max_threshold = params.max_df_threshold(num_docs);
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Applying min_df and max_df filtering",
               log::raw_field("min_df", float_format::debug(params.min_df)),
               log::field("min_df_threshold", min_threshold),
               log::field("min_df_interpretation", params.min_df_interpretation()),
               log::raw_field("max_df", float_format::debug(params.max_df)),
               log::field("max_df_threshold", max_threshold),
               log::field("max_df_interpretation", params.max_df_interpretation()),
               log::field("num_docs", num_docs));

  const FilteredVocabulary filtered = count_and_filter_document_frequencies(documents, min_threshold, max_threshold);
  const Vec<KeyDocumentFrequency>& kept = filtered.kept;
  PP_LOG_EVENT(Level::Debug, kCountVectorizerLogTarget, "Vocabulary filtered by min_df and max_df",
               log::field("original_size", filtered.original_size), log::field("filtered_size", kept.size()));

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
