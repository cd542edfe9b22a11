#include "pre_processor/persistence/json_document.h"

#include <gtest/gtest.h>

#include <limits>

#include "model_fixtures.h"
#include "pre_processor/persistence/json_reader.h"

namespace pre_processor::persistence {
namespace {

using testing::key_of;
using testing::make_model;
using testing::random_model;

TEST(JsonDocument, WritesCompactFixedOrderSortedByColumn) {
  // Columns in ascending key order, as a fit numbers them; the map's own
  // iteration order must not show.
  const TfidfVectorizer model = make_model({.min_df = 2.0f,
                                            .max_df = 0.95f,
                                            .sublinear_tf = true,
                                            .vocabulary = {{key_of(42, 9, 7), 2}, {key_of(9, 7), 0}, {key_of(17, 42), 1}},
                                            .idf = {1.5f, 2.25f, 3.0f}});
  EXPECT_EQ(write_json_document(model),
            "{\"count_vectorizer\":{\"params\":{\"ngram_range\":[2,3,4],\"min_df\":2.0,\"max_df\":0.95,"
            "\"sublinear_tf\":true},\"vocab\":[[[9,7,0,0],0],[[17,42,0,0],1],[[42,9,7,0],2]]},"
            "\"idf\":[1.5,2.25,3.0]}");
}

TEST(JsonDocument, EmptyModelHasEmptyLists) {
  const TfidfVectorizer model = make_model({.ngram_range = {}, .vocabulary = {}, .idf = {}});
  const String text = write_json_document(model);
  EXPECT_EQ(text,
            "{\"count_vectorizer\":{\"params\":{\"ngram_range\":[],\"min_df\":1.0,\"max_df\":1.0,"
            "\"sublinear_tf\":false},\"vocab\":[]},\"idf\":[]}");
  const auto read = read_json_document(text);
  ASSERT_TRUE(read.ok()) << read.error().message;
  EXPECT_EQ(*read, model);
}

TEST(JsonDocument, WritesExtremeValuesExactly) {
  constexpr std::uint32_t kMaxLane = std::numeric_limits<std::uint32_t>::max();
  const TfidfVectorizer model =
      make_model({.ngram_range = {std::numeric_limits<std::uint64_t>::max()},
                  .min_df = 1e-7f,
                  .max_df = 3e20f,
                  .vocabulary = {{key_of(kMaxLane, kMaxLane, kMaxLane, kMaxLane), std::numeric_limits<std::uint64_t>::max()},
                                 {key_of(0), 0}},
                  .idf = {-0.0f, std::numeric_limits<float>::quiet_NaN()}});
  EXPECT_EQ(write_json_document(model),
            "{\"count_vectorizer\":{\"params\":{\"ngram_range\":[18446744073709551615],\"min_df\":1e-7,"
            "\"max_df\":3e+20,\"sublinear_tf\":false},\"vocab\":[[[0,0,0,0],0],"
            "[[4294967295,4294967295,4294967295,4294967295],18446744073709551615]]},\"idf\":[-0.0,null]}");
}

TEST(JsonDocument, NonFiniteIdfIsWrittenAsNullAndRefusedOnReading) {
  const TfidfVectorizer model = make_model({.vocabulary = {}, .idf = {1.0f, std::numeric_limits<float>::infinity()}});
  const String text = write_json_document(model);
  ASSERT_NE(text.find("\"idf\":[1.0,null]"), String::npos) << text;
  const auto read = read_json_document(text);
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error().message, "invalid type: null, expected f32 at line 1 column " + std::to_string(text.size() - 2));
}

TEST(JsonDocument, RoundTripsByteForByte) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
    const TfidfVectorizer model = random_model(size, static_cast<std::uint32_t>(size) + 3);
    const String first = write_json_document(model);
    const auto read = read_json_document(first);
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(*read, model);
    EXPECT_EQ(write_json_document(*read), first);
  }
}

TEST(JsonDocument, RoundTripsALargeVocabulary) {
  const TfidfVectorizer model = random_model(1'000'000, 11);
  const String text = write_json_document(model);
  const auto read = read_json_document(text);
  ASSERT_TRUE(read.ok()) << read.error().message;
  EXPECT_EQ(read->count_vectorizer.vocab.size(), 1'000'000u);
  EXPECT_EQ(*read, model);
}

}  // namespace
}  // namespace pre_processor::persistence
