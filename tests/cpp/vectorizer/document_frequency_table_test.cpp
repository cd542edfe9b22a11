#include "pre_processor/vectorizer/document_frequency_table.h"

#include <map>
#include <mutex>
#include <new>
#include <span>
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

// The keys whose frequency f satisfies min <= f <= max, in ascending key order.
std::vector<KeyDocumentFrequency> frequencies_between(const std::map<NgramKey, std::uint64_t>& frequencies,
                                                      std::uint64_t min, std::uint64_t max) {
  std::vector<KeyDocumentFrequency> kept;
  for (const auto& [k, frequency] : frequencies) {
    if (min <= frequency && frequency <= max) kept.push_back({k, frequency});
  }
  return kept;
}

// Every key of every document, grouped by the table's shard_index().
std::vector<std::vector<NgramKey>> keys_by_shard(const DocumentFrequencyTable& table,
                                                 const std::vector<std::vector<NgramKey>>& docs) {
  std::vector<std::vector<NgramKey>> keys(table.shard_count());
  for (const auto& doc : docs) {
    for (NgramKey k : doc) {
      const std::size_t shard = table.shard_index(k);
      EXPECT_LT(shard, table.shard_count());
      if (shard < keys.size()) keys[shard].push_back(k);
    }
  }
  return keys;
}

TEST(DocumentFrequencyTableTest, ConcurrentAddsAreAllCounted) {
  // Thousands of distinct keys, so that the shards grow many times meanwhile.
  std::vector<std::vector<NgramKey>> docs(3000);
  for (std::uint32_t d = 0; d < docs.size(); ++d) {
    for (std::uint32_t i = 0; i < d % 40; ++i) docs[d].push_back(key(i, d % 97));
  }
  const auto expected = reference_frequencies(docs);
  const auto want = frequencies_between(expected, 0, UINT64_MAX);

  // Key by key, and a shard's keys at once; few shards and a small start make
  // the shards grow many times meanwhile.
  for (const bool by_shard : {false, true}) {
    DocumentFrequencyTable table(16, random_hash_seed(), 2);
    if (by_shard) {
      const auto shard_keys = keys_by_shard(table, docs);
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
  const auto want = frequencies_between(expected, 300, 2400);
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

TEST(DocumentFrequencyTableTest, ShardByShardCountingMatchesKeyByKey) {
  // Each shard filled (reserved first or not) and drained by its own task,
  // then the shards joined: the same as the reference, whatever the shard count.
  const auto docs = documents();
  const auto expected = reference_frequencies(docs);
  const auto want = frequencies_between(expected, 300, 2400);

  for (std::size_t shards : {1, 5, 64}) {
    for (bool reserve : {false, true}) {
      DocumentFrequencyTable table(0, random_hash_seed(), shards);
      const auto shard_keys = keys_by_shard(table, docs);
      Vec<Vec<KeyDocumentFrequency>> kept(shards);
      std::vector<std::uint64_t> keys_per_shard(shards);
      pool::for_each_index(shards, [&](std::size_t shard) {
        if (reserve) table.reserve_shard(shard, shard_keys[shard].size());
        // Two calls, so that counts of one shard add up across calls.
        const std::span<const NgramKey> keys(shard_keys[shard]);
        table.add_to_shard(shard, keys.first(keys.size() / 2));
        table.add_to_shard(shard, keys.subspan(keys.size() / 2));
        keys_per_shard[shard] = table.drain_shard_filtered(shard, 300, 2400, kept[shard]);
      });
      std::uint64_t keys = 0;
      for (std::uint64_t count : keys_per_shard) keys += count;
      EXPECT_EQ(keys, expected.size()) << shards << " shards: distinct keys before filtering";
      EXPECT_EQ(table.size(), 0u) << shards << " shards";
      const Vec<KeyDocumentFrequency> joined = DocumentFrequencyTable::join_in_key_order(kept);
      EXPECT_EQ(std::vector<KeyDocumentFrequency>(joined.begin(), joined.end()), want)
          << shards << " shards, reserved " << reserve;
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

namespace pre_processor {
namespace {

// Stands in for a table whose memory runs out: add_to_shard throws at the
// chosen call of the chosen shard, after adding nothing (as the real table
// guarantees). All counts live in one map, to compare before and after.
class TableThatRunsOut {
 public:
  TableThatRunsOut(std::size_t shards, std::size_t failing_shard, std::size_t failing_call)
      : shards_(shards), failing_shard_(failing_shard), failing_call_(failing_call), calls_(shards, 0) {}

  std::size_t shard_count() const { return shards_; }

  void add_to_shard(std::size_t shard, std::span<const NgramKey> keys) {
    std::lock_guard lock(mutex_);
    if (shard == failing_shard_ && calls_[shard]++ == failing_call_) throw std::bad_alloc();
    for (NgramKey k : keys) ++counts[k];
  }

  void remove_from_shard(std::size_t, std::span<const NgramKey> keys) noexcept {
    std::lock_guard lock(mutex_);
    for (NgramKey k : keys) {
      if (--counts[k] == 0) counts.erase(k);
    }
  }

  std::map<NgramKey, std::uint64_t> counts;

 private:
  std::size_t shards_;
  std::size_t failing_shard_;
  std::size_t failing_call_;
  std::vector<std::size_t> calls_;
  std::mutex mutex_;
};

TEST(DocumentFrequencyTableTest, BatchThatRunsOutOfMemoryCountsNotAtAll) {
  constexpr std::size_t kShards = 16;
  constexpr std::size_t kLists = 5;
  // lists[t][s]: keys of shard s from task t, with repeats across tasks.
  std::vector<std::vector<std::vector<NgramKey>>> lists(kLists, std::vector<std::vector<NgramKey>>(kShards));
  for (std::uint32_t t = 0; t < kLists; ++t) {
    for (std::uint32_t s = 0; s < kShards; ++s) {
      for (std::uint32_t i = 0; i < 1 + (t + s) % 4; ++i) lists[t][s].push_back(key(s, i));
    }
  }
  const std::map<NgramKey, std::uint64_t> before{{key(0, 0), 3}, {key(15, 9), 1}};
  struct Case {
    std::size_t shard;
    std::size_t call;
  };
  for (const Case c : {Case{0, 0}, Case{0, kLists - 1}, Case{7, 2}, Case{kShards - 1, kLists - 1}}) {
    SCOPED_TRACE(testing::Message() << "shard " << c.shard << ", call " << c.call);
    TableThatRunsOut table(kShards, c.shard, c.call);
    table.counts = before;
    EXPECT_THROW(add_all_or_nothing(table, std::span<const std::vector<std::vector<NgramKey>>>(lists)),
                 std::bad_alloc);
    EXPECT_EQ(table.counts, before);
  }
  TableThatRunsOut table(kShards, kShards, 0);  // never fails
  table.counts = before;
  add_all_or_nothing(table, std::span<const std::vector<std::vector<NgramKey>>>(lists));
  std::map<NgramKey, std::uint64_t> expected = before;
  for (const auto& by_shard : lists) {
    for (const auto& keys : by_shard) {
      for (NgramKey k : keys) ++expected[k];
    }
  }
  EXPECT_EQ(table.counts, expected);
}

TEST(DocumentFrequencyTableTest, RemovingTakesBackAddingExactly) {
  DocumentFrequencyTable table(0, 7, 1);
  const std::vector<NgramKey> first{key(1, 1), key(2, 2), key(1, 1)};
  const std::vector<NgramKey> second{key(1, 1), key(3, 3), key(3, 3)};
  table.add_to_shard(0, first);
  table.add_to_shard(0, second);
  table.remove_from_shard(0, second);
  EXPECT_EQ(table.size(), 2u);  // key (3, 3) is gone, not kept at 0
  EXPECT_EQ(table.drain_filtered(0, 100), (Vec<KeyDocumentFrequency>{{key(1, 1), 2}, {key(2, 2), 1}}));
}

}  // namespace
}  // namespace pre_processor
