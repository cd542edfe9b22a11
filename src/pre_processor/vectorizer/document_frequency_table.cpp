#include "pre_processor/vectorizer/document_frequency_table.h"

#include <algorithm>
#include <bit>
#include <mutex>
#include <thread>

#include <tbb/parallel_sort.h>

#include "pre_processor/common/thread_pool.h"
#include "pre_processor/vectorizer/params.h"

namespace pre_processor {
namespace {

constexpr std::size_t kShardsPerThread = 4;

}  // namespace

std::size_t DocumentFrequencyTable::default_shard_count() {
  const std::size_t threads = std::max<std::size_t>(std::thread::hardware_concurrency(), 1);
  return std::bit_ceil(threads * kShardsPerThread);
}

DocumentFrequencyTable::DocumentFrequencyTable(std::size_t expected_keys, std::uint64_t seed,
                                               std::size_t shard_count)
    : hash_(seed), shard_count_(std::max<std::size_t>(shard_count, 1)),
      shards_(std::make_unique<Shard[]>(shard_count_)) {
  const std::size_t per_shard = expected_keys / shard_count_;
  for (std::size_t i = 0; i < shard_count_; ++i) {
    shards_[i].map = Map(per_shard, hash_);
  }
}

std::size_t DocumentFrequencyTable::shard_index(NgramKey key) const {
  // The high bits of the hash pick the shard; the shard's map indexes by the low bits.
  const auto hash = static_cast<unsigned __int128>(hash_(key));
  return static_cast<std::size_t>((hash * shard_count_) >> 64);
}

void DocumentFrequencyTable::add(NgramKey key, std::uint64_t documents) {
  Shard& shard = shards_[shard_index(key)];
  std::unique_lock lock(shard.mutex);
  shard.map[key] += documents;
}

void DocumentFrequencyTable::add_to_shard(std::size_t shard_number, std::span<const NgramKey> keys) {
  Shard& shard = shards_[shard_number];
  std::unique_lock lock(shard.mutex);
  std::size_t added = 0;
  try {
    for (; added < keys.size(); ++added) ++shard.map[keys[added]];
  } catch (...) {
    subtract_each(shard.map, keys.first(added));
    throw;
  }
}

void DocumentFrequencyTable::remove_from_shard(std::size_t shard_number, std::span<const NgramKey> keys) noexcept {
  Shard& shard = shards_[shard_number];
  std::unique_lock lock(shard.mutex);
  subtract_each(shard.map, keys);
}

void DocumentFrequencyTable::subtract_each(Map& map, std::span<const NgramKey> keys) noexcept {
  for (NgramKey key : keys) {
    const auto found = map.find(key);
    if (found == map.end()) continue;
    if (--found->second == 0) map.erase(found);
  }
}

void DocumentFrequencyTable::reserve_shard(std::size_t shard_number, std::size_t keys) {
  Shard& shard = shards_[shard_number];
  std::unique_lock lock(shard.mutex);
  shard.map.reserve(keys);
}

std::uint64_t DocumentFrequencyTable::size() const {
  std::uint64_t keys = 0;
  for (std::size_t i = 0; i < shard_count_; ++i) {
    std::shared_lock lock(shards_[i].mutex);
    keys += shards_[i].map.size();
  }
  return keys;
}

std::uint64_t DocumentFrequencyTable::drain_shard_filtered(std::size_t shard_number, std::uint64_t min_threshold,
                                                           std::uint64_t max_threshold,
                                                           Vec<KeyDocumentFrequency>& kept) {
  Shard& shard = shards_[shard_number];
  std::unique_lock lock(shard.mutex);
  const std::uint64_t keys = shard.map.size();
  for (const auto& [key, count] : shard.map) {
    if (vectorizer::passes_df_filter(count, min_threshold, max_threshold)) kept.push_back({key, count});
  }
  Map().swap(shard.map);
  return keys;
}

Vec<KeyDocumentFrequency> DocumentFrequencyTable::drain_filtered(std::uint64_t min_threshold,
                                                                 std::uint64_t max_threshold) {
  Vec<Vec<KeyDocumentFrequency>> kept_per_shard(shard_count_);
  pool::for_each_index(shard_count_, [&](std::size_t shard) {
    drain_shard_filtered(shard, min_threshold, max_threshold, kept_per_shard[shard]);
  });
  return join_in_key_order(kept_per_shard);
}

Vec<KeyDocumentFrequency> DocumentFrequencyTable::join_in_key_order(Vec<Vec<KeyDocumentFrequency>>& lists) {
  std::size_t total = 0;
  for (const auto& list : lists) total += list.size();
  Vec<KeyDocumentFrequency> all;
  all.reserve(total);
  for (auto& list : lists) {
    all.insert(all.end(), list.begin(), list.end());
    Vec<KeyDocumentFrequency>().swap(list);
  }
  // Keys are unique, so this order is total and independent of the split.
  tbb::parallel_sort(all.begin(), all.end(),
                     [](const KeyDocumentFrequency& a, const KeyDocumentFrequency& b) { return a.key < b.key; });
  return all;
}

}  // namespace pre_processor
