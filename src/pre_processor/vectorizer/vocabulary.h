// The vocabulary of a vectorizer: n-gram key -> column index.
//
// Entries sit in one dense array in the order they were added, so iterating
// them reads memory front to back and never depends on hash seeds. A separate
// open-addressing index finds them: one tag byte and one 32-bit entry number
// per slot, linear probing from a home slot taken from the hash's high bits.
// A look-up scans tag bytes (a small array that mostly stays in cache) and
// reads an entry only where a tag matches, so a missing key costs no entry
// read at all.
//
// from_entries() builds the index of a whole list at once. A long list is
// split by home slot into regions of the index small enough to stay in cache,
// and the regions are filled in parallel on the pool; a shorter one is
// indexed in order with the slots of the entries a few places ahead
// prefetched. Either way, loading a large stored vocabulary waits for memory
// a fraction as often as one insert after another would.
//
// Capacity: at most kMaxEntries entries (entry numbers are 32-bit); adding
// more throws std::length_error, like any container that outgrows its range.
//
// Thread-safety: const members may run on any number of threads at once;
// reserve, emplace and insert_or_assign need exclusive access.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_key.h"

namespace pre_processor {

struct VocabularyEntry {
  NgramKey key;
  std::uint64_t column = 0;

  friend bool operator==(const VocabularyEntry&, const VocabularyEntry&) = default;
};

class Vocabulary {
 public:
  using const_iterator = const VocabularyEntry*;

  static constexpr std::size_t kMaxEntries = std::numeric_limits<std::uint32_t>::max();

  Vocabulary() = default;

  // The vocabulary of a list, filled in list order: an entry whose key equals
  // an earlier entry's key replaces that entry's column (the earlier entry
  // keeps its place). Columns are taken as they are, unchecked.
  static Vocabulary from_entries(Vec<VocabularyEntry> entries);

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  // Room for `entries` entries without another rebuild of the index.
  void reserve(std::size_t entries);

  // Adds the entry unless its key is present; true when it was added.
  bool emplace(NgramKey key, std::uint64_t column);
  // Adds the entry, or sets the column of the key already present.
  void insert_or_assign(NgramKey key, std::uint64_t column);

  // The entry of `key`, or nullptr. Valid until the vocabulary changes.
  const VocabularyEntry* find(NgramKey key) const;
  std::optional<std::uint64_t> column_of(NgramKey key) const;

  // Every entry, in the order the keys were first added.
  const_iterator begin() const { return entries_.data(); }
  const_iterator end() const { return entries_.data() + entries_.size(); }

  // Equal as maps: the same keys with the same columns, in any order.
  friend bool operator==(const Vocabulary& a, const Vocabulary& b);

 private:
  static constexpr std::uint8_t kEmptyTag = 0;

  // Where a key's probe ended: at its entry, or at the empty slot where it
  // would go.
  struct ProbeResult {
    std::size_t slot = 0;
    bool found = false;
  };

  std::size_t slot_count() const { return tags_.size(); }
  std::size_t home_slot(std::uint64_t hash) const { return home_slot(hash, slot_count()); }
  static std::size_t home_slot(std::uint64_t hash, std::size_t slots) {
    return static_cast<std::size_t>((static_cast<unsigned __int128>(hash) * slots) >> 64);
  }
  static std::uint8_t tag_of(std::uint64_t hash) {
    const auto tag = static_cast<std::uint8_t>(hash);
    return tag == kEmptyTag ? std::uint8_t{1} : tag;
  }
  std::size_t following(std::size_t slot) const { return slot + 1 == slot_count() ? 0 : slot + 1; }

  // `entries` holds what the index numbers: entries_, or the list whose
  // index from_entries() is building.
  ProbeResult probe(NgramKey key, std::uint64_t hash, const VocabularyEntry* entries) const;
  void occupy(std::size_t slot, std::uint64_t hash, std::size_t entry_number);
  // Indexes the list into an empty index, in order, moving each first
  // occurrence of a key to the front and merging later ones into it; returns
  // how many entries were kept.
  std::size_t index_list(Vec<VocabularyEntry>& list);
  // Indexes a list of distinct keys region by region on the pool, numbering
  // each entry by its position. Returns false, with the index in an undefined
  // state, as soon as it meets a key twice.
  bool index_distinct_list_in_parallel(std::span<const VocabularyEntry> list);
  // Replaces the index by an empty one with room for `entries` entries.
  void reset_index(std::size_t entries);
  void rebuild_index(std::size_t entries);
  // Adds a missing key; for a present one sets the column if `replace`.
  // True when the key was added.
  bool add(NgramKey key, std::uint64_t column, bool replace);
  // The slot for a key known to be absent, after growing the index when one
  // more entry would overfill it.
  std::size_t slot_for_new_key(NgramKey key, std::uint64_t hash, std::size_t slot);

  Vec<VocabularyEntry> entries_;
  Vec<std::uint8_t> tags_;           // per slot; kEmptyTag when unused
  Vec<std::uint32_t> entry_numbers_;  // per used slot: the index into entries_
  NgramKeyHash hash_;
};

}  // namespace pre_processor
