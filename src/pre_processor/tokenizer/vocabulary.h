// The byte-pair vocabulary: the byte string of every token id and the id
// (rank) of every token byte string.
//
// The o200k_base vocabulary is embedded in the library as its published file
// (one "base64-token rank" line per token) and parsed once, on first use.
//
// Thread-safety: a built Vocabulary is immutable; any thread may read it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include <absl/container/flat_hash_map.h>

#include "pre_processor/common/error.h"
#include "pre_processor/common/memory.h"
#include "pre_processor/tokenizer/tokenizer.h"

namespace pre_processor::tokenizer {

class Vocabulary {
 public:
  // Returned by find_rank() for byte strings that are not tokens.
  static constexpr TokenId kNoRank = UINT32_MAX;

  // Parses a file of "base64-token rank" lines ending in '\n'. Refuses
  // malformed lines, duplicate ranks and duplicate tokens.
  static Result<Vocabulary> parse(std::string_view file);

  // The o200k_base vocabulary, parsed on the first call (safe when several
  // threads make it at once).
  static const Vocabulary& o200k_base();

  Vocabulary(Vocabulary&&) noexcept = default;
  Vocabulary& operator=(Vocabulary&&) noexcept = default;

  // The rank of a token's byte string, or kNoRank.
  TokenId find_rank(std::string_view bytes) const {
    const auto it = ranks_.find(bytes);
    return it == ranks_.end() ? kNoRank : it->second;
  }

  // The byte string of an id; nullopt for ids that name no token (past the
  // highest rank, or a gap in the ranks).
  std::optional<std::string_view> token_bytes(TokenId id) const {
    if (id >= tokens_.size() || tokens_[id].length == 0) return std::nullopt;
    return std::string_view(arena_.data() + tokens_[id].offset, tokens_[id].length);
  }

  // Number of tokens.
  std::size_t size() const { return ranks_.size(); }

 private:
  struct TokenBytes {
    std::uint32_t offset;
    std::uint32_t length;  // 0 for an id without token
  };

  Vocabulary() = default;

  Vec<char> arena_;            // every token's bytes, back to back (moves keep it in place)
  Vec<TokenBytes> tokens_;     // indexed by id
  absl::flat_hash_map<std::string_view, TokenId> ranks_;  // keys view into arena_
};

}  // namespace pre_processor::tokenizer
