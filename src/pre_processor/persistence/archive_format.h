// Building blocks of the binary archive of a vectorizer (".qarch").
//
// The archive is a relocatable memory image, little-endian throughout:
//
//   position 0        ngram_range sizes, one u32 each
//   next multiple 16  vocabulary table (only when the vocabulary is not empty):
//                     the 32-byte buckets of slots cap-1 down to 0, then the
//                     control bytes
//   next multiple 4   idf values, one binary32 each
//   last 40 bytes     the root record
//
// Pointers are signed 32-bit offsets relative to the field that holds them.
// The vocabulary table is open addressing with one control byte per slot:
// 0xFF for an unused slot, the top seven bits of the key's hash (h2) for a used
// one; the control bytes after the last slot mirror the first slots so that a
// 16-byte group read never wraps. A bucket holds the 16-byte key, the column
// as u32 and 12 zero bytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "pre_processor/common/memory.h"
#include "pre_processor/ngrams/ngram_key.h"

namespace pre_processor::persistence::archive {

// The one detail text of every archive failure, writing or reading.
inline constexpr std::string_view kFailureDetail =
    "failed without error information: the archive could not be processed, and no further "
    "information about the failure is available";

inline constexpr std::size_t kRootRecordSize = 40;
inline constexpr std::size_t kBucketSize = 32;
inline constexpr std::size_t kKeySize = 16;
inline constexpr std::size_t kGroupWidth = 16;
inline constexpr std::size_t kTableAlignment = 16;
inline constexpr std::size_t kValueAlignment = 4;
inline constexpr std::uint8_t kUnusedControl = 0xFF;
inline constexpr std::uint8_t kUsedControlTopBit = 0x80;
// The vocabulary pointer of an archive without a table.
inline constexpr std::int32_t kEmptyTablePointer = 1;

// Offsets of the root record's fields.
namespace root_offset {
inline constexpr std::size_t kNgramRangePointer = 0;
inline constexpr std::size_t kNgramRangeCount = 4;
inline constexpr std::size_t kMinDf = 8;
inline constexpr std::size_t kMaxDf = 12;
inline constexpr std::size_t kSublinearTf = 16;
inline constexpr std::size_t kTablePointer = 20;
inline constexpr std::size_t kVocabularyLength = 24;
inline constexpr std::size_t kVocabularyCapacity = 28;
inline constexpr std::size_t kIdfPointer = 32;
inline constexpr std::size_t kIdfCount = 36;
}  // namespace root_offset

// Bucket layout.
inline constexpr std::size_t kBucketColumnOffset = 16;

struct RootRecord {
  std::int32_t ngram_range_pointer = 0;
  std::uint32_t ngram_range_count = 0;
  float min_df = 0.0f;
  float max_df = 0.0f;
  std::uint8_t sublinear_tf = 0;
  std::int32_t table_pointer = kEmptyTablePointer;  // designates the first control byte
  std::uint32_t vocabulary_length = 0;
  std::uint32_t vocabulary_capacity = 0;
  std::int32_t idf_pointer = 0;
  std::uint32_t idf_count = 0;
};

void encode_root_record(const RootRecord& root, std::span<std::uint8_t, kRootRecordSize> out);
RootRecord decode_root_record(std::span<const std::uint8_t, kRootRecordSize> in);

// Sizes of a table with `capacity` slots.
struct TableGeometry {
  std::uint64_t capacity = 0;
  std::uint64_t probe_capacity = 0;  // capacity rounded up to a multiple of the group width
  std::uint64_t control_count = 0;   // probe_capacity + group width - 1
  std::uint64_t bucket_bytes() const { return capacity * kBucketSize; }
};

// Slots for `length` entries: the larger of floor(8 * length / 7) and length + 1.
std::uint64_t table_capacity(std::uint64_t length);
TableGeometry table_geometry(std::uint64_t capacity);

// The placement hash of a key: h = lo * K; h = rotl(h, 5) ^ hi; h = h * K
// (mod 2^64), lo and hi the key's low and high 64 bits.
std::uint64_t key_hash(NgramKey key);
// The control byte of a used slot: the top seven bits of the hash.
inline std::uint8_t control_byte_of(std::uint64_t hash) { return static_cast<std::uint8_t>(hash >> 57); }

inline bool is_used_control(std::uint8_t control) { return (control & kUsedControlTopBit) == 0; }

// The control bytes and slot assignment of a table holding `keys`, placed in
// the order given. `slot_of_key[i]` is the slot of keys[i].
struct TablePlacement {
  TableGeometry geometry;
  Vec<std::uint8_t> control;
  Vec<std::uint64_t> slot_of_key;
};

// Requires 1 <= keys.size(); the capacity follows table_capacity. Returns
// false only if placement would put two keys in one slot, which a table of
// this geometry never does.
bool place_keys(std::span<const NgramKey> keys, TablePlacement& placement);

// Little-endian field access at any alignment. Inline: loading an archive
// reads millions of fields.
template <class Value>
Value load_little_endian(const std::uint8_t* at) {
  Value value;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, at, sizeof value);
  } else {
    value = 0;
    for (std::size_t i = 0; i < sizeof value; ++i) value |= static_cast<Value>(at[i]) << (8 * i);
  }
  return value;
}

template <class Value>
void store_little_endian(std::uint8_t* at, Value value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &value, sizeof value);
  } else {
    for (std::size_t i = 0; i < sizeof value; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

inline std::uint32_t load_u32(const std::uint8_t* at) { return load_little_endian<std::uint32_t>(at); }
inline void store_u32(std::uint8_t* at, std::uint32_t value) { store_little_endian(at, value); }
inline float load_f32(const std::uint8_t* at) { return std::bit_cast<float>(load_u32(at)); }
inline void store_f32(std::uint8_t* at, float value) { store_u32(at, std::bit_cast<std::uint32_t>(value)); }
inline NgramKey load_key(const std::uint8_t* at) { return NgramKey{load_little_endian<unsigned __int128>(at)}; }
inline void store_key(std::uint8_t* at, NgramKey key) {
  store_little_endian(at, static_cast<unsigned __int128>(key.value));
}

}  // namespace pre_processor::persistence::archive
