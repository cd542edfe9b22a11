#include "pre_processor/cleaner/text_cleaner.h"

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace pre_processor::cleaner {
namespace {

struct CleaningCase {
  std::string input;
  std::string training;   // expected in the Training mode
  std::string inference;  // expected in the Inference mode
};

// Inputs that the rules leave alone come back as they are.
CleaningCase unchanged(std::string text) { return {text, text, text}; }

const std::vector<CleaningCase>& cleaning_cases() {
  static const std::vector<CleaningCase> cases = {
      // Entities decode in table order; numeric references are deleted.
      {"&amp;lt;", "<", "<"},
      {"a&amp;#39;b", "ab", "ab"},
      {"a&#8212;b", "ab", "ab"},
      {"room #39 now", "room ' now", "room ' now"},
      {"it&quot;s quot;x &amp;nbsp;y &quotz", "it\"s \"x y &quotz", "it\"s \"x y &quotz"},
      // Tags: lower-case names without attributes only.
      {"<div class=x>hi</div>", "<div class=x>hi", "<div class=x>hi"},
      unchanged("<P>hi</P>"),
      {"a<br>b<br/>c<br  />d", "a b c d", "a b c d"},
      // Blank runs and line breaks; three line feeds are folded before the
      // blanks around line feeds go.
      {"a\n \n \n\nb", "a\n\n\n\nb", "a\n\n\n\nb"},
      {"a  \n\n\n\n  b", "a\n\nb", "a\n\nb"},
      // Mis-decoded typographic quotes; correctly decoded ones stay.
      unchanged("it\u2019s"),
      {"it\u00E2\u20AC\u2122s \u00E2\u20AC\u0153q\u00E2\u20AC\u009D \u00E2\u20AC\"",
       "it's \"q\" \u2014", "it's \"q\" \u2014"},
      {"a\u00A0b\u200Bc\uFEFF", "a bc", "a bc"},
      // Citations, credits, datelines, labels, time stamps, numbering.
      {"Results [1], [2] and [3].", "Results , and .", "Results [1], [2] and [3]."},
      {"See 12] and more", "See and more", "See 12] and more"},
      {"WASHINGTON (AP) \u2014 The president", "The president",
       "WASHINGTON (AP) \u2014 The president"},
      {"COVID-19 cases", "19 cases", "COVID-19 cases"},
      {"He arrived at 10:30 AM EST, then left.", "He arrived then left.",
       "He arrived at 10:30 AM EST, then left."},
      {"The meeting is at 5 PM EST. ok", "The meeting is at 5 PM. ok",
       "The meeting is at 5 PM EST. ok"},
      {"1. First\n2. Second", "First\nSecond", "1. First\n2. Second"},
      {"BACKGROUND: We study. METHODS: We did.", "We study. We did.",
       "BACKGROUND: We study. METHODS: We did."},
      // Word boundaries before capitals (the training rules that begin with \b).
      unchanged("xAP - y"),
      unchanged("\u00E9AP - y"),
      unchanged("\u00C9ABC-"),
      unchanged("_AP-"),
      unchanged("1AP - y"),
      unchanged("\u0663AP - y"),
      {"\u00B2AP - y", "\u00B2y", "\u00B2AP - y"},
      {"x AP - y", "x y", "x AP - y"},
      {"\u00A0AP - y", "y", "AP - y"},
      // The joiner keeps the boundary away in the training table; the basic
      // table removes it afterwards.
      {"\u200DAP - y", "AP - y", "AP - y"},
      {"xAB-CD-y", "xAB-y", "xAB-CD-y"},
      {"RESULTSRESULTS", "RESULTS", "RESULTSRESULTS"},
      // Trimming: White_Space first, then quotes; no second white-space trim.
      {"", "", ""},
      {"   ", "", ""},
      {" \t\r\n\u000B\u000C\u0085\u1680\u2000\u200A\u2028\u2029\u202F\u205F\u3000", "", ""},
      {"\u3000hi\u3000", "hi", "hi"},
      {"\"hi\"", "hi", "hi"},
      {"\"\"'\"'", "", ""},
      {"He said \"hi\"", "He said \"hi", "He said \"hi"},
      {"\" \"", " ", " "},
      {"\"  hello  \"", " hello ", " hello "},
      {"  'x'  ", "x", "x"},
      unchanged("a \"b\" c"),
      unchanged("\u201Chi\u201D"),
      unchanged("\u200Ehi\u200E"),
  };
  return cases;
}

TEST(TextCleaner, CleansEveryCaseInBothModes) {
  const TextCleaner training(CleaningMode::Training);
  const TextCleaner inference(CleaningMode::Inference);
  for (const CleaningCase& c : cleaning_cases()) {
    EXPECT_EQ(std::string_view(training.clean(c.input)), c.training) << "Training: " << c.input;
    EXPECT_EQ(std::string_view(inference.clean(c.input)), c.inference) << "Inference: " << c.input;
  }
}

TEST(TextCleaner, ModesAndSharedTables) {
  const TextCleaner training(CleaningMode::Training);
  const TextCleaner inference(CleaningMode::Inference);
  EXPECT_TRUE(training.is_training_mode());
  EXPECT_FALSE(inference.is_training_mode());
  EXPECT_EQ(static_cast<int>(CleaningMode::Training), 0);
  EXPECT_EQ(static_cast<int>(CleaningMode::Inference), 1);

  EXPECT_EQ(inference.training_rules(), nullptr);
  EXPECT_EQ(training.training_rules().get(), training_table().get());
  EXPECT_EQ(training.basic_rules().get(), basic_table().get());
  EXPECT_EQ(inference.basic_rules().get(), basic_table().get());

  std::vector<const RuleTable*> basic_seen(6);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < basic_seen.size(); ++t) {
    threads.emplace_back([&basic_seen, t] {
      const TextCleaner cleaner(t % 2 ? CleaningMode::Training : CleaningMode::Inference);
      basic_seen[t] = cleaner.basic_rules().get();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const RuleTable* seen : basic_seen) EXPECT_EQ(seen, basic_table().get());
}

TEST(TextCleaner, BatchMatchesSingleCleaningInInputOrder) {
  const TextCleaner cleaner(CleaningMode::Training);
  EXPECT_TRUE(cleaner.clean_batch({}).empty());

  // Long enough that the pool splits it; neighbours differ so that a result
  // stored at the wrong position shows.
  Vec<String> texts;
  const auto& cases = cleaning_cases();
  for (std::size_t i = 0; i < 5000; ++i) {
    texts.push_back(to_string(cases[(i * 7) % cases.size()].input + " #" + std::to_string(i)));
  }
  const Vec<String> cleaned = cleaner.clean_batch(texts);
  ASSERT_EQ(cleaned.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    ASSERT_EQ(cleaned[i], cleaner.clean(texts[i])) << i;
  }
  const Vec<String> one = cleaner.clean_batch(std::span(texts.data(), 1));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], cleaner.clean(texts[0]));
}

// Bytes that are not UTF-8 cannot come from Python, but must not derail the
// cleaner: they stay where they are, are not trimmed, and the rules still work
// around them.
TEST(TextCleaner, InvalidUtf8PassesThrough) {
  const TextCleaner cleaner(CleaningMode::Training);
  EXPECT_EQ(cleaner.clean("\xFF AP - x"), "\xFF x");
  EXPECT_EQ(cleaner.clean("\x80 hi \xC3"), "\x80 hi \xC3");
  EXPECT_EQ(cleaner.clean(" \xE2\x80 "), "\xE2\x80");
  EXPECT_EQ(cleaner.clean("\xE2\x80 AB-x&amp;\xF0\x9F"), "\xE2\x80 x&\xF0\x9F");
}

std::string repeat(std::string_view piece, std::size_t count) {
  std::string text;
  text.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

std::string without_last(std::string text) {
  text.pop_back();
  return text;
}

// Texts built to make a backtracking engine, or a scan restarted at every
// position, take quadratic time. They must finish as quickly as ordinary text.
TEST(TextCleaner, HostileInputsOfOneMegabyte) {
  constexpr std::size_t kSize = 1 << 20;
  const TextCleaner training(CleaningMode::Training);
  const TextCleaner inference(CleaningMode::Inference);
  const std::string all_white_space =
      " \t\n\u000B\u000C\r\u0085\u00A0\u1680\u2000\u2005\u200A\u2028\u2029\u202F\u205F\u3000";
  const std::string credits = repeat("AP \u2014 ", kSize / 6);
  const std::string broken_citation = repeat(" 1", kSize / 2) + "]";
  const std::vector<CleaningCase> cases = {
      {repeat(all_white_space, kSize / all_white_space.size()), "", ""},
      {repeat("  \n", kSize / 3), "", ""},
      unchanged(repeat("A", kSize)),
      unchanged("x" + repeat("A", kSize) + "-"),
      unchanged(repeat("A ", kSize / 2) + "A"),
      unchanged(repeat("1234567890", kSize / 10)),
      unchanged(repeat("\u0663", kSize / 2)),
      {repeat("[1", kSize / 2), "", repeat("[1", kSize / 2)},
      {repeat("AB-", kSize / 3), "", repeat("AB-", kSize / 3)},
      {credits, "", without_last(credits)},
      // Only the last blank and number carry the bracket.
      {broken_citation, without_last(repeat("1 ", kSize / 2 - 1)), broken_citation.substr(1)},
      {repeat("\nAB ", kSize / 4), without_last(repeat("AB\n", kSize / 4)),
       without_last(repeat("AB\n", kSize / 4))},
      {repeat("&amp;", kSize / 5), repeat("&", kSize / 5), repeat("&", kSize / 5)},
  };
  for (const CleaningCase& c : cases) {
    EXPECT_TRUE(std::string_view(training.clean(c.input)) == c.training) << c.input.substr(0, 12);
    EXPECT_TRUE(std::string_view(inference.clean(c.input)) == c.inference) << c.input.substr(0, 12);
  }
}

}  // namespace
}  // namespace pre_processor::cleaner
