#include "pre_processor/persistence/archive_writer.h"

#include <limits>
#include <optional>

#include "pre_processor/persistence/archive_format.h"

namespace pre_processor::persistence {
namespace {

using namespace archive;

constexpr std::uint64_t kU32Max = std::numeric_limits<std::uint32_t>::max();

Error archive_failure() { return {ErrorKind::Persistence, std::string(kFailureDetail)}; }

std::uint64_t align_up(std::uint64_t position, std::uint64_t alignment) {
  return (position + alignment - 1) / alignment * alignment;
}

// The pointer stored at `field` that designates `target`, if it fits 32 bits.
std::optional<std::int32_t> relative_pointer(std::uint64_t field, std::uint64_t target) {
  const auto offset = static_cast<std::int64_t>(target) - static_cast<std::int64_t>(field);
  if (offset < std::numeric_limits<std::int32_t>::min() || offset > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(offset);
}

// The vocabulary as keys and columns in the map's own iteration order.
struct VocabularyInMapOrder {
  Vec<NgramKey> keys;
  Vec<std::uint64_t> columns;
};

VocabularyInMapOrder vocabulary_in_map_order(const Vocabulary& vocabulary) {
  VocabularyInMapOrder out;
  out.keys.reserve(vocabulary.size());
  out.columns.reserve(vocabulary.size());
  for (const auto& [key, column] : vocabulary) {
    out.keys.push_back(key);
    out.columns.push_back(column);
  }
  return out;
}

bool fits_u32(std::uint64_t value) { return value <= kU32Max; }

bool all_fit_u32(std::span<const std::uint64_t> values) {
  for (const std::uint64_t value : values) {
    if (!fits_u32(value)) return false;
  }
  return true;
}

}  // namespace

Result<Vec<std::uint8_t>> write_archive(const TfidfVectorizer& model) {
  const VectorizerParams& params = model.count_vectorizer.params;
  const Vocabulary& vocabulary = model.count_vectorizer.vocab;
  if (!fits_u32(params.ngram_range.size()) || !all_fit_u32(params.ngram_range) || !fits_u32(vocabulary.size()) ||
      !fits_u32(model.idf.size())) {
    return archive_failure();
  }

  // Region positions.
  const bool has_table = !vocabulary.empty();
  const TableGeometry geometry = has_table ? table_geometry(table_capacity(vocabulary.size())) : TableGeometry{};
  const std::uint64_t ngram_position = 0;
  const std::uint64_t ngram_end = ngram_position + 4 * params.ngram_range.size();
  std::uint64_t table_end = ngram_end;
  std::uint64_t control_position = 0;
  if (has_table) {
    control_position = align_up(ngram_end, kTableAlignment) + geometry.bucket_bytes();
    table_end = control_position + geometry.control_count;
  }
  const std::uint64_t idf_position = align_up(table_end, kValueAlignment);
  const std::uint64_t root_position = idf_position + 4 * model.idf.size();
  const std::uint64_t total = root_position + kRootRecordSize;

  const auto ngram_pointer = relative_pointer(root_position + root_offset::kNgramRangePointer, ngram_position);
  const auto idf_pointer = relative_pointer(root_position + root_offset::kIdfPointer, idf_position);
  const auto table_pointer =
      has_table ? relative_pointer(root_position + root_offset::kTablePointer, control_position)
                : std::optional<std::int32_t>(kEmptyTablePointer);
  if (!ngram_pointer || !idf_pointer || !table_pointer || !fits_u32(geometry.capacity)) return archive_failure();

  const VocabularyInMapOrder entries = vocabulary_in_map_order(vocabulary);
  if (!all_fit_u32(entries.columns)) return archive_failure();
  TablePlacement placement;
  if (has_table && !place_keys(entries.keys, placement)) return archive_failure();

  RootRecord root;
  root.ngram_range_pointer = *ngram_pointer;
  root.ngram_range_count = static_cast<std::uint32_t>(params.ngram_range.size());
  root.min_df = params.min_df;
  root.max_df = params.max_df;
  root.sublinear_tf = params.sublinear_tf ? 1 : 0;
  root.table_pointer = *table_pointer;
  root.vocabulary_length = static_cast<std::uint32_t>(entries.keys.size());
  root.vocabulary_capacity = static_cast<std::uint32_t>(geometry.capacity);
  root.idf_pointer = *idf_pointer;
  root.idf_count = static_cast<std::uint32_t>(model.idf.size());

  // Padding and unused buckets are the zeros the buffer starts with.
  Vec<std::uint8_t> out(total, 0);
  std::uint8_t* const base = out.data();
  for (std::size_t i = 0; i < params.ngram_range.size(); ++i) {
    store_u32(base + ngram_position + 4 * i, static_cast<std::uint32_t>(params.ngram_range[i]));
  }
  if (has_table) {
    for (std::size_t i = 0; i < entries.keys.size(); ++i) {
      std::uint8_t* bucket = base + control_position - kBucketSize * (placement.slot_of_key[i] + 1);
      store_key(bucket, entries.keys[i]);
      store_u32(bucket + kBucketColumnOffset, static_cast<std::uint32_t>(entries.columns[i]));
    }
    std::copy(placement.control.begin(), placement.control.end(), base + control_position);
  }
  for (std::size_t i = 0; i < model.idf.size(); ++i) store_f32(base + idf_position + 4 * i, model.idf[i]);
  encode_root_record(root, std::span<std::uint8_t, kRootRecordSize>(base + root_position, kRootRecordSize));
  return out;
}

}  // namespace pre_processor::persistence
