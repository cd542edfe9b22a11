// Fixtures of the vectorizer tests: reproducible random corpora of token
// sequences, keys and checked parameters.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_key.h"
#include "pre_processor/vectorizer/params.h"
#include "pre_processor/tokenizer/tokenizer.h"

namespace pre_processor::testing {

// `documents` sequences of 0 .. max_length tokens drawn from ids 0 .. max_id
// (id 0 included, since it is an ordinary token), seeded for reproducibility.
inline Vec<TokenSequence> random_corpus(std::size_t documents, std::size_t max_length, TokenId max_id,
                                        std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::size_t> length(0, max_length);
  std::uniform_int_distribution<TokenId> id(0, max_id);
  Vec<TokenSequence> corpus(documents);
  for (TokenSequence& sequence : corpus) {
    sequence.resize(length(random));
    for (TokenId& token : sequence) token = id(random);
  }
  return corpus;
}

inline TokenSequence tokens(std::initializer_list<TokenId> ids) { return TokenSequence(ids); }

inline NgramKey key_of(std::vector<TokenId> ids) { return NgramKey::from_window(ids); }

inline VectorizerParams params_of(float min_df, float max_df, bool sublinear_tf = false) {
  Result<VectorizerParams> params = VectorizerParams::create(min_df, max_df, sublinear_tf);
  EXPECT_TRUE(params.ok());
  return std::move(params).value();
}

}  // namespace pre_processor::testing
