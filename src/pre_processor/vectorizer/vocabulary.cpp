#include "pre_processor/vectorizer/vocabulary.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <stdexcept>
#include <utility>

#include "pre_processor/common/thread_pool.h"

namespace pre_processor {
namespace {

constexpr std::size_t kMinSlots = 16;
// Entries ahead of the one being placed whose home slots are being fetched.
constexpr std::size_t kPrefetchDistance = 16;
// Lists at least this long are indexed region by region in parallel.
constexpr std::size_t kParallelIndexEntries = 1u << 16;
// Slots per region: the region's tags and entry numbers stay in a core's cache.
constexpr std::size_t kSlotsPerRegion = 1u << 15;
// Entries per task while hashing and grouping a list by region.
constexpr std::size_t kEntriesPerTask = 1u << 16;
constexpr const char* kTooManyEntriesMessage = "vocabulary cannot hold more than 2^32 - 1 entries";

// The index is kept at most two-thirds full: a missing key's scan of tag bytes
// still ends within a few bytes.
bool fits(std::size_t entries, std::size_t slots) { return 3 * entries <= 2 * slots; }
std::size_t slots_for(std::size_t entries) { return std::max(kMinSlots, (3 * entries + 1) / 2 + 1); }

void check_entry_count(std::size_t entries) {
  if (entries > Vocabulary::kMaxEntries) throw std::length_error(kTooManyEntriesMessage);
}

}  // namespace

Vocabulary Vocabulary::from_entries(Vec<VocabularyEntry> entries) {
  check_entry_count(entries.size());
  Vocabulary vocabulary;
  vocabulary.reset_index(entries.size());
  // Stored and fitted vocabularies hold distinct keys; a list that repeats one
  // is indexed again in order, merging the repeats.
  const bool long_list = entries.size() >= kParallelIndexEntries;
  if (!long_list || !vocabulary.index_distinct_list_in_parallel(entries)) {
    if (long_list) vocabulary.reset_index(entries.size());  // the parallel attempt left it half filled
    entries.resize(vocabulary.index_list(entries));
  }
  vocabulary.entries_ = std::move(entries);
  return vocabulary;
}

std::size_t Vocabulary::index_list(Vec<VocabularyEntry>& list) {
  const std::size_t count = list.size();
  std::array<std::uint64_t, kPrefetchDistance> hashes{};
  const auto look_ahead = [&](std::size_t i) {
    const std::uint64_t hash = hash_(list[i].key);
    hashes[i % kPrefetchDistance] = hash;
    const std::size_t home = home_slot(hash);
    __builtin_prefetch(&tags_[home]);
    __builtin_prefetch(&entry_numbers_[home]);
  };
  for (std::size_t i = 0; i < std::min(count, kPrefetchDistance); ++i) look_ahead(i);

  std::size_t kept = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t hash = hashes[i % kPrefetchDistance];
    if (i + kPrefetchDistance < count) look_ahead(i + kPrefetchDistance);
    const VocabularyEntry entry = list[i];
    const ProbeResult result = probe(entry.key, hash, list.data());
    if (result.found) {
      list[entry_numbers_[result.slot]].column = entry.column;
      continue;
    }
    list[kept] = entry;
    occupy(result.slot, hash, kept);
    ++kept;
  }
  return kept;
}

namespace {

// An entry of a list with its hash, grouped with the others of its region.
struct HashedEntry {
  std::uint64_t hash;
  std::uint32_t number;  // position in the list
};

// A list's entries grouped by the region of the index their home slot lies
// in, list order kept within a region: region r's are at
// [starts[r], starts[r + 1]) of `entries`.
struct RegionGroups {
  Vec<HashedEntry> entries;
  Vec<std::size_t> starts;
};

template <class HomeRegion>
RegionGroups group_by_region(std::span<const std::uint64_t> hashes, std::size_t regions, HomeRegion&& home_region) {
  const std::size_t tasks = (hashes.size() + kEntriesPerTask - 1) / kEntriesPerTask;
  // Per task, how many of its entries each region gets; then where they go.
  Vec<std::size_t> task_starts(tasks * regions, 0);
  pool::for_each_chunk(hashes.size(), kEntriesPerTask, [&](std::size_t begin, std::size_t end) {
    std::size_t* counts = &task_starts[begin / kEntriesPerTask * regions];
    for (std::size_t i = begin; i < end; ++i) ++counts[home_region(hashes[i])];
  });
  RegionGroups groups;
  groups.starts.assign(regions + 1, 0);
  for (std::size_t region = 0, next = 0; region < regions; ++region) {
    groups.starts[region] = next;
    for (std::size_t task = 0; task < tasks; ++task) {
      const std::size_t count = task_starts[task * regions + region];
      task_starts[task * regions + region] = next;
      next += count;
    }
  }
  groups.starts[regions] = hashes.size();
  groups.entries.resize(hashes.size());
  pool::for_each_chunk(hashes.size(), kEntriesPerTask, [&](std::size_t begin, std::size_t end) {
    std::size_t* next = &task_starts[begin / kEntriesPerTask * regions];
    for (std::size_t i = begin; i < end; ++i) {
      groups.entries[next[home_region(hashes[i])]++] = {hashes[i], static_cast<std::uint32_t>(i)};
    }
  });
  return groups;
}

}  // namespace

bool Vocabulary::index_distinct_list_in_parallel(std::span<const VocabularyEntry> list) {
  const std::size_t slots = slot_count();
  const std::size_t regions = (slots + kSlotsPerRegion - 1) / kSlotsPerRegion;
  Vec<std::uint64_t> hashes(list.size());
  pool::for_each_chunk(list.size(), kEntriesPerTask, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) hashes[i] = hash_(list[i].key);
  });
  const auto home_region = [slots](std::uint64_t hash) { return home_slot(hash, slots) / kSlotsPerRegion; };
  const RegionGroups groups = group_by_region(hashes, regions, home_region);

  // Fill each region from its own group. A probe that would run past the
  // region's end leaves its entry for the sequential pass below.
  std::atomic<bool> repeated{false};
  Vec<Vec<std::uint32_t>> overflow(regions);
  pool::for_each_index(regions, [&](std::size_t region) {
    // Locals, not captures: the tag stores are byte stores, which the compiler
    // must otherwise assume to change any captured pointer.
    std::uint8_t* const tags = tags_.data();
    std::uint32_t* const entry_numbers = entry_numbers_.data();
    const VocabularyEntry* const entries = list.data();
    const std::size_t region_end = std::min(slots, (region + 1) * kSlotsPerRegion);
    const HashedEntry* const group_end = groups.entries.data() + groups.starts[region + 1];
    for (const HashedEntry* hashed = groups.entries.data() + groups.starts[region]; hashed != group_end; ++hashed) {
      const std::uint8_t tag = tag_of(hashed->hash);
      std::size_t slot = home_slot(hashed->hash, slots);
      for (; slot < region_end && tags[slot] != kEmptyTag; ++slot) {
        if (tags[slot] == tag && entries[entry_numbers[slot]].key == entries[hashed->number].key) {
          repeated.store(true, std::memory_order_relaxed);
          return;
        }
      }
      if (slot == region_end) {
        overflow[region].push_back(hashed->number);
      } else {
        tags[slot] = tag;
        entry_numbers[slot] = hashed->number;
      }
    }
  });
  if (repeated.load(std::memory_order_relaxed)) return false;

  for (const Vec<std::uint32_t>& numbers : overflow) {
    for (const std::uint32_t number : numbers) {
      const ProbeResult result = probe(list[number].key, hashes[number], list.data());
      if (result.found) return false;
      occupy(result.slot, hashes[number], number);
    }
  }
  return true;
}

Vocabulary::ProbeResult Vocabulary::probe(NgramKey key, std::uint64_t hash, const VocabularyEntry* entries) const {
  const std::uint8_t tag = tag_of(hash);
  for (std::size_t slot = home_slot(hash);; slot = following(slot)) {
    const std::uint8_t present = tags_[slot];
    if (present == kEmptyTag) return {slot, false};
    if (present == tag && entries[entry_numbers_[slot]].key == key) return {slot, true};
  }
}

void Vocabulary::occupy(std::size_t slot, std::uint64_t hash, std::size_t entry_number) {
  tags_[slot] = tag_of(hash);
  entry_numbers_[slot] = static_cast<std::uint32_t>(entry_number);
}

void Vocabulary::reset_index(std::size_t entries) {
  const std::size_t slots = slots_for(entries);
  Vec<std::uint8_t> tags(slots, kEmptyTag);
  Vec<std::uint32_t> entry_numbers(slots);
  tags_ = std::move(tags);
  entry_numbers_ = std::move(entry_numbers);
}

void Vocabulary::rebuild_index(std::size_t entries) {
  reset_index(std::max(entries, entries_.size()));
  index_list(entries_);  // the keys are distinct: every entry is kept in place
}

void Vocabulary::reserve(std::size_t entries) {
  check_entry_count(entries);
  entries_.reserve(entries);
  if (!fits(entries, slot_count())) rebuild_index(entries);
}

std::size_t Vocabulary::slot_for_new_key(NgramKey key, std::uint64_t hash, std::size_t slot) {
  check_entry_count(entries_.size() + 1);
  if (fits(entries_.size() + 1, slot_count())) return slot;
  rebuild_index(std::max<std::size_t>(2 * entries_.size(), 1));
  return probe(key, hash, entries_.data()).slot;
}

bool Vocabulary::add(NgramKey key, std::uint64_t column, bool replace) {
  const std::uint64_t hash = hash_(key);
  std::size_t slot = 0;
  if (!tags_.empty()) {
    const ProbeResult result = probe(key, hash, entries_.data());
    if (result.found) {
      if (replace) entries_[entry_numbers_[result.slot]].column = column;
      return false;
    }
    slot = result.slot;
  }
  slot = slot_for_new_key(key, hash, slot);
  entries_.push_back({key, column});  // first: if it throws, the index is untouched
  occupy(slot, hash, entries_.size() - 1);
  return true;
}

bool Vocabulary::emplace(NgramKey key, std::uint64_t column) { return add(key, column, false); }

void Vocabulary::insert_or_assign(NgramKey key, std::uint64_t column) { add(key, column, true); }

const VocabularyEntry* Vocabulary::find(NgramKey key) const {
  if (entries_.empty()) return nullptr;
  const ProbeResult result = probe(key, hash_(key), entries_.data());
  return result.found ? &entries_[entry_numbers_[result.slot]] : nullptr;
}

std::optional<std::uint64_t> Vocabulary::column_of(NgramKey key) const {
  const VocabularyEntry* entry = find(key);
  if (entry == nullptr) return std::nullopt;
  return entry->column;
}

bool operator==(const Vocabulary& a, const Vocabulary& b) {
  if (a.size() != b.size()) return false;
  return std::all_of(a.begin(), a.end(), [&](const VocabularyEntry& entry) {
    const VocabularyEntry* other = b.find(entry.key);
    return other != nullptr && other->column == entry.column;
  });
}

}  // namespace pre_processor
