// The cleaner's rewrite rules: two ordered tables and the application of one rule.
//
// The training table strips artefacts that collected corpora carry (citation
// markers, wire-service credits and datelines, state abbreviations, section
// labels, time stamps, stock abstract openings, list numbering). The basic table
// repairs character-level damage (zero-width characters, no-break spaces,
// mis-decoded quotes, HTML entities and tags) and tidies blanks and line breaks.
// Patterns are written in the dialect of rule_dialect.h.
//
// Each table is compiled once per process, on first use, and then shared
// read-only by every cleaner and every thread.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "pre_processor/common/memory.h"

namespace re2 {
class RE2;
}

namespace pre_processor::cleaner {

// A rule as written: a pattern and its replacement, a literal text in which $1
// stands for the text of capture group 1 (nothing when the group took no part).
struct RuleSource {
  std::string_view pattern;
  std::string_view replacement;
};

inline constexpr std::size_t kTrainingRuleCount = 29;
inline constexpr std::size_t kBasicRuleCount = 21;

// In order of application: every rule sees the output of the one before.
extern const std::array<RuleSource, kTrainingRuleCount> kTrainingRules;
extern const std::array<RuleSource, kBasicRuleCount> kBasicRules;

// A rule ready to apply. Immutable; safe to use from many threads at once.
class CompiledRule {
 public:
  // A rule that does not compile is a programming fault: the process stops with
  // a message naming the pattern.
  explicit CompiledRule(const RuleSource& source);
  CompiledRule(CompiledRule&&) noexcept;
  CompiledRule& operator=(CompiledRule&&) noexcept;
  ~CompiledRule();

  // Replaces every match in one left-to-right pass: at the leftmost position
  // where the pattern matches, the leftmost-first match is replaced, and the
  // scan goes on right after it. Replacements are never scanned again.
  // When the rule matches, `out` receives the rewritten text and the result is
  // true; otherwise the result is false and `out` is left alone, so a text the
  // rule does not touch is never copied. `text` must not view `out`.
  bool apply(std::string_view text, String& out) const;

  const RuleSource& source() const { return source_; }

 private:
  static constexpr int kNoGroup = -1;
  struct ReplacementPiece {
    std::string_view literal;
    int group;  // the capture group to insert after `literal`, or kNoGroup
  };

  std::size_t start_of_search(std::string_view text, std::size_t resume) const;
  std::size_t match_start(std::string_view text, std::size_t found_at, std::size_t resume) const;

  RuleSource source_;
  std::unique_ptr<re2::RE2> regex_;
  std::vector<ReplacementPiece> replacement_;
  int submatch_count_ = 1;  // group 0 plus the groups the replacement needs
  bool starts_at_word_boundary_ = false;
};

using RuleTable = std::vector<CompiledRule>;

// The compiled tables, built on first use under a one-time initialisation that
// is safe for concurrent callers; every call returns the same table.
// A new compilation of a table. The process-wide tables below are the ones
// cleaners share; a private compilation serves a thread that must not contend
// with others on the engine's internal lock (see TextCleaner::clean_batch).
std::shared_ptr<const RuleTable> compile_table(std::span<const RuleSource> sources);

std::shared_ptr<const RuleTable> training_table();
std::shared_ptr<const RuleTable> basic_table();

}  // namespace pre_processor::cleaner
