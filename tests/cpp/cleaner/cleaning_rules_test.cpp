#include "pre_processor/cleaner/cleaning_rules.h"

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "pre_processor/cleaner/rule_dialect.h"

namespace pre_processor::cleaner {
namespace {

TEST(CleaningRules, TablesCompileInOrderAndAreSharedByEveryCaller) {
  const auto training = training_table();
  const auto basic = basic_table();
  ASSERT_EQ(training->size(), kTrainingRuleCount);
  ASSERT_EQ(basic->size(), kBasicRuleCount);
  for (std::size_t i = 0; i < kTrainingRuleCount; ++i) {
    EXPECT_EQ((*training)[i].source().pattern, kTrainingRules[i].pattern) << i;
  }
  for (std::size_t i = 0; i < kBasicRuleCount; ++i) {
    EXPECT_EQ((*basic)[i].source().pattern, kBasicRules[i].pattern) << i;
  }

  std::vector<const RuleTable*> seen(8);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&seen, t] { seen[t] = (t % 2 ? training_table() : basic_table()).get(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < seen.size(); ++t) {
    EXPECT_EQ(seen[t], t % 2 ? training.get() : basic.get());
  }
}

TEST(CleaningRules, DialectRefusesWhatItCannotExpress) {
  for (std::string_view pattern :
       {R"(\w+)", R"(a\b)", R"(\B[A-Z])", R"(\D)", R"(\S)", R"(\u{zz})", R"(\u200B)", R"(\u{})",
        R"((?i)abc)", R"((?m)^a)", R"([abc)", "abc\\"}) {
    EXPECT_FALSE(translate_pattern(pattern).ok()) << pattern;
  }
  const Result<TranslatedPattern> boundary = translate_pattern(R"(\b[A-Z]{2,})");
  ASSERT_TRUE(boundary.ok());
  EXPECT_TRUE(boundary->starts_at_word_boundary);
  EXPECT_EQ(boundary->body, "[A-Z]{2,}");
}

struct RuleCase {
  const char* name;
  const RuleSource* rule;
  std::string input;
  std::string expected;  // equal to input: the rule must not match
};

// 0-based positions in the tables.
const RuleSource& training(std::size_t i) { return kTrainingRules[i]; }
const RuleSource& basic(std::size_t i) { return kBasicRules[i]; }

TEST(CleaningRules, ApplyReplacesAllMatchesInOnePass) {
  const std::vector<RuleCase> cases = {
      {"group 1 kept", &training(0), "a[12].b", "a.b"},
      {"group 1 absent gives nothing", &training(0), "a[12] b", "a b"},
      {"adjacent matches", &training(0), "[1][2],[3]", ","},
      {"optional group that matched empty", &training(23), "at 5 PM EST ok", "at 5 PM ok"},
      {"group between literals", &training(13), "x\u2014  A  y", "x A y"},
      {"output is not scanned again", &basic(8), "&amp;amp;", "&amp;"},
      {"greedy run", &basic(17), "a    b  c d", "a b c d"},
      {"greedy line feeds", &basic(18), "a\n\n\n\n\nb\n\nc", "a\n\nb\n\nc"},
      {"^ only at the start of the text", &training(27), "1. a\n2. b 3. c", "a\n2. b 3. c"},
      {"^ not after a line feed", &training(27), "x\n1. a", "x\n1. a"},
      {"line-feed twin", &training(28), "1. a\n2. b\n33. c", "1. a\nb\nc"},
      {"Unicode decimal digits", &training(4), "x\u0663\u0664] y \uFF11\uFF12]z", "x y z"},
      {"other numerics are not digits", &training(4), "x\u00B2] \u216B] \u2460]", "x\u00B2] \u216B] \u2460]"},
      {"Unicode white space", &training(1), "a\u2028\u00A0\u300012]; b", "a; b"},
      {"format characters are not white space", &training(1), "a\u200B12]", "a\u200B12]"},
      {"white space inside a class", &training(17), "RESULTS:\u2003\u0085:x", "x"},
      {"code point escape", &basic(0), "a\u200Bb\uFEFFc\u200Dd\u200Ee", "abcd\u200Ee"},
      {"mis-decoded right double quote", &basic(4), "\u00E2\u20AC\u009Dx\u00E2\u20AC\u009D", "\"x\""},
      {"tag names only in lower case", &basic(16), "<p>a</P><h7><h6>b</li>", "a</P><h7>b"},
  };
  for (const RuleCase& c : cases) {
    const CompiledRule rule(*c.rule);
    String out = to_string("untouched");
    const bool matched = rule.apply(c.input, out);
    if (c.expected == c.input) {
      EXPECT_FALSE(matched) << c.name;
      EXPECT_EQ(out, "untouched") << c.name;
    } else {
      EXPECT_TRUE(matched) << c.name;
      EXPECT_EQ(std::string_view(out), c.expected) << c.name;
    }
  }
}

// \b before an ASCII capital: the code point before the match must not be a
// word character (Alphabetic, mark, Nd, Pc, Join_Control), and is looked up in
// the text the rule scans, even when it belongs to the previous match.
TEST(CleaningRules, WordBoundaryLooksAtTheCodePointBefore) {
  const CompiledRule wire_credit(training(8));    // \b(?:AP|...)\s*[-—]\s*
  const CompiledRule capital_run(training(10));   // \b[A-Z]{2,}\s*[-—]\s*
  const CompiledRule section_label(training(17)); // \b(?:...|RESULTS?|...)[\s:]*
  struct Case {
    const CompiledRule* rule;
    std::string input;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {&wire_credit, "AP - y", "y"},
      {&wire_credit, "x AP - y", "x y"},
      {&wire_credit, "xAP - y", "xAP - y"},
      {&wire_credit, "\u00E9AP - y", "\u00E9AP - y"},     // é, a letter
      {&wire_credit, "_AP-y", "_AP-y"},                   // Pc
      {&wire_credit, "1AP - y", "1AP - y"},
      {&wire_credit, "\u0663AP - y", "\u0663AP - y"},     // Arabic-Indic three, Nd
      {&wire_credit, "\u00B2AP - y", "\u00B2y"},          // superscript two, No
      {&wire_credit, "\u2460AP - y", "\u2460y"},          // circled one, No
      {&wire_credit, "\u24B6AP - y", "\u24B6AP - y"},     // circled A, So but Alphabetic
      {&wire_credit, "\u0301AP - y", "\u0301AP - y"},     // combining acute, Mn
      {&wire_credit, "\u200DAP - y", "\u200DAP - y"},     // zero-width joiner, Join_Control
      {&wire_credit, "\u200BAP - y", "\u200By"},          // zero-width space, Cf
      {&wire_credit, "\U0001D7D8AP-y", "\U0001D7D8AP-y"}, // double-struck zero, Nd, 4 bytes
      {&wire_credit, "\U0001F600AP-y", "\U0001F600y"},    // emoji, 4 bytes
      {&wire_credit, "AP-AP-AP\u2014x", "x"},
      {&wire_credit, "AP\u2014AP\u2014x", "x"},           // context inside the previous match
      {&capital_run, "\u00C9ABC-", "\u00C9ABC-"},
      {&capital_run, "xAB-CD-y", "xAB-y"},
      {&capital_run, "AB-CD-EF-", ""},
      {&capital_run, "(AB) - CD - y", "(AB) - y"},
      {&section_label, "RESULTSRESULTS", "RESULTS"},
      {&section_label, "METHODRESULTS", "RESULTS"},
      {&section_label, "METHODS:RESULTS: x", "x"},
      {&section_label, "xRESULTS: y", "xRESULTS: y"},
  };
  for (const Case& c : cases) {
    String out;
    const bool matched = c.rule->apply(c.input, out);
    EXPECT_EQ(matched ? std::string_view(out) : std::string_view(c.input), c.expected)
        << c.rule->source().pattern << " on " << c.input;
  }
}

TEST(CleaningRules, NoRuleMatchesTheEmptyText) {
  for (const auto* table : {training_table().get(), basic_table().get()}) {
    for (const CompiledRule& rule : *table) {
      String out;
      EXPECT_FALSE(rule.apply("", out)) << rule.source().pattern;
    }
  }
}

}  // namespace
}  // namespace pre_processor::cleaner
