#include "pre_processor/ngrams/ngram_extraction.h"

#include <algorithm>
#include "pre_processor/common/logging.h"
#include "pre_processor/common/saturating_cast.h"

namespace pre_processor::ngrams {
namespace {

// Fractions of the window count reserved by count_ngrams, by document length.
constexpr std::uint64_t kShortDocumentTokens = 100;
constexpr std::uint64_t kLongDocumentTokens = 1000;
constexpr float kShortDocumentFactor = 0.6f;
constexpr float kMediumDocumentFactor = 0.4f;
constexpr float kLongDocumentFactor = 0.25f;

bool size_fits(std::uint64_t size, std::size_t num_tokens) { return size >= 1 && size <= num_tokens; }

// Calls visit(key) for every window, sizes in list order, starts ascending.
template <class Visit>
void for_each_window_key(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes,
                         Visit&& visit) {
  for (std::uint64_t size : ngram_sizes) {
    if (!size_fits(size, tokens.size())) continue;
    const std::size_t n = static_cast<std::size_t>(size);
    for (std::size_t start = 0; start + n <= tokens.size(); ++start) {
      visit(NgramKey::from_window(tokens.subspan(start, n)));
    }
  }
}

}  // namespace

std::uint64_t window_count(std::uint64_t num_tokens, std::span<const std::uint64_t> ngram_sizes) {
  std::uint64_t windows = 0;
  for (std::uint64_t size : ngram_sizes) {
    if (size >= 1 && size <= num_tokens) windows += num_tokens - size + 1;
  }
  return windows;
}

std::uint64_t count_map_capacity(std::uint64_t num_tokens, std::uint64_t windows) {
  const float factor = num_tokens < kShortDocumentTokens  ? kShortDocumentFactor
                       : num_tokens < kLongDocumentTokens ? kMediumDocumentFactor
                                                          : kLongDocumentFactor;
  const std::uint64_t capacity = saturating_to_u64(static_cast<float>(windows) * factor);
  return capacity < kMinReservedSlots + 1 ? kMinReservedSlots : capacity;
}

std::uint64_t unique_set_capacity(std::uint64_t windows) { return std::max(windows / 2, kMinReservedSlots); }

NgramCounts count_ngrams(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes) {
  PP_LOG_SPAN(log::Level::Trace, kLogTarget, "count_ngrams", log::field("num_tokens", tokens.size()),
              log::field("ngram_sizes", ngram_sizes));
  NgramCounts counts;
  if (tokens.empty() || ngram_sizes.empty()) return counts;
  if (tokens.size() < *std::min_element(ngram_sizes.begin(), ngram_sizes.end())) return counts;

  counts.reserve(count_map_capacity(tokens.size(), window_count(tokens.size(), ngram_sizes)));
  for_each_window_key(tokens, ngram_sizes, [&](NgramKey key) { ++counts[key]; });
  return counts;
}

NgramSet unique_ngrams(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes) {
  PP_LOG_SPAN(log::Level::Trace, kLogTarget, "unique_ngrams", log::field("num_tokens", tokens.size()),
              log::field("ngram_sizes", ngram_sizes));
  NgramSet keys;
  keys.reserve(unique_set_capacity(window_count(tokens.size(), ngram_sizes)));
  for_each_window_key(tokens, ngram_sizes, [&](NgramKey key) { keys.insert(key); });
  return keys;
}

}  // namespace pre_processor::ngrams
