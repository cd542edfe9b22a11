// Cutting of long token sequences into overlapping windows.
//
// A sequence is not cut with a fixed sliding window. The chunker first plans
// how many chunks the configured sizes need, then searches for a chunk size (up
// to 50 tokens above chunk_size) and an overlap (up to twice the configured one)
// that spread exactly that many chunks over the whole sequence, and cuts with
// the values found. The cut goes on past the planned chunks with shorter and
// shorter tail chunks; every chunk shorter than min_chunk_size is dropped,
// except the first, so the result is never empty.
//
// Parameters: the algorithm needs overlap < chunk_size (hence chunk_size >= 1).
// create() refuses anything else with ErrorKind::InvalidArgument and
// kOverlapNotBelowChunkSizeMessage. The constructor does not check; a chunker
// built by it with overlap >= chunk_size returns every sequence whole, in one
// chunk, so it never divides by zero, wraps around or loses tokens.
//
// Thread-safety: a TokenChunker is immutable; any number of threads may use one
// at once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"
#include "pre_processor/tokenizer/tokenizer.h"

namespace pre_processor {

inline constexpr std::uint64_t kDefaultChunkSize = 150;
inline constexpr std::uint64_t kDefaultChunkOverlap = 15;
inline constexpr std::uint64_t kDefaultMinChunkSize = 30;

inline constexpr std::string_view kOverlapNotBelowChunkSizeMessage =
    "overlap must be smaller than chunk_size";

class TokenChunker {
 public:
  // Refuses overlap >= chunk_size (which includes chunk_size 0).
  static Result<TokenChunker> create(std::uint64_t chunk_size, std::uint64_t overlap,
                                     std::uint64_t min_chunk_size);

  constexpr TokenChunker() = default;
  // Unchecked; see the file comment for overlap >= chunk_size.
  constexpr TokenChunker(std::uint64_t chunk_size, std::uint64_t overlap,
                         std::uint64_t min_chunk_size)
      : chunk_size_(chunk_size), overlap_(overlap), min_chunk_size_(min_chunk_size) {}

  std::uint64_t chunk_size() const { return chunk_size_; }
  std::uint64_t overlap() const { return overlap_; }
  std::uint64_t min_chunk_size() const { return min_chunk_size_; }

  // The chunks of one sequence in order of their start; at least one chunk,
  // which is empty for an empty sequence.
  Vec<TokenSequence> chunk(std::span<const TokenId> tokens) const;

  // chunk() of every sequence, on the thread pool, in input order.
  Vec<Vec<TokenSequence>> chunk_batch(std::span<const TokenSequence> sequences) const;

 private:
  std::uint64_t chunk_size_ = kDefaultChunkSize;
  std::uint64_t overlap_ = kDefaultChunkOverlap;
  std::uint64_t min_chunk_size_ = kDefaultMinChunkSize;
};

}  // namespace pre_processor
