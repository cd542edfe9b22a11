#include "pre_processor/persistence/vocabulary_entries.h"

#include <algorithm>

namespace pre_processor::persistence {

Vocabulary vocabulary_from_entries(std::span<const VocabularyEntry> entries) {
  Vocabulary vocabulary;
  vocabulary.reserve(entries.size());
  for (const VocabularyEntry& entry : entries) vocabulary.insert_or_assign(entry.key, entry.column);
  return vocabulary;
}

Vec<VocabularyEntry> entries_by_column(const Vocabulary& vocabulary) {
  Vec<VocabularyEntry> entries;
  entries.reserve(vocabulary.size());
  for (const auto& [key, column] : vocabulary) entries.push_back({key, column});
  std::sort(entries.begin(), entries.end(), [](const VocabularyEntry& a, const VocabularyEntry& b) {
    return a.column != b.column ? a.column < b.column : a.key < b.key;
  });
  return entries;
}

}  // namespace pre_processor::persistence
