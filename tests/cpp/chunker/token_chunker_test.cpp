#include "pre_processor/chunker/token_chunker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <numeric>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace pre_processor {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// A chunk as the half-open range [first, second) of token positions.
using Range = std::pair<std::uint64_t, std::uint64_t>;
using Ranges = std::vector<Range>;

// Reported for a chunk that is not a contiguous slice of 0, 1, 2, ...
constexpr Range kNotASlice{kMax, kMax};

// Tokens 0, 1, ..., n - 1, so that a chunk's contents give its position.
TokenSequence positions(std::uint64_t n) {
  TokenSequence tokens(n);
  std::iota(tokens.begin(), tokens.end(), TokenId{0});
  return tokens;
}

Ranges to_ranges(const Vec<TokenSequence>& chunks) {
  Ranges ranges;
  for (const TokenSequence& chunk : chunks) {
    if (chunk.empty()) {
      ranges.push_back({0, 0});
      continue;
    }
    bool contiguous = true;
    for (std::size_t i = 1; i < chunk.size(); ++i) contiguous &= chunk[i] == chunk[0] + i;
    ranges.push_back(contiguous ? Range{chunk[0], chunk[0] + chunk.size()} : kNotASlice);
  }
  return ranges;
}

// `count` chunks of `size` tokens, the first at `first`, one every `stride` tokens.
Ranges run(std::uint64_t first, std::uint64_t count, std::uint64_t size, std::uint64_t stride) {
  Ranges ranges;
  for (std::uint64_t i = 0; i < count; ++i) {
    ranges.push_back({first + i * stride, first + i * stride + size});
  }
  return ranges;
}

// Tail chunks ending at `end`, starting at first, first + stride, ... up to last.
Ranges tails(std::uint64_t first, std::uint64_t last, std::uint64_t stride, std::uint64_t end) {
  Ranges ranges;
  for (std::uint64_t start = first; start <= last; start += stride) ranges.push_back({start, end});
  return ranges;
}

Ranges concat(std::initializer_list<Ranges> parts) {
  Ranges all;
  for (const Ranges& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Plan, search and cut written out plainly in signed arithmetic: the step count
// by counting, the search by collecting every acceptable candidate and picking
// the least uncovered count, the largest size among equals.
Ranges reference_chunks(std::int64_t n, std::int64_t chunk_size, std::int64_t overlap,
                        std::int64_t min_size) {
  if (n <= chunk_size) return {{0, n}};
  const std::int64_t stride = chunk_size - overlap;
  std::int64_t steps = 0;
  while (chunk_size + steps * stride < n) ++steps;
  const std::int64_t last_length = n - steps * stride;
  const std::int64_t planned = last_length >= min_size ? steps + 1 : steps;
  if (planned == 1) return {{0, n}};

  struct Candidate {
    std::int64_t size, overlap, uncovered;
  };
  std::vector<Candidate> candidates;
  for (std::int64_t size = min_size; size <= std::min(chunk_size + 50, n); ++size) {
    const std::int64_t s = (n - size) / (planned - 1);
    const std::int64_t o = s <= size ? size - s : 0;
    if (o < size && o <= 2 * overlap) {
      candidates.push_back({size, o, n - (size + s * (planned - 1))});
    }
  }
  std::int64_t size = chunk_size;
  std::int64_t window_overlap = overlap;
  if (!candidates.empty()) {
    const Candidate best = *std::min_element(
        candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
          return a.uncovered != b.uncovered ? a.uncovered < b.uncovered : a.size > b.size;
        });
    size = best.size;
    window_overlap = best.overlap;
  }

  Ranges ranges;
  for (std::int64_t start = 0; start < n; start += size - window_overlap) {
    const std::int64_t end = std::min(start + size, n);
    if (end - start >= min_size || ranges.empty()) ranges.push_back({start, end});
  }
  return ranges;
}

TEST(TokenChunker, DefaultChunkerKeepsUpTo164TokensWhole) {
  const TokenChunker chunker;
  EXPECT_EQ(chunker.chunk_size(), 150u);
  EXPECT_EQ(chunker.overlap(), 15u);
  EXPECT_EQ(chunker.min_chunk_size(), 30u);
  for (std::uint64_t n = 0; n <= 164; ++n) {
    EXPECT_EQ(to_ranges(chunker.chunk(positions(n))), (Ranges{{0, n}})) << "n = " << n;
  }
}

TEST(TokenChunker, CutsKnownSequencesIntoExpectedRanges) {
  struct Case {
    std::uint64_t chunk_size, overlap, min_size, n;
    Ranges expected;
  };
  const Case cases[] = {
      {150, 15, 30, 165, {{0, 97}, {68, 165}}},
      {150, 15, 30, 200, {{0, 115}, {85, 200}, {170, 200}}},
      // Not [0, 150) and [135, 285); the 29-token tail [256, 285) is dropped.
      {150, 15, 30, 285, {{0, 157}, {128, 285}}},
      {150, 15, 30, 300, {{0, 120}, {90, 210}, {180, 300}, {270, 300}}},
      {150, 15, 30, 400, {{0, 152}, {124, 276}, {248, 400}}},
      {150, 15, 30, 1000, run(0, 8, 146, 122)},
      {150, 15, 30, 1350, concat({run(0, 10, 162, 132), {{1320, 1350}}})},
      // The exact tiling with size 132 and no overlap beats size 161 with
      // overlap 30, which leaves one token uncovered.
      {150, 15, 30, 4092, run(0, 31, 132, 132)},
      // Planned 403 chunks; the candidate taken has stride 135 > size 51, so the
      // cut steps by 51. The last 6 tokens are dropped.
      {150, 15, 30, 54321, run(0, 1065, 51, 51)},
      // Every chunk after the first is shorter than min_chunk_size.
      {150, 15, 250, 400, {{0, 150}}},
      {10, 5, kMax, 100, {{0, 10}}},
      // min_chunk_size 0 keeps the tail that the defaults drop.
      {150, 15, 0, 285, {{0, 157}, {128, 285}, {256, 285}}},
      // No overlap allowed: size 8 (stride 8) leaves one token uncovered, size 7
      // (stride 9) none, so 7 wins; the cut steps by 7 and gives 4 chunks, not 3.
      {10, 0, 0, 25, {{0, 7}, {7, 14}, {14, 21}, {21, 25}}},
      // Overlap one below the size: a step of one token, then every tail of at
      // least two tokens.
      {10, 9, 2, 15, concat({run(0, 6, 10, 1), tails(6, 13, 1, 15)})},
  };
  for (const Case& c : cases) {
    const TokenChunker chunker(c.chunk_size, c.overlap, c.min_size);
    EXPECT_EQ(to_ranges(chunker.chunk(positions(c.n))), c.expected)
        << "C = " << c.chunk_size << ", O = " << c.overlap << ", M = " << c.min_size
        << ", n = " << c.n;
  }
}

TEST(TokenChunker, AgreesWithReferenceForEveryLengthUpTo5000) {
  struct Parameters {
    std::int64_t chunk_size, overlap, min_size;
  };
  const Parameters parameter_sets[] = {
      // The defaults, and the minimum size at 0, 1, C, above C and above C + 50.
      {150, 15, 30}, {150, 15, 0}, {150, 15, 1}, {150, 15, 150}, {150, 15, 205}, {150, 15, 250},
      // No overlap allowed, down to the smallest chunk size.
      {100, 0, 20}, {100, 0, 0}, {10, 0, 10}, {3, 0, 100}, {1, 0, 0},
      // Overlap close to the chunk size.
      {150, 140, 30}, {150, 149, 160}, {20, 19, 0}, {12, 8, 1},
      // Others.
      {7, 3, 5}, {30, 10, 40}, {64, 31, 16}, {200, 50, 0}, {500, 120, 60},
  };
  constexpr std::int64_t kLongest = 5000;
  const TokenSequence tokens = positions(kLongest);
  for (const Parameters& p : parameter_sets) {
    const TokenChunker chunker(p.chunk_size, p.overlap, p.min_size);
    int failures = 0;
    for (std::int64_t n = 0; n <= kLongest && failures < 5; ++n) {
      const Ranges actual = to_ranges(chunker.chunk(std::span(tokens).first(n)));
      const Ranges expected = reference_chunks(n, p.chunk_size, p.overlap, p.min_size);
      if (actual != expected) {
        ++failures;
        ADD_FAILURE() << "C = " << p.chunk_size << ", O = " << p.overlap << ", M = " << p.min_size
                      << ", n = " << n << ": " << testing::PrintToString(actual)
                      << " != reference " << testing::PrintToString(expected);
      }
    }
  }
}

TEST(TokenChunker, BatchMatchesChunkingEachSequenceInInputOrder) {
  std::vector<TokenSequence> sequences;
  for (std::uint64_t n : {0, 1, 150, 165, 285, 300, 1000, 1350, 4092, 54321}) {
    sequences.push_back(positions(n));
  }
  std::uint64_t state = 12345;
  for (int i = 0; i < 300; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    TokenSequence tokens = positions((state >> 33) % 3000);
    for (TokenId& token : tokens) token += static_cast<TokenId>(i) << 16;  // tells the inputs apart
    sequences.push_back(std::move(tokens));
  }
  const TokenChunker chunkers[] = {TokenChunker(), TokenChunker(20, 19, 0), TokenChunker(10, 0, 0)};
  for (const TokenChunker& chunker : chunkers) {
    const Vec<Vec<TokenSequence>> batch = chunker.chunk_batch(sequences);
    ASSERT_EQ(batch.size(), sequences.size());
    for (std::size_t i = 0; i < sequences.size(); ++i) {
      EXPECT_EQ(batch[i], chunker.chunk(sequences[i])) << "sequence " << i;
    }
    EXPECT_TRUE(chunker.chunk_batch({}).empty());
  }
}

TEST(TokenChunker, CreateRefusesOverlapNotBelowChunkSize) {
  const std::pair<std::uint64_t, std::uint64_t> refused[] = {
      {0, 0}, {0, 5}, {150, 150}, {150, 151}, {10, kMax}, {kMax, kMax}};
  for (const auto& [chunk_size, overlap] : refused) {
    const Result<TokenChunker> chunker = TokenChunker::create(chunk_size, overlap, 30);
    ASSERT_FALSE(chunker.ok()) << chunk_size << ", " << overlap;
    EXPECT_EQ(chunker.error().kind, ErrorKind::InvalidArgument);
    EXPECT_EQ(chunker.error().message, kOverlapNotBelowChunkSizeMessage);
  }

  const Result<TokenChunker> accepted = TokenChunker::create(kMax, kMax - 1, kMax);
  ASSERT_TRUE(accepted.ok());
  EXPECT_EQ(accepted->chunk_size(), kMax);
  EXPECT_EQ(accepted->overlap(), kMax - 1);
  EXPECT_EQ(accepted->min_chunk_size(), kMax);
  EXPECT_EQ(to_ranges(accepted->chunk(positions(500))), (Ranges{{0, 500}}));
  EXPECT_TRUE(TokenChunker::create(1, 0, 0).ok());
}

// The unchecked constructor lets such parameters through; chunking must neither
// divide by zero nor wrap around, and returns the sequence whole.
TEST(TokenChunker, ParametersWithoutAStepReturnTheSequenceWhole) {
  const TokenChunker chunkers[] = {TokenChunker(0, 0, 0),    TokenChunker(0, 0, 5),
                                   TokenChunker(150, 150, 30), TokenChunker(10, 200, 0),
                                   TokenChunker(kMax, kMax, kMax)};
  for (const TokenChunker& chunker : chunkers) {
    for (std::uint64_t n : {0, 1, 10, 11, 500}) {
      EXPECT_EQ(to_ranges(chunker.chunk(positions(n))), (Ranges{{0, n}}))
          << "C = " << chunker.chunk_size() << ", O = " << chunker.overlap() << ", n = " << n;
    }
  }
}

}  // namespace
}  // namespace pre_processor
