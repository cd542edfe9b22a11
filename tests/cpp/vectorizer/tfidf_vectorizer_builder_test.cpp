#include "pre_processor/vectorizer/tfidf_vectorizer_builder.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include "../support/log_capture.h"
#include "../support/random_corpus.h"

namespace pre_processor {
namespace {

using testing::key_of;
using testing::params_of;
using testing::tokens;

constexpr std::string_view kTarget = "ordwen_preprocessing::pre_processor::vectorizer::tfidf_vectorizer";


TfidfVectorizer finalized(TfidfVectorizerBuilder& builder) {
  Result<TfidfVectorizer> model = builder.finalize();
  EXPECT_TRUE(model.ok()) << (model.ok() ? "" : model.error().message);
  return std::move(model).value();
}

TfidfVectorizer one_pass_fit(std::span<const TokenSequence> corpus, const VectorizerParams& params) {
  Result<TfidfFit> fitted = TfidfVectorizer::fit_transform_tokenized(corpus, params);
  EXPECT_TRUE(fitted.ok());
  return std::move(fitted->model);
}

// Feeds the documents in `batches` (each a list of document indices), in order.
TfidfVectorizer build_from_batches(const Vec<TokenSequence>& corpus, const std::vector<std::vector<std::size_t>>& batches,
                                   const VectorizerParams& params) {
  TfidfVectorizerBuilder builder(params);
  for (const auto& batch : batches) {
    Vec<TokenSequence> documents;
    for (std::size_t doc : batch) documents.push_back(corpus[doc]);
    EXPECT_TRUE(builder.partial_fit_tokenized(documents).ok());
  }
  EXPECT_EQ(builder.total_docs(), corpus.size());
  return finalized(builder);
}

// The documents shuffled and cut at random points into batches (some empty),
// the batches themselves then in random order.
std::vector<std::vector<std::size_t>> random_batches(std::size_t documents, std::mt19937& random) {
  std::vector<std::size_t> order(documents);
  for (std::size_t i = 0; i < documents; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), random);
  std::uniform_int_distribution<std::size_t> cut(0, documents);
  std::vector<std::size_t> cuts{0, documents};
  for (int i = 0; i < 6; ++i) cuts.push_back(cut(random));
  std::sort(cuts.begin(), cuts.end());
  std::vector<std::vector<std::size_t>> batches;
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    batches.emplace_back(order.begin() + cuts[i], order.begin() + cuts[i + 1]);
  }
  std::shuffle(batches.begin(), batches.end(), random);
  return batches;
}

// Equal models, idf compared by bit pattern as well.
void expect_identical(const TfidfVectorizer& built, const TfidfVectorizer& fitted) {
  EXPECT_EQ(built.count_vectorizer, fitted.count_vectorizer);
  ASSERT_EQ(built.idf.size(), fitted.idf.size());
  if (built.idf.empty()) return;
  EXPECT_EQ(std::memcmp(built.idf.data(), fitted.idf.data(), built.idf.size() * sizeof(float)), 0);
}

TEST(TfidfVectorizerBuilderTest, WorkedExamplesOfIdfAndColumns) {
  TfidfVectorizerBuilder builder(params_of(1.0f, 1.0f));
  // Four documents: (1, 2) is in all of them; (2, 1) and (1, 2, 1) in two;
  // (2, 3), (1, 2, 3), (2, 1, 2) and (1, 2, 1, 2) in one. The last token weighs
  // most in the key order, so (2, 1) gets a smaller column than (1, 2).
  ASSERT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{tokens({1, 2}), tokens({1, 2, 3})}).ok());
  ASSERT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{tokens({1, 2, 1}), tokens({1, 2, 1, 2})}).ok());
  const TfidfVectorizer model = finalized(builder);

  const std::vector<std::pair<std::vector<TokenId>, float>> expected = {
      {{2, 1}, 1.5108256f},  // ln(5 / 3) + 1
      {{1, 2}, 1.0f},        // in every document
      {{2, 3}, 1.9162908f},  // ln(5 / 2) + 1
      {{1, 2, 1}, 1.5108256f},
      {{2, 1, 2}, 1.9162908f},
      {{1, 2, 3}, 1.9162908f},
      {{1, 2, 1, 2}, 1.9162908f},
  };
  ASSERT_EQ(model.num_features(), expected.size());
  for (std::size_t column = 0; column < expected.size(); ++column) {
    const auto& [ids, idf] = expected[column];
    EXPECT_EQ(model.count_vectorizer.column_of(key_of(ids)), column) << column;
    EXPECT_EQ(model.idf[column], idf) << column;
  }
  EXPECT_EQ(model.count_vectorizer.params, params_of(1.0f, 1.0f));
}

TEST(TfidfVectorizerBuilderTest, ThresholdsAreInclusiveDocumentCounts) {
  // Three documents: (1, 2) in all, (3, 4) in two, (5, 6) in one.
  const Vec<TokenSequence> corpus = {tokens({1, 2, 3, 4}), tokens({1, 2, 9, 3, 4}), tokens({1, 2, 8, 5, 6})};
  struct Case {
    float min_df;
    float max_df;
    std::vector<std::vector<TokenId>> kept;  // the bigrams among the features
  };
  const std::vector<Case> cases = {
      {1.0f, 1.0f, {{1, 2}, {3, 4}, {5, 6}}},
      {0.5f, 1.0f, {{1, 2}, {3, 4}}},  // threshold 2: a key in one document is dropped
      {1.0f, 0.5f, {{3, 4}, {5, 6}}},  // threshold 2: a key in all three is dropped
      {2.0f, 2.0f, {{3, 4}}},          // absolute counts, both bounds inclusive
      {3.0f, 2.0f, {}},                // min above max: no features, not an error
  };
  for (const Case& c : cases) {
    TfidfVectorizerBuilder builder(params_of(c.min_df, c.max_df));
    ASSERT_TRUE(builder.partial_fit_tokenized(corpus).ok());
    const TfidfVectorizer model = finalized(builder);
    for (const auto& bigram : std::vector<std::vector<TokenId>>{{1, 2}, {3, 4}, {5, 6}}) {
      const bool expected = std::find(c.kept.begin(), c.kept.end(), bigram) != c.kept.end();
      EXPECT_EQ(model.count_vectorizer.column_of(key_of(bigram)).has_value(), expected)
          << c.min_df << " " << c.max_df << " " << bigram[0];
    }
    EXPECT_EQ(model.idf.size(), model.num_features());
    expect_identical(model, one_pass_fit(corpus, params_of(c.min_df, c.max_df)));
  }
}

TEST(TfidfVectorizerBuilderTest, EveryTextIsADocumentButShortOnesAddNoKeys) {
  TfidfVectorizerBuilder builder(params_of(1.0f, 1.0f));
  ASSERT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{}).ok());
  EXPECT_EQ(builder.total_docs(), 0u);

  ASSERT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{tokens({}), tokens({7})}).ok());
  EXPECT_EQ(builder.total_docs(), 2u);
  EXPECT_EQ(builder.raw_vocab_size(), 0u);

  // The same text in two batches: two documents for each of its keys.
  for (int batch = 0; batch < 2; ++batch) {
    ASSERT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{tokens({4, 5, 4, 5, 4})}).ok());
  }
  EXPECT_EQ(builder.total_docs(), 4u);
  // (4, 5), (5, 4), (4, 5, 4), (5, 4, 5), (4, 5, 4, 5), (5, 4, 5, 4)
  EXPECT_EQ(builder.raw_vocab_size(), 6u);

  const TfidfVectorizer model = finalized(builder);
  ASSERT_EQ(model.num_features(), 6u);
  for (float idf : model.idf) EXPECT_EQ(idf, idf_weight(4, 2));
}

TEST(TfidfVectorizerBuilderTest, TextsAreTokenizedLikeTheOnePassFit) {
  const Vec<String> texts = {"The quick brown fox jumps over the lazy dog.", "", "fox",
                             "The lazy dog sleeps; the quick fox runs.", "Über den Wolken muss die Freiheit",
                             "The quick brown fox jumps over the lazy dog."};
  TfidfVectorizerBuilder builder(params_of(1.0f, 1.0f, true));
  ASSERT_TRUE(builder.partial_fit(std::span(texts).subspan(3)).ok());
  ASSERT_TRUE(builder.partial_fit(std::span(texts).first(3)).ok());
  EXPECT_EQ(builder.total_docs(), texts.size());
  const TfidfVectorizer built = finalized(builder);
  const Result<TfidfVectorizer> fitted = TfidfVectorizer::fit(texts, params_of(1.0f, 1.0f, true));
  ASSERT_TRUE(fitted.ok());
  ASSERT_GT(built.num_features(), 20u);
  expect_identical(built, *fitted);
}

TEST(TfidfVectorizerBuilderTest, AnyBatchingAndOrderGivesTheOnePassModel) {
  const Vec<TokenSequence> corpus = testing::random_corpus(1500, 30, 12, 21);
  const std::vector<VectorizerParams> settings = {params_of(1.0f, 1.0f), params_of(0.01f, 0.5f),
                                                  params_of(3.0f, 400.0f, true), params_of(0.05f, 0.9f, true)};
  std::mt19937 random(5);
  for (const VectorizerParams& params : settings) {
    const TfidfVectorizer fitted = one_pass_fit(corpus, params);
    ASSERT_GT(fitted.num_features(), 0u);
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(std::to_string(params.min_df) + " round " + std::to_string(round));
      expect_identical(build_from_batches(corpus, random_batches(corpus.size(), random), params), fitted);
    }
  }
}

TEST(TfidfVectorizerBuilderTest, ModelDoesNotDependOnTheThreadCount) {
  const Vec<TokenSequence> corpus = testing::random_corpus(4000, 40, 30, 8);
  const VectorizerParams params = params_of(0.001f, 0.95f);
  std::mt19937 random(17);
  const auto batches = random_batches(corpus.size(), random);
  const TfidfVectorizer pooled = build_from_batches(corpus, batches, params);
  ASSERT_GT(pooled.num_features(), 1000u);

  tbb::global_control one_thread(tbb::global_control::max_allowed_parallelism, 1);
  expect_identical(build_from_batches(corpus, batches, params), pooled);
}

TEST(TfidfVectorizerBuilderTest, ConcurrentBatchesOnOneBuilderAreAllCounted) {
  const Vec<TokenSequence> corpus = testing::random_corpus(3000, 25, 10, 3);
  const VectorizerParams params = params_of(2.0f, 0.9f);
  TfidfVectorizerBuilder builder(params);
  constexpr std::size_t kThreads = 4;
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::size_t begin = corpus.size() * t / kThreads;
      const std::size_t end = corpus.size() * (t + 1) / kThreads;
      for (std::size_t doc = begin; doc < end; doc += 100) {
        const Vec<TokenSequence> batch(corpus.begin() + doc, corpus.begin() + std::min(end, doc + 100));
        EXPECT_TRUE(builder.partial_fit_tokenized(batch).ok());
        EXPECT_GE(builder.raw_vocab_size(), 1u);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(builder.total_docs(), corpus.size());
  expect_identical(finalized(builder), one_pass_fit(corpus, params));
}

TEST(TfidfVectorizerBuilderTest, FinalizedBuilderRefusesEverythingAndReportsZero) {
  TfidfVectorizerBuilder builder(params_of(1.0f, 1.0f));
  ASSERT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{tokens({1, 2, 3})}).ok());
  ASSERT_TRUE(builder.finalize().ok());
  EXPECT_TRUE(builder.is_finalized());
  EXPECT_EQ(builder.total_docs(), 0u);
  EXPECT_EQ(builder.raw_vocab_size(), 0u);

  const Result<TfidfVectorizer> again = builder.finalize();
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(again.error().kind, ErrorKind::InvalidState);
  EXPECT_EQ(again.error().message, kBuilderAlreadyFinalizedMessage);

  const Vec<String> texts = {"more text"};
  for (const Status& refused : {builder.partial_fit(texts), builder.partial_fit_tokenized(Vec<TokenSequence>{})}) {
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().kind, ErrorKind::InvalidState);
    EXPECT_EQ(refused.error().message, kBuilderFinalizedMessage);
  }
}

TEST(TfidfVectorizerBuilderTest, FinalizeWithoutDocumentsIsRefusedAndTheBuilderStaysUsable) {
  TfidfVectorizerBuilder builder(params_of(1.0f, 1.0f));
  const Result<TfidfVectorizer> nothing = builder.finalize();
  ASSERT_FALSE(nothing.ok());
  EXPECT_EQ(nothing.error().kind, ErrorKind::InvalidState);
  EXPECT_EQ(nothing.error().message, kBuilderNoDocumentsMessage);

  // Empty batches add no documents either.
  ASSERT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{}).ok());
  EXPECT_EQ(builder.finalize().error().message, kBuilderNoDocumentsMessage);
  EXPECT_FALSE(builder.is_finalized());

  ASSERT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{tokens({1, 2}), tokens({1, 2, 3})}).ok());
  const TfidfVectorizer model = finalized(builder);
  expect_identical(model, one_pass_fit(Vec<TokenSequence>{tokens({1, 2}), tokens({1, 2, 3})}, params_of(1.0f, 1.0f)));
  EXPECT_TRUE(builder.is_finalized());
}

TEST(TfidfVectorizerBuilderTest, LogsItsRecordsInOrder) {
  using Entry = std::pair<std::string, std::vector<std::pair<std::string, std::string>>>;
  std::vector<Entry> seen;
  {
    testing::LogCapture capture;
    TfidfVectorizerBuilder builder(params_of(0.5f, 1.0f));
    EXPECT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{tokens({1, 2, 3}), tokens({1, 2})}).ok());
    EXPECT_TRUE(builder.partial_fit_tokenized(Vec<TokenSequence>{tokens({7})}).ok());
    EXPECT_TRUE(builder.finalize().ok());
    for (const auto& record : capture.records()) {
      if (record.target != kTarget) continue;
      EXPECT_EQ(record.level, log::Level::Debug) << record.text;
      seen.push_back({record.text, record.fields});
    }
  }
  // Three documents; thresholds 2 (1.5 rounded up) and 3; only (1, 2) is in two.
  const std::vector<Entry> expected = {
      {"partial_fit", {{"batch_size", "2"}, {"total_docs_before", "0"}}},
      {"Processing batch in partial_fit", {{"batch_size", "2"}}},
      {"Batch processing complete", {{"batch_size", "2"}, {"total_docs", "2"}, {"unique_ngrams", "3"}}},
      {"partial_fit", {{"batch_size", "1"}, {"total_docs_before", "2"}}},
      {"Processing batch in partial_fit", {{"batch_size", "1"}}},
      {"Batch processing complete", {{"batch_size", "1"}, {"total_docs", "3"}, {"unique_ngrams", "3"}}},
      {"finalize", {{"total_docs", "3"}, {"raw_vocab_size", "3"}}},
      {"Finalizing TfidfVectorizer", {{"n_docs", "3"}, {"raw_vocab_size", "3"}}},
      {"Applying document frequency filtering", {{"min_df", "2"}, {"max_df", "3"}}},
      {"Filtering complete", {{"filtered_vocab_size", "1"}}},
      {"Calculating IDF weights", {{"num_features", "1"}}},
      {"TfidfVectorizer finalization complete", {{"num_features", "1"}}},
  };
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace pre_processor
