#include "pre_processor/persistence/vocabulary_entries.h"

#include <algorithm>

namespace pre_processor::persistence {

Vec<VocabularyEntry> entries_by_column(const Vocabulary& vocabulary) {
  Vec<VocabularyEntry> entries(vocabulary.begin(), vocabulary.end());
  const auto by_column = [](const VocabularyEntry& a, const VocabularyEntry& b) {
    return a.column != b.column ? a.column < b.column : a.key < b.key;
  };
  // A fitted vocabulary, and one read from a document, is already in order.
  if (!std::is_sorted(entries.begin(), entries.end(), by_column)) {
    std::sort(entries.begin(), entries.end(), by_column);
  }
  return entries;
}

}  // namespace pre_processor::persistence
