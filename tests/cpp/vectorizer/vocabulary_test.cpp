#include "pre_processor/vectorizer/vocabulary.h"

#include <map>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace pre_processor {
namespace {

// Keys drawn from a small pool, so that lists repeat keys often.
NgramKey pooled_key(std::mt19937_64& random, std::uint32_t pool) {
  const auto first = static_cast<std::uint32_t>(random() % pool);
  return NgramKey::from_lanes({first, first * 7919u, first % 3, 0});
}

// What a map with insertion order would hold after the same operations.
struct Reference {
  std::map<NgramKey, std::uint64_t> columns;
  std::vector<NgramKey> order;

  void add(NgramKey key, std::uint64_t column, bool replace) {
    auto [it, inserted] = columns.try_emplace(key, column);
    if (inserted) {
      order.push_back(key);
    } else if (replace) {
      it->second = column;
    }
  }
};

void expect_matches(const Vocabulary& vocabulary, const Reference& reference) {
  ASSERT_EQ(vocabulary.size(), reference.order.size());
  std::size_t position = 0;
  for (const auto& [key, column] : vocabulary) {
    EXPECT_EQ(key, reference.order[position++]);
    EXPECT_EQ(column, reference.columns.at(key));
    EXPECT_EQ(vocabulary.column_of(key), column);
  }
}

TEST(NgramVocabularyTest, AddsAndFindsLikeAnOrderedMapThroughEveryGrowth) {
  for (const std::uint32_t pool : {1u, 10u, 5000u}) {
    std::mt19937_64 random(pool);
    Vocabulary vocabulary;
    Reference reference;
    for (int step = 0; step < 20000; ++step) {
      const NgramKey key = pooled_key(random, pool);
      const std::uint64_t column = random() % 100000;
      const bool replace = random() % 2 == 0;
      if (replace) {
        vocabulary.insert_or_assign(key, column);
      } else {
        EXPECT_EQ(vocabulary.emplace(key, column), !reference.columns.contains(key));
      }
      reference.add(key, column, replace);
    }
    SCOPED_TRACE(pool);
    expect_matches(vocabulary, reference);
    EXPECT_EQ(vocabulary.find(NgramKey::from_lanes({pool + 1, 1, 1, 1})), nullptr);
  }
}

TEST(NgramVocabularyTest, FromEntriesKeepsFirstPositionsAndLastColumns) {
  // Long lists of distinct keys are indexed region by region in parallel; a
  // long list with repeats falls back to the ordered build.
  struct Case {
    std::size_t length;
    bool distinct;
  };
  for (const Case& c : {Case{0, true}, Case{1, true}, Case{17, false}, Case{50000, false}, Case{300000, true},
                        Case{300000, false}}) {
    std::mt19937_64 random(c.length);
    Vec<VocabularyEntry> entries;
    Reference reference;
    for (std::size_t i = 0; i < c.length; ++i) {
      const NgramKey key = c.distinct ? NgramKey::from_lanes({static_cast<std::uint32_t>(i), 1, 2, 3})
                                      : pooled_key(random, static_cast<std::uint32_t>(c.length / 2 + 1));
      const VocabularyEntry entry{key, random()};
      entries.push_back(entry);
      reference.add(entry.key, entry.column, true);
    }
    if (!c.distinct && c.length > 1) {  // a repeat at the very end too
      const VocabularyEntry repeat = entries.front();
      entries.push_back(repeat);
      reference.add(repeat.key, repeat.column, true);
    }
    SCOPED_TRACE(c.length);
    const Vocabulary vocabulary = Vocabulary::from_entries(std::move(entries));
    expect_matches(vocabulary, reference);
  }
}

TEST(NgramVocabularyTest, EqualityIgnoresOrderButNotColumnsOrKeys) {
  const NgramKey a = NgramKey::from_lanes({1, 2, 0, 0});
  const NgramKey b = NgramKey::from_lanes({2, 1, 0, 0});
  const NgramKey c = NgramKey::from_lanes({3, 0, 0, 0});
  const Vocabulary forward = Vocabulary::from_entries({{a, 0}, {b, 1}});
  Vocabulary backward;
  backward.reserve(100);
  backward.emplace(b, 1);
  backward.emplace(a, 0);
  EXPECT_EQ(forward, backward);
  EXPECT_NE(forward, Vocabulary::from_entries({{a, 0}, {b, 2}}));
  EXPECT_NE(forward, Vocabulary::from_entries({{a, 0}, {c, 1}}));
  EXPECT_NE(forward, Vocabulary::from_entries({{a, 0}}));
  EXPECT_EQ(Vocabulary(), Vocabulary::from_entries({}));
}

}  // namespace
}  // namespace pre_processor
