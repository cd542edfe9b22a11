#include "pre_processor/vectorizer/tfidf_vectorizer.h"

#include <cmath>
#include <map>
#include <tuple>
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


TfidfFit fit_transform(const Vec<TokenSequence>& corpus, const VectorizerParams& params) {
  Result<TfidfFit> fitted = TfidfVectorizer::fit_transform_tokenized(corpus, params);
  EXPECT_TRUE(fitted.ok()) << (fitted.ok() ? "" : fitted.error().message);
  return std::move(fitted).value();
}

CsrMatrix vectorize(const TfidfVectorizer& model, const Vec<TokenSequence>& corpus) {
  Result<CsrMatrix> matrix = vectorize_from_tokens(model, corpus);
  EXPECT_TRUE(matrix.ok()) << (matrix.ok() ? "" : matrix.error().message);
  return std::move(matrix).value();
}

// A model with keys (1, 2), (2, 3), (3, 4) as columns 0, 1, 2.
TfidfVectorizer hand_made_model(Vec<float> idf, bool sublinear_tf = false) {
  TfidfVectorizer model{{params_of(1.0f, 1.0f, sublinear_tf), {}}, std::move(idf)};
  model.count_vectorizer.vocab.emplace(key_of({1, 2}), 0);
  model.count_vectorizer.vocab.emplace(key_of({2, 3}), 1);
  model.count_vectorizer.vocab.emplace(key_of({3, 4}), 2);
  return model;
}

CsrMatrix counts_matrix(std::uint64_t cols, std::vector<std::vector<std::pair<std::uint64_t, float>>> rows) {
  Vec<std::uint64_t> indptr{0};
  Vec<std::uint64_t> indices;
  Vec<float> data;
  for (const auto& row : rows) {
    for (const auto& [column, value] : row) {
      indices.push_back(column);
      data.push_back(value);
    }
    indptr.push_back(indices.size());
  }
  Result<CsrMatrix> matrix = CsrMatrix::from_parts(rows.size(), cols, indptr, indices, data);
  EXPECT_TRUE(matrix.ok());
  return std::move(matrix).value();
}

std::vector<float> values(const CsrMatrix& matrix) { return {matrix.data.begin(), matrix.data.end()}; }

TEST(TfidfIdfTest, WorkedExamples) {
  EXPECT_EQ(idf_weight(2, 2), 1.0f);
  EXPECT_EQ(idf_weight(2, 1), 1.4054651f);
  EXPECT_EQ(idf_weight(4, 1), 1.9162908f);
  EXPECT_EQ(idf_weight(0, 0), 1.0f);

  // 1 2 / 1 2 1 2: (1, 2), column 1, is in both documents.
  const TfidfFit fitted = fit_transform({tokens({1, 2}), tokens({1, 2, 1, 2})}, params_of(1.0f, 1.0f));
  EXPECT_EQ(std::vector<float>(fitted.model.idf.begin(), fitted.model.idf.end()),
            (std::vector<float>{1.4054651f, 1.0f, 1.4054651f, 1.4054651f, 1.4054651f}));
  EXPECT_EQ(fitted.model.num_features(), 5u);
  // The first document holds only (1, 2): a single entry becomes 1.0.
  EXPECT_EQ(fitted.matrix.indptr[1], 1u);
  EXPECT_EQ(fitted.matrix.data[0], 1.0f);
}

TEST(TfidfWeightingTest, NormalisesRowsAndLeavesEmptyRowsAlone) {
  const TfidfVectorizer model = hand_made_model({1.5f, 1.5f, 2.0f});
  const CsrMatrix counts = counts_matrix(3, {{{0, 5.0f}}, {}, {{0, 3.0f}, {1, 3.0f}}, {}});
  const Result<CsrMatrix> weighted = apply_tfidf_transform(model, counts);
  ASSERT_TRUE(weighted.ok());
  EXPECT_EQ(values(*weighted), (std::vector<float>{1.0f, 0.70710677f, 0.70710677f}));
  EXPECT_EQ(weighted->indptr, counts.indptr);
  EXPECT_EQ(weighted->indices, counts.indices);
  EXPECT_EQ(weighted->rows, 4u);
  EXPECT_EQ(weighted->cols, 3u);
}

TEST(TfidfWeightingTest, SublinearTfReplacesCountsByOnePlusTheirLog) {
  const CsrMatrix counts = counts_matrix(3, {{{0, 1.0f}, {1, 2.0f}}});
  for (bool sublinear_tf : {false, true}) {
    const Result<CsrMatrix> weighted = apply_tfidf_transform(hand_made_model({1.0f, 1.0f, 1.0f}, sublinear_tf), counts);
    ASSERT_TRUE(weighted.ok());
    const double ratio = static_cast<double>(weighted->data[1]) / weighted->data[0];
    EXPECT_NEAR(ratio, sublinear_tf ? 1.6931472 : 2.0, 1e-6) << sublinear_tf;
  }
}

TEST(TfidfWeightingTest, IdfShorterThanTheStoredColumnsIsRefused) {
  const TfidfVectorizer loaded = hand_made_model({1.0f, 2.0f});  // three columns, two weights
  const Result<CsrMatrix> refused = apply_tfidf_transform(loaded, counts_matrix(3, {{{0, 1.0f}}, {{2, 1.0f}}}));
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, "IDF vector has no weight for column 2 (idf length 2, vocabulary size 3)");

  const Result<CsrMatrix> refused_flow = vectorize_from_tokens(loaded, Vec<TokenSequence>{tokens({3, 4})});
  EXPECT_FALSE(refused_flow.ok());

  // Only stored entries need a weight.
  EXPECT_TRUE(vectorize_from_tokens(loaded, Vec<TokenSequence>{tokens({1, 2, 3})}).ok());
}

TEST(TfidfFlowTest, TransformOfTheFittedCorpusEqualsFitTransform) {
  const Vec<TokenSequence> corpus = testing::random_corpus(300, 20, 8, 5);
  for (bool sublinear_tf : {false, true}) {
    const TfidfFit fitted = fit_transform(corpus, params_of(2.0f, 0.8f, sublinear_tf));
    EXPECT_EQ(vectorize(fitted.model, corpus), fitted.matrix);
  }
}

TEST(TfidfFlowTest, UnknownNgramsGiveEmptyRowsAndEmptyCorporaEmptyModels) {
  const TfidfFit fitted = fit_transform({tokens({1, 2}), tokens({1, 2, 1, 2})}, params_of(1.0f, 1.0f));
  const CsrMatrix unknown = vectorize(fitted.model, {tokens({7, 8, 9}), tokens({}), tokens({5})});
  EXPECT_EQ(unknown.rows, 3u);
  EXPECT_EQ(unknown.cols, 5u);
  EXPECT_EQ(unknown.nnz(), 0u);

  const TfidfFit empty = fit_transform({}, params_of(1.0f, 1.0f));
  EXPECT_EQ(empty.model.num_features(), 0u);
  EXPECT_TRUE(empty.model.idf.empty());
  EXPECT_EQ(empty.matrix.rows, 0u);
  EXPECT_EQ(empty.matrix.cols, 0u);
  EXPECT_EQ(std::vector<std::uint64_t>(empty.matrix.indptr.begin(), empty.matrix.indptr.end()),
            std::vector<std::uint64_t>{0});
}

TEST(TfidfFlowTest, ResultsDoNotDependOnTheThreadCount) {
  const Vec<TokenSequence> corpus = testing::random_corpus(2500, 40, 20, 9);
  const TfidfFit pooled = fit_transform(corpus, params_of(0.002f, 0.9f, true));
  ASSERT_GT(pooled.model.num_features(), 100u);

  tbb::global_control one_thread(tbb::global_control::max_allowed_parallelism, 1);
  const TfidfFit single = fit_transform(corpus, params_of(0.002f, 0.9f, true));
  EXPECT_EQ(single.model, pooled.model);
  EXPECT_EQ(single.matrix, pooled.matrix);
}

// ---- an independent reference, in double precision ----

using Lanes = std::array<std::uint32_t, 4>;

// Key order: the last lane weighs most.
bool reference_less(const Lanes& a, const Lanes& b) {
  return std::tie(a[3], a[2], a[1], a[0]) < std::tie(b[3], b[2], b[1], b[0]);
}

std::map<Lanes, int> reference_counts(const TokenSequence& sequence) {
  std::map<Lanes, int> counts;
  for (std::size_t n = 2; n <= 4; ++n) {
    for (std::size_t s = 0; s + n <= sequence.size(); ++s) {
      Lanes lanes{};
      for (std::size_t i = 0; i < n; ++i) lanes[i] = sequence[s + i];
      ++counts[lanes];
    }
  }
  return counts;
}

TEST(TfidfFlowTest, MatchesAReferenceComputedInDoublePrecision) {
  const Vec<TokenSequence> corpus = testing::random_corpus(400, 25, 6, 21);
  const double n_docs = static_cast<double>(corpus.size());
  std::vector<std::map<Lanes, int>> documents;
  std::map<Lanes, int> document_frequency;
  for (const TokenSequence& sequence : corpus) {
    documents.push_back(reference_counts(sequence));
    for (const auto& entry : documents.back()) ++document_frequency[entry.first];
  }
  // min_df 2 (absolute), max_df 0.5 of 400 = 200.
  std::vector<Lanes> columns;
  for (const auto& [lanes, frequency] : document_frequency) {
    if (frequency >= 2 && frequency <= 200) columns.push_back(lanes);
  }
  std::sort(columns.begin(), columns.end(), reference_less);
  ASSERT_GT(columns.size(), 50u);
  ASSERT_LT(columns.size(), document_frequency.size());

  for (bool sublinear_tf : {false, true}) {
    const TfidfFit fitted = fit_transform(corpus, params_of(2.0f, 0.5f, sublinear_tf));
    const TfidfVectorizer& model = fitted.model;
    ASSERT_EQ(model.num_features(), columns.size());
    for (std::size_t column = 0; column < columns.size(); ++column) {
      const VocabularyEntry* found = model.count_vectorizer.vocab.find(NgramKey::from_lanes(columns[column]));
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->column, column);
      const double idf = std::log((n_docs + 1) / (document_frequency[columns[column]] + 1)) + 1;
      EXPECT_NEAR(model.idf[column], idf, 1e-6);
    }

    const CsrMatrix& matrix = fitted.matrix;
    ASSERT_EQ(matrix.rows, corpus.size());
    for (std::size_t row = 0; row < corpus.size(); ++row) {
      std::vector<std::pair<std::uint64_t, double>> expected;
      double sum_of_squares = 0;
      for (std::size_t column = 0; column < columns.size(); ++column) {
        const auto count = documents[row].find(columns[column]);
        if (count == documents[row].end()) continue;
        const double tf = sublinear_tf ? std::log(count->second) + 1 : count->second;
        const double weight = tf * (std::log((n_docs + 1) / (document_frequency[columns[column]] + 1)) + 1);
        expected.emplace_back(column, weight);
        sum_of_squares += weight * weight;
      }
      ASSERT_EQ(matrix.indptr[row + 1] - matrix.indptr[row], expected.size()) << "row " << row;
      double norm_of_row = 0;
      for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::size_t entry = matrix.indptr[row] + i;
        EXPECT_EQ(matrix.indices[entry], expected[i].first);
        EXPECT_NEAR(matrix.data[entry], expected[i].second / std::sqrt(sum_of_squares), 2e-6);
        norm_of_row += static_cast<double>(matrix.data[entry]) * matrix.data[entry];
      }
      if (!expected.empty()) EXPECT_NEAR(norm_of_row, 1.0, 1e-6);
    }
  }
}

TEST(TfidfFlowTest, LogsIdfAndWeightingSpans) {
  testing::LogCapture capture;
  (void)fit_transform({tokens({1, 2}), tokens({1, 2, 1, 2})}, params_of(1.0f, 1.0f));

  const auto idf_span = capture.named("fit_from_tf_matrix");
  ASSERT_EQ(idf_span.size(), 1u);
  EXPECT_EQ(idf_span[0].target, kTarget);
  EXPECT_EQ(idf_span[0].kind, log::RecordKind::Span);
  EXPECT_EQ(idf_span[0].field("n_docs"), "2");
  EXPECT_EQ(idf_span[0].field("num_features"), "5");
  const auto weighting = capture.named("apply_tfidf_transform");
  ASSERT_EQ(weighting.size(), 1u);
  EXPECT_EQ(weighting[0].field("matrix_shape"), "(2, 5)");
  EXPECT_EQ(weighting[0].field("nnz"), "6");
  for (const char* event : {"Calculating IDF values from TF matrix", "IDF calculation complete",
                            "Applying TF-IDF transformation", "Computing n-grams for all documents",
                            "Fitting vectorizer from cached n-grams", "Transforming using cached n-grams",
                            "fit_transform complete with single n-gram computation"}) {
    const auto found = capture.named(event);
    ASSERT_EQ(found.size(), 1u) << event;
    EXPECT_EQ(found[0].level, log::Level::Debug) << event;
    EXPECT_EQ(found[0].kind, log::RecordKind::Event) << event;
  }
}

}  // namespace
}  // namespace pre_processor
