#include "pre_processor/vectorizer/document_frequency_table.h"

#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "pre_processor/common/thread_pool.h"

namespace pre_processor {
namespace {

NgramKey key(std::uint32_t a, std::uint32_t b) { return NgramKey::from_lanes({a, b, 0, 0}); }

// Document d holds the keys (i, d % 7) for i < 1 + d % 5.
std::vector<std::vector<NgramKey>> documents() {
  std::vector<std::vector<NgramKey>> docs(3000);
  for (std::uint32_t d = 0; d < docs.size(); ++d) {
    for (std::uint32_t i = 0; i < 1 + d % 5; ++i) docs[d].push_back(key(i, d % 7));
  }
  return docs;
}

std::map<NgramKey, std::uint64_t> reference_frequencies(const std::vector<std::vector<NgramKey>>& docs) {
  std::map<NgramKey, std::uint64_t> frequencies;
  for (const auto& doc : docs) {
    for (NgramKey k : doc) ++frequencies[k];
  }
  return frequencies;
}

TEST(DocumentFrequencyTableTest, ConcurrentAddsAreAllCounted) {
  // Thousands of distinct keys, so that the shards grow many times meanwhile.
  std::vector<std::vector<NgramKey>> docs(3000);
  for (std::uint32_t d = 0; d < docs.size(); ++d) {
    for (std::uint32_t i = 0; i < d % 40; ++i) docs[d].push_back(key(i, d % 97));
  }
  const auto expected = reference_frequencies(docs);
  std::vector<KeyDocumentFrequency> want;
  for (const auto& [k, frequency] : expected) want.push_back({k, frequency});

  // Key by key, and a shard's keys at once; few shards and a small start make
  // the shards grow many times meanwhile.
  for (const bool by_shard : {false, true}) {
    DocumentFrequencyTable table(16, random_hash_seed(), 2);
    if (by_shard) {
      std::vector<std::vector<NgramKey>> shard_keys(table.shard_count());
      for (const auto& doc : docs) {
        for (NgramKey k : doc) shard_keys[table.shard_index(k)].push_back(k);
      }
      pool::for_each_index(shard_keys.size(), [&](std::size_t shard) {
        table.add_to_shard(shard, shard_keys[shard]);
      });
    } else {
      pool::for_each_index(docs.size(), [&](std::size_t d) {
        for (NgramKey k : docs[d]) table.add(k);
      });
    }
    EXPECT_EQ(table.size(), expected.size());
    const Vec<KeyDocumentFrequency> all = table.drain_filtered(0, UINT64_MAX);
    EXPECT_EQ(std::vector<KeyDocumentFrequency>(all.begin(), all.end()), want);
    EXPECT_EQ(table.size(), 0u);  // drained
  }
}

TEST(DocumentFrequencyTableTest, FilteredDrainIsIndependentOfSeedAndShards) {
  const auto docs = documents();
  const auto expected = reference_frequencies(docs);
  std::vector<KeyDocumentFrequency> want;
  for (const auto& [k, frequency] : expected) {
    if (300 <= frequency && frequency <= 2400) want.push_back({k, frequency});
  }
  ASSERT_FALSE(want.empty());
  ASSERT_LT(want.size(), expected.size());

  for (std::size_t shards : {1, 3, 64}) {
    for (std::uint64_t seed : {std::uint64_t{1}, std::uint64_t{99}, random_hash_seed()}) {
      DocumentFrequencyTable table(0, seed, shards);
      EXPECT_EQ(table.shard_count(), shards);
      for (const auto& doc : docs) {
        for (NgramKey k : doc) table.add(k);
      }
      const Vec<KeyDocumentFrequency> kept = table.drain_filtered(300, 2400);
      EXPECT_EQ(std::vector<KeyDocumentFrequency>(kept.begin(), kept.end()), want)
          << shards << " shards, seed " << seed;
    }
  }
}

TEST(DocumentFrequencyTableTest, AddsLargerAmountsAtOnce) {
  DocumentFrequencyTable table;
  table.add(key(1, 2), 5);
  table.add(key(1, 2), 3);
  table.add(key(2, 1));
  const Vec<KeyDocumentFrequency> all = table.drain_filtered(0, 100);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0], (KeyDocumentFrequency{key(2, 1), 1}));
  EXPECT_EQ(all[1], (KeyDocumentFrequency{key(1, 2), 8}));
}

}  // namespace
}  // namespace pre_processor
