#include "pre_processor/vectorizer/params.h"

#include <cmath>
#include <string>

#include "pre_processor/common/saturating_cast.h"

namespace pre_processor {
namespace vectorizer {
namespace {

Error invalid_argument(std::string_view message) {
  return Error{ErrorKind::InvalidArgument, std::string(message)};
}

}  // namespace

bool min_df_is_proportion(float min_df) { return min_df < 1.0f; }
bool max_df_is_proportion(float max_df) { return max_df <= 1.0f; }

float proportion_of_documents(float bound, std::uint64_t num_docs) {
  const float product = static_cast<float>(num_docs) * bound;
  return std::ceil(product);
}

std::uint64_t min_df_threshold(float min_df, std::uint64_t num_docs) {
  return saturating_to_u64(min_df_is_proportion(min_df) ? proportion_of_documents(min_df, num_docs) : min_df);
}

std::uint64_t max_df_threshold(float max_df, std::uint64_t num_docs) {
  return saturating_to_u64(max_df_is_proportion(max_df) ? proportion_of_documents(max_df, num_docs) : max_df);
}

}  // namespace vectorizer

Result<VectorizerParams> VectorizerParams::create(float min_df, float max_df, bool sublinear_tf) {
  if (!(min_df > 0.0f)) return vectorizer::invalid_argument(kMinDfNotPositiveMessage);
  if (!(max_df > 0.0f)) return vectorizer::invalid_argument(kMaxDfNotPositiveMessage);
  VectorizerParams params;
  params.ngram_range.assign(std::begin(kDefaultNgramSizes), std::end(kDefaultNgramSizes));
  params.min_df = min_df;
  params.max_df = max_df;
  params.sublinear_tf = sublinear_tf;
  return params;
}

Result<std::uint64_t> VectorizerParams::largest_ngram_size() const {
  if (ngram_range.empty()) return Error{ErrorKind::InvalidState, std::string(kEmptyNgramRangeMessage)};
  return ngram_range.back();
}

Result<NgramRangeBounds> VectorizerParams::ngram_range_bounds() const {
  if (ngram_range.empty()) return Error{ErrorKind::InvalidState, std::string(kEmptyNgramRangeMessage)};
  return NgramRangeBounds{ngram_range.front(), ngram_range.back()};
}

std::uint64_t VectorizerParams::min_df_threshold(std::uint64_t num_docs) const {
  return vectorizer::min_df_threshold(min_df, num_docs);
}

std::uint64_t VectorizerParams::max_df_threshold(std::uint64_t num_docs) const {
  return vectorizer::max_df_threshold(max_df, num_docs);
}

std::string_view VectorizerParams::min_df_interpretation() const {
  return vectorizer::min_df_is_proportion(min_df) ? kProportionInterpretation : kAbsoluteInterpretation;
}

std::string_view VectorizerParams::max_df_interpretation() const {
  return vectorizer::max_df_is_proportion(max_df) ? kProportionInterpretation : kAbsoluteInterpretation;
}

}  // namespace pre_processor
