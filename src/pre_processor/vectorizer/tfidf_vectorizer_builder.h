// Incremental fitting of a TfidfVectorizer: batches of documents are counted
// as they arrive, and the model is built once at the end.
//
// Between batches the builder keeps one document count per distinct n-gram key
// and nothing else (no texts, no token ids), so its memory grows with
// raw_vocab_size(); filtering happens only in finalize(). Because only the
// per-key document counts and the number of documents enter the model,
// finalize() gives exactly the model that TfidfVectorizer::fit gives on all
// the documents at once, however they were split into batches, in whatever
// order, on however many threads.
//
// States: Active (counting) and Finalized (empty, for good). A finalize() that
// is refused because no document was counted leaves the builder Active, so the
// caller can feed it and finalize again. A batch counts entirely or not at
// all: if memory runs out during partial_fit(), the std::bad_alloc leaves the
// counts and total_docs() as they were before the batch.
//
// Thread-safety: partial_fit(), total_docs(), raw_vocab_size() and
// is_finalized() may run concurrently with each other (the table is sharded
// with one lock per shard, the document counter is atomic); finalize() must
// not overlap any other call on the same builder.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"
#include "pre_processor/tokenizer/tokenizer.h"
#include "pre_processor/vectorizer/document_frequency_table.h"
#include "pre_processor/vectorizer/params.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor {

inline constexpr std::string_view kBuilderFinalizedMessage =
    "Builder has been finalized. Create a new TfidfVectorizerBuilder to process more data.";
inline constexpr std::string_view kBuilderAlreadyFinalizedMessage =
    "Builder has already been finalized. Each builder can only be finalized once.";
inline constexpr std::string_view kBuilderNoDocumentsMessage =
    "TfidfVectorizerBuilder: no documents processed, call partial_fit at least once";

class TfidfVectorizerBuilder {
 public:
  // An Active builder with an empty table (seeded at random) and no documents.
  explicit TfidfVectorizerBuilder(VectorizerParams params);

  TfidfVectorizerBuilder(TfidfVectorizerBuilder&&) noexcept = default;
  TfidfVectorizerBuilder& operator=(TfidfVectorizerBuilder&&) noexcept = default;

  bool is_finalized() const { return active_ == nullptr; }

  // Tokenizes the batch and adds 1 to the count of every distinct key of each
  // document. Every text counts as a document, also an empty one or one too
  // short for any n-gram. Refused with kBuilderFinalizedMessage when Finalized.
  Status partial_fit(std::span<const String> texts);
  // The same for documents given as token sequences.
  Status partial_fit_tokenized(std::span<const TokenSequence> sequences);

  // Builds the model: the keys whose document count lies within the inclusive
  // thresholds for total_docs() documents, columns in ascending key order, and
  // their idf weights; the builder becomes Finalized. Refused, leaving the
  // builder as it was, with kBuilderAlreadyFinalizedMessage when Finalized and
  // with kBuilderNoDocumentsMessage when no document has been counted.
  Result<TfidfVectorizer> finalize();

  // The documents counted so far; 0 when Finalized.
  std::uint64_t total_docs() const;
  // The distinct keys counted so far, before filtering; 0 when Finalized.
  std::uint64_t raw_vocab_size() const;

 private:
  struct ActiveState {
    explicit ActiveState(VectorizerParams params) : params(std::move(params)) {}

    VectorizerParams params;
    DocumentFrequencyTable document_frequencies;  // its own random hash seed
    std::atomic<std::uint64_t> total_docs{0};
  };

  // partial_fit of a batch of `batch_size` documents whose token sequences
  // sequences_of_batch() returns (called after the batch's log records).
  template <class SequencesOfBatch>
  Status count_batch(std::size_t batch_size, SequencesOfBatch&& sequences_of_batch);
  static void count_documents(ActiveState& state, std::span<const TokenSequence> sequences);
  static TfidfVectorizer build_model(ActiveState& state);

  std::unique_ptr<ActiveState> active_;  // null once Finalized
};

}  // namespace pre_processor
