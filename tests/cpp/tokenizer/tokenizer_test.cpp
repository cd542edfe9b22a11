#include "pre_processor/tokenizer/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pre_processor/common/logging.h"
#include "log_capture.h"
#include "tokenizer_fixtures.h"

namespace pre_processor::tokenizer {
namespace {

using testing::CapturedRecord;
using testing::EncodingCase;
using testing::LogCapture;

std::string printable(std::string_view text) { return log::debug_form(text.substr(0, 80)); }

std::vector<std::string_view> views_of(const std::vector<EncodingCase>& cases) {
  std::vector<std::string_view> views;
  for (const auto& c : cases) views.push_back(c.text);
  return views;
}

TEST(Encode, MatchesTiktokenOnTrickyTexts) {
  for (const EncodingCase& c : testing::tricky_cases()) {
    SCOPED_TRACE(printable(c.text));
    EXPECT_EQ(encode(c.text), c.ids);
  }
}

TEST(Encode, MatchesTiktokenOnCorpusSample) {
  const auto cases = testing::corpus_sample_cases();
  ASSERT_EQ(cases.size(), 2000u);
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (encode(cases[i].text) == cases[i].ids) continue;
    if (++mismatches <= 5) ADD_FAILURE() << "corpus line " << i + 1 << ": " << printable(cases[i].text);
  }
  EXPECT_EQ(mismatches, 0u);
}

TEST(Encode, SpecialTokenSpellingsAreOrdinaryText) {
  for (std::string_view text : {"<|endoftext|>", "a<|endofprompt|>b"}) {
    for (const TokenId id : encode(text)) EXPECT_LT(id, 199998u) << text;
  }
}

TEST(Decode, GivesBackEveryEncodedText) {
  auto cases = testing::tricky_cases();
  const auto corpus = testing::corpus_sample_cases();
  cases.insert(cases.end(), corpus.begin(), corpus.end());
  for (const EncodingCase& c : cases) {
    const TokenSequence ids = encode(c.text);
    EXPECT_EQ(decode_token_ids(ids), to_string(c.text)) << printable(c.text);
  }
}

TEST(Decode, MarksBytesThatAreNotUtf8AndIdsWithoutToken) {
  struct Case {
    std::vector<TokenId> ids;
    std::string_view expected;
  };
  const Case cases[] = {
      {{}, ""},
      {{24912, 2375}, "hello world"},
      {{43120, 242, 246}, "\xF0\x9D\x94\x98"},  // U+1D518 spread over three tokens
      {{43120, 242}, "[DECODE_ERROR: [43120, 242]]"},  // ends inside that character
      {{242, 246}, "[DECODE_ERROR: [242, 246]]"},      // starts inside it
      {{24912, 199998}, "[DECODE_ERROR: [24912, 199998]]"},  // past the last token
      {{199999}, "[DECODE_ERROR: [199999]]"},                // <|endoftext|>
      {{200018}, "[DECODE_ERROR: [200018]]"},                // <|endofprompt|>
      {{4294967295u, 0}, "[DECODE_ERROR: [4294967295, 0]]"},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_token_ids(c.ids), to_string(c.expected));
}

TEST(Decode, LogsOneWarningPerMarkerText) {
  LogCapture& capture = LogCapture::instance();
  if (!capture.captured()) GTEST_SKIP() << "another log sink is installed";
  capture.take(kLogTarget);
  const std::vector<TokenId> split_character = {43120, 242};
  decode_token_ids(split_character);
  const std::vector<TokenId> valid = {24912, 2375};
  decode_token_ids(valid);
  const auto records = capture.take(kLogTarget);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, log::Level::Warn);
  EXPECT_EQ(records[0].kind, log::RecordKind::Event);
  EXPECT_EQ(records[0].text, "Failed to decode token IDs, using replacement character");
  EXPECT_EQ(records[0].field("tokens"), "[43120, 242]");
}

TEST(BatchPath, ChoiceAndChunksFollowBatchSize) {
  struct Case {
    std::size_t texts;
    std::size_t total_bytes;
    bool parallel;
    std::size_t chunk_size;  // when parallel
    std::size_t chunks;
  };
  const Case cases[] = {
      {0, 0, false, 0, 0},
      {7, 50'000'000, false, 0, 0},
      {8, 1'000'000, true, 1000, 1},
      {8, 999'999, false, 0, 0},
      {999, 999'999, false, 0, 0},
      {999, 1'000'000, true, 1000, 1},
      {1000, 0, true, 1000, 1},
      {1500, 10, true, 1000, 2},
      {100'099, 0, true, 1000, 101},
      {100'100, 0, true, 1001, 100},
      {1'000'000, 0, true, 10'000, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.texts) + " texts, " + std::to_string(c.total_bytes) + " bytes");
    EXPECT_EQ(choose_parallel(c.texts, c.total_bytes), c.parallel);
    if (!c.parallel) continue;
    const std::size_t size = parallel_chunk_size(c.texts);
    EXPECT_EQ(size, c.chunk_size);
    EXPECT_EQ((c.texts + size - 1) / size, c.chunks);
  }
  // The byte sum is read only between the two count thresholds.
  EXPECT_TRUE(path_settled_by_count(7));
  EXPECT_FALSE(path_settled_by_count(8));
  EXPECT_FALSE(path_settled_by_count(999));
  EXPECT_TRUE(path_settled_by_count(1000));
}

TEST(Tokenize, BothPathsGiveTheSameSequencesInInputOrder) {
  const auto cases = testing::corpus_sample_cases();
  std::vector<std::string_view> texts = views_of(cases);
  // Empty texts keep their positions.
  texts.insert(texts.begin() + 3, "");
  texts.push_back("");
  const auto sequential = tokenize_texts(texts);
  const auto parallel = tokenize_texts_par(texts);
  const auto chosen = tokenize(texts);  // 2002 texts: the parallel path
  ASSERT_EQ(sequential.size(), texts.size());
  EXPECT_TRUE(sequential == parallel);
  EXPECT_TRUE(sequential == chosen);
  EXPECT_TRUE(sequential[3].empty());
  EXPECT_TRUE(sequential.back().empty());
  EXPECT_EQ(sequential[0], cases[0].ids);
  EXPECT_EQ(sequential[4], cases[3].ids);
}

TEST(Tokenize, OwnedStringsGiveTheSameAsViews) {
  const auto cases = testing::tricky_cases();
  Vec<String> owned;
  for (const auto& c : cases) owned.push_back(to_string(c.text));
  const auto from_owned = tokenize(std::span<const String>(owned));
  ASSERT_EQ(from_owned.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(from_owned[i], cases[i].ids);
  EXPECT_TRUE(tokenize(std::span<const String>()).empty());
  EXPECT_TRUE(tokenize_texts_par({}).empty());
}

std::vector<CapturedRecord> tokenize_and_capture(const std::vector<std::string>& texts) {
  std::vector<std::string_view> views(texts.begin(), texts.end());
  const auto result = tokenize(views);
  EXPECT_EQ(result.size(), texts.size());
  return LogCapture::instance().take(kLogTarget);
}

TEST(Tokenize, LogsItsSpansAndPathEvents) {
  LogCapture& capture = LogCapture::instance();
  if (!capture.captured()) GTEST_SKIP() << "another log sink is installed";
  capture.take(kLogTarget);

  struct Expected {
    log::RecordKind kind;
    std::string text;
    std::string num_texts;
    std::string use_parallel;  // for the tokenize span
  };
  const auto check = [](const std::vector<CapturedRecord>& records, const std::vector<Expected>& expected) {
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(records[i].level, log::Level::Debug);
      EXPECT_EQ(records[i].kind, expected[i].kind);
      EXPECT_EQ(records[i].text, expected[i].text);
      EXPECT_EQ(records[i].field("num_texts"), expected[i].num_texts);
      if (!expected[i].use_parallel.empty())
        EXPECT_EQ(records[i].field("use_parallel"), expected[i].use_parallel);
    }
  };
  using log::RecordKind;
  check(tokenize_and_capture({}), {{RecordKind::Span, "tokenize", "0", "false"},
                                   {RecordKind::Span, "tokenize_texts", "0", ""},
                                   {RecordKind::Event, "Using sequential tokenization", "0", ""}});
  // Eight texts of 62,500 two-byte characters: 1,000,000 bytes, half as many characters.
  const std::string two_byte_text = [] {
    std::string text;
    for (int i = 0; i < 62'500; ++i) text += "\xC3\xA9";
    return text;
  }();
  check(tokenize_and_capture(std::vector<std::string>(8, two_byte_text)),
        {{RecordKind::Span, "tokenize", "8", "true"},
         {RecordKind::Span, "tokenize_texts_par", "8", ""},
         {RecordKind::Event, "Using parallel tokenization", "8", ""}});
  std::vector<std::string> one_byte_short(8, two_byte_text);
  one_byte_short[5] = two_byte_text.substr(2) + "e";
  check(tokenize_and_capture(one_byte_short),
        {{RecordKind::Span, "tokenize", "8", "false"},
         {RecordKind::Span, "tokenize_texts", "8", ""},
         {RecordKind::Event, "Using sequential tokenization", "8", ""}});
}

}  // namespace
}  // namespace pre_processor::tokenizer
