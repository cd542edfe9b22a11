#include "pre_processor/vectorizer/params.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace pre_processor {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr std::uint64_t kMaxU64 = std::numeric_limits<std::uint64_t>::max();

TEST(VectorizerParamsTest, CreateRefusesBoundsThatAreNotPositive) {
  const std::string min_message = "min_df must be positive (proportion in (0.0, 1.0) or absolute count >= 1.0)";
  const std::string max_message = "max_df must be positive (proportion in (0.0, 1.0] or absolute count > 1.0)";
  struct Case {
    float min_df;
    float max_df;
    std::string expected;
  };
  const Case cases[] = {
      {0.0f, 1.0f, min_message},  {-0.0f, 1.0f, min_message}, {-1.0f, 1.0f, min_message},
      {kNaN, 1.0f, min_message},  {-kInf, 1.0f, min_message}, {1.0f, -1.0f, max_message},
      {1.0f, 0.0f, max_message},  {1.0f, kNaN, max_message},  {0.0f, 0.0f, min_message},  // min_df first
  };
  for (const Case& c : cases) {
    const Result<VectorizerParams> params = VectorizerParams::create(c.min_df, c.max_df, false);
    ASSERT_FALSE(params.ok()) << c.min_df << " " << c.max_df;
    EXPECT_EQ(params.error().message, c.expected);
    EXPECT_EQ(params.error().kind, ErrorKind::InvalidArgument);
  }
}

TEST(VectorizerParamsTest, CreateStoresTheBoundsAndSizesTwoToFour) {
  // Nothing but positivity is checked: min_df above max_df is accepted.
  const Result<VectorizerParams> params = VectorizerParams::create(3.0f, 2.0f, true);
  ASSERT_TRUE(params.ok());
  EXPECT_EQ(std::vector<std::uint64_t>(params->ngram_range.begin(), params->ngram_range.end()),
            (std::vector<std::uint64_t>{2, 3, 4}));
  EXPECT_EQ(params->min_df, 3.0f);
  EXPECT_EQ(params->max_df, 2.0f);
  EXPECT_TRUE(params->sublinear_tf);
  EXPECT_EQ(*params->largest_ngram_size(), 4u);

  const Result<VectorizerParams> tiny = VectorizerParams::create(1e-30f, kInf, false);
  EXPECT_TRUE(tiny.ok());
}

TEST(VectorizerParamsTest, NgramRangeQueriesRefuseAnEmptyList) {
  VectorizerParams loaded;
  loaded.ngram_range = {1, 2, 3};
  EXPECT_EQ(*loaded.largest_ngram_size(), 3u);
  EXPECT_EQ(loaded.ngram_range_bounds()->first, 1u);
  EXPECT_EQ(loaded.ngram_range_bounds()->last, 3u);

  loaded.ngram_range.clear();
  ASSERT_FALSE(loaded.largest_ngram_size().ok());
  EXPECT_EQ(loaded.largest_ngram_size().error().message, "ngram_range is not empty");
  ASSERT_FALSE(loaded.ngram_range_bounds().ok());
  EXPECT_EQ(loaded.ngram_range_bounds().error().message, "ngram_range is not empty");
}

TEST(VectorizerParamsTest, ThresholdsInSinglePrecisionRoundingUpAndSaturating) {
  enum Bound { Min, Max };
  struct Case {
    Bound bound;
    float value;
    std::uint64_t num_docs;
    std::uint64_t expected;
  };
  const Case cases[] = {
      {Min, 0.5f, 3, 2},     // 1.5 rounded up
      {Max, 0.5f, 3, 2},
      {Min, 0.15f, 100, 16},  // the single-precision product lies just above 15
      {Min, 1.0f, 100, 1},    // absolute
      {Min, 2.7f, 100, 2},    // absolute, truncated
      {Max, 1.0f, 10, 10},    // proportion 100 %
      {Max, 1.5f, 10, 1},     // absolute, truncated
      {Max, 2.0f, 10, 2},
      {Min, 0.5f, 0, 0},      // no documents: every proportion gives 0
      {Max, 0.9f, 0, 0},
      {Max, 1.0f, 0, 0},
      {Min, 0.001f, 1, 1},
      {Min, 1e30f, 5, kMaxU64},  // saturates
      {Max, kInf, 5, kMaxU64},
      {Min, kNaN, 5, 0},         // only a loaded model can hold these
      {Max, -1.0f, 5, 0},
      {Max, kNaN, 5, 0},
      // 2^64 documents round up in single precision; the product saturates.
      {Max, 1.0f, kMaxU64, kMaxU64},
  };
  for (const Case& c : cases) {
    VectorizerParams params;
    params.ngram_range = {2, 3, 4};
    (c.bound == Min ? params.min_df : params.max_df) = c.value;
    const std::uint64_t threshold =
        c.bound == Min ? params.min_df_threshold(c.num_docs) : params.max_df_threshold(c.num_docs);
    EXPECT_EQ(threshold, c.expected) << (c.bound == Min ? "min_df " : "max_df ") << c.value << " over "
                                     << c.num_docs << " documents";
  }
}

TEST(VectorizerParamsTest, InterpretationsSplitAtOne) {
  struct Case {
    float min_df;
    float max_df;
    std::string_view min_expected;
    std::string_view max_expected;
  };
  const Case cases[] = {
      {1.0f, 1.0f, "absolute", "proportion"},
      {0.99f, 1.01f, "proportion", "absolute"},
      {2.0f, 0.5f, "absolute", "proportion"},
  };
  for (const Case& c : cases) {
    VectorizerParams params;
    params.min_df = c.min_df;
    params.max_df = c.max_df;
    EXPECT_EQ(params.min_df_interpretation(), c.min_expected) << c.min_df;
    EXPECT_EQ(params.max_df_interpretation(), c.max_expected) << c.max_df;
  }
}

}  // namespace
}  // namespace pre_processor
