// The byte-pair vocabulary: the byte string of every token id and the id
// (rank) of every token byte string.
//
// The o200k_base vocabulary is embedded in the library as its published file
// (one "base64-token rank" line per token) and parsed once, on first use.
//
// Rank lookup is the inner loop of byte-pair encoding, so it has tables of
// its own: direct tables for one and two bytes, and for longer strings an
// open-addressing table with one-byte tags (small enough to stay in cache, so
// that a miss rarely touches the slots) over 16-byte slots that hold a
// token's first eight bytes, its length and its id. Keys of up to eight bytes
// are compared as one word; longer ones compare the rest in the arena.
//
// Thread-safety: a built Vocabulary is immutable; any thread may read it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    const std::size_t length = bytes.size();
    if (length <= 2) {
      if (length == 2) return pair_ranks_[load<std::uint16_t>(bytes.data())];
      return length == 1 ? byte_ranks_[static_cast<unsigned char>(bytes[0])] : kNoRank;
    }
    if (length > longest_token_) return kNoRank;
    const std::uint64_t head = head_word(bytes);
    const std::uint64_t hash = hash_of(head, bytes);
    const std::uint8_t tag = tag_of(hash);
    for (std::size_t group = hash >> slot_shift_;; group = (group + kGroupSize) & slot_mask_) {
      const GroupMatch match = match_group(group, tag);
      for (std::uint32_t hits = match.tags; hits != 0; hits &= hits - 1) {
        const Slot& slot = slots_[(group + static_cast<unsigned>(std::countr_zero(hits))) & slot_mask_];
        if (slot.head == head && slot.length == length &&
            (length <= kHeadBytes ||
             std::memcmp(arena_.data() + tokens_[slot.id].offset + kHeadBytes,
                         bytes.data() + kHeadBytes, length - kHeadBytes) == 0))
          return slot.id;
      }
      if (match.empty != 0) return kNoRank;
    }
  }

  // The byte string of an id; nullopt for ids that name no token (past the
  // highest rank, or a gap in the ranks).
  std::optional<std::string_view> token_bytes(TokenId id) const {
    if (id >= tokens_.size() || tokens_[id].length == 0) return std::nullopt;
    return std::string_view(arena_.data() + tokens_[id].offset, tokens_[id].length);
  }

  // Number of tokens.
  std::size_t size() const { return token_count_; }

 private:
  static constexpr std::size_t kHeadBytes = 8;

  struct TokenBytes {
    std::uint32_t offset;
    std::uint32_t length;  // 0 for an id without token
  };
  struct Slot {
    std::uint64_t head;    // the first bytes, zero-padded
    std::uint32_t length;  // 0 for an empty slot
    TokenId id;
  };

  Vocabulary() = default;

  // The first min(8, size) bytes as a little-endian word, zero-padded, read
  // without touching bytes past the end.
  static std::uint64_t head_word(std::string_view bytes) {
    const char* p = bytes.data();
    const std::size_t n = bytes.size();
    if (n >= 8) return load<std::uint64_t>(p);
    if (n >= 4)
      return load<std::uint32_t>(p) | std::uint64_t{load<std::uint32_t>(p + n - 4)} << (8 * (n - 4));
    if (n >= 2)
      return load<std::uint16_t>(p) | std::uint64_t{load<std::uint16_t>(p + n - 2)} << (8 * (n - 2));
    return n == 1 ? static_cast<unsigned char>(p[0]) : 0;
  }

  template <class Word>
  static Word load(const char* p) {
    Word word;
    std::memcpy(&word, p, sizeof word);
    return word;
  }

  static std::uint64_t hash_of(std::uint64_t head, std::string_view bytes) {
    std::uint64_t x = head ^ (bytes.size() * 0x9E3779B97F4A7C15ull);
    if (bytes.size() > kHeadBytes)
      x ^= load<std::uint64_t>(bytes.data() + bytes.size() - 8) * 0xC2B2AE3D27D4EB4Full;
    // The splitmix64 finalizer: every key bit reaches the index and the tag.
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
  }
  // Occupied slots have the high bit set; 0 marks an empty slot.
  static std::uint8_t tag_of(std::uint64_t hash) { return static_cast<std::uint8_t>(0x80 | (hash & 0x7F)); }

  struct GroupMatch {
    std::uint32_t tags;   // bit i: slot group + i has the tag
    std::uint32_t empty;  // bit i: slot group + i is empty
  };
  GroupMatch match_group(std::size_t group, std::uint8_t tag) const {
#if defined(__SSE2__)
    const __m128i tags = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tags_.data() + group));
    return {static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(tags, _mm_set1_epi8(static_cast<char>(tag))))),
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(tags, _mm_setzero_si128())))};
#else
    GroupMatch match{0, 0};
    for (std::size_t i = 0; i < kGroupSize; ++i) {
      match.tags |= std::uint32_t{tags_[group + i] == tag} << i;
      match.empty |= std::uint32_t{tags_[group + i] == 0} << i;
    }
    return match;
#endif
  }

  void build_rank_slots();

  Vec<char> arena_;          // every token's bytes, back to back
  Vec<TokenBytes> tokens_;   // indexed by id
  // Rank lookup for one and two bytes: direct tables.
  Vec<TokenId> byte_ranks_;  // 256 entries
  Vec<TokenId> pair_ranks_;  // 65536 entries, by the bytes as a native 16-bit word
  // Rank lookup for longer tokens: open addressing, probed sixteen tags at a
  // time from the slot that the hash's high bits pick. The tags array repeats
  // its first kGroupSize entries at the end so that a group never wraps.
  static constexpr std::size_t kGroupSize = 16;
  Vec<std::uint8_t> tags_;
  Vec<Slot> slots_;          // a power of two in size
  std::size_t slot_mask_ = 0;
  unsigned slot_shift_ = 64;
  std::size_t token_count_ = 0;
  std::size_t longest_token_ = 0;  // bytes
};

}  // namespace pre_processor::tokenizer
