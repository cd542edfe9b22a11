// The packed key of a token n-gram.
//
// An n-gram of up to four token ids is packed into one unsigned 128-bit value,
// the first token in the lowest 32 bits. Keys compare as 128-bit integers, so
// the last token weighs most: (2, 1) sorts before (1, 2). That order fixes the
// column layout of every vectorizer, and the packed value is what stored models
// keep. The key does not record n: trailing zero ids vanish into the shorter
// n-gram, and tokens after the fourth are not represented.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>

#ifndef XXH_INLINE_ALL
#define XXH_INLINE_ALL
#endif
#include <xxhash.h>

#include "pre_processor/common/memory.h"
#include "pre_processor/tokenizer/tokenizer.h"

namespace pre_processor {

// The most tokens a key holds; longer windows are keyed by their first four.
inline constexpr std::size_t DEFAULT_MAX_NGRAM = 4;

// A 128-bit integer aligned to 8 bytes instead of 16, so that a key paired
// with a 64-bit count or column takes 24 bytes rather than 32: every list and
// map of keys is a quarter smaller.
typedef unsigned __int128 PackedKeyValue __attribute__((aligned(8)));

struct NgramKey {
  PackedKeyValue value = 0;

  // Packs t0 + t1 * 2^32 + t2 * 2^64 + t3 * 2^96; ids after the fourth are ignored.
  static NgramKey from_window(std::span<const TokenId> window);

  // The four 32-bit lanes, lane 0 (the first token) first, and their inverse.
  static NgramKey from_lanes(const std::array<std::uint32_t, DEFAULT_MAX_NGRAM>& lanes);
  std::array<std::uint32_t, DEFAULT_MAX_NGRAM> lanes() const;

  // The ids the key spells: lanes from the lowest upward, stopping before the
  // first lane that is 0. A key whose first lane is 0 spells nothing.
  static Vec<TokenId> key_tokens(NgramKey key);

  friend bool operator==(NgramKey, NgramKey) = default;
  friend std::strong_ordering operator<=>(NgramKey a, NgramKey b) {
    return a.value == b.value ? std::strong_ordering::equal
           : a.value < b.value ? std::strong_ordering::less
                               : std::strong_ordering::greater;
  }
};

// The seed of every default-constructed NgramKeyHash: drawn at random once per
// process, so hash-map iteration order differs from run to run.
std::uint64_t process_hash_seed();

// A fresh random seed, for tables that want their own.
std::uint64_t random_hash_seed();

// Fast seeded hash of the 128-bit value (XXH3).
class NgramKeyHash {
 public:
  NgramKeyHash() : seed_(process_hash_seed()) {}
  explicit NgramKeyHash(std::uint64_t seed) : seed_(seed) {}

  // Inline: it runs for every window of every document.
  std::size_t operator()(NgramKey key) const {
    const unsigned __int128 value = key.value;
    return static_cast<std::size_t>(XXH3_64bits_withSeed(&value, sizeof value, seed_));
  }

 private:
  std::uint64_t seed_;
};

}  // namespace pre_processor
