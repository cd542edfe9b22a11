// Encoding of texts into o200k_base token ids, and decoding back.
//
// The shared tokenizer is built once, on first use, from the vocabulary
// embedded in the library; every function here may then be called from any
// number of threads at once. Encoding never fails; decoding never fails either
// (an id list whose bytes are not UTF-8 yields a marker text).
//
// Encoding is tiktoken's `encode_ordinary`: no Unicode normalization, the
// published split pattern, byte-pair encoding of each piece, and no special
// tokens (text spelling "<|endoftext|>" is ordinary text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "pre_processor/common/memory.h"

namespace pre_processor {

using TokenId = std::uint32_t;
using TokenSequence = Vec<TokenId>;

namespace tokenizer {

inline constexpr std::string_view kLogTarget = "ordwen_preprocessing::pre_processor::tokenizer";

// Batches below this many texts are always encoded sequentially.
inline constexpr std::size_t kMinParallelTexts = 8;
// Batches of at least this many texts are always encoded in parallel.
inline constexpr std::size_t kParallelTextCount = 1000;
// Batches in between go parallel from this many UTF-8 bytes in all.
inline constexpr std::size_t kParallelTotalBytes = 1'000'000;
// Parallel chunks hold batch size / kChunkDivisor texts, but at least kMinChunkTexts.
inline constexpr std::size_t kMinChunkTexts = 1000;
inline constexpr std::size_t kChunkDivisor = 100;

// Encodes a batch, choosing the sequential or the parallel path by its size.
// Returns one sequence per text, in input order.
Vec<TokenSequence> tokenize(std::span<const String> texts);
Vec<TokenSequence> tokenize(std::span<const std::string_view> texts);

// The two paths, with the same contract as tokenize(). The parallel path
// shows a progress bar on standard error when that is a terminal.
Vec<TokenSequence> tokenize_texts(std::span<const std::string_view> texts);
Vec<TokenSequence> tokenize_texts_par(std::span<const std::string_view> texts);

// Whether a batch of `num_texts` texts of `total_bytes` bytes in all takes the
// parallel path. total_bytes matters only from kMinParallelTexts up to
// kParallelTextCount - 1 texts.
bool choose_parallel(std::size_t num_texts, std::size_t total_bytes);
// Whether the batch size alone settles the path (the byte sum is then not needed).
bool path_settled_by_count(std::size_t num_texts);
// Texts per chunk of the parallel path.
std::size_t parallel_chunk_size(std::size_t num_texts);

// Encodes one text.
TokenSequence encode(std::string_view text);

// Decodes ids to text. When the joined bytes are not UTF-8, or an id names no
// token (at or past the end of the vocabulary, or a special-token id such as
// 199999, which the encoder never yields), the result is the marker text
// "[DECODE_ERROR: [1, 2, 3]]" listing the ids, and a WARN record is logged.
// An empty list gives the empty string without building the tokenizer.
String decode_token_ids(std::span<const TokenId> ids);

}  // namespace tokenizer
}  // namespace pre_processor
