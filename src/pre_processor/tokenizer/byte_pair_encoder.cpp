#include "pre_processor/tokenizer/byte_pair_encoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <queue>

namespace pre_processor::tokenizer {
namespace {

constexpr TokenId kNoRank = Vocabulary::kNoRank;

// Pieces up to this many bytes are merged by rescanning a small array for the
// lowest rank after each merge (quadratic, but with no allocation and few
// cache lines); longer ones use a priority queue over a linked list.
constexpr std::size_t kLongPieceBytes = 128;

// Rescanning merge over parts kept in fixed arrays: start offsets, tokens, and
// the rank of joining each part with the next (the token the join makes).
void merge_short(const Vocabulary& vocabulary, std::string_view piece, TokenSequence& out) {
  const std::size_t n = piece.size();
  std::array<std::uint32_t, kLongPieceBytes + 1> starts;
  std::array<TokenId, kLongPieceBytes> tokens;
  std::array<TokenId, kLongPieceBytes> ranks;
  for (std::size_t i = 0; i <= n; ++i) starts[i] = static_cast<std::uint32_t>(i);
  for (std::size_t i = 0; i < n; ++i) tokens[i] = vocabulary.find_rank(piece.substr(i, 1));
  for (std::size_t i = 0; i + 1 < n; ++i) ranks[i] = vocabulary.find_rank(piece.substr(i, 2));
  std::size_t parts = n;  // parts i in [0, parts), part i spans [starts[i], starts[i + 1])
  ranks[parts - 1] = kNoRank;

  const auto joined_rank = [&](std::size_t i) {  // rank of joining parts i and i + 1
    if (i + 2 > parts) return kNoRank;
    return vocabulary.find_rank(piece.substr(starts[i], starts[i + 2] - starts[i]));
  };
  while (parts > 1) {
    std::size_t best = 0;
    for (std::size_t i = 1; i + 1 < parts; ++i)
      if (ranks[i] < ranks[best]) best = i;
    if (ranks[best] == kNoRank) break;
    // Part best absorbs part best + 1.
    tokens[best] = ranks[best];
    std::copy(starts.begin() + best + 2, starts.begin() + parts + 1, starts.begin() + best + 1);
    std::copy(tokens.begin() + best + 2, tokens.begin() + parts, tokens.begin() + best + 1);
    std::copy(ranks.begin() + best + 2, ranks.begin() + parts, ranks.begin() + best + 1);
    --parts;
    ranks[best] = joined_rank(best);
    if (best > 0) ranks[best - 1] = joined_rank(best - 1);
  }
  out.insert(out.end(), tokens.begin(), tokens.begin() + parts);
}

// The same merge order with a min-queue of (rank, start) candidates over a
// doubly linked list of parts. Stale candidates (a part that has been merged
// away or whose rank has changed) are skipped when they come up; ties in rank
// come out by start offset, that is leftmost first.
void merge_long(const Vocabulary& vocabulary, std::string_view piece, TokenSequence& out) {
  const std::size_t n = piece.size();
  constexpr std::uint32_t kEnd = UINT32_MAX;
  // Parts are named by their start offset.
  Vec<std::uint32_t> next(n), prev(n);
  Vec<TokenId> rank(n, kNoRank);
  Vec<TokenId> token(n);
  Vec<bool> alive(n, true);
  for (std::size_t i = 0; i < n; ++i) {
    token[i] = vocabulary.find_rank(piece.substr(i, 1));
    next[i] = i + 1 < n ? static_cast<std::uint32_t>(i + 1) : kEnd;
    prev[i] = i > 0 ? static_cast<std::uint32_t>(i - 1) : kEnd;
  }
  const auto part_end = [&](std::uint32_t part) { return next[part] == kEnd ? n : next[part]; };
  const auto joined_rank = [&](std::uint32_t part) {
    if (next[part] == kEnd) return kNoRank;
    return vocabulary.find_rank(piece.substr(part, part_end(next[part]) - part));
  };

  using Candidate = std::pair<TokenId, std::uint32_t>;
  Vec<Candidate> storage;
  storage.reserve(2 * n);
  std::priority_queue<Candidate, Vec<Candidate>, std::greater<>> queue(std::greater<>{},
                                                                        std::move(storage));
  for (std::uint32_t i = 0; i + 1 < n; ++i) {
    rank[i] = joined_rank(i);
    if (rank[i] != kNoRank) queue.emplace(rank[i], i);
  }
  while (!queue.empty()) {
    const auto [candidate_rank, part] = queue.top();
    queue.pop();
    if (!alive[part] || rank[part] != candidate_rank) continue;
    const std::uint32_t absorbed = next[part];
    alive[absorbed] = false;
    token[part] = candidate_rank;
    next[part] = next[absorbed];
    if (next[part] != kEnd) prev[next[part]] = part;
    rank[part] = joined_rank(part);
    if (rank[part] != kNoRank) queue.emplace(rank[part], part);
    if (prev[part] != kEnd) {
      const std::uint32_t before = prev[part];
      rank[before] = joined_rank(before);
      if (rank[before] != kNoRank) queue.emplace(rank[before], before);
    }
  }
  for (std::uint32_t part = 0; part != kEnd; part = next[part]) out.push_back(token[part]);
}

}  // namespace

void encode_piece(const Vocabulary& vocabulary, std::string_view piece, TokenSequence& out) {
  if (const TokenId whole = vocabulary.find_rank(piece); whole != kNoRank) {
    out.push_back(whole);
    return;
  }
  if (piece.size() <= kLongPieceBytes) {
    merge_short(vocabulary, piece, out);
  } else {
    merge_long(vocabulary, piece, out);
  }
}

}  // namespace pre_processor::tokenizer
