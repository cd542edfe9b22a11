// A concurrent table from n-gram key to the number of documents containing it.
//
// The table is split into shards by key hash; each shard is a hash map behind
// its own reader-writer lock, and no operation ever holds two shard locks.
// Any number of threads may add() and add_to_shard() at once. Bulk counting
// goes fastest when the caller groups its keys by shard_index() first and lets
// one task fill each shard: the lock is then taken once per group and never
// contended, and each task works on one shard's map only. The hash function is seeded per
// table, so iteration order differs between tables and runs; nothing this
// class returns depends on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include <absl/container/flat_hash_map.h>

#include "pre_processor/common/memory.h"
#include "pre_processor/common/shared_spin_mutex.h"
#include "pre_processor/common/thread_pool.h"
#include "pre_processor/ngrams/ngram_key.h"

namespace pre_processor {

struct KeyDocumentFrequency {
  NgramKey key;
  std::uint64_t document_frequency;

  friend bool operator==(const KeyDocumentFrequency&, const KeyDocumentFrequency&) = default;
};

class DocumentFrequencyTable {
 public:
  // Four shards per hardware thread, rounded up to a power of two.
  static std::size_t default_shard_count();

  // Room for `expected_keys` keys spread over the shards.
  explicit DocumentFrequencyTable(std::size_t expected_keys = 0, std::uint64_t seed = random_hash_seed(),
                                  std::size_t shard_count = default_shard_count());

  DocumentFrequencyTable(DocumentFrequencyTable&&) noexcept = default;
  DocumentFrequencyTable& operator=(DocumentFrequencyTable&&) noexcept = default;

  // Adds `documents` to the key's count, inserting it when absent, under the
  // write lock of the key's shard.
  void add(NgramKey key, std::uint64_t documents = 1);


  // The shard that holds `key`: a function of the key and the table's seed and
  // shard count, below shard_count().
  std::size_t shard_index(NgramKey key) const;

  // Adds 1 to the count of each listed key (a key listed twice gets 2), under
  // one hold of the shard's write lock. Every key must belong to `shard`.
  // All or nothing: if memory runs out midway, the counts added so far are
  // taken back before the exception leaves.
  void add_to_shard(std::size_t shard, std::span<const NgramKey> keys);

  // Takes back add_to_shard(shard, keys): subtracts 1 for each listed key and
  // drops the keys whose count reaches 0. Never allocates.
  void remove_from_shard(std::size_t shard, std::span<const NgramKey> keys) noexcept;

  // Makes room in the shard for `keys` keys in all, so that adding that many
  // does not rehash its map.
  void reserve_shard(std::size_t shard, std::size_t keys);

  // The number of distinct keys: the shard sizes summed, each read under its
  // shard's read lock.
  std::uint64_t size() const;

  // Empties the table, shards in parallel, and returns every key whose count c
  // satisfies min_threshold <= c <= max_threshold, in ascending key order.
  // Must not run concurrently with add().
  Vec<KeyDocumentFrequency> drain_filtered(std::uint64_t min_threshold, std::uint64_t max_threshold);

  // Empties one shard, appends its keys that pass the thresholds (as above) to
  // `kept` in no particular order, and returns how many keys the shard held.
  // Shards are independent: each may be drained by its own task, also while
  // other shards are still being added to.
  std::uint64_t drain_shard_filtered(std::size_t shard, std::uint64_t min_threshold, std::uint64_t max_threshold,
                                     Vec<KeyDocumentFrequency>& kept);

  // Joins lists of distinct keys into one list in ascending key order, freeing
  // each list as it is taken. The result is the same however the keys were
  // split among the lists.
  static Vec<KeyDocumentFrequency> join_in_key_order(Vec<Vec<KeyDocumentFrequency>>& lists);

  std::size_t shard_count() const { return shard_count_; }

 private:
  using Map = absl::flat_hash_map<NgramKey, std::uint64_t, NgramKeyHash, std::equal_to<NgramKey>,
                                  Allocator<std::pair<const NgramKey, std::uint64_t>>>;

  static void subtract_each(Map& map, std::span<const NgramKey> keys) noexcept;

  // Aligned apart so that writers to neighbouring shards do not share a cache line.
  struct alignas(64) Shard {
    mutable SharedSpinMutex mutex;
    Map map;
  };


  NgramKeyHash hash_;
  std::size_t shard_count_;
  std::unique_ptr<Shard[]> shards_;
};

// Adds lists[t][s], the keys of shard s from task t, to the table for every t
// and s, one pool task per shard. All or nothing: if memory runs out, every
// count added is taken back before the exception leaves, so that a batch
// counts entirely or not at all. `Table` has shard_count(), add_to_shard()
// (itself all or nothing) and remove_from_shard(), as DocumentFrequencyTable.
template <class Table, class ShardLists>
void add_all_or_nothing(Table& table, std::span<const ShardLists> lists) {
  const std::size_t shards = table.shard_count();
  Vec<std::uint8_t> shard_done(shards, 0);
  const auto take_back = [&](std::size_t shard, std::size_t tasks) {
    for (std::size_t task = 0; task < tasks; ++task) table.remove_from_shard(shard, lists[task][shard]);
  };
  try {
    pool::for_each_index(shards, [&](std::size_t shard) {
      std::size_t task = 0;
      try {
        for (; task < lists.size(); ++task) table.add_to_shard(shard, lists[task][shard]);
      } catch (...) {
        take_back(shard, task);  // the failing list has taken back its own counts
        throw;
      }
      shard_done[shard] = 1;
    });
  } catch (...) {
    // The pool has finished every task it started before passing the exception on.
    for (std::size_t shard = 0; shard < shards; ++shard) {
      if (shard_done[shard] != 0) take_back(shard, lists.size());
    }
    throw;
  }
}

}  // namespace pre_processor
