#include "pre_processor/ngrams/ngram_extraction.h"

#include <algorithm>
#include <bit>

#include "pre_processor/common/logging.h"

namespace pre_processor::ngrams {
namespace {

// The table starts at twice the document's window count, so that it stays at
// most half full and never grows; past this many windows it starts smaller and
// doubles as keys arrive, since long documents repeat many n-grams.
constexpr std::uint64_t kMaxPresizedWindows = std::uint64_t{1} << 16;
constexpr std::size_t kMinTableSlots = 16;

constexpr unsigned kLaneBits = 32;

bool size_fits(std::uint64_t size, std::size_t num_tokens) { return size >= 1 && size <= num_tokens; }

// The key of the window starting at `window`, made of its first `Lanes` tokens
// (the same packing as NgramKey::from_window).
template <std::size_t Lanes>
NgramKey window_key(const TokenId* window) {
  unsigned __int128 value = 0;
  for (std::size_t i = 0; i < Lanes; ++i) value |= static_cast<unsigned __int128>(window[i]) << (kLaneBits * i);
  return NgramKey{value};
}

template <std::size_t Lanes, class Visit>
void for_each_start(std::span<const TokenId> tokens, std::size_t n, Visit& visit) {
  const TokenId* data = tokens.data();
  const std::size_t starts = tokens.size() - n + 1;
  for (std::size_t start = 0; start < starts; ++start) visit(window_key<Lanes>(data + start));
}

// Calls visit(key) for every window, sizes in list order, starts ascending.
template <class Visit>
void for_each_window_key(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes,
                         Visit&& visit) {
  for (std::uint64_t size : ngram_sizes) {
    if (!size_fits(size, tokens.size())) continue;
    const std::size_t n = static_cast<std::size_t>(size);
    switch (std::min(n, DEFAULT_MAX_NGRAM)) {
      case 1: for_each_start<1>(tokens, n, visit); break;
      case 2: for_each_start<2>(tokens, n, visit); break;
      case 3: for_each_start<3>(tokens, n, visit); break;
      default: for_each_start<DEFAULT_MAX_NGRAM>(tokens, n, visit); break;
    }
  }
}

}  // namespace

std::uint64_t window_count(std::uint64_t num_tokens, std::span<const std::uint64_t> ngram_sizes) {
  std::uint64_t windows = 0;
  for (std::uint64_t size : ngram_sizes) {
    if (size >= 1 && size <= num_tokens) windows += num_tokens - size + 1;
  }
  return windows;
}

void NgramCounter::prepare(std::uint64_t windows) {
  const std::uint64_t presized = std::min(windows, kMaxPresizedWindows);
  const std::size_t slots = std::bit_ceil(std::max<std::size_t>(kMinTableSlots, 2 * presized));
  if (slots_.size() < slots) slots_.resize(slots);
  mask_ = slots - 1;
  used_.clear();
}

void NgramCounter::add(NgramKey key) {
  for (std::size_t i = hash_(key) & mask_;; i = (i + 1) & mask_) {
    Slot& slot = slots_[i];
    if (slot.count == 0) {
      slot = Slot{key, 1};
      used_.push_back(i);
      if (2 * used_.size() > mask_ + 1) grow();
      return;
    }
    if (slot.key == key) {
      ++slot.count;
      return;
    }
  }
}

void NgramCounter::grow() {
  Vec<Slot> entries;
  entries.reserve(used_.size());
  for (std::size_t i : used_) {
    entries.push_back(slots_[i]);
    slots_[i].count = 0;
  }
  const std::size_t slots = 2 * (mask_ + 1);
  if (slots_.size() < slots) slots_.resize(slots);
  mask_ = slots - 1;
  used_.clear();
  for (const Slot& entry : entries) {
    std::size_t i = hash_(entry.key) & mask_;
    while (slots_[i].count != 0) i = (i + 1) & mask_;
    slots_[i] = entry;
    used_.push_back(i);
  }
}

void NgramCounter::clear_used() {
  for (std::size_t i : used_) slots_[i].count = 0;
  used_.clear();
}

void NgramCounter::tally(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes) {
  prepare(window_count(tokens.size(), ngram_sizes));
  for_each_window_key(tokens, ngram_sizes, [this](NgramKey key) { add(key); });
}

NgramCounts NgramCounter::count(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes) {
  PP_LOG_SPAN(log::Level::Trace, kLogTarget, "count_ngrams", log::field("num_tokens", tokens.size()),
              log::field("ngram_sizes", ngram_sizes));
  tally(tokens, ngram_sizes);
  NgramCounts counts;
  counts.reserve(used_.size());
  for (std::size_t i : used_) counts.emplace_back(slots_[i].key, slots_[i].count);
  clear_used();
  return counts;
}

NgramSet NgramCounter::unique(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes) {
  PP_LOG_SPAN(log::Level::Trace, kLogTarget, "unique_ngrams", log::field("num_tokens", tokens.size()),
              log::field("ngram_sizes", ngram_sizes));
  tally(tokens, ngram_sizes);
  NgramSet keys;
  keys.reserve(used_.size());
  for (std::size_t i : used_) keys.push_back(slots_[i].key);
  clear_used();
  return keys;
}

NgramCounts count_ngrams(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes) {
  return NgramCounter().count(tokens, ngram_sizes);
}

NgramSet unique_ngrams(std::span<const TokenId> tokens, std::span<const std::uint64_t> ngram_sizes) {
  return NgramCounter().unique(tokens, ngram_sizes);
}

}  // namespace pre_processor::ngrams
