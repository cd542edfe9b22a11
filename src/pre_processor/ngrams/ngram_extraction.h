// Extraction of the n-grams of one document's token sequence.
//
// For a size n and a sequence of length L the windows are tokens[s .. s+n] for
// s = 0 .. L - n; a size is skipped when it is 0 or longer than the sequence.
// Both operations are pure and lock-free: they may run at once on any number of
// threads for different documents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>

#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_key.h"
#include "pre_processor/tokenizer/tokenizer.h"

namespace pre_processor {

// One document's n-grams: each distinct key once, with the number of windows
// that produced it, in the order in which the keys first occur (sizes in list
// order, starts ascending). A flat list rather than a hash map: it is a third
// of the size, and every consumer walks it from start to end.
using NgramCounts = Vec<std::pair<NgramKey, std::uint64_t>>;

// The distinct keys of one document, in the order in which they first occur.
using NgramSet = Vec<NgramKey>;

namespace ngrams {

inline constexpr std::string_view kLogTarget = "ordwen_preprocessing::pre_processor::ngrams";

// Counts every window of every size, sizes in list order and starts ascending.
NgramCounts count_ngrams(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes);

// The distinct keys of every window of every size.
NgramSet unique_ngrams(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes);

// The number of windows of all sizes that fit a sequence of `num_tokens` tokens.
std::uint64_t window_count(std::uint64_t num_tokens, std::span<const std::uint64_t> ngram_sizes);

// Counts the windows of one document at a time in an open-addressing table that
// is kept from one document to the next: a pass over many documents allocates
// its scratch memory once instead of building and freeing a hash map per
// document. count() and unique() give what count_ngrams and unique_ngrams give.
// One instance per thread; it is not safe to share.
class NgramCounter {
 public:
  NgramCounts count(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes);
  NgramSet unique(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes);

 private:
  struct Slot {
    NgramKey key;
    std::uint64_t count = 0;  // 0 marks an empty slot
  };

  // Fills the table with the document's windows; the distinct keys are then
  // the slots listed in used_, in order of first occurrence.
  void tally(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes);
  void prepare(std::uint64_t windows);
  void add(NgramKey key);
  void grow();
  // Empties the slots of the last document; the table is left all empty.
  void clear_used();

  Vec<Slot> slots_;
  Vec<std::size_t> used_;
  std::size_t mask_ = 0;
  NgramKeyHash hash_;
};

}  // namespace ngrams
}  // namespace pre_processor
