// A read-only index from vocabulary key to column for counting large batches.
//
// The vocabulary's own map answers one look-up at a time: a prefetch can load a
// key's control bytes but not the slot that holds it, so every hit waits for a
// cache miss. This index splits a look-up into steps that a caller runs for
// several keys at once, each step loading what the next one reads:
//
//   start(key)        hashes the key and prefetches its control bytes;
//   locate(probe)     scans the control bytes (one byte per slot, a small array
//                     that mostly stays in cache) for the key's tag and
//                     prefetches the one slot that most likely holds the key,
//                     or learns that the key is absent without touching a slot;
//   column(probe)     compares the key with that slot and reads the column.
//
// Building it costs one pass over the vocabulary, which pays off once a batch
// looks up more keys than the vocabulary holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_key.h"
#include "pre_processor/vectorizer/count_vectorizer.h"

namespace pre_processor {

class ColumnIndex {
 public:
  // The state of one look-up between its steps.
  struct Probe {
    NgramKey key;
    std::size_t slot = 0;  // after start(): the home slot; after locate(): the candidate slot
    std::uint8_t tag = 0;
    bool candidate = false;  // after locate(): whether a slot's tag matched
  };

  // The index of `vocab`; nothing for a vocabulary that breaks its invariant
  // (a column not below its size), whose batches must go through the map so
  // that the matrix check rejects them.
  static std::optional<ColumnIndex> build(const Vocabulary& vocab);

  Probe start(NgramKey key) const {
    const std::uint64_t hash = hash_(key);
    Probe probe{key, home_slot(hash), tag_of(hash)};
    __builtin_prefetch(&controls_[probe.slot]);
    return probe;
  }

  void locate(Probe& probe) const {
    probe.candidate = next_candidate(probe.tag, probe.slot);
    if (probe.candidate) __builtin_prefetch(&slots_[probe.slot]);
  }

  std::optional<std::uint64_t> column(Probe& probe) const {
    while (probe.candidate) {
      const Slot& slot = slots_[probe.slot];
      if (slot.key == probe.key) return slot.column;
      probe.candidate = next_candidate(probe.tag, probe.slot = following(probe.slot));
    }
    return std::nullopt;
  }

 private:
  static constexpr std::uint8_t kEmpty = 0;

  struct Slot {
    NgramKey key;
    std::uint64_t column = 0;
  };

  explicit ColumnIndex(std::size_t keys);

  // The slot where a key's search starts: the hash's high bits scaled to the
  // slot count. The tag, a nonzero byte, comes from the low bits.
  std::size_t home_slot(std::uint64_t hash) const {
    return static_cast<std::size_t>((static_cast<unsigned __int128>(hash) * controls_.size()) >> 64);
  }
  static std::uint8_t tag_of(std::uint64_t hash) {
    const auto tag = static_cast<std::uint8_t>(hash);
    return tag == kEmpty ? std::uint8_t{1} : tag;
  }
  std::size_t following(std::size_t slot) const { return slot + 1 == controls_.size() ? 0 : slot + 1; }

  // Moves `slot` forward to the first slot from it whose control byte is `tag`
  // and returns true, or returns false at the first empty slot.
  bool next_candidate(std::uint8_t tag, std::size_t& slot) const {
    for (;; slot = following(slot)) {
      const std::uint8_t control = controls_[slot];
      if (control == tag) return true;
      if (control == kEmpty) return false;
    }
  }

  Vec<std::uint8_t> controls_;
  Vec<Slot> slots_;
  NgramKeyHash hash_;
};

}  // namespace pre_processor
