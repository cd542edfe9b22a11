#include "pre_processor/ngrams/ngram_key.h"

#include <vector>

#include <gtest/gtest.h>

namespace pre_processor {
namespace {

NgramKey key_of(std::vector<TokenId> tokens) { return NgramKey::from_window(tokens); }

unsigned __int128 u128(std::uint64_t high, std::uint64_t low) {
  return (static_cast<unsigned __int128>(high) << 64) | low;
}

TEST(NgramKeyTest, PacksTheFirstTokenIntoTheLowestLane) {
  struct Case {
    std::vector<TokenId> window;
    unsigned __int128 expected;
  };
  const Case cases[] = {
      {{5}, 5},
      {{1, 2}, u128(0, 0x0000000200000001ULL)},
      {{1, 2, 3}, u128(0x3, 0x0000000200000001ULL)},
      {{1, 2, 3, 4}, u128(0x0000000400000003ULL, 0x0000000200000001ULL)},
      {{0xFFFFFFFF, 0, 0xFFFFFFFF}, u128(0xFFFFFFFF, 0xFFFFFFFF)},
      // Tokens after the fourth are not represented.
      {{1, 2, 3, 4, 5, 6}, u128(0x0000000400000003ULL, 0x0000000200000001ULL)},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(key_of(c.window).value == c.expected) << "window of " << c.window.size() << " tokens";
  }
}

TEST(NgramKeyTest, TrailingZeroIdsShareTheShorterKey) {
  EXPECT_EQ(key_of({5, 7}), key_of({5, 7, 0}));
  EXPECT_EQ(key_of({5, 7}), key_of({5, 7, 0, 0}));
  EXPECT_NE(key_of({5, 7}), key_of({0, 5, 7}));
}

TEST(NgramKeyTest, OrdersAsUnsigned128BitIntegers) {
  // The last token weighs most.
  EXPECT_LT(key_of({2, 1}), key_of({1, 2}));
  EXPECT_LT(key_of({0xFFFFFFFF, 1}), key_of({0, 2}));
  // Every bigram sorts before any trigram whose third token is not 0.
  EXPECT_LT(key_of({0xFFFFFFFF, 0xFFFFFFFF}), key_of({0, 0, 1}));
  EXPECT_LT(key_of({1, 2, 3}), key_of({1, 2, 3, 1}));
  // The top lane decides even above 2^127.
  EXPECT_LT(key_of({0, 0, 0, 0x7FFFFFFF}), key_of({0, 0, 0, 0x80000000}));
}

TEST(NgramKeyTest, KeyTokensStopBeforeTheFirstZeroLane) {
  struct Case {
    std::vector<TokenId> window;
    std::vector<TokenId> expected;
  };
  const Case cases[] = {
      {{1, 2, 3, 4}, {1, 2, 3, 4}},
      {{0, 9}, {}},
      {{4, 0, 6}, {4}},
      {{7, 8}, {7, 8}},
      {{1, 2, 3, 4, 5}, {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    const Vec<TokenId> tokens = NgramKey::key_tokens(key_of(c.window));
    EXPECT_EQ(std::vector<TokenId>(tokens.begin(), tokens.end()), c.expected);
  }
}

TEST(NgramKeyTest, LanesRoundTrip) {
  const NgramKey key = key_of({11, 0, 0xFFFFFFFF, 42});
  const auto lanes = key.lanes();
  EXPECT_EQ(lanes, (std::array<std::uint32_t, 4>{11, 0, 0xFFFFFFFF, 42}));
  EXPECT_EQ(NgramKey::from_lanes(lanes), key);
}

TEST(NgramKeyTest, HashFollowsTheSeed) {
  const NgramKey key = key_of({1, 2, 3});
  EXPECT_EQ(NgramKeyHash(7)(key), NgramKeyHash(7)(key));
  EXPECT_NE(NgramKeyHash(7)(key), NgramKeyHash(8)(key));
  EXPECT_EQ(NgramKeyHash()(key), NgramKeyHash(process_hash_seed())(key));
}

}  // namespace
}  // namespace pre_processor
