// A read-only index from vocabulary key to column for counting large batches.
//
// The vocabulary's own map answers one look-up at a time: a prefetch can fetch
// a key's control bytes but not the slot that holds it, so every hit waits for
// a cache miss. This index is a plain open-addressing table kept at most half
// full, where a key almost always sits in the slot its hash names, so a caller
// that knows its next keys can prefetch exactly the memory each look-up will
// read and the misses of many look-ups overlap. Building it costs one pass over
// the vocabulary, which pays off once a batch looks up more keys than the
// vocabulary holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_key.h"
#include "pre_processor/vectorizer/count_vectorizer.h"

namespace pre_processor {

class ColumnIndex {
 public:
  // The index of `vocab`; nothing for a vocabulary that breaks its invariant
  // (a column not below its size), whose batches must go through the map so
  // that the matrix check rejects them.
  static std::optional<ColumnIndex> build(const Vocabulary& vocab);

  // The slot where the search for `key` starts.
  std::size_t home_of(NgramKey key) const { return hash_(key) & mask_; }

  // Starts loading the memory that a search from `home` most likely reads: the
  // home slot and the one after it, which may lie on the next cache line.
  void prefetch(std::size_t home) const {
    __builtin_prefetch(&slots_[home]);
    __builtin_prefetch(&slots_[(home + kSlotsPerCacheLine) & mask_]);
  }

  // The column of `key`, whose home slot is `home`.
  std::optional<std::uint64_t> find(NgramKey key, std::size_t home) const {
    for (std::size_t i = home;; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      if (slot.column == kEmpty) return std::nullopt;
      if (slot.key == key) return slot.column;
    }
  }

 private:
  static constexpr std::uint64_t kEmpty = std::numeric_limits<std::uint64_t>::max();
  static constexpr std::size_t kSlotsPerCacheLine = 2;

  struct Slot {
    NgramKey key;
    std::uint64_t column = kEmpty;
  };

  explicit ColumnIndex(std::size_t keys);

  Vec<Slot> slots_;
  std::size_t mask_ = 0;
  NgramKeyHash hash_;
};

}  // namespace pre_processor
