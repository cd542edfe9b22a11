#include "pre_processor/persistence/json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "model_fixtures.h"

namespace pre_processor::persistence {
namespace {

using testing::key_of;
using testing::make_model;

const std::string kParams = R"({"ngram_range":[2,3,4],"min_df":1.0,"max_df":1.0,"sublinear_tf":false})";

std::string document(const std::string& params, const std::string& vocab, const std::string& idf) {
  return R"({"count_vectorizer":{"params":)" + params + R"(,"vocab":)" + vocab + R"(},"idf":)" + idf + "}";
}

std::string with_vocab(const std::string& vocab) { return document(kParams, vocab, "[]"); }
std::string with_idf(const std::string& idf) { return document(kParams, "[]", idf); }
std::string with_params(const std::string& params) { return document(params, "[]", "[]"); }

TfidfVectorizer read_ok(const std::string& text) {
  auto read = read_json_document(text);
  EXPECT_TRUE(read.ok()) << text << "\n" << (read.ok() ? "" : read.error().message);
  return read.ok() ? std::move(read).value() : TfidfVectorizer{};
}

TEST(JsonReader, AcceptsPrettyPrintingOtherKeyOrdersAndUnknownKeys) {
  const std::string text = R"(
  {
    "extra": {"nested": [1, 2.5e3, "s\"\\\u00e9", null, true, false, {"a": []}]},
    "idf": [ 1.5 ],
    "count_vectorizer": {
      "vocab": [ [ [17, 42, 0, 0], 0 ] ],
      "params": {
        "sublinear_tf": true, "max_df": 0.95, "unknown": {}, "min_df": 2, "ngram_range": [2, 3, 4]
      }
    }
  }
  )";
  EXPECT_EQ(read_ok(text), make_model({.min_df = 2.0f,
                                       .max_df = 0.95f,
                                       .sublinear_tf = true,
                                       .vocabulary = {{key_of(17, 42), 0}},
                                       .idf = {1.5f}}));
}

TEST(JsonReader, AcceptsTheArrayFormAtEveryLevel) {
  const TfidfVectorizer expected = make_model(
      {.min_df = 1.0f, .max_df = 0.5f, .sublinear_tf = true, .vocabulary = {{key_of(17, 42), 0}}, .idf = {1.5f}});
  EXPECT_EQ(read_ok(R"([[[[2,3,4],1,0.5,true],[[[17,42],0]]],[1.5]])"), expected);
  EXPECT_EQ(read_ok(R"([[{"ngram_range":[2,3,4],"min_df":1,"max_df":0.5,"sublinear_tf":true},[[[17,42],0]]],[1.5]])"),
            expected);
  EXPECT_EQ(read_ok(R"({"idf":[1.5],"count_vectorizer":[[[2,3,4],1,0.5,true],[[[17,42,0,0],0]]]})"), expected);
}

TEST(JsonReader, KeysOfAnyLengthFillTheLanesFromTheFirst) {
  const TfidfVectorizer model = read_ok(with_vocab(R"([[[17,42],0],[[1,2,3,4,5],1],[[],2],[[9],3]])"));
  const Vocabulary& vocab = model.count_vectorizer.vocab;
  EXPECT_EQ(vocab.size(), 4u);
  EXPECT_EQ(vocab.column_of(key_of(17, 42, 0, 0)), 0u);
  EXPECT_EQ(vocab.column_of(key_of(1, 2, 3, 4)), 1u);
  EXPECT_EQ(vocab.column_of(key_of(0)), 2u);
  EXPECT_EQ(vocab.column_of(key_of(9)), 3u);
}

TEST(JsonReader, LaterEntryWithTheSameKeyWins) {
  const TfidfVectorizer model = read_ok(with_vocab(R"([[[5,6],3],[[1],0],[[5,6,0],7]])"));
  EXPECT_EQ(model.count_vectorizer.vocab.size(), 2u);
  EXPECT_EQ(model.count_vectorizer.vocab.column_of(key_of(5, 6)), 7u);
}

TEST(JsonReader, KeysAreComparedAfterEscapesAreDecoded) {
  const TfidfVectorizer model =
      read_ok(R"({"\u0063ount_vectorizer":{"params":)" + kParams + R"(,"voc\u0061b":[]},"id\u0066":[2]})");
  EXPECT_EQ(model.idf, Vec<float>{2.0f});
  // A long unknown key and an unknown value that nests to the deepest level allowed.
  const std::string long_key(100'000, 'k');
  const std::string deep = std::string(127, '[') + std::string(127, ']');
  EXPECT_EQ(read_ok(R"({")" + long_key + R"(":)" + deep + R"(,"count_vectorizer":{"params":)" + kParams +
                    R"(,"vocab":[]},"idf":[]})")
                .idf.size(),
            0u);
}

TEST(JsonReader, ConvertsAnyNumberToTheNearestFloat) {
  const TfidfVectorizer model =
      read_ok(with_idf("[1, -5, 0.1, 1e39, -1e39, 1e-50, -0.0, 100000000000000000000, 3.4028235e38, 3.4028235677973366e38, 1E2]"));
  // 3.4028235677973366e38 lies halfway between the largest float and 2^128
  // and rounds to even, that is to infinity.
  const float inf = std::numeric_limits<float>::infinity();
  const Vec<float> expected{1.0f, -5.0f, 0.1f, inf, -inf, 0.0f, -0.0f, 1e20f, std::numeric_limits<float>::max(), inf, 100.0f};
  ASSERT_EQ(model.idf.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(model.idf[i], expected[i]) << i;
    EXPECT_EQ(std::signbit(model.idf[i]), std::signbit(expected[i])) << i;
  }
  // Past the double range underflow is zero, overflow a failure.
  EXPECT_EQ(read_ok(with_idf("[1e-999999999999999999999]")).idf, Vec<float>{0.0f});
}

TEST(JsonReader, WhitespaceMayFollowTheDocument) {
  EXPECT_TRUE(read_json_document(with_idf("[]") + " \r\n\t\n").ok());
}

TEST(JsonReader, ReportsTheFirstProblemWithItsPosition) {
  const std::string cv = R"({"params":)" + kParams + R"(,"vocab":[]})";
  const std::string valid = with_idf("[]");
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      // End of input and trailing text.
      {"", "EOF while parsing a value at line 1 column 0"},
      {" \n ", "EOF while parsing a value at line 2 column 1"},
      {valid + "x", "trailing characters at line 1 column " + std::to_string(valid.size() + 1)},
      {R"({"idf":[1.0)", "EOF while parsing a list at line 1 column 11"},
      {R"({"idf":[])", "EOF while parsing an object at line 1 column 9"},
      {R"({"id)", "EOF while parsing a string at line 1 column 4"},
      {R"({"idf":)", "EOF while parsing a value at line 1 column 7"},
      // Structures: missing, duplicate, too few or too many fields.
      {"{}", "missing field `count_vectorizer` at line 1 column 2"},
      {R"({"idf":[]})", "missing field `count_vectorizer` at line 1 column 10"},
      {R"({"count_vectorizer":)" + cv + "}",
       "missing field `idf` at line 1 column " + std::to_string(cv.size() + 21)},
      {with_params("{\"ngram_range\":[],\"min_df\":1,\"max_df\":1\n}"),
       "missing field `sublinear_tf` at line 2 column 1"},
      {R"({"idf":[],"idf":[]})", "duplicate field `idf` at line 1 column 15"},
      {R"({"idf":[],"idf"  :[]})", "duplicate field `idf` at line 1 column 17"},
      {with_params("{\"min_df\":1,\n\"min_df\":2}"), "duplicate field `min_df` at line 2 column 8"},
      {"[]", "invalid length 0, expected struct TfidfVectorizer with 2 elements at line 1 column 2"},
      {R"({"count_vectorizer":[],"idf":[]})",
       "invalid length 0, expected struct CountVectorizer with 2 elements at line 1 column 22"},
      {with_params("\n[[2],1.0]"),
       "invalid length 2, expected struct VectorizerParams with 4 elements at line 2 column 9"},
      {with_params("\n[[],1,1,true,5]"), "trailing characters at line 2 column 14"},
      {"[" + cv + ",[],1]", "trailing characters at line 1 column " + std::to_string(cv.size() + 6)},
      {with_params("\n\"x\""), "invalid type: string \"x\", expected struct VectorizerParams at line 2 column 3"},
      // Vocabulary entries and keys.
      {with_vocab("\n[[[4294967296],0]]"), "invalid value: integer `4294967296`, expected u32 at line 2 column 13"},
      {with_vocab("\n[[[-1],0]]"), "invalid value: integer `-1`, expected u32 at line 2 column 5"},
      {with_vocab("\n[[[1],1.0]]"), "invalid type: floating point `1.0`, expected usize at line 2 column 9"},
      {with_vocab("\n[[[1],-3]]"), "invalid value: integer `-3`, expected usize at line 2 column 8"},
      {with_vocab("\n[[[1,2]]]"), "invalid length 1, expected a tuple of size 2 at line 2 column 8"},
      {with_vocab("\n[[]]"), "invalid length 0, expected a tuple of size 2 at line 2 column 3"},
      {with_vocab("\n[[[1],2,3]]"), "trailing characters at line 2 column 9"},
      {with_vocab("\n[[[1],2,]]"), "trailing comma at line 2 column 9"},
      {with_vocab("\n[{}]"), "invalid type: map, expected a tuple of size 2 at line 2 column 1"},
      {with_vocab("\n[[{},0]]"), "invalid type: map, expected a sequence at line 2 column 2"},
      {with_vocab("\n{}"), "invalid type: map, expected a sequence at line 2 column 0"},
      // ngram_range, min_df, max_df, sublinear_tf.
      {with_params("{\"ngram_range\":[\n-1]}"), "invalid value: integer `-1`, expected usize at line 2 column 2"},
      {with_params("{\"ngram_range\":[\n18446744073709551616]}"),
       "invalid type: floating point `1.8446744073709552e19`, expected usize at line 2 column 20"},
      {with_params("{\"ngram_range\":[\n2.5]}"), "invalid type: floating point `2.5`, expected usize at line 2 column 3"},
      {with_params("{\"ngram_range\":[\n-0]}"), "invalid type: floating point `-0.0`, expected usize at line 2 column 2"},
      {with_params("{\"min_df\":\n\"a\\\"b\"}"), "invalid type: string \"a\\\"b\", expected f32 at line 2 column 6"},
      {with_params("{\"max_df\":\n[]}"), "invalid type: sequence, expected f32 at line 2 column 0"},
      {with_params("{\"sublinear_tf\":\n1}"), "invalid type: integer `1`, expected a boolean at line 2 column 1"},
      {with_params("{\"sublinear_tf\":\nnull}"), "invalid type: null, expected a boolean at line 2 column 4"},
      {with_params("{\"sublinear_tf\":\ntrue,\"sublinear_tf\":false}"),
       "duplicate field `sublinear_tf` at line 2 column 19"},
      // idf elements and the lists themselves.
      {with_idf("\n[null]"), "invalid type: null, expected f32 at line 2 column 5"},
      {with_idf("\n[\"1\"]"), "invalid type: string \"1\", expected f32 at line 2 column 4"},
      {with_idf("\n[false]"), "invalid type: boolean `false`, expected f32 at line 2 column 6"},
      {with_idf("\ntrue"), "invalid type: boolean `true`, expected a sequence at line 2 column 4"},
      {with_idf("\n5"), "invalid type: integer `5`, expected a sequence at line 2 column 1"},
      {with_idf("\n-0"), "invalid type: floating point `-0.0`, expected a sequence at line 2 column 2"},
      {with_idf("\n[1.0,]"), "trailing comma at line 2 column 6"},
      {with_idf("\n[1 2]"), "expected `,` or `]` at line 2 column 4"},
      {with_idf("\n[1.0}"), "expected `,` or `]` at line 2 column 5"},
      // Numbers.
      {with_idf("\n[1e400]"), "number out of range at line 2 column 6"},
      {with_idf("\n[-1e400]"), "number out of range at line 2 column 7"},
      {with_idf("\n[01]"), "invalid number at line 2 column 3"},
      {with_idf("\n[1.]"), "invalid number at line 2 column 4"},
      {with_idf("\n[1.e5]"), "invalid number at line 2 column 4"},
      {with_idf("\n[1e]"), "invalid number at line 2 column 4"},
      {with_idf("\n[1e+]"), "invalid number at line 2 column 5"},
      {with_idf("\n[-]"), "invalid number at line 2 column 3"},
      {with_idf("\n[+1]"), "expected value at line 2 column 2"},
      {R"({"idf":[1.)", "EOF while parsing a value at line 1 column 10"},
      {R"({"idf":[-)", "EOF while parsing a value at line 1 column 9"},
      // Literals and other syntax.
      {with_idf("\n[tru]"), "expected ident at line 2 column 5"},
      {with_idf("\n[x]"), "expected value at line 2 column 2"},
      {R"({"idf":[],})", "trailing comma at line 1 column 11"},
      {R"({1:2})", "key must be a string at line 1 column 2"},
      {R"({,"idf":[]})", "key must be a string at line 1 column 2"},
      {R"({"idf" []})", "expected `:` at line 1 column 8"},
      {R"({"idf":[] "x":1})", "expected `,` or `}` at line 1 column 11"},
      {R"({"x":[1,]})", "trailing comma at line 1 column 9"},
      {R"({"x":{"a" 1}})", "expected `:` at line 1 column 11"},
      {R"({"x":nul})", "expected ident at line 1 column 9"},
      // Strings.
      {R"({"\q":1})", "invalid escape at line 1 column 4"},
      {"{\"a\x01\":1}", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 4"},
      {R"({"\ud800x":1})", "unexpected end of hex escape at line 1 column 9"},
      {R"({"\ud800\u0041":1})", "lone leading surrogate in hex escape at line 1 column 14"},
      {R"({"\udc00":1})", "lone leading surrogate in hex escape at line 1 column 8"},
      {R"({"\u12)", "EOF while parsing a string at line 1 column 6"},
      {R"({"\u12G4":1})", "invalid escape at line 1 column 8"},
      {R"({"\)", "EOF while parsing a string at line 1 column 3"},
      // Nesting: the 128th bracket inside the top-level object is one too many.
      {R"({"x":)" + std::string(200, '['), "recursion limit exceeded at line 1 column 133"},
      {std::string(300, '['), "invalid type: sequence, expected usize at line 1 column 4"},
  };
  for (const auto& c : cases) {
    const auto read = read_json_document(c.text);
    ASSERT_FALSE(read.ok()) << c.text;
    EXPECT_EQ(read.error().kind, ErrorKind::Persistence);
    EXPECT_EQ(read.error().message, c.message) << c.text;
  }
}

}  // namespace
}  // namespace pre_processor::persistence
