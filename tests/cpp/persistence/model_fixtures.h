// Small models for the persistence tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <utility>

#include "pre_processor/ngrams/ngram_key.h"
#include "pre_processor/vectorizer/tfidf_vectorizer.h"

namespace pre_processor::persistence::testing {

inline NgramKey key_of(std::uint32_t l0, std::uint32_t l1 = 0, std::uint32_t l2 = 0, std::uint32_t l3 = 0) {
  return NgramKey::from_lanes({l0, l1, l2, l3});
}

struct ModelSpec {
  Vec<std::uint64_t> ngram_range{2, 3, 4};
  float min_df = 1.0f;
  float max_df = 1.0f;
  bool sublinear_tf = false;
  std::initializer_list<std::pair<NgramKey, std::uint64_t>> vocabulary;
  Vec<float> idf;
};

inline TfidfVectorizer make_model(const ModelSpec& spec) {
  TfidfVectorizer model;
  model.count_vectorizer.params.ngram_range = spec.ngram_range;
  model.count_vectorizer.params.min_df = spec.min_df;
  model.count_vectorizer.params.max_df = spec.max_df;
  model.count_vectorizer.params.sublinear_tf = spec.sublinear_tf;
  for (const auto& [key, column] : spec.vocabulary) model.count_vectorizer.vocab.insert_or_assign(key, column);
  model.idf = spec.idf;
  return model;
}

// A fitted-looking model: `size` random distinct keys (lanes drawn so that
// every lane, including the high ones, varies), columns 0..size-1 in key
// order, one idf weight per column.
inline TfidfVectorizer random_model(std::size_t size, std::uint32_t seed) {
  std::mt19937_64 random(seed);
  Vec<NgramKey> keys;
  keys.reserve(size);
  Vocabulary seen;
  seen.reserve(size);
  while (keys.size() < size) {
    const NgramKey key = key_of(static_cast<std::uint32_t>(random()), static_cast<std::uint32_t>(random() % 200000),
                                static_cast<std::uint32_t>(random() % 3 == 0 ? 0 : random()),
                                static_cast<std::uint32_t>(random() % 2 == 0 ? 0 : random()));
    if (seen.emplace(key, 0)) keys.push_back(key);
  }
  std::sort(keys.begin(), keys.end());
  TfidfVectorizer model;
  model.count_vectorizer.params.ngram_range = {2, 3, 4};
  model.count_vectorizer.params.min_df = 0.001f;
  model.count_vectorizer.params.max_df = 0.95f;
  model.count_vectorizer.params.sublinear_tf = seed % 2 == 0;
  model.count_vectorizer.vocab.reserve(size);
  std::uniform_real_distribution<float> weight(1.0f, 12.0f);
  for (std::size_t column = 0; column < keys.size(); ++column) {
    model.count_vectorizer.vocab.emplace(keys[column], column);
    model.idf.push_back(weight(random));
  }
  return model;
}

}  // namespace pre_processor::persistence::testing
