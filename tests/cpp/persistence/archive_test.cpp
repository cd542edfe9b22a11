#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>

#include "model_fixtures.h"
#include "pre_processor/persistence/archive_format.h"
#include "pre_processor/persistence/archive_reader.h"
#include "pre_processor/persistence/archive_writer.h"

namespace pre_processor::persistence {
namespace {

using testing::key_of;
using testing::make_model;
using testing::random_model;
using Bytes = Vec<std::uint8_t>;

void put_u32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void put_i32(Bytes& out, std::int32_t value) { put_u32(out, static_cast<std::uint32_t>(value)); }
void put_f32(Bytes& out, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  put_u32(out, bits);
}

TfidfVectorizer worked_example_model() {
  return make_model({.vocabulary = {{key_of(17, 42), 0}}, .idf = {1.5f}});
}

// The 156 bytes of the worked example, spelled out field by field.
Bytes worked_example_bytes() {
  Bytes b;
  for (const std::uint32_t size : {2u, 3u, 4u}) put_u32(b, size);  // 0-11 ngram_range
  b.resize(16, 0);                                                   // 12-15 padding
  b.resize(48, 0);                                                   // 16-47 bucket of slot 1
  b.push_back(17);                                                   // 48-79 bucket of slot 0
  b.resize(52, 0);
  b.push_back(42);
  b.resize(80, 0);
  b.push_back(0x50);  // 80-110 control bytes: slot 0, slot 1, mirror of slot 0, the rest unused
  b.push_back(0xFF);
  b.push_back(0x50);
  b.resize(111, 0xFF);
  b.push_back(0);  // 111 padding
  put_f32(b, 1.5f);  // 112-115 idf
  put_i32(b, -116);  // 116-155 root record
  put_u32(b, 3);
  put_f32(b, 1.0f);
  put_f32(b, 1.0f);
  b.insert(b.end(), {0, 0, 0, 0});
  put_i32(b, -56);
  put_u32(b, 1);
  put_u32(b, 2);
  put_i32(b, -36);
  put_u32(b, 1);
  return b;
}

TEST(ArchiveFormat, CapacityHashAndControlByteRules) {
  EXPECT_EQ(archive::table_capacity(1), 2u);
  EXPECT_EQ(archive::table_capacity(7), 8u);
  EXPECT_EQ(archive::table_capacity(14), 16u);
  EXPECT_EQ(archive::table_capacity(100), 114u);
  const archive::TableGeometry geometry = archive::table_geometry(2);
  EXPECT_EQ(geometry.probe_capacity, 16u);
  EXPECT_EQ(geometry.control_count, 31u);
  EXPECT_EQ(archive::table_geometry(114).probe_capacity, 128u);

  const std::uint64_t hash = archive::key_hash(key_of(17, 42));
  EXPECT_EQ(hash, 0xa0535d0cc1e9dc42ULL);
  EXPECT_EQ(archive::control_byte_of(hash), 0x50);
}

TEST(ArchiveFormat, ReproducesTheWorkedExampleByteForByte) {
  const auto written = write_archive(worked_example_model());
  ASSERT_TRUE(written.ok());
  ASSERT_EQ(written->size(), 156u);
  EXPECT_EQ(*written, worked_example_bytes());

  const auto read = read_archive(worked_example_bytes());
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, worked_example_model());
}

TEST(ArchiveFormat, EmptyModelIsTheRootRecordAlone) {
  const TfidfVectorizer model = make_model({.ngram_range = {}, .vocabulary = {}, .idf = {}});
  const auto written = write_archive(model);
  ASSERT_TRUE(written.ok());
  Bytes expected;
  put_i32(expected, 0);
  put_u32(expected, 0);
  put_f32(expected, 1.0f);
  put_f32(expected, 1.0f);
  expected.insert(expected.end(), {0, 0, 0, 0});
  put_i32(expected, 1);
  put_u32(expected, 0);
  put_u32(expected, 0);
  put_i32(expected, -32);
  put_u32(expected, 0);
  EXPECT_EQ(*written, expected);
  const auto read = read_archive(*written);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, model);
}

TEST(ArchiveFormat, EmptyVocabularyWritesNoTable) {
  const TfidfVectorizer model = make_model({.ngram_range = {2, 3, 4}, .sublinear_tf = true, .vocabulary = {}, .idf = {}});
  const auto written = write_archive(model);
  ASSERT_TRUE(written.ok());
  ASSERT_EQ(written->size(), 12u + 40u);
  const archive::RootRecord root = archive::decode_root_record(std::span<const std::uint8_t, 40>(written->data() + 12, 40));
  EXPECT_EQ(root.table_pointer, 1);
  EXPECT_EQ(root.vocabulary_length, 0u);
  EXPECT_EQ(root.vocabulary_capacity, 0u);
  EXPECT_EQ(root.idf_pointer, -32);
  EXPECT_EQ(root.sublinear_tf, 1);
  const auto read = read_archive(*written);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, model);
}

TEST(ArchiveFormat, RoundTripsEveryTableSize) {
  // Every capacity up to a few groups, including those where probing wraps
  // into the mirrored control bytes; the reader checks that every entry got
  // its own slot.
  for (std::size_t size = 1; size <= 300; ++size) {
    const TfidfVectorizer model = random_model(size, static_cast<std::uint32_t>(size));
    const auto written = write_archive(model);
    ASSERT_TRUE(written.ok()) << size;
    const auto read = read_archive(*written);
    ASSERT_TRUE(read.ok()) << size;
    ASSERT_EQ(*read, model) << size;
  }
}

TEST(ArchiveFormat, RoundTripsALargeVocabulary) {
  const TfidfVectorizer model = random_model(1'000'000, 5);
  const auto written = write_archive(model);
  ASSERT_TRUE(written.ok());
  const auto read = read_archive(*written);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, model);
  // A second write from the rebuilt map describes the same model.
  const auto rewritten = write_archive(*read);
  ASSERT_TRUE(rewritten.ok());
  EXPECT_EQ(rewritten->size(), written->size());
  const auto reread = read_archive(*rewritten);
  ASSERT_TRUE(reread.ok());
  EXPECT_EQ(*reread, model);
}

TEST(ArchiveFormat, ReadsFromAnyAlignment) {
  const Bytes example = worked_example_bytes();
  Bytes shifted(example.size() + 3);
  std::memcpy(shifted.data() + 3, example.data(), example.size());
  const auto read = read_archive(std::span<const std::uint8_t>(shifted.data() + 3, example.size()));
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(*read, worked_example_model());
}

TEST(ArchiveFormat, RefusesValuesThatDoNotFit32Bits) {
  const std::uint64_t too_large = std::uint64_t{1} << 32;
  const TfidfVectorizer cases[] = {
      make_model({.ngram_range = {2, too_large}, .vocabulary = {}, .idf = {}}),
      make_model({.vocabulary = {{key_of(1, 2), too_large}}, .idf = {}}),
  };
  for (const TfidfVectorizer& model : cases) {
    const auto written = write_archive(model);
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.error().kind, ErrorKind::Persistence);
    EXPECT_EQ(written.error().message, archive::kFailureDetail);
  }
}

// Root record field positions within the worked example.
constexpr std::size_t kRoot = 116;

void set_u32(Bytes& b, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(ArchiveFormat, RefusesMalformedArchives) {
  using archive::root_offset::kIdfCount;
  using archive::root_offset::kIdfPointer;
  using archive::root_offset::kNgramRangeCount;
  using archive::root_offset::kNgramRangePointer;
  using archive::root_offset::kSublinearTf;
  using archive::root_offset::kTablePointer;
  using archive::root_offset::kVocabularyCapacity;
  using archive::root_offset::kVocabularyLength;
  const struct {
    const char* name;
    std::function<void(Bytes&)> corrupt;
  } cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }},
      {"39 bytes", [](Bytes& b) { b.resize(39); }},
      {"one byte appended", [](Bytes& b) { b.push_back(0); }},
      {"sublinear_tf byte 2", [](Bytes& b) { b[kRoot + kSublinearTf] = 2; }},
      {"ngram_range after the root", [](Bytes& b) { set_u32(b, kRoot + kNgramRangePointer, 4); }},
      {"ngram_range before the buffer", [](Bytes& b) { set_u32(b, kRoot + kNgramRangePointer, static_cast<std::uint32_t>(-120)); }},
      {"ngram_range misaligned", [](Bytes& b) { set_u32(b, kRoot + kNgramRangePointer, static_cast<std::uint32_t>(-115)); }},
      {"ngram_range count past the root", [](Bytes& b) { set_u32(b, kRoot + kNgramRangeCount, 30); }},
      {"ngram_range count huge", [](Bytes& b) { set_u32(b, kRoot + kNgramRangeCount, 0xFFFFFFFF); }},
      {"length equals capacity", [](Bytes& b) { set_u32(b, kRoot + kVocabularyLength, 2); }},
      {"length above capacity", [](Bytes& b) { set_u32(b, kRoot + kVocabularyLength, 0xFFFFFFFF); }},
      {"capacity huge", [](Bytes& b) { set_u32(b, kRoot + kVocabularyCapacity, 0xFFFFFFFF); }},
      {"buckets misaligned", [](Bytes& b) { set_u32(b, kRoot + kTablePointer, static_cast<std::uint32_t>(-52)); }},
      {"buckets over the ngram_range data", [](Bytes& b) { set_u32(b, kRoot + kTablePointer, static_cast<std::uint32_t>(-72)); }},
      {"control bytes past the root", [](Bytes& b) { set_u32(b, kRoot + kTablePointer, static_cast<std::uint32_t>(-24)); }},
      {"table pointer before the buffer", [](Bytes& b) { set_u32(b, kRoot + kTablePointer, static_cast<std::uint32_t>(-200)); }},
      {"idf inside the control bytes", [](Bytes& b) { set_u32(b, kRoot + kIdfPointer, static_cast<std::uint32_t>(-48)); }},
      {"idf after the root", [](Bytes& b) { set_u32(b, kRoot + kIdfPointer, 8); }},
      {"idf misaligned", [](Bytes& b) { set_u32(b, kRoot + kIdfPointer, static_cast<std::uint32_t>(-35)); }},
      {"idf count past the root", [](Bytes& b) { set_u32(b, kRoot + kIdfCount, 2); }},
      {"idf count huge", [](Bytes& b) { set_u32(b, kRoot + kIdfCount, 0xFFFFFFFF); }},
      {"control byte with top bit set", [](Bytes& b) { b[81] = 0x80; }},
      {"no used slot", [](Bytes& b) { b[80] = 0xFF; b[82] = 0xFF; }},
      {"two used slots for one entry", [](Bytes& b) { b[81] = 0x11; b[83] = 0x11; }},
      {"mirror differs", [](Bytes& b) { b[82] = 0x51; }},
      {"mirror of an unused slot", [](Bytes& b) { b[83] = 0x22; }},
      {"unmirrored byte used", [](Bytes& b) { b[110] = 0x01; }},
  };
  for (const auto& c : cases) {
    Bytes bytes = worked_example_bytes();
    c.corrupt(bytes);
    const auto read = read_archive(bytes);
    ASSERT_FALSE(read.ok()) << c.name;
    EXPECT_EQ(read.error().message, archive::kFailureDetail) << c.name;
  }
  // Every proper prefix of a valid archive is refused.
  const Bytes example = worked_example_bytes();
  for (std::size_t size = 0; size < example.size(); ++size) {
    EXPECT_FALSE(read_archive(std::span<const std::uint8_t>(example.data(), size)).ok()) << size;
  }
}

TEST(ArchiveFormat, EmptyTableIgnoresItsPointer) {
  // Length and capacity 0: the table pointer is not looked at.
  Bytes bytes = worked_example_bytes();
  set_u32(bytes, kRoot + archive::root_offset::kVocabularyLength, 0);
  set_u32(bytes, kRoot + archive::root_offset::kVocabularyCapacity, 0);
  set_u32(bytes, kRoot + archive::root_offset::kTablePointer, 0x7FFFFFFF);
  const auto read = read_archive(bytes);
  ASSERT_TRUE(read.ok());
  EXPECT_TRUE(read->count_vectorizer.vocab.empty());
  EXPECT_EQ(read->idf, Vec<float>{1.5f});
}

}  // namespace
}  // namespace pre_processor::persistence
