// Text forms of the vectorizer types: the debug forms used as log field
// values, and the repr()/str() texts of the Python classes.
//
// Floats follow float_format: debug() in structure and log forms, plain() in
// the params repr().
#pragma once

#include <cstdint>
#include <string>

#include "pre_processor/vectorizer/params.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor::text_forms {

// VectorizerParams { ngram_range: [2, 3, 4], min_df: 1.0, max_df: 0.9, sublinear_tf: true }
std::string params_debug_form(const VectorizerParams& params);

// (rows, cols)
std::string shape_debug_form(std::uint64_t rows, std::uint64_t cols);

// NativeVectorizerParams(ngram_range=(2, 4), min_df=1, max_df=0.9, sublinear_tf=true)
std::string native_params_repr(NgramRangeBounds ngram_range, float min_df, float max_df, bool sublinear_tf);

// NativeVectorizerParams { ngram_range: (2, 4), min_df: 1.0, max_df: 0.9, sublinear_tf: true }
std::string native_params_str(NgramRangeBounds ngram_range, float min_df, float max_df, bool sublinear_tf);

// NativeTfidfVectorizer(vocabulary_size=V)
std::string native_vectorizer_repr(std::uint64_t num_features);

// The indented multi-line structure of a NativeTfidfVectorizer holding `model`:
// records as "Name {" with one "field: value," line per field four spaces
// deeper and "}" at the record's indentation; lists and maps alike with "[ ]"
// and "{ }" ("[]" and "{}" when empty); each vocabulary key as "NgramKey(",
// its 128-bit value in decimal and ",", then ")". Vocabulary entries follow the
// map's iteration order.
std::string native_vectorizer_str(const TfidfVectorizer& model);

// The decimal digits of a 128-bit value.
std::string u128_decimal(unsigned __int128 value);

}  // namespace pre_processor::text_forms
