#include "pre_processor/persistence/brevix_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace pre_processor::persistence {
namespace {

// Markers of the variable-length integer encoding.
constexpr std::uint8_t kLargestInlineValue = 250;
constexpr std::uint8_t kMarker16 = 251;
constexpr std::uint8_t kMarker32 = 252;
constexpr std::uint8_t kMarker64 = 253;
constexpr std::uint8_t kMarker128 = 254;

constexpr std::size_t kFloatWidth = 4;
// The fewest bytes one element of each list can take.
constexpr std::size_t kMinNgramSizeBytes = 1;
constexpr std::size_t kMinVocabularyEntryBytes = 2;
constexpr std::size_t kMinIdfValueBytes = kFloatWidth;

// What a variable-length integer is read as; its name appears in failure details.
enum class IntegerWidth { U64, Usize, U128 };

std::string_view width_name(IntegerWidth width) {
  switch (width) {
    case IntegerWidth::U64: return "U64";
    case IntegerWidth::Usize: return "Usize";
    case IntegerWidth::U128: return "U128";
  }
  return "";
}

Error unexpected_end(std::size_t additional) {
  return {ErrorKind::Persistence, "UnexpectedEnd { additional: " + std::to_string(additional) + " }"};
}

Error invalid_integer_type(IntegerWidth expected, std::string_view found) {
  return {ErrorKind::Persistence, "InvalidIntegerType { expected: " + std::string(width_name(expected)) +
                                      ", found: " + std::string(found) + " }"};
}

Error invalid_boolean(std::uint8_t value) {
  return {ErrorKind::Persistence, "InvalidBooleanValue(" + std::to_string(value) + ")"};
}

class BrevixInput {
 public:
  explicit BrevixInput(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size() - position_; }
  const std::optional<Error>& failure() const { return failure_; }

  // Each reader returns false and records the failure when the item cannot be read.
  bool read_integer(IntegerWidth width, unsigned __int128& value) {
    if (remaining() == 0) return fail(unexpected_end(1));
    const std::uint8_t marker = bytes_[position_++];
    if (marker <= kLargestInlineValue) {
      value = marker;
      return true;
    }
    switch (marker) {
      case kMarker16: return read_little_endian(2, value);
      case kMarker32: return read_little_endian(4, value);
      case kMarker64: return read_little_endian(8, value);
      case kMarker128:
        if (width != IntegerWidth::U128) return fail(invalid_integer_type(width, "U128"));
        return read_little_endian(16, value);
      default:
        return fail(invalid_integer_type(width, "Reserved"));
    }
  }

  bool read_u64(IntegerWidth width, std::uint64_t& value) {
    unsigned __int128 wide = 0;
    if (!read_integer(width, wide)) return false;
    value = static_cast<std::uint64_t>(wide);  // at most 8 bytes were read
    return true;
  }

  bool read_float(float& value) {
    if (remaining() < kFloatWidth) return fail(unexpected_end(kFloatWidth - remaining()));
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < kFloatWidth; ++i) bits |= std::uint32_t{bytes_[position_ + i]} << (8 * i);
    position_ += kFloatWidth;
    std::memcpy(&value, &bits, sizeof value);
    return true;
  }

  bool read_bool(bool& value) {
    if (remaining() == 0) return fail(unexpected_end(1));
    const std::uint8_t byte = bytes_[position_++];
    if (byte > 1) return fail(invalid_boolean(byte));
    value = byte == 1;
    return true;
  }

  // How many elements of a declared count to reserve room for: no more than
  // the remaining input could hold at `min_bytes` per element.
  std::size_t bounded_reservation(std::uint64_t declared, std::size_t min_bytes) const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(declared, remaining() / min_bytes));
  }

 private:
  bool read_little_endian(std::size_t width, unsigned __int128& value) {
    if (remaining() < width) return fail(unexpected_end(width - remaining()));
    value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= static_cast<unsigned __int128>(bytes_[position_ + i]) << (8 * i);
    position_ += width;
    return true;
  }

  bool fail(Error error) {
    failure_ = std::move(error);
    return false;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  std::optional<Error> failure_;
};

bool read_params(BrevixInput& in, VectorizerParams& params) {
  std::uint64_t count = 0;
  if (!in.read_u64(IntegerWidth::U64, count)) return false;
  params.ngram_range.clear();
  params.ngram_range.reserve(in.bounded_reservation(count, kMinNgramSizeBytes));
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t size = 0;
    if (!in.read_u64(IntegerWidth::Usize, size)) return false;
    params.ngram_range.push_back(size);
  }
  return in.read_float(params.min_df) && in.read_float(params.max_df) && in.read_bool(params.sublinear_tf);
}

bool read_vocabulary(BrevixInput& in, Vocabulary& vocabulary) {
  std::uint64_t count = 0;
  if (!in.read_u64(IntegerWidth::U64, count)) return false;
  vocabulary.reserve(in.bounded_reservation(count, kMinVocabularyEntryBytes));
  for (std::uint64_t i = 0; i < count; ++i) {
    unsigned __int128 key = 0;
    std::uint64_t column = 0;
    if (!in.read_integer(IntegerWidth::U128, key) || !in.read_u64(IntegerWidth::Usize, column)) return false;
    vocabulary.insert_or_assign(NgramKey{key}, column);
  }
  return true;
}

bool read_idf(BrevixInput& in, Vec<float>& idf) {
  std::uint64_t count = 0;
  if (!in.read_u64(IntegerWidth::U64, count)) return false;
  idf.reserve(in.bounded_reservation(count, kMinIdfValueBytes));
  for (std::uint64_t i = 0; i < count; ++i) {
    float value = 0.0f;
    if (!in.read_float(value)) return false;
    idf.push_back(value);
  }
  return true;
}

}  // namespace

Result<TfidfVectorizer> read_brevix(std::span<const std::uint8_t> bytes) {
  BrevixInput in(bytes);
  TfidfVectorizer model;
  if (!read_params(in, model.count_vectorizer.params) || !read_vocabulary(in, model.count_vectorizer.vocab) ||
      !read_idf(in, model.idf)) {
    return *in.failure();
  }
  return model;
}

}  // namespace pre_processor::persistence
