#include "pre_processor/vectorizer/count_vectorizer.h"

#include <map>
#include <set>
#include <vector>

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include "../support/log_capture.h"
#include "../support/random_corpus.h"

namespace pre_processor {
namespace {

using testing::tokens;

constexpr std::string_view kTarget = "ordwen_preprocessing::pre_processor::vectorizer::count_vectorizer";

using testing::key_of;

VectorizerParams params_of(float min_df, float max_df, std::vector<std::uint64_t> sizes = {2, 3, 4}) {
  VectorizerParams params;
  params.ngram_range.assign(sizes.begin(), sizes.end());
  params.min_df = min_df;
  params.max_df = max_df;
  return params;
}

Vec<NgramCounts> counts_of(const Vec<TokenSequence>& corpus, const VectorizerParams& params) {
  Vec<NgramCounts> counts;
  for (const TokenSequence& sequence : corpus) counts.push_back(ngrams::count_ngrams(sequence, params.ngram_range));
  return counts;
}

CountVectorizer fit(const Vec<TokenSequence>& corpus, const VectorizerParams& params) {
  Result<CountVectorizer> fitted = CountVectorizer::fit_from_tokenized(params, counts_of(corpus, params));
  EXPECT_TRUE(fitted.ok());
  return std::move(fitted).value();
}

// The vocabulary as column -> key.
std::vector<NgramKey> columns_of(const CountVectorizer& vectorizer) {
  std::vector<NgramKey> columns(vectorizer.vocab_size());
  for (const auto& [key, column] : vectorizer.vocab) columns.at(column) = key;
  return columns;
}

CsrMatrix transform(const CountVectorizer& vectorizer, const Vec<TokenSequence>& corpus) {
  Result<CsrMatrix> matrix = vectorizer.transform_from_tokenized(corpus);
  EXPECT_TRUE(matrix.ok()) << (matrix.ok() ? "" : matrix.error().message);
  return std::move(matrix).value();
}

// The 1 2 / 1 2 1 2 corpus: document frequencies (1, 2) 2, and 1 for (2, 1),
// (1, 2, 1), (2, 1, 2) and (1, 2, 1, 2).
Vec<TokenSequence> two_document_corpus() { return {tokens({1, 2}), tokens({1, 2, 1, 2})}; }

TEST(CountVectorizerFitTest, KeepsDocumentFrequenciesWithinInclusiveThresholdsInKeyOrder) {
  struct Case {
    const char* name;
    float min_df;
    float max_df;
    std::vector<NgramKey> expected_columns;
  };
  const Case cases[] = {
      {"everything passes (thresholds 1 and 2)",
       1.0f,
       1.0f,
       {key_of({2, 1}), key_of({1, 2}), key_of({1, 2, 1}), key_of({2, 1, 2}), key_of({1, 2, 1, 2})}},
      {"min_df 2.0 keeps the n-gram of both documents", 2.0f, 1.0f, {key_of({1, 2})}},
      {"max_df 0.5 (threshold 1) drops it",
       1.0f,
       0.5f,
       {key_of({2, 1}), key_of({1, 2, 1}), key_of({2, 1, 2}), key_of({1, 2, 1, 2})}},
      {"min_df above max_df", 3.0f, 2.0f, {}},
  };
  for (const Case& c : cases) {
    const CountVectorizer vectorizer = fit(two_document_corpus(), params_of(c.min_df, c.max_df));
    EXPECT_EQ(columns_of(vectorizer), c.expected_columns) << c.name;
    EXPECT_EQ(vectorizer.params, params_of(c.min_df, c.max_df)) << c.name;
  }
}

TEST(CountVectorizerFitTest, ADocumentAddsOneToTheFrequencyOfEachDistinctKey) {
  TokenSequence repetitive;
  for (int i = 0; i < 50; ++i) repetitive.insert(repetitive.end(), {7, 8});
  // (7, 8) occurs 50 times in one document: frequency 1, below min_df 2.
  const CountVectorizer vectorizer = fit({repetitive, tokens({7, 9, 8, 7})}, params_of(2.0f, 1.0f, {2}));
  EXPECT_EQ(columns_of(vectorizer), (std::vector<NgramKey>{key_of({8, 7})}));
}

TEST(CountVectorizerFitTest, EmptyCorpusGivesAnEmptyVocabulary) {
  const CountVectorizer vectorizer = fit({}, params_of(0.5f, 1.0f));
  EXPECT_EQ(vectorizer.vocab_size(), 0u);
}

TEST(CountVectorizerFitTest, EmptyNgramRangeIsRefused) {
  const Result<CountVectorizer> fitted = CountVectorizer::fit_from_tokenized(params_of(1.0f, 1.0f, {}), {});
  ASSERT_FALSE(fitted.ok());
  EXPECT_EQ(fitted.error().message, "ngram_range is not empty");
}

TEST(CountVectorizerFitTest, SizesAboveFourWarnOnceAndKeyByTheFirstFourTokens) {
  testing::LogCapture capture;
  const CountVectorizer vectorizer = fit({tokens({1, 2, 3, 4, 5, 6})}, params_of(1.0f, 1.0f, {2, 3, 4, 5}));
  const auto warnings = capture.named(
      "Requested n-gram size exceeds DEFAULT_MAX_NGRAM; this may lead to suboptimal performance as the n-gram "
      "keys will not fit in the optimized PackedVec size");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].level, log::Level::Warn);
  EXPECT_EQ(warnings[0].target, kTarget);
  EXPECT_EQ(warnings[0].field("max_ngram_size"), "5");
  EXPECT_EQ(warnings[0].field("ngram_const_key"), "4");
  // The 5-grams share the keys of the 4-grams 1 2 3 4 and 2 3 4 5: no new key.
  const std::set<NgramKey> keys = [&] {
    std::set<NgramKey> all;
    for (const auto& entry : vectorizer.vocab) all.insert(entry.key);
    return all;
  }();
  EXPECT_EQ(keys.size(), 5u + 4u + 3u);
  EXPECT_TRUE(keys.count(key_of({1, 2, 3, 4})));
  EXPECT_TRUE(keys.count(key_of({2, 3, 4, 5})));
}

// An independent document-frequency count: std::map, one pass per document.
std::vector<NgramKey> reference_vocabulary(const Vec<TokenSequence>& corpus, std::uint64_t lo, std::uint64_t hi) {
  std::map<NgramKey, std::uint64_t> frequencies;
  for (const TokenSequence& sequence : corpus) {
    std::set<NgramKey> seen;
    for (std::size_t n = 2; n <= 4; ++n) {
      for (std::size_t s = 0; s + n <= sequence.size(); ++s) {
        std::array<std::uint32_t, 4> lanes{};
        std::copy_n(sequence.begin() + s, n, lanes.begin());
        seen.insert(NgramKey::from_lanes(lanes));
      }
    }
    for (NgramKey key : seen) ++frequencies[key];
  }
  std::vector<NgramKey> kept;
  for (const auto& [key, frequency] : frequencies) {
    if (lo <= frequency && frequency <= hi) kept.push_back(key);
  }
  return kept;
}

TEST(CountVectorizerFitTest, LargeCorpusMatchesAReferenceWhateverTheThreadCount) {
  // 2500 documents: three counting chunks.
  const Vec<TokenSequence> corpus = testing::random_corpus(2500, 40, 12, 7);
  const VectorizerParams params = params_of(3.0f, 0.5f);
  const CountVectorizer parallel = fit(corpus, params);
  EXPECT_EQ(columns_of(parallel), reference_vocabulary(corpus, 3, 1250));
  EXPECT_GT(parallel.vocab_size(), 100u);

  tbb::global_control one_thread(tbb::global_control::max_allowed_parallelism, 1);
  EXPECT_EQ(fit(corpus, params), parallel);
}

TEST(CountVectorizerFitTest, LogsTheFilteringWithItsThresholds) {
  testing::LogCapture capture;
  (void)fit(two_document_corpus(), params_of(0.5f, 2.0f));

  const auto span = capture.named("fit_from_tokenized");
  ASSERT_EQ(span.size(), 1u);
  EXPECT_EQ(span[0].kind, log::RecordKind::Span);
  EXPECT_EQ(span[0].field("params"),
            "VectorizerParams { ngram_range: [2, 3, 4], min_df: 0.5, max_df: 2.0, sublinear_tf: false }");
  EXPECT_EQ(span[0].field("num_texts"), "2");
  EXPECT_EQ(span[0].field("has_precomputed"), "true");

  const auto filtering = capture.named("Applying min_df and max_df filtering");
  ASSERT_EQ(filtering.size(), 1u);
  EXPECT_EQ(filtering[0].field_names(),
            (std::vector<std::string>{"min_df", "min_df_threshold", "min_df_interpretation", "max_df",
                                      "max_df_threshold", "max_df_interpretation", "num_docs"}));
  EXPECT_EQ(filtering[0].field("min_df"), "0.5");
  EXPECT_EQ(filtering[0].field("min_df_threshold"), "1");
  EXPECT_EQ(filtering[0].field("min_df_interpretation"), "\"proportion\"");
  EXPECT_EQ(filtering[0].field("max_df"), "2.0");
  EXPECT_EQ(filtering[0].field("max_df_threshold"), "2");
  EXPECT_EQ(filtering[0].field("max_df_interpretation"), "\"absolute\"");
  EXPECT_EQ(filtering[0].field("num_docs"), "2");

  const auto filtered = capture.named("Vocabulary filtered by min_df and max_df");
  ASSERT_EQ(filtered.size(), 1u);
  EXPECT_EQ(filtered[0].field("original_size"), "5");
  EXPECT_EQ(filtered[0].field("filtered_size"), "5");
  const auto complete = capture.named("CountVectorizer fitting complete");
  ASSERT_EQ(complete.size(), 1u);
  EXPECT_EQ(complete[0].field("vocab_size"), "5");
  for (const auto& record : capture.records()) {
    if (record.target == kTarget) EXPECT_EQ(record.level, log::Level::Debug) << record.text;
  }
}

// ---- counting ----

struct Row {
  std::vector<std::uint64_t> columns;
  std::vector<float> values;
  bool operator==(const Row&) const = default;
};

Row row_of(const CsrMatrix& matrix, std::size_t row) {
  Row out;
  for (std::uint64_t i = matrix.indptr[row]; i < matrix.indptr[row + 1]; ++i) {
    out.columns.push_back(matrix.indices[i]);
    out.values.push_back(matrix.data[i]);
  }
  return out;
}

TEST(CountVectorizerTransformTest, CountsVocabularyNgramsPerDocument) {
  const CountVectorizer vectorizer = fit(two_document_corpus(), params_of(1.0f, 1.0f));
  TokenSequence seven_times;
  for (int i = 0; i < 7; ++i) seven_times.insert(seven_times.end(), {2, 1, 9});
  const Vec<TokenSequence> batch = {tokens({1, 2, 1, 2}), tokens({3, 1, 2}), tokens({}), tokens({1}), seven_times};

  const CsrMatrix matrix = transform(vectorizer, batch);
  EXPECT_EQ(matrix.rows, 5u);
  EXPECT_EQ(matrix.cols, 5u);
  EXPECT_EQ(row_of(matrix, 0), (Row{{0, 1, 2, 3, 4}, {1, 2, 1, 1, 1}}));
  EXPECT_EQ(row_of(matrix, 1), (Row{{1}, {1}}));  // n-grams with token 3 are unknown
  EXPECT_EQ(row_of(matrix, 2), (Row{}));
  EXPECT_EQ(row_of(matrix, 3), (Row{}));
  EXPECT_EQ(row_of(matrix, 4), (Row{{0}, {7}}));
  EXPECT_EQ(std::vector<std::uint64_t>(matrix.indptr.begin(), matrix.indptr.end()),
            (std::vector<std::uint64_t>{0, 5, 6, 6, 6, 7}));
}

TEST(CountVectorizerTransformTest, EmptyBatchesAndVocabularies) {
  const CountVectorizer fitted = fit(two_document_corpus(), params_of(1.0f, 1.0f));
  const CsrMatrix no_rows = transform(fitted, {});
  EXPECT_EQ(no_rows.rows, 0u);
  EXPECT_EQ(no_rows.cols, 5u);
  EXPECT_EQ(std::vector<std::uint64_t>(no_rows.indptr.begin(), no_rows.indptr.end()), std::vector<std::uint64_t>{0});

  const CountVectorizer empty = fit(two_document_corpus(), params_of(3.0f, 1.0f));
  const CsrMatrix no_columns = transform(empty, two_document_corpus());
  EXPECT_EQ(no_columns.rows, 2u);
  EXPECT_EQ(no_columns.cols, 0u);
  EXPECT_EQ(no_columns.nnz(), 0u);
}

// Row by row, each document alone, is the sequential path at its simplest.
CsrMatrix transform_one_by_one(const CountVectorizer& vectorizer, const Vec<TokenSequence>& corpus) {
  CsrMatrix stacked{corpus.size(), vectorizer.vocab_size(), {0}, {}, {}};
  for (const TokenSequence& sequence : corpus) {
    const CsrMatrix single = transform(vectorizer, {sequence});
    stacked.indices.insert(stacked.indices.end(), single.indices.begin(), single.indices.end());
    stacked.data.insert(stacked.data.end(), single.data.begin(), single.data.end());
    stacked.indptr.push_back(stacked.indices.size());
  }
  return stacked;
}

TEST(CountVectorizerTransformTest, SequentialAndParallelPathsAgree) {
  const Vec<TokenSequence> corpus = testing::random_corpus(2500, 30, 10, 11);
  const CountVectorizer vectorizer = fit(corpus, params_of(2.0f, 1.0f));
  const Vec<NgramCounts> counts = counts_of(corpus, vectorizer.params);

  const CsrMatrix parallel = transform(vectorizer, corpus);
  EXPECT_EQ(parallel, transform_one_by_one(vectorizer, corpus));
  EXPECT_EQ(*vectorizer.transform_from_tokenized(corpus, std::span<const NgramCounts>(counts)), parallel);

  // 999 documents stay on the calling thread, 1000 go to the pool.
  const Vec<TokenSequence> first_999(corpus.begin(), corpus.begin() + 999);
  const Vec<TokenSequence> first_1000(corpus.begin(), corpus.begin() + 1000);
  const CsrMatrix sequential = transform(vectorizer, first_999);
  const CsrMatrix pooled = transform(vectorizer, first_1000);
  EXPECT_EQ(sequential, transform_one_by_one(vectorizer, first_999));
  EXPECT_EQ(pooled, transform_one_by_one(vectorizer, first_1000));
  const Vec<NgramCounts> counts_999(counts.begin(), counts.begin() + 999);
  EXPECT_EQ(*vectorizer.transform_from_tokenized(first_999, std::span<const NgramCounts>(counts_999)), sequential);

  tbb::global_control one_thread(tbb::global_control::max_allowed_parallelism, 1);
  EXPECT_EQ(transform(vectorizer, corpus), parallel);
}

TEST(CountVectorizerTransformTest, ParallelPathReportsItsEntries) {
  const Vec<TokenSequence> corpus = testing::random_corpus(2500, 30, 10, 3);
  const CountVectorizer vectorizer = fit(corpus, params_of(2.0f, 1.0f));
  {
    testing::LogCapture capture;
    const CsrMatrix matrix = transform(vectorizer, corpus);
    const auto span = capture.named("transform_from_tokenized");
    ASSERT_EQ(span.size(), 1u);
    EXPECT_EQ(span[0].field("num_texts"), "2500");
    EXPECT_EQ(span[0].field("vocab_size"), std::to_string(vectorizer.vocab_size()));
    EXPECT_EQ(span[0].field("has_precomputed"), "false");
    const auto complete = capture.named("Parallel sparse transform complete");
    ASSERT_EQ(complete.size(), 1u);
    EXPECT_EQ(complete[0].field("non_zero_entries"), std::to_string(matrix.nnz()));
    EXPECT_EQ(complete[0].field("avg_nnz_per_doc"), std::to_string(matrix.nnz() / 2500));
  }
  {
    testing::LogCapture capture;
    (void)transform(vectorizer, Vec<TokenSequence>(corpus.begin(), corpus.begin() + 10));
    EXPECT_EQ(capture.named("transform_from_tokenized").size(), 1u);
    EXPECT_TRUE(capture.named("Parallel sparse transform complete").empty());
  }
}

TEST(CountVectorizerTransformTest, LoadedVocabularyWithAColumnBeyondItsSizeIsRefused) {
  CountVectorizer loaded{params_of(1.0f, 1.0f), {}};
  loaded.vocab.emplace(key_of({1, 2}), 7);  // one entry, but column 7
  const Result<CsrMatrix> matrix = loaded.transform_from_tokenized(Vec<TokenSequence>{tokens({1, 2})});
  ASSERT_FALSE(matrix.ok());
  EXPECT_EQ(matrix.error().message, "Invalid CSR matrix: column index out of range");
}

TEST(CountVectorizerTransformTest, LoadedVocabularyWithRepeatedColumnsSumsThem) {
  CountVectorizer loaded{params_of(1.0f, 1.0f), {}};
  loaded.vocab.emplace(key_of({1, 2}), 0);
  loaded.vocab.emplace(key_of({2, 3}), 0);
  const CsrMatrix matrix = transform(loaded, {tokens({1, 2, 3})});
  EXPECT_EQ(row_of(matrix, 0), (Row{{0}, {2}}));
}

// ---- decoded view ----

TEST(CountVectorizerDecodeTest, KeysSpellingNoTokenShareTheEmptyText) {
  CountVectorizer vectorizer{params_of(1.0f, 1.0f), {}};
  vectorizer.vocab.emplace(key_of({0, 7}), 0);
  vectorizer.vocab.emplace(key_of({0, 9}), 1);
  testing::LogCapture capture;
  for (int call = 0; call < 2; ++call) {
    const DecodedVocabulary decoded = vectorizer.decoded_vocabulary();
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded.begin()->first, "");
    EXPECT_EQ(decoded.begin()->second, 1u);  // the larger column, whatever the map order
  }
  const auto events = capture.named("Decoding vocabulary for the first time (will be cached)");
  ASSERT_EQ(events.size(), 2u);  // every call logs it
  EXPECT_EQ(events[1].field("vocab_size"), "2");
  EXPECT_EQ(events[1].level, log::Level::Debug);
}

}  // namespace
}  // namespace pre_processor
