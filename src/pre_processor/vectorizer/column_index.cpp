#include "pre_processor/vectorizer/column_index.h"

#include <algorithm>
#include <bit>

namespace pre_processor {
namespace {

// At most half the slots are used, so a probe rarely passes its first slot.
constexpr std::size_t kSlotsPerKey = 2;
constexpr std::size_t kMinSlots = 16;

}  // namespace

ColumnIndex::ColumnIndex(std::size_t keys)
    : slots_(std::bit_ceil(std::max(kMinSlots, kSlotsPerKey * keys))), mask_(slots_.size() - 1) {}

std::optional<ColumnIndex> ColumnIndex::build(const Vocabulary& vocab) {
  ColumnIndex index(vocab.size());
  for (const auto& [key, column] : vocab) {
    if (column >= vocab.size()) return std::nullopt;
    std::size_t i = index.hash_(key) & index.mask_;
    while (index.slots_[i].column != kEmpty) i = (i + 1) & index.mask_;
    index.slots_[i] = Slot{key, column};
  }
  return index;
}

}  // namespace pre_processor
