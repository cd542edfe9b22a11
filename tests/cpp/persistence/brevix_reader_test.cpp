#include "pre_processor/persistence/brevix_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "model_fixtures.h"

namespace pre_processor::persistence {
namespace {

using testing::key_of;
using testing::make_model;
using Bytes = Vec<std::uint8_t>;

void put_le(Bytes& out, unsigned __int128 value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void put_f32(Bytes& out, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  put_le(out, bits, 4);
}

const NgramKey kWideKey = key_of(7, 8, 9, 10);

// ngram_range 2, 3, 4; min_df 0.5; max_df 1.0; sublinear_tf; two entries
// (one key in 8 bytes, one in 16; column 300 in 2 bytes); idf 1.5, 2.0.
Bytes sample() {
  Bytes b{3, 2, 3, 4};
  put_f32(b, 0.5f);
  put_f32(b, 1.0f);
  b.push_back(1);
  b.push_back(2);
  b.push_back(253);
  put_le(b, key_of(17, 42).value, 8);
  b.push_back(0);
  b.push_back(254);
  put_le(b, kWideKey.value, 16);
  b.push_back(251);
  put_le(b, 300, 2);
  b.push_back(2);
  put_f32(b, 1.5f);
  put_f32(b, 2.0f);
  return b;
}

// Offsets within sample().
constexpr std::size_t kSublinearTfAt = 12;
constexpr std::size_t kVocabularyCountAt = 13;
constexpr std::size_t kFirstKeyAt = 14;
constexpr std::size_t kFirstColumnAt = 23;
constexpr std::size_t kIdfCountAt = 44;

TfidfVectorizer sample_model() {
  return make_model({.min_df = 0.5f,
                     .max_df = 1.0f,
                     .sublinear_tf = true,
                     .vocabulary = {{key_of(17, 42), 0}, {kWideKey, 300}},
                     .idf = {1.5f, 2.0f}});
}

TEST(BrevixReader, ReadsEveryItemAndIgnoresTrailingBytes) {
  Bytes bytes = sample();
  ASSERT_EQ(bytes[kIdfCountAt], 2);
  auto read = read_brevix(bytes);
  ASSERT_TRUE(read.ok()) << read.error().message;
  EXPECT_EQ(*read, sample_model());

  bytes.insert(bytes.end(), {9, 9, 9});
  read = read_brevix(bytes);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, sample_model());
}

TEST(BrevixReader, AcceptsLongerEncodingsThanNeededAndRepeatedKeys) {
  Bytes b{251, 1, 0, 252, 5, 0, 0, 0};  // one size, 5, each longer than needed
  put_f32(b, 1.0f);
  put_f32(b, 1.0f);
  b.insert(b.end(), {0, 2, 9, 3, 9, 7, 0});  // key 9 -> 3, then key 9 -> 7; no idf
  const auto read = read_brevix(b);
  ASSERT_TRUE(read.ok()) << read.error().message;
  EXPECT_EQ(read->count_vectorizer.params.ngram_range, Vec<std::uint64_t>{5});
  EXPECT_EQ(read->count_vectorizer.vocab.size(), 1u);
  EXPECT_EQ(read->count_vectorizer.vocab.column_of(key_of(9)), 7u);
}

TEST(BrevixReader, DescribesEachFailure) {
  const struct {
    const char* name;
    std::function<void(Bytes&)> corrupt;
    const char* detail;
  } cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, "UnexpectedEnd { additional: 1 }"},
      {"cut two bytes short in the last idf value", [](Bytes& b) { b.resize(b.size() - 2); },
       "UnexpectedEnd { additional: 2 }"},
      {"cut inside an 8-byte key", [](Bytes& b) { b.resize(kFirstKeyAt + 4); }, "UnexpectedEnd { additional: 5 }"},
      {"cut after a marker", [](Bytes& b) { b.resize(kFirstKeyAt + 1); }, "UnexpectedEnd { additional: 8 }"},
      {"cut before sublinear_tf", [](Bytes& b) { b.resize(kSublinearTfAt); }, "UnexpectedEnd { additional: 1 }"},
      {"cut inside max_df", [](Bytes& b) { b.resize(9); }, "UnexpectedEnd { additional: 3 }"},
      {"sublinear_tf 2", [](Bytes& b) { b[kSublinearTfAt] = 2; }, "InvalidBooleanValue(2)"},
      {"sublinear_tf 255", [](Bytes& b) { b[kSublinearTfAt] = 255; }, "InvalidBooleanValue(255)"},
      {"count marker 255", [](Bytes& b) { b[0] = 255; }, "InvalidIntegerType { expected: U64, found: Reserved }"},
      {"count marker 254", [](Bytes& b) { b[kVocabularyCountAt] = 254; },
       "InvalidIntegerType { expected: U64, found: U128 }"},
      {"idf count marker 254", [](Bytes& b) { b[kIdfCountAt] = 254; }, "InvalidIntegerType { expected: U64, found: U128 }"},
      {"size marker 254", [](Bytes& b) { b[1] = 254; }, "InvalidIntegerType { expected: Usize, found: U128 }"},
      {"column marker 255", [](Bytes& b) { b[kFirstColumnAt] = 255; },
       "InvalidIntegerType { expected: Usize, found: Reserved }"},
      {"key marker 255", [](Bytes& b) { b[kFirstKeyAt] = 255; }, "InvalidIntegerType { expected: U128, found: Reserved }"},
  };
  for (const auto& c : cases) {
    Bytes bytes = sample();
    c.corrupt(bytes);
    const auto read = read_brevix(bytes);
    ASSERT_FALSE(read.ok()) << c.name;
    EXPECT_EQ(read.error().kind, ErrorKind::Persistence) << c.name;
    EXPECT_EQ(read.error().message, c.detail) << c.name;
  }
}

TEST(BrevixReader, HugeDeclaredCountsFailAtTheEndOfInput) {
  // Each count claims 2^64 - 1 elements; room is reserved only for what the
  // remaining bytes could hold, and reading stops where the input ends.
  Bytes sizes{253};
  put_le(sizes, ~std::uint64_t{0}, 8);
  sizes.insert(sizes.end(), {2, 3});
  EXPECT_EQ(read_brevix(sizes).error().message, "UnexpectedEnd { additional: 1 }");

  Bytes entries = sample();
  entries.resize(kVocabularyCountAt);
  entries.push_back(253);
  put_le(entries, ~std::uint64_t{0}, 8);
  entries.insert(entries.end(), {5, 1, 6});
  EXPECT_EQ(read_brevix(entries).error().message, "UnexpectedEnd { additional: 1 }");

  Bytes idf = sample();
  idf.resize(kIdfCountAt);
  idf.push_back(253);
  put_le(idf, ~std::uint64_t{0}, 8);
  put_f32(idf, 1.0f);
  idf.insert(idf.end(), {0, 0, 0});
  EXPECT_EQ(read_brevix(idf).error().message, "UnexpectedEnd { additional: 1 }");
}

}  // namespace
}  // namespace pre_processor::persistence
