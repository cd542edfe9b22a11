#include "pre_processor/chunker/token_chunker.h"

#include <algorithm>
#include <limits>
#include <string>

#include "pre_processor/common/thread_pool.h"

namespace pre_processor {
namespace {

// Candidate chunk sizes reach at most this many tokens above the configured size.
constexpr std::uint64_t kMaxChunkSizeGrowth = 50;
// Candidate overlaps reach at most this multiple of the configured overlap.
constexpr std::uint64_t kMaxOverlapFactor = 2;

struct Window {
  std::uint64_t size;
  std::uint64_t overlap;
};

Vec<TokenSequence> whole_sequence(std::span<const TokenId> tokens) {
  Vec<TokenSequence> chunks;
  chunks.emplace_back(tokens.begin(), tokens.end());
  return chunks;
}

// How many chunks the configured window gives for n > chunk_size tokens: a
// first chunk, then steps of chunk_size - overlap until a full chunk reaches the
// end. That last chunk is planned away when it is shorter than min_chunk_size.
std::uint64_t planned_chunk_count(std::uint64_t n, const TokenChunker& config) {
  const std::uint64_t stride = config.chunk_size() - config.overlap();
  const std::uint64_t steps = (n - config.chunk_size() + stride - 1) / stride;
  const std::uint64_t last_chunk_length = n - stride * steps;
  return last_chunk_length >= config.min_chunk_size() ? steps + 1 : steps;
}

// The window whose `count` chunks, spread evenly from the start, leave the fewest
// tokens at the end uncovered. Sizes are tried from the largest down, so the
// larger size wins a tie, and the first exact tiling ends the search. The
// configured window stays when no candidate has an acceptable overlap.
Window search_window(std::uint64_t n, std::uint64_t count, const TokenChunker& config) {
  Window best{config.chunk_size(), config.overlap()};
  // n > chunk_size here, so neither expression below can wrap around: n is a
  // sequence length, and the overlap is smaller than it.
  const std::uint64_t largest_size =
      config.chunk_size() + std::min(kMaxChunkSizeGrowth, n - config.chunk_size());
  const std::uint64_t max_overlap = kMaxOverlapFactor * config.overlap();
  const std::uint64_t smallest_size = config.min_chunk_size();
  if (largest_size < smallest_size) return best;

  const std::uint64_t steps = count - 1;
  std::uint64_t best_error = std::numeric_limits<std::uint64_t>::max();
  for (std::uint64_t size = largest_size;; --size) {
    const std::uint64_t stride = (n - size) / steps;
    const std::uint64_t overlap = stride <= size ? size - stride : 0;
    if (overlap < size && overlap <= max_overlap) {
      const std::uint64_t uncovered = n - (size + stride * steps);
      if (uncovered < best_error) {
        best = {size, overlap};
        best_error = uncovered;
      }
      if (uncovered == 0) break;
    }
    if (size == smallest_size) break;
  }
  return best;
}

// Cuts from the start with the window's step until the start passes the end;
// the chunks after the planned ones are tails that end at the end of the
// sequence. Chunks shorter than min_chunk_size are dropped, except the first.
Vec<TokenSequence> cut(std::span<const TokenId> tokens, Window window,
                       std::uint64_t min_chunk_size, std::uint64_t planned_count) {
  const std::uint64_t n = tokens.size();
  const std::uint64_t size = std::min(window.size, n);
  const std::uint64_t step = size - window.overlap;  // at least 1: overlap < size
  Vec<TokenSequence> chunks;
  chunks.reserve(planned_count);
  for (std::uint64_t start = 0; start < n; start += step) {
    const std::uint64_t end = std::min(start + size, n);
    if (end - start >= min_chunk_size || chunks.empty()) {
      chunks.emplace_back(tokens.begin() + start, tokens.begin() + end);
    }
  }
  return chunks;
}

}  // namespace

Result<TokenChunker> TokenChunker::create(std::uint64_t chunk_size, std::uint64_t overlap,
                                          std::uint64_t min_chunk_size) {
  if (overlap >= chunk_size) {
    return Error{ErrorKind::InvalidArgument, std::string(kOverlapNotBelowChunkSizeMessage)};
  }
  return TokenChunker(chunk_size, overlap, min_chunk_size);
}

Vec<TokenSequence> TokenChunker::chunk(std::span<const TokenId> tokens) const {
  const std::uint64_t n = tokens.size();
  // Parameters with overlap >= chunk_size have no step to cut with.
  if (n <= chunk_size_ || overlap_ >= chunk_size_) return whole_sequence(tokens);
  const std::uint64_t count = planned_chunk_count(n, *this);
  if (count == 1) return whole_sequence(tokens);
  return cut(tokens, search_window(n, count, *this), min_chunk_size_, count);
}

Vec<Vec<TokenSequence>> TokenChunker::chunk_batch(std::span<const TokenSequence> sequences) const {
  return pool::map(sequences, [this](const TokenSequence& tokens) { return chunk(tokens); });
}

}  // namespace pre_processor
