// The vocabulary as a list of (key, column) entries, the form in which the
// stored formats carry it.
#pragma once

#include <cstdint>
#include <span>

#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_key.h"
#include "pre_processor/vectorizer/count_vectorizer.h"

namespace pre_processor::persistence {

struct VocabularyEntry {
  NgramKey key;
  std::uint64_t column = 0;

  friend bool operator==(const VocabularyEntry&, const VocabularyEntry&) = default;
};

// A new map with room for exactly `entries.size()` entries, filled in list
// order: an entry whose key equals an earlier entry's key replaces that
// entry's column. Columns are taken as they are, unchecked.
Vocabulary vocabulary_from_entries(std::span<const VocabularyEntry> entries);

// The entries of a vocabulary sorted by column, ascending (ties, which a
// fitted vocabulary never has, by key).
Vec<VocabularyEntry> entries_by_column(const Vocabulary& vocabulary);

}  // namespace pre_processor::persistence
