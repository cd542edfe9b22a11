// The vocabulary as a list of (key, column) entries in column order, the form
// in which the stored formats carry it.
#pragma once

#include "pre_processor/common/memory.h"
#include "pre_processor/vectorizer/vocabulary.h"

namespace pre_processor::persistence {

// The entries of a vocabulary sorted by column, ascending (ties, which a
// fitted vocabulary never has, by key).
Vec<VocabularyEntry> entries_by_column(const Vocabulary& vocabulary);

}  // namespace pre_processor::persistence
