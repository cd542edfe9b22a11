#include "pre_processor/ngrams/ngram_extraction.h"

#include <algorithm>
#include <map>
#include <random>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "../support/log_capture.h"

namespace pre_processor {
namespace {

using Counts = std::map<NgramKey, std::uint64_t>;

NgramKey key_of(std::vector<TokenId> tokens) { return NgramKey::from_window(tokens); }

Counts ordered(const NgramCounts& counts) { return Counts(counts.begin(), counts.end()); }

struct ExtractionCase {
  const char* name;
  std::vector<TokenId> tokens;
  std::vector<std::uint64_t> sizes;
  Counts expected;
};

std::vector<ExtractionCase> extraction_cases() {
  return {
      {"empty sequence", {}, {2, 3, 4}, {}},
      {"no sizes", {1, 2, 3}, {}, {}},
      {"shorter than the smallest size", {1}, {2, 3, 4}, {}},
      {"size 0 only", {1, 2}, {0}, {}},
      {"5 7 9", {5, 7, 9}, {2, 3, 4}, {{key_of({5, 7}), 1}, {key_of({7, 9}), 1}, {key_of({5, 7, 9}), 1}}},
      {"5 7 5 7", {5, 7, 5, 7}, {2}, {{key_of({5, 7}), 2}, {key_of({7, 5}), 1}}},
      {"trigram sharing a bigram's key", {5, 7, 0}, {2, 3}, {{key_of({5, 7}), 2}, {key_of({7, 0}), 1}}},
      {"size 5 keyed by four tokens",
       {10, 11, 12, 13, 14, 15},
       {5},
       {{key_of({10, 11, 12, 13}), 1}, {key_of({11, 12, 13, 14}), 1}}},
      {"unigrams", {3, 3, 4}, {1}, {{key_of({3}), 2}, {key_of({4}), 1}}},
  };
}

TEST(NgramExtractionTest, CountNgramsCountsEveryWindow) {
  for (const ExtractionCase& c : extraction_cases()) {
    EXPECT_EQ(ordered(ngrams::count_ngrams(c.tokens, c.sizes)), c.expected) << c.name;
  }
}

TEST(NgramExtractionTest, UniqueNgramsHoldsTheDistinctKeys) {
  for (const ExtractionCase& c : extraction_cases()) {
    const NgramSet keys = ngrams::unique_ngrams(c.tokens, c.sizes);
    std::vector<NgramKey> expected;
    for (const auto& entry : c.expected) expected.push_back(entry.first);
    std::vector<NgramKey> actual(keys.begin(), keys.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, expected) << c.name;
  }
}

// Counts every window the slow way, for comparison.
Counts reference_counts(const std::vector<TokenId>& tokens, const std::vector<std::uint64_t>& sizes) {
  Counts counts;
  for (std::uint64_t size : sizes) {
    for (std::size_t start = 0; size >= 1 && start + size <= tokens.size(); ++start) {
      ++counts[NgramKey::from_window(std::span(tokens).subspan(start, size))];
    }
  }
  return counts;
}

TEST(NgramExtractionTest, ReusedCounterMatchesTheReferenceDocumentAfterDocument) {
  // One counter over documents of very different lengths: short ones after a
  // long one must not see its keys, and the long one (more windows than the
  // table is first sized for) makes the table grow while counting. A small id
  // range makes keys repeat, including the all-zero key of (0, 0).
  std::mt19937 random(7);
  std::vector<std::vector<TokenId>> documents;
  for (std::size_t length : {5u, 40000u, 3u, 0u, 200u, 1u, 70u}) {
    std::uniform_int_distribution<TokenId> id(0, length > 1000 ? 60000 : 3);
    std::vector<TokenId> tokens(length);
    for (TokenId& token : tokens) token = id(random);
    documents.push_back(tokens);
  }
  documents.push_back({0, 0, 0, 0, 0});
  const std::vector<std::uint64_t> sizes = {2, 3, 4};

  ngrams::NgramCounter counter;
  for (const auto& tokens : documents) {
    const Counts expected = reference_counts(tokens, sizes);
    const NgramCounts counts = counter.count(tokens, sizes);
    EXPECT_EQ(counts.size(), expected.size()) << tokens.size() << " tokens: a key listed twice";
    EXPECT_EQ(ordered(counts), expected) << tokens.size() << " tokens";

    const NgramSet keys = counter.unique(tokens, sizes);
    std::vector<NgramKey> sorted(keys.begin(), keys.end());
    std::sort(sorted.begin(), sorted.end());
    std::vector<NgramKey> expected_keys;
    for (const auto& entry : expected) expected_keys.push_back(entry.first);
    EXPECT_EQ(sorted, expected_keys) << tokens.size() << " tokens";
  }
}

TEST(NgramExtractionTest, CountsListKeysInOrderOfFirstOccurrence) {
  // Sizes in list order, starts ascending: (5, 7), (7, 5), then (5, 7, 5), (7, 5, 7).
  const std::vector<TokenId> tokens = {5, 7, 5, 7};
  const NgramCounts counts = ngrams::count_ngrams(tokens, std::vector<std::uint64_t>{2, 3});
  const NgramCounts expected = {
      {key_of({5, 7}), 2}, {key_of({7, 5}), 1}, {key_of({5, 7, 5}), 1}, {key_of({7, 5, 7}), 1}};
  EXPECT_EQ(counts, expected);
}

TEST(NgramExtractionTest, EmitsATraceSpanPerDocument) {
  testing::LogCapture capture;
  const std::vector<TokenId> tokens = {1, 2, 3};
  const std::vector<std::uint64_t> sizes = {2, 3, 4};
  (void)ngrams::count_ngrams(tokens, sizes);
  (void)ngrams::unique_ngrams(tokens, sizes);

  for (const char* name : {"count_ngrams", "unique_ngrams"}) {
    const auto spans = capture.named(name);
    ASSERT_EQ(spans.size(), 1u) << name;
    EXPECT_EQ(spans[0].kind, log::RecordKind::Span);
    EXPECT_EQ(spans[0].level, log::Level::Trace);
    EXPECT_EQ(spans[0].target, "ordwen_preprocessing::pre_processor::ngrams");
    EXPECT_EQ(spans[0].field("num_tokens"), "3");
    EXPECT_EQ(spans[0].field("ngram_sizes"), "[2, 3, 4]");
  }
  for (const auto& record : capture.records()) EXPECT_EQ(record.level, log::Level::Trace) << record.text;
}

}  // namespace
}  // namespace pre_processor
