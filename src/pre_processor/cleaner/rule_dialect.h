// The pattern dialect of the cleaning rules and its translation into RE2 syntax.
//
// Rules are written in a Perl-like dialect whose classes are Unicode-aware:
//   \d        any Unicode decimal digit (general category Nd);
//   \s        any White_Space character, line breaks included;
//   \b        a Unicode word boundary; word characters are Alphabetic, marks, Nd,
//             Pc and Join_Control;
//   \u{HHHH}  the code point with that hexadecimal number.
// Bracket ranges such as [A-Z] are plain code point ranges, matching is
// case-sensitive, ^ matches only at the start of the whole text, alternation is
// leftmost-first and quantifiers are greedy.
//
// RE2 knows only the ASCII meanings of \d, \s and \b, so the translation spells
// the classes out as code point ranges. RE2 has no Unicode word boundary at all;
// the dialect allows \b only at the very start of a pattern whose matches begin
// with an ASCII capital. There the boundary means "the code point before the
// match is not a word character, or there is none", which the translation
// expresses as a one-code-point context in front of the body (see
// TranslatedPattern).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "pre_processor/cleaner/unicode_classes.h"
#include "pre_processor/common/error.h"

namespace pre_processor::cleaner {

struct TranslatedPattern {
  // The pattern in RE2 syntax, context included.
  std::string pattern;
  // The pattern in RE2 syntax without the word-boundary context.
  std::string body;
  // True when the source began with \b. Then `pattern` is
  // (?:^|[^word characters])(?:body): every match of it starts with the code
  // point before the real match, or with nothing at the start of the text.
  bool starts_at_word_boundary = false;
};

// Translates a pattern of the dialect. Refuses escapes the dialect does not
// have (\w, \D, \S, \B, ...), a \b anywhere but at the start, a malformed
// \u{...} and groups other than (...) and (?:...), such as flags.
Result<TranslatedPattern> translate_pattern(std::string_view source);

// The inside of an RE2 bracket expression that holds exactly `ranges`.
std::string re2_class_items(std::span<const CodePointRange> ranges);

}  // namespace pre_processor::cleaner
