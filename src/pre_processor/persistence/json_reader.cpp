#include "pre_processor/persistence/json_reader.h"

#include <array>
#include <cmath>
#include <span>
#include <limits>
#include <string>

#include "pre_processor/persistence/json_cursor.h"
#include "pre_processor/vectorizer/vocabulary.h"

namespace pre_processor::persistence {
namespace {

using json::Cursor;
using json::kEnd;
using json::Number;
using json::Step;

// Names of the expected kinds of value in failure messages.
constexpr std::string_view kU32Name = "u32";
constexpr std::string_view kUsizeName = "usize";
constexpr std::string_view kF32Name = "f32";
constexpr std::string_view kBooleanExpectation = "a boolean";
constexpr std::string_view kSequenceExpectation = "a sequence";
constexpr std::string_view kEntryExpectation = "a tuple of size 2";
constexpr std::size_t kEntryElements = 2;

// A structure readable as an object or as an array of its fields in order.
struct StructureShape {
  std::string_view name;
  std::span<const std::string_view> fields;  // in declaration order
};

constexpr std::size_t kMaxStructureFields = 4;

constexpr std::string_view kTfidfVectorizerFields[] = {"count_vectorizer", "idf"};
constexpr std::string_view kCountVectorizerFields[] = {"params", "vocab"};
constexpr std::string_view kVectorizerParamsFields[] = {"ngram_range", "min_df", "max_df", "sublinear_tf"};
constexpr StructureShape kTfidfVectorizerShape{"TfidfVectorizer", kTfidfVectorizerFields};
constexpr StructureShape kCountVectorizerShape{"CountVectorizer", kCountVectorizerFields};
constexpr StructureShape kVectorizerParamsShape{"VectorizerParams", kVectorizerParamsFields};

// The float nearest to a double; magnitudes past the float range become infinite.
float nearest_float(double value) {
  // Halfway between the largest float and 2^128: from here on, rounding gives infinity.
  constexpr double kFloatOverflow = 0x1.ffffffp127;
  constexpr float kInfinity = std::numeric_limits<float>::infinity();
  if (std::fabs(value) >= kFloatOverflow) return value > 0 ? kInfinity : -kInfinity;
  return static_cast<float>(value);
}

class DocumentReader {
 public:
  explicit DocumentReader(std::string_view text) : cursor_(text) {}

  bool read(TfidfVectorizer& model) {
    return read_tfidf_vectorizer(model) && cursor_.end_of_document();
  }

  std::string failure_message() const { return cursor_.failure_message(); }

 private:
  bool read_tfidf_vectorizer(TfidfVectorizer& model) {
    return read_structure(kTfidfVectorizerShape, [&](std::size_t field) {
      return field == 0 ? read_count_vectorizer(model.count_vectorizer) : read_float_list(model.idf);
    });
  }

  bool read_count_vectorizer(CountVectorizer& count_vectorizer) {
    return read_structure(kCountVectorizerShape, [&](std::size_t field) {
      return field == 0 ? read_params(count_vectorizer.params) : read_vocabulary(count_vectorizer.vocab);
    });
  }

  bool read_params(VectorizerParams& params) {
    return read_structure(kVectorizerParamsShape, [&](std::size_t field) {
      switch (field) {
        case 0: return read_size_list(params.ngram_range);
        case 1: return read_f32(params.min_df);
        case 2: return read_f32(params.max_df);
        default: return read_bool(params.sublinear_tf);
      }
    });
  }

  bool read_size_list(Vec<std::uint64_t>& sizes) {
    sizes.clear();
    return read_sequence(kSequenceExpectation, [&] {
      std::uint64_t size = 0;
      if (!read_unsigned(kUsizeName, std::numeric_limits<std::uint64_t>::max(), size)) return false;
      sizes.push_back(size);
      return true;
    });
  }

  bool read_float_list(Vec<float>& values) {
    values.clear();
    return read_sequence(kSequenceExpectation, [&] {
      float value = 0.0f;
      if (!read_f32(value)) return false;
      values.push_back(value);
      return true;
    });
  }

  bool read_vocabulary(Vocabulary& vocabulary) {
    Vec<VocabularyEntry> entries;
    const bool read = read_sequence(kSequenceExpectation, [&] {
      VocabularyEntry entry;
      if (!read_entry(entry)) return false;
      entries.push_back(entry);
      return true;
    });
    if (!read) return false;
    vocabulary = Vocabulary::from_entries(std::move(entries));
    return true;
  }

  // [key, column], exactly two elements.
  bool read_entry(VocabularyEntry& entry) {
    const int c = cursor_.skip_whitespace();
    if (c != '[') return fail_on_unexpected(c, kEntryExpectation);
    if (!cursor_.enter_nested()) return false;
    cursor_.eat();
    bool first = true;
    for (std::size_t element = 0; element < kEntryElements; ++element) {
      const Step step = cursor_.next_element(first);
      if (step == Step::Failed) return false;
      if (step == Step::End) return fail_invalid_length(element, std::string(kEntryExpectation));
      const bool read = element == 0 ? read_key(entry.key)
                                     : read_unsigned(kUsizeName, std::numeric_limits<std::uint64_t>::max(),
                                                     entry.column);
      if (!read) return false;
    }
    cursor_.leave_nested();
    return cursor_.end_array();
  }

  // Any number of u32 lanes; the first four make the key.
  bool read_key(NgramKey& key) {
    std::array<std::uint32_t, DEFAULT_MAX_NGRAM> lanes{};
    std::size_t count = 0;
    const bool read = read_sequence(kSequenceExpectation, [&] {
      std::uint64_t lane = 0;
      if (!read_unsigned(kU32Name, std::numeric_limits<std::uint32_t>::max(), lane)) return false;
      if (count < lanes.size()) lanes[count] = static_cast<std::uint32_t>(lane);
      ++count;
      return true;
    });
    if (read) key = NgramKey::from_lanes(lanes);
    return read;
  }

  // An object of named fields or an array of the field values in order.
  // `read_field(i)` reads the value of field i.
  template <class ReadField>
  bool read_structure(const StructureShape& shape, ReadField read_field) {
    const std::string expectation = "struct " + std::string(shape.name);
    const int c = cursor_.skip_whitespace();
    if (c == '[') {
      if (!cursor_.enter_nested()) return false;
      cursor_.eat();
      bool first = true;
      for (std::size_t field = 0; field < shape.fields.size(); ++field) {
        const Step step = cursor_.next_element(first);
        if (step == Step::Failed) return false;
        if (step == Step::End) {
          return fail_invalid_length(
              field, expectation + " with " + std::to_string(shape.fields.size()) + " elements");
        }
        if (!read_field(field)) return false;
      }
      cursor_.leave_nested();
      return cursor_.end_array();
    }
    if (c != '{') return fail_on_unexpected(c, expectation);

    if (!cursor_.enter_nested()) return false;
    cursor_.eat();
    std::array<bool, kMaxStructureFields> seen{};
    bool first = true;
    for (;;) {
      const Step step = cursor_.next_key(first, key_);
      if (step == Step::Failed) return false;
      if (step == Step::End) break;
      const std::size_t field = field_index(shape, key_);
      if (field < shape.fields.size() && seen[field]) {
        cursor_.skip_whitespace();
        cursor_.fail_here("duplicate field `" + std::string(shape.fields[field]) + "`");
        return false;
      }
      if (!cursor_.parse_colon()) return false;
      if (field < shape.fields.size()) {
        seen[field] = true;
        if (!read_field(field)) return false;
      } else if (!cursor_.skip_value()) {
        return false;
      }
    }
    cursor_.leave_nested();
    for (std::size_t field = 0; field < shape.fields.size(); ++field) {
      if (!seen[field]) {
        cursor_.end_object();
        cursor_.fail_here("missing field `" + std::string(shape.fields[field]) + "`");
        return false;
      }
    }
    return cursor_.end_object();
  }

  // An array of any length; `read_element()` reads one element.
  template <class ReadElement>
  bool read_sequence(std::string_view expectation, ReadElement read_element) {
    const int c = cursor_.skip_whitespace();
    if (c != '[') return fail_on_unexpected(c, expectation);
    if (!cursor_.enter_nested()) return false;
    cursor_.eat();
    bool first = true;
    for (;;) {
      const Step step = cursor_.next_element(first);
      if (step == Step::Failed) return false;
      if (step == Step::End) break;
      if (!read_element()) return false;
    }
    cursor_.leave_nested();
    return cursor_.end_array();
  }

  bool read_unsigned(std::string_view type_name, std::uint64_t max, std::uint64_t& out) {
    const int c = cursor_.skip_whitespace();
    if (!starts_number(c)) return fail_on_unexpected(c, type_name);
    Number number;
    if (!cursor_.parse_number(number)) return false;
    switch (number.kind) {
      case Number::Kind::Unsigned:
        if (number.unsigned_value <= max) {
          out = number.unsigned_value;
          return true;
        }
        return fail_invalid_value(number, type_name);
      case Number::Kind::Negative:
        return fail_invalid_value(number, type_name);
      case Number::Kind::Float:
        break;
    }
    return fail_invalid_type(json::describe_number(number), type_name);
  }

  bool read_f32(float& out) {
    const int c = cursor_.skip_whitespace();
    if (!starts_number(c)) return fail_on_unexpected(c, kF32Name);
    Number number;
    if (!cursor_.parse_number(number)) return false;
    switch (number.kind) {
      case Number::Kind::Unsigned: out = static_cast<float>(number.unsigned_value); break;
      case Number::Kind::Negative: out = static_cast<float>(number.negative_value); break;
      case Number::Kind::Float: out = nearest_float(number.float_value); break;
    }
    return true;
  }

  bool read_bool(bool& out) {
    const int c = cursor_.skip_whitespace();
    if (c != 't' && c != 'f') return fail_on_unexpected(c, kBooleanExpectation);
    cursor_.eat();
    out = c == 't';
    return cursor_.parse_literal_rest(out ? "rue" : "alse");
  }

  static bool starts_number(int c) { return c == '-' || (c >= '0' && c <= '9'); }

  // The value at the cursor is not of the expected kind: read it (a syntax
  // failure in it wins) and describe what was found.
  bool fail_on_unexpected(int c, std::string_view expectation) {
    switch (c) {
      case kEnd:
        cursor_.fail_at_peek(json::kEofWhileParsingValue);
        return false;
      case 'n':
        cursor_.eat();
        return cursor_.parse_literal_rest("ull") && fail_invalid_type("null", expectation);
      case 't':
        cursor_.eat();
        return cursor_.parse_literal_rest("rue") && fail_invalid_type("boolean `true`", expectation);
      case 'f':
        cursor_.eat();
        return cursor_.parse_literal_rest("alse") && fail_invalid_type("boolean `false`", expectation);
      case '"':
        cursor_.eat();
        return cursor_.parse_string(key_) && fail_invalid_type(json::describe_string(key_), expectation);
      case '[':
        return fail_invalid_type("sequence", expectation);
      case '{':
        return fail_invalid_type("map", expectation);
      default:
        break;
    }
    if (starts_number(c)) {
      Number number;
      return cursor_.parse_number(number) && fail_invalid_type(json::describe_number(number), expectation);
    }
    cursor_.fail_at_peek(json::kExpectedValue);
    return false;
  }

  bool fail_invalid_type(std::string_view found, std::string_view expectation) {
    cursor_.fail_here("invalid type: " + std::string(found) + ", expected " + std::string(expectation));
    return false;
  }

  bool fail_invalid_value(const Number& number, std::string_view expectation) {
    cursor_.fail_here("invalid value: " + json::describe_number(number) + ", expected " + std::string(expectation));
    return false;
  }

  // An array form ended after `found` elements; the closing bracket is consumed first.
  bool fail_invalid_length(std::size_t found, const std::string& expectation) {
    cursor_.leave_nested();
    cursor_.end_array();
    cursor_.fail_here("invalid length " + std::to_string(found) + ", expected " + expectation);
    return false;
  }

  // The index of the field named `key`, or the number of fields for an unknown key.
  static std::size_t field_index(const StructureShape& shape, std::string_view key) {
    std::size_t index = 0;
    while (index < shape.fields.size() && shape.fields[index] != key) ++index;
    return index;
  }

  Cursor cursor_;
  String key_;
};

}  // namespace

Result<TfidfVectorizer> read_json_document(std::string_view text) {
  DocumentReader reader(text);
  TfidfVectorizer model;
  if (!reader.read(model)) return Error{ErrorKind::Persistence, reader.failure_message()};
  return model;
}

}  // namespace pre_processor::persistence
