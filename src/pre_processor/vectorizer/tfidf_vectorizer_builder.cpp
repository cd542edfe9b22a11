#include "pre_processor/vectorizer/tfidf_vectorizer_builder.h"

#include <utility>

#include "pre_processor/common/logging.h"
#include "pre_processor/common/thread_pool.h"
#include "pre_processor/ngrams/ngram_extraction.h"
#include "pre_processor/vectorizer/count_vectorizer.h"

namespace pre_processor {
namespace {

using vectorizer::kTfidfVectorizerLogTarget;
using log::Level;

Error invalid_state(std::string_view message) { return Error{ErrorKind::InvalidState, std::string(message)}; }

}  // namespace

TfidfVectorizerBuilder::TfidfVectorizerBuilder(VectorizerParams params)
    : active_(std::make_unique<ActiveState>(std::move(params))) {}

std::uint64_t TfidfVectorizerBuilder::total_docs() const {
  return active_ ? active_->total_docs.load(std::memory_order_acquire) : 0;
}

std::uint64_t TfidfVectorizerBuilder::raw_vocab_size() const {
  return active_ ? active_->document_frequencies.size() : 0;
}

template <class SequencesOfBatch>
Status TfidfVectorizerBuilder::count_batch(std::size_t batch_size, SequencesOfBatch&& sequences_of_batch) {
  if (is_finalized()) return invalid_state(kBuilderFinalizedMessage);
  ActiveState& state = *active_;
  PP_LOG_SPAN(Level::Debug, kTfidfVectorizerLogTarget, "partial_fit", log::field("batch_size", batch_size),
              log::field("total_docs_before", state.total_docs.load(std::memory_order_acquire)));
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Processing batch in partial_fit",
               log::field("batch_size", batch_size));
  count_documents(state, sequences_of_batch());
  return ok_status();
}

Status TfidfVectorizerBuilder::partial_fit(std::span<const String> texts) {
  return count_batch(texts.size(), [&] { return tokenizer::tokenize(texts); });
}

Status TfidfVectorizerBuilder::partial_fit_tokenized(std::span<const TokenSequence> sequences) {
  return count_batch(sequences.size(), [&] { return sequences; });
}

namespace {

// The documents of one pool task: their distinct keys, grouped by the shard of
// the table that holds them.
using KeysByShard = Vec<Vec<NgramKey>>;

constexpr std::size_t kDocumentsPerTask = 256;

}  // namespace

void TfidfVectorizerBuilder::count_documents(ActiveState& state, std::span<const TokenSequence> sequences) {
  // Each document is reduced to its distinct keys first, so a document adds 1
  // to each key it holds. The keys are then added shard by shard, one pool task
  // per shard holding that shard's lock: workers never wait for each other, as
  // they did when every key took its shard's lock in turn (two cores ran no
  // faster than one), and the counts are the same.
  DocumentFrequencyTable& table = state.document_frequencies;
  const std::size_t shards = table.shard_count();
  const std::size_t tasks = (sequences.size() + kDocumentsPerTask - 1) / kDocumentsPerTask;
  Vec<KeysByShard> task_keys(tasks);
  pool::for_each_chunk(sequences.size(), kDocumentsPerTask, [&](std::size_t begin, std::size_t end) {
    KeysByShard& by_shard = task_keys[begin / kDocumentsPerTask];
    by_shard.resize(shards);
    for (std::size_t doc = begin; doc < end; ++doc) {
      for (NgramKey key : ngrams::unique_ngrams(sequences[doc], state.params.ngram_range)) {
        by_shard[table.shard_index(key)].push_back(key);
      }
    }
  });
  add_all_or_nothing(table, std::span<const KeysByShard>(task_keys));

  const std::uint64_t total_docs =
      state.total_docs.fetch_add(sequences.size(), std::memory_order_acq_rel) + sequences.size();
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Batch processing complete",
               log::field("batch_size", sequences.size()), log::field("total_docs", total_docs),
               log::field("unique_ngrams", table.size()));
}

Result<TfidfVectorizer> TfidfVectorizerBuilder::finalize() {
  if (is_finalized()) return invalid_state(kBuilderAlreadyFinalizedMessage);
  const std::uint64_t n_docs = total_docs();
  PP_LOG_SPAN(Level::Debug, kTfidfVectorizerLogTarget, "finalize", log::field("total_docs", n_docs),
              log::field("raw_vocab_size", raw_vocab_size()));
  // Refused before the state is taken: the builder stays Active and usable.
  if (n_docs == 0) return invalid_state(kBuilderNoDocumentsMessage);

  std::unique_ptr<ActiveState> state = std::move(active_);
  return build_model(*state);
}

TfidfVectorizer TfidfVectorizerBuilder::build_model(ActiveState& state) {
  const std::uint64_t n_docs = state.total_docs.load(std::memory_order_acquire);
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Finalizing TfidfVectorizer", log::field("n_docs", n_docs),
               log::field("raw_vocab_size", state.document_frequencies.size()));

  const std::uint64_t min_threshold = state.params.min_df_threshold(n_docs);
  const std::uint64_t max_threshold = state.params.max_df_threshold(n_docs);
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Applying document frequency filtering",
               log::field("min_df", min_threshold), log::field("max_df", max_threshold));

  // Ascending key order, so the columns match a one-pass fit.
  const Vec<KeyDocumentFrequency> kept = state.document_frequencies.drain_filtered(min_threshold, max_threshold);
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Filtering complete",
               log::field("filtered_vocab_size", kept.size()));

  CountVectorizer count_vectorizer{std::move(state.params), vocabulary_from_sorted(kept)};
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "Calculating IDF weights",
               log::field("num_features", kept.size()));
  Vec<float> idf(kept.size());
  for (std::size_t column = 0; column < kept.size(); ++column) {
    idf[column] = idf_weight(n_docs, kept[column].document_frequency);
  }
  PP_LOG_EVENT(Level::Debug, kTfidfVectorizerLogTarget, "TfidfVectorizer finalization complete",
               log::field("num_features", kept.size()));
  return TfidfVectorizer{std::move(count_vectorizer), std::move(idf)};
}

}  // namespace pre_processor
