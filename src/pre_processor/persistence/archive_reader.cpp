#include "pre_processor/persistence/archive_reader.h"

#include "pre_processor/persistence/archive_format.h"

namespace pre_processor::persistence {
namespace {

using namespace archive;

Error archive_failure() { return {ErrorKind::Persistence, std::string(kFailureDetail)}; }

// Slots ahead of the one being read whose buckets are prefetched.
constexpr std::uint64_t kBucketPrefetchSlots = 32;

// Positions are signed: a pointer may designate a place before the buffer.
using Position = std::int64_t;

bool is_multiple(Position position, Position alignment) { return position % alignment == 0; }

// Where every region lies, once validated.
struct ArchiveLayout {
  RootRecord root;
  Position ngram_position = 0;
  bool has_table = false;
  TableGeometry geometry;
  Position control_position = 0;
  Position idf_position = 0;
};

class ArchiveValidator {
 public:
  explicit ArchiveValidator(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool validate(ArchiveLayout& layout) {
    if (bytes_.size() < kRootRecordSize) return false;
    root_position_ = static_cast<Position>(bytes_.size() - kRootRecordSize);
    if (!is_multiple(root_position_, kValueAlignment)) return false;
    layout.root = decode_root_record(
        std::span<const std::uint8_t, kRootRecordSize>(bytes_.data() + root_position_, kRootRecordSize));
    const RootRecord& root = layout.root;

    layout.ngram_position = designated(root_offset::kNgramRangePointer, root.ngram_range_pointer);
    const Position ngram_end = layout.ngram_position + 4 * Position{root.ngram_range_count};
    if (!is_multiple(layout.ngram_position, kValueAlignment) || layout.ngram_position < 0 ||
        ngram_end > root_position_) {
      return false;
    }

    if (root.sublinear_tf > 1) return false;

    Position previous_end = ngram_end;
    layout.has_table = root.vocabulary_length != 0 || root.vocabulary_capacity != 0;
    if (layout.has_table) {
      if (root.vocabulary_length >= root.vocabulary_capacity) return false;
      layout.geometry = table_geometry(root.vocabulary_capacity);
      layout.control_position = designated(root_offset::kTablePointer, root.table_pointer);
      const Position buckets_position =
          layout.control_position - static_cast<Position>(layout.geometry.bucket_bytes());
      const Position control_end = layout.control_position + static_cast<Position>(layout.geometry.control_count);
      if (!is_multiple(buckets_position, kTableAlignment) || control_end > root_position_ ||
          buckets_position < ngram_end) {
        return false;
      }
      if (!control_bytes_consistent(layout)) return false;
      previous_end = control_end;
    }

    layout.idf_position = designated(root_offset::kIdfPointer, root.idf_pointer);
    const Position idf_end = layout.idf_position + 4 * Position{root.idf_count};
    return is_multiple(layout.idf_position, kValueAlignment) && idf_end <= root_position_ &&
           layout.idf_position >= previous_end;
  }

 private:
  Position designated(std::size_t field_offset, std::int32_t pointer) const {
    return root_position_ + static_cast<Position>(field_offset) + pointer;
  }

  // Only control bytes of the two kinds; exactly `length` used slots; the
  // bytes after the slots repeat the used slots they mirror and are unused
  // otherwise.
  bool control_bytes_consistent(const ArchiveLayout& layout) const {
    const std::uint8_t* control = bytes_.data() + layout.control_position;
    const std::uint64_t cap = layout.geometry.capacity;
    std::uint64_t used = 0;
    for (std::uint64_t slot = 0; slot < cap; ++slot) {
      if (is_used_control(control[slot])) {
        ++used;
      } else if (control[slot] != kUnusedControl) {
        return false;
      }
    }
    if (used != layout.root.vocabulary_length) return false;
    for (std::uint64_t position = cap; position < layout.geometry.control_count; ++position) {
      const std::uint64_t mirrored = position - cap;
      const bool mirrors_used_slot = mirrored < cap && is_used_control(control[mirrored]);
      const std::uint8_t expected = mirrors_used_slot ? control[mirrored] : kUnusedControl;
      if (control[position] != expected) return false;
    }
    return true;
  }

  std::span<const std::uint8_t> bytes_;
  Position root_position_ = 0;
};

TfidfVectorizer rebuild(std::span<const std::uint8_t> bytes, const ArchiveLayout& layout) {
  const std::uint8_t* const base = bytes.data();
  TfidfVectorizer model;
  VectorizerParams& params = model.count_vectorizer.params;
  params.ngram_range.resize(layout.root.ngram_range_count);
  for (std::size_t i = 0; i < params.ngram_range.size(); ++i) {
    params.ngram_range[i] = load_u32(base + layout.ngram_position + 4 * static_cast<Position>(i));
  }
  params.min_df = layout.root.min_df;
  params.max_df = layout.root.max_df;
  params.sublinear_tf = layout.root.sublinear_tf == 1;

  if (layout.has_table) {
    // Validation made sure that exactly vocabulary_length slots are used.
    const std::size_t length = layout.root.vocabulary_length;
    Vec<VocabularyEntry> entries;
    entries.reserve(length);
    const std::uint8_t* control = base + layout.control_position;
    const std::uint64_t capacity = layout.geometry.capacity;
    for (std::uint64_t slot = 0; slot < capacity && entries.size() < length; ++slot) {
      // The buckets run downwards from the control bytes, which the hardware
      // prefetcher follows poorly: ask for them a few slots ahead.
      if (slot + kBucketPrefetchSlots < capacity) {
        __builtin_prefetch(control - kBucketSize * (slot + kBucketPrefetchSlots + 1));
      }
      if (!is_used_control(control[slot])) continue;
      const std::uint8_t* bucket = control - kBucketSize * (slot + 1);
      entries.push_back({load_key(bucket), load_u32(bucket + kBucketColumnOffset)});
    }
    model.count_vectorizer.vocab = Vocabulary::from_entries(std::move(entries));
  }

  model.idf.reserve(layout.root.idf_count);
  for (std::size_t i = 0; i < layout.root.idf_count; ++i) {
    model.idf.push_back(load_f32(base + layout.idf_position + 4 * static_cast<Position>(i)));
  }
  return model;
}

}  // namespace

Result<TfidfVectorizer> read_archive(std::span<const std::uint8_t> bytes) {
  ArchiveLayout layout;
  if (!ArchiveValidator(bytes).validate(layout)) return archive_failure();
  return rebuild(bytes, layout);
}

}  // namespace pre_processor::persistence
