// Extraction of the n-grams of one document's token sequence.
//
// For a size n and a sequence of length L the windows are tokens[s .. s+n] for
// s = 0 .. L - n; a size is skipped when it is 0 or longer than the sequence.
// Both operations are pure and lock-free: they may run at once on any number of
// threads for different documents.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <utility>

#include <absl/container/flat_hash_map.h>
#include <absl/container/flat_hash_set.h>

#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_key.h"
#include "pre_processor/tokenizer/tokenizer.h"

namespace pre_processor {

// Per-document map from key to the number of windows that produced it.
using NgramCounts = absl::flat_hash_map<NgramKey, std::uint64_t, NgramKeyHash, std::equal_to<NgramKey>,
                                        Allocator<std::pair<const NgramKey, std::uint64_t>>>;

// The distinct keys of one document.
using NgramSet = absl::flat_hash_set<NgramKey, NgramKeyHash, std::equal_to<NgramKey>, Allocator<NgramKey>>;

namespace ngrams {

inline constexpr std::string_view kLogTarget = "ordwen_preprocessing::pre_processor::ngrams";

// Counts every window of every size, sizes in list order and starts ascending.
NgramCounts count_ngrams(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes);

// The set of keys of every window of every size.
NgramSet unique_ngrams(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes);

// The number of windows of all sizes that fit a sequence of `num_tokens` tokens.
std::uint64_t window_count(std::uint64_t num_tokens, std::span<const std::uint64_t> ngram_sizes);

// Room reserved by count_ngrams: the window count scaled by a length-dependent
// factor (long documents repeat many n-grams), at least kMinReservedSlots.
std::uint64_t count_map_capacity(std::uint64_t num_tokens, std::uint64_t windows);

// Room reserved by unique_ngrams: half the windows, at least kMinReservedSlots.
std::uint64_t unique_set_capacity(std::uint64_t windows);

inline constexpr std::uint64_t kMinReservedSlots = 16;

}  // namespace ngrams
}  // namespace pre_processor
