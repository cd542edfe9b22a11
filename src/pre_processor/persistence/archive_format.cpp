#include "pre_processor/persistence/archive_format.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace pre_processor::persistence::archive {
namespace {

constexpr std::uint64_t kHashMultiplier = 0x517cc1b727220a95ULL;
constexpr int kHashRotation = 5;

// Slots per entry budget of the capacity rule: floor(8 * length / 7).
constexpr std::uint64_t kLoadNumerator = 8;
constexpr std::uint64_t kLoadDenominator = 7;

constexpr std::uint64_t kNoKey = std::numeric_limits<std::uint64_t>::max();

std::int32_t load_i32(const std::uint8_t* at) { return static_cast<std::int32_t>(load_u32(at)); }
void store_i32(std::uint8_t* at, std::int32_t value) { store_u32(at, static_cast<std::uint32_t>(value)); }

}  // namespace

void encode_root_record(const RootRecord& root, std::span<std::uint8_t, kRootRecordSize> out) {
  std::uint8_t* base = out.data();
  std::memset(base, 0, kRootRecordSize);
  store_i32(base + root_offset::kNgramRangePointer, root.ngram_range_pointer);
  store_u32(base + root_offset::kNgramRangeCount, root.ngram_range_count);
  store_f32(base + root_offset::kMinDf, root.min_df);
  store_f32(base + root_offset::kMaxDf, root.max_df);
  base[root_offset::kSublinearTf] = root.sublinear_tf;
  store_i32(base + root_offset::kTablePointer, root.table_pointer);
  store_u32(base + root_offset::kVocabularyLength, root.vocabulary_length);
  store_u32(base + root_offset::kVocabularyCapacity, root.vocabulary_capacity);
  store_i32(base + root_offset::kIdfPointer, root.idf_pointer);
  store_u32(base + root_offset::kIdfCount, root.idf_count);
}

RootRecord decode_root_record(std::span<const std::uint8_t, kRootRecordSize> in) {
  const std::uint8_t* base = in.data();
  RootRecord root;
  root.ngram_range_pointer = load_i32(base + root_offset::kNgramRangePointer);
  root.ngram_range_count = load_u32(base + root_offset::kNgramRangeCount);
  root.min_df = load_f32(base + root_offset::kMinDf);
  root.max_df = load_f32(base + root_offset::kMaxDf);
  root.sublinear_tf = base[root_offset::kSublinearTf];
  root.table_pointer = load_i32(base + root_offset::kTablePointer);
  root.vocabulary_length = load_u32(base + root_offset::kVocabularyLength);
  root.vocabulary_capacity = load_u32(base + root_offset::kVocabularyCapacity);
  root.idf_pointer = load_i32(base + root_offset::kIdfPointer);
  root.idf_count = load_u32(base + root_offset::kIdfCount);
  return root;
}

std::uint64_t table_capacity(std::uint64_t length) {
  return std::max(kLoadNumerator * length / kLoadDenominator, length + 1);
}

TableGeometry table_geometry(std::uint64_t capacity) {
  TableGeometry geometry;
  geometry.capacity = capacity;
  geometry.probe_capacity = (capacity + kGroupWidth - 1) / kGroupWidth * kGroupWidth;
  geometry.control_count = geometry.probe_capacity + kGroupWidth - 1;
  return geometry;
}

std::uint64_t key_hash(NgramKey key) {
  const auto lo = static_cast<std::uint64_t>(key.value);
  const auto hi = static_cast<std::uint64_t>(key.value >> 64);
  std::uint64_t h = lo * kHashMultiplier;
  h = std::rotl(h, kHashRotation) ^ hi;
  return h * kHashMultiplier;
}

bool place_keys(std::span<const NgramKey> keys, TablePlacement& placement) {
  const TableGeometry geometry = table_geometry(table_capacity(keys.size()));
  const std::uint64_t cap = geometry.capacity;
  const std::uint64_t mirror_limit = geometry.control_count - cap;  // slots whose byte is mirrored
  const std::uint64_t mask = std::bit_ceil(geometry.control_count) - 1;

  placement.geometry = geometry;
  placement.control.assign(geometry.control_count, kUnusedControl);
  placement.slot_of_key.assign(keys.size(), 0);
  Vec<std::uint64_t> key_in_slot(cap, kNoKey);

  for (std::size_t index = 0; index < keys.size(); ++index) {
    const std::uint64_t hash = key_hash(keys[index]);
    std::uint64_t group = hash % cap;
    std::uint64_t stride = 0;
    std::uint64_t slot = kNoKey;
    for (;;) {
      const auto begin = placement.control.begin() + static_cast<std::ptrdiff_t>(group);
      const auto unused = std::find(begin, begin + kGroupWidth, kUnusedControl);
      if (unused != begin + kGroupWidth) {
        slot = static_cast<std::uint64_t>(unused - placement.control.begin()) % cap;
        break;
      }
      do {
        group = (group + stride + kGroupWidth) & mask;
        stride += kGroupWidth;
      } while (group >= geometry.probe_capacity);
    }
    if (key_in_slot[slot] != kNoKey) return false;
    key_in_slot[slot] = index;
    placement.slot_of_key[index] = slot;
    const std::uint8_t control = control_byte_of(hash);
    placement.control[slot] = control;
    if (slot < mirror_limit) placement.control[cap + slot] = control;
  }
  return true;
}

}  // namespace pre_processor::persistence::archive
