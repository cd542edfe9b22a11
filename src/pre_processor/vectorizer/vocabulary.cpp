#include "pre_processor/vectorizer/vocabulary.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

namespace pre_processor {
namespace {

constexpr std::size_t kMinSlots = 16;
// Entries ahead of the one being placed whose home slots are being fetched.
constexpr std::size_t kPrefetchDistance = 16;
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
  entries.resize(vocabulary.index_list(entries));
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
