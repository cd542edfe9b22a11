#include "pre_processor/tokenizer/vocabulary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace pre_processor::tokenizer {
namespace {

TEST(Vocabulary, ParsesRanksAndTheirBytes) {
  // "a", "bc", "\xff\x00" with a gap at rank 2.
  auto parsed = Vocabulary::parse("YQ== 0\nYmM= 1\n/wA= 3\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error().message;
  const Vocabulary& v = *parsed;
  EXPECT_EQ(v.size(), 3u);
  EXPECT_EQ(v.find_rank("a"), 0u);
  EXPECT_EQ(v.find_rank("bc"), 1u);
  EXPECT_EQ(v.find_rank(std::string_view("\xff\x00", 2)), 3u);
  EXPECT_EQ(v.find_rank("b"), Vocabulary::kNoRank);
  EXPECT_EQ(v.token_bytes(1), "bc");
  EXPECT_EQ(v.token_bytes(3), std::string_view("\xff\x00", 2));
  EXPECT_FALSE(v.token_bytes(2).has_value());
  EXPECT_FALSE(v.token_bytes(4).has_value());
  EXPECT_FALSE(v.token_bytes(UINT32_MAX).has_value());
}

TEST(Vocabulary, RefusesMalformedFiles) {
  for (std::string_view file : {"YQ== 0", "YQ==0\n", "YQ= 0\n", "Y!== 0\n", " 0\n", "YQ== x\n",
                                "YQ== 1x\n", "YQ== -1\n", "YQ== 4294967295\n", "YQ== 0\nYg== 0\n",
                                "YQ== 0\nYQ== 1\n"}) {
    EXPECT_FALSE(Vocabulary::parse(file).ok()) << file;
  }
}

TEST(Vocabulary, O200kBaseHasEveryRankBothWays) {
  const auto started = std::chrono::steady_clock::now();
  const Vocabulary& v = Vocabulary::o200k_base();
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
  std::printf("o200k_base vocabulary ready in %.1f ms\n", took.count());
  EXPECT_EQ(&v, &Vocabulary::o200k_base());
  ASSERT_EQ(v.size(), 199'998u);
  for (TokenId id = 0; id < 199'998; ++id) {
    const auto bytes = v.token_bytes(id);
    ASSERT_TRUE(bytes.has_value()) << id;
    ASSERT_EQ(v.find_rank(*bytes), id);
  }
  EXPECT_FALSE(v.token_bytes(199'998).has_value());
  EXPECT_EQ(v.token_bytes(24912), "hello");
  // Every single byte is a token, so every piece can be encoded.
  for (int b = 0; b < 256; ++b) EXPECT_NE(v.find_rank(std::string(1, static_cast<char>(b))), Vocabulary::kNoRank);
}

}  // namespace
}  // namespace pre_processor::tokenizer
