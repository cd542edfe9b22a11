// Settings of a TF-IDF vectorizer, and how its document-frequency bounds turn
// into document counts.
//
// `min_df` is a proportion of the corpus when below 1.0 and an absolute
// document count otherwise; `max_df` is a proportion when at most 1.0 and an
// absolute count otherwise. All threshold arithmetic is single precision, so a
// rounded product can lie just above the exact one and move a threshold up by
// one (100 documents at 0.15 give 16).
#pragma once

#include <cstdint>
#include <string_view>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"

namespace pre_processor {

inline constexpr std::string_view kMinDfNotPositiveMessage =
    "min_df must be positive (proportion in (0.0, 1.0) or absolute count >= 1.0)";
inline constexpr std::string_view kMaxDfNotPositiveMessage =
    "max_df must be positive (proportion in (0.0, 1.0] or absolute count > 1.0)";
inline constexpr std::string_view kEmptyNgramRangeMessage = "ngram_range is not empty";

inline constexpr std::string_view kProportionInterpretation = "proportion";
inline constexpr std::string_view kAbsoluteInterpretation = "absolute";

// The n-gram sizes of every vectorizer made from Python.
inline constexpr std::uint64_t kDefaultNgramSizes[] = {2, 3, 4};

// First and last element of `ngram_range`, as the Python params class shows them.
struct NgramRangeBounds {
  std::uint64_t first;
  std::uint64_t last;
};

// A plain value: fitted models store exactly these fields, in this order.
struct VectorizerParams {
  Vec<std::uint64_t> ngram_range;  // every n-gram size to extract, ascending
  float min_df = 1.0f;
  float max_df = 1.0f;
  bool sublinear_tf = false;

  // Checks that both bounds are > 0 (a NaN is not), min_df first, and sets the
  // sizes 2, 3, 4. Nothing else is checked.
  static Result<VectorizerParams> create(float min_df, float max_df, bool sublinear_tf);

  // The last size of `ngram_range`; refused when the list is empty (only a
  // loaded model can carry an empty list).
  Result<std::uint64_t> largest_ngram_size() const;
  Result<NgramRangeBounds> ngram_range_bounds() const;

  // The inclusive document-count bounds for a corpus of `num_docs` documents.
  std::uint64_t min_df_threshold(std::uint64_t num_docs) const;
  std::uint64_t max_df_threshold(std::uint64_t num_docs) const;

  // "proportion" or "absolute"; only logged.
  std::string_view min_df_interpretation() const;
  std::string_view max_df_interpretation() const;

  friend bool operator==(const VectorizerParams&, const VectorizerParams&) = default;
};

namespace vectorizer {

bool min_df_is_proportion(float min_df);
bool max_df_is_proportion(float max_df);

// A bound taken as a proportion: ceil(float(num_docs) * bound), in single precision.
float proportion_of_documents(float bound, std::uint64_t num_docs);

std::uint64_t min_df_threshold(float min_df, std::uint64_t num_docs);
std::uint64_t max_df_threshold(float max_df, std::uint64_t num_docs);

// Whether a document frequency lies within the inclusive bounds.
inline bool passes_df_filter(std::uint64_t document_frequency, std::uint64_t min_threshold,
                             std::uint64_t max_threshold) {
  return min_threshold <= document_frequency && document_frequency <= max_threshold;
}

}  // namespace vectorizer
}  // namespace pre_processor
