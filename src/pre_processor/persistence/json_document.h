// Writes a vectorizer as its JSON document.
//
// The document is compact (no whitespace, no trailing newline) and in one
// fixed order, so writing the same model twice gives the same text:
//
//   {"count_vectorizer":{"params":{"ngram_range":[2,3,4],"min_df":2.0,
//   "max_df":0.95,"sublinear_tf":true},"vocab":[[[9,7,0,0],0],...]},
//   "idf":[1.5,...]}
//
// Vocabulary entries are [[lane0,lane1,lane2,lane3],column], sorted by column.
// Floats use the notation of append_json_float.
#pragma once

#include "pre_processor/common/memory.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor::persistence {

// Never fails: every value of the model has a text.
String write_json_document(const TfidfVectorizer& model);

}  // namespace pre_processor::persistence
