// Reader of the older compact binary encoding of a vectorizer (".bin" files),
// which is read but never written.
//
// Layout, from the first byte: the ngram_range count and elements, min_df and
// max_df (binary32, little-endian), the sublinear_tf byte (0 or 1), the
// vocabulary count and its (key, column) entries, the idf count and its
// binary32 values. Counts, sizes, columns and keys are variable-length
// integers; bytes after the last idf value are ignored.
//
// A failure is described by its detail text in debug form:
//   UnexpectedEnd { additional: N }           the input ended N bytes short of
//                                             the item being read
//   InvalidIntegerType { expected: E, found: F }
//                                             a variable-length integer with an
//                                             unusable marker (E: U64 for counts,
//                                             Usize for sizes and columns, U128
//                                             for keys; F: U128 or Reserved)
//   InvalidBooleanValue(B)                    a sublinear_tf byte other than 0, 1
//
// The reader never reads outside the input, and never reserves room for more
// elements than the remaining bytes could encode, whatever count is declared.
#pragma once

#include <cstdint>
#include <span>

#include "pre_processor/common/error.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor::persistence {

// Decodes a vectorizer; on failure the error's message is the detail text
// above (kind Persistence).
Result<TfidfVectorizer> read_brevix(std::span<const std::uint8_t> bytes);

}  // namespace pre_processor::persistence
