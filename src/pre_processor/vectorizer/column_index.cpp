#include "pre_processor/vectorizer/column_index.h"

#include <algorithm>

namespace pre_processor {
namespace {

// Slots per vocabulary key: the table is kept two-thirds full at most, where a
// missing key's scan of control bytes still ends within a few bytes.
constexpr std::size_t kSlotsPerKeyNumerator = 3;
constexpr std::size_t kSlotsPerKeyDenominator = 2;
constexpr std::size_t kMinSlots = 16;

}  // namespace

ColumnIndex::ColumnIndex(std::size_t keys)
    : controls_(std::max(kMinSlots, keys / kSlotsPerKeyDenominator * kSlotsPerKeyNumerator + kSlotsPerKeyNumerator),
                kEmpty),
      slots_(controls_.size()) {}

std::optional<ColumnIndex> ColumnIndex::build(const Vocabulary& vocab) {
  ColumnIndex index(vocab.size());
  for (const auto& [key, column] : vocab) {
    if (column >= vocab.size()) return std::nullopt;
    const std::uint64_t hash = index.hash_(key);
    std::size_t slot = index.home_slot(hash);
    while (index.controls_[slot] != kEmpty) slot = index.following(slot);
    index.controls_[slot] = tag_of(hash);
    index.slots_[slot] = Slot{key, column};
  }
  return index;
}

}  // namespace pre_processor
