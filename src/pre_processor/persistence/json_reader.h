// Reads a vectorizer from its JSON document.
//
// More lenient than the writer: whitespace anywhere between tokens; each of
// TfidfVectorizer, CountVectorizer and VectorizerParams either as an object
// (keys in any order, unknown keys skipped whatever their value) or as an
// array of its field values in declaration order; key arrays of any length
// (the first four elements are the lanes, missing lanes are 0); any JSON
// number where a float is expected. A later vocabulary entry with the key of
// an earlier one replaces its column.
//
// Failure messages name the first problem met and end with
// " at line L column C", the position where reading stopped. Structural
// messages: "missing field `f`", "duplicate field `f`", "invalid length N,
// expected <shape>", "invalid type: <found>, expected <what>", "invalid value:
// <found>, expected <what>", "trailing characters", "trailing comma",
// "recursion limit exceeded", and the syntax messages of json_cursor.h. The
// expectations name the integer and float types u32 (a key lane), usize (an
// ngram_range size or a column index) and f32.
#pragma once

#include <string_view>

#include "pre_processor/common/error.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor::persistence {

// Expected UTF-8 text. On failure the error (kind Persistence) carries the
// reader's message with its position.
Result<TfidfVectorizer> read_json_document(std::string_view text);

}  // namespace pre_processor::persistence
