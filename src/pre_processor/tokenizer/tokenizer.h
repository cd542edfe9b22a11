// Encoding of texts into o200k_base token ids, and decoding back.
//
// The shared tokenizer is built once, on first use, from the vocabulary
// embedded in the library; every function here may then be called from any
// number of threads at once. Encoding never fails; decoding never fails either
// (an id list whose bytes are not UTF-8 yields a marker text).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "pre_processor/common/memory.h"

namespace pre_processor {

using TokenId = std::uint32_t;
using TokenSequence = Vec<TokenId>;

namespace tokenizer {

inline constexpr std::string_view kLogTarget = "ordwen_preprocessing::pre_processor::tokenizer";

// Encodes a batch, choosing the sequential or the parallel path by its size.
// Returns one sequence per text, in input order.
Vec<TokenSequence> tokenize(std::span<const String> texts);
Vec<TokenSequence> tokenize(std::span<const std::string_view> texts);

// The two paths, with the same contract as tokenize().
Vec<TokenSequence> tokenize_texts(std::span<const std::string_view> texts);
Vec<TokenSequence> tokenize_texts_par(std::span<const std::string_view> texts);

// Encodes one text.
TokenSequence encode(std::string_view text);

// Decodes ids to text; bytes that are not UTF-8 give "[DECODE_ERROR: [ids]]".
// Ids the encoding does not define also give the marker text.
String decode_token_ids(std::span<const TokenId> ids);

}  // namespace tokenizer
}  // namespace pre_processor
