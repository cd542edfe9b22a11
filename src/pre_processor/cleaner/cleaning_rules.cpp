#include "pre_processor/cleaner/cleaning_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include <re2/re2.h>

#include "pre_processor/cleaner/rule_dialect.h"

namespace pre_processor::cleaner {
namespace {

// Memory budget of one rule: its compiled programs and its lazily grown DFA
// cache. The largest rules (the word-boundary context spells out ~800 code
// point ranges) compile to about 1,500 instructions, which leaves nearly all of
// it to the DFA cache.
constexpr int64_t kRuleMaxMemory = int64_t{16} << 20;

// Capture groups a replacement may name: $0 to $9.
constexpr int kMaxSubmatches = 10;

}  // namespace

// Alternations shared by twin rules.
#define PP_DATELINE_CITIES                                                                  \
  "(?:WASHINGTON|NEW YORK|LONDON|PARIS|BEIJING|MOSCOW|TOKYO|BERLIN|BRUSSELS|GENEVA|ROME|" \
  "MADRID|SEOUL|SYDNEY|MEXICO CITY|LOS ANGELES|SAN\\s*FRANCISCO|CHICAGO|BOSTON|MIAMI|"     \
  "ATLANTA|HOUSTON|DALLAS|PHILADELPHIA|PHOENIX|SAN DIEGO|SEATTLE|DETROIT|DENVER)"
#define PP_STATE_ABBREVIATIONS                                                                 \
  "(?:Ala|Ariz|Ark|Calif|Colo|Conn|Del|Fla|Ga|Ill|Ind|Kan|Ky|La|Md|Mass|Mich|Minn|Miss|Mo|" \
  "Mont|Neb|Nev|N\\.Y|N\\.C|N\\.D|Ohio|Okla|Ore|Pa|R\\.I|S\\.C|S\\.D|Tenn|Tex|Vt|Va|Wash|"   \
  "W\\.Va|Wis|Wyo)"
#define PP_ENCYCLOPEDIA_SECTIONS                                                        \
  "(?:History|Biography|Early life|Background|Career|Personal life|Death|Legacy|"     \
  "Education|Awards|References|External links)"
#define PP_TIME_ZONES "(?:EST|EDT|CST|CDT|MST|MDT|PST|PDT|GMT|UTC)"
#define PP_ABSTRACT_OPENING                                                     \
  "This (?:paper|study|article|abstract|research|work)\\s+(?:presents|discusses|" \
  "examines|explores|investigates|demonstrates|shows|describes)\\s*"

const std::array<RuleSource, kTrainingRuleCount> kTrainingRules{{
    // Citation markers, whole or broken.
    {R"(\[\d+\]([\.,;:\)\]])?)", "$1"},
    {R"(\s+\d+\]([\.,;])?)", "$1"},
    {R"(\[\d+\]\s*\n)", "\n"},
    {R"(\[\d+)", ""},
    {R"(\d+\])", ""},
    {R"(\[\d+\])", ""},
    // Wire-service credits.
    {R"(\([A-Z]+\)\s*\u{2014}\s*)", "\u2014 "},
    {R"(\s*\((?:AP|AFP|Reuters|UPI|Bloomberg)\)\s*)", ""},
    {R"(\b(?:AP|AFP|Reuters|UPI|Bloomberg)\s*[-\u{2014}]\s*)", ""},
    {R"(\s*\([A-Z]{2,}\)\s*)", " "},
    {R"(\b[A-Z]{2,}\s*[-\u{2014}]\s*)", ""},
    // Datelines.
    {"^" PP_DATELINE_CITIES R"((?:,\s*[A-Z][A-Za-z.]*\s*)?[,\u{2014}]\s*)", ""},
    {"\\n" PP_DATELINE_CITIES R"((?:,\s*[A-Za-z.]+\s*)?[,\u{2014}]\s*)", "\n"},
    {R"(\u{2014}\s+(The|A)\s+)", " $1 "},
    {",\\s*" PP_STATE_ABBREVIATIONS "\\.\\s+", ", "},
    {"^[A-Z][A-Z\\s]+(?:,\\s*" PP_STATE_ABBREVIATIONS "\\.\\s*)?[,\\u{2014}]\\s*", ""},
    {"\\n[A-Z][A-Z\\s]+(?:,\\s*" PP_STATE_ABBREVIATIONS "\\.\\s*)?[,\\u{2014}]\\s*", "\n"},
    // Section labels of abstracts and encyclopedia articles.
    {R"(\b(?:ABSTRACT|BACKGROUND|OBJECTIVE|METHODS?|RESULTS?|CONCLUSIONS?|DISCUSSION|INTRODUCTION)[\s:]*)",
     ""},
    {R"((?:^|\n)\s*(?:BACKGROUND|OBJECTIVE|METHODS|RESULTS|CONCLUSION|CONCLUSIONS|INTRODUCTION|DISCUSSION|ABSTRACT|SUMMARY):\s*)",
     "\n"},
    {"\\.\\s*" PP_ENCYCLOPEDIA_SECTIONS "\\s*\\n", ".\n"},
    {"^\\s*" PP_ENCYCLOPEDIA_SECTIONS "\\s*\\n", ""},
    {R"(\.\s*Description\s*\n)", ".\n"},
    {R"(^\s*Description\s*\n)", ""},
    // Time stamps.
    {"\\s+" PP_TIME_ZONES "([,\\.]?)\\s+", "$1 "},
    {"\\s+at\\s+\\d{1,2}:\\d{2}\\s*(?:AM|PM|am|pm)?\\s*" PP_TIME_ZONES "?\\s*[,\\.]?", " "},
    // Stock abstract openings and list numbering.
    {"^" PP_ABSTRACT_OPENING, ""},
    {"\\n" PP_ABSTRACT_OPENING, "\n"},
    {R"(^\d+\.\s+)", ""},
    {R"(\n\d+\.\s+)", "\n"},
}};

const std::array<RuleSource, kBasicRuleCount> kBasicRules{{
    // Zero-width characters and the no-break space.
    {R"([\u{200B}-\u{200D}\u{FEFF}])", ""},
    {R"(\u{00A0})", " "},
    // Typographic quotes whose UTF-8 bytes were decoded as Windows-1252.
    {R"(\u{00E2}\u{20AC}\u{2122})", "'"},
    {R"(\u{00E2}\u{20AC}\u{0153})", "\""},
    {R"(\u{00E2}\u{20AC}\u{009D})", "\""},
    {R"(\u{00E2}\u{20AC}")", "\u2014"},
    // HTML entities, remnants of them, and a few tags.
    {R"(&#39;)", "'"},
    {R"(&quot;)", "\""},
    {R"(&amp;)", "&"},
    {R"(&lt;)", "<"},
    {R"(&gt;)", ">"},
    {R"(&nbsp;)", " "},
    {R"(&#(\d+);)", ""},
    {R"(&?#39;?)", "'"},
    {R"(&?quot;)", "\""},
    {R"(<br\s*/?>)", " "},
    {R"(</?(p|div|span|strong|em|b|i|ul|ol|li|h[1-6])>)", ""},
    // Blanks and line breaks.
    {R"(  +)", " "},
    {R"(\n\n\n+)", "\n\n"},
    {R"( \n)", "\n"},
    {R"(\n )", "\n"},
}};

#undef PP_DATELINE_CITIES
#undef PP_STATE_ABBREVIATIONS
#undef PP_ENCYCLOPEDIA_SECTIONS
#undef PP_TIME_ZONES
#undef PP_ABSTRACT_OPENING

namespace {

[[noreturn]] void fail_to_compile(const RuleSource& source, std::string_view reason) {
  std::fprintf(stderr, "fatal: cleaning rule /%.*s/ does not compile: %.*s\n",
               static_cast<int>(source.pattern.size()), source.pattern.data(),
               static_cast<int>(reason.size()), reason.data());
  std::abort();
}

RE2::Options rule_options() {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingUTF8);
  options.set_longest_match(false);
  options.set_log_errors(false);
  options.set_case_sensitive(true);
  options.set_max_mem(kRuleMaxMemory);
  return options;
}

// The word-boundary context (see TranslatedPattern) relies on every match of the
// body beginning with an ASCII capital, a word character the context never holds.
bool every_match_starts_with_ascii_capital(const std::string& body) {
  RE2 regex(body, rule_options());
  // Every match s satisfies min <= s <= max; with two bytes of each, max is
  // not rounded up past its first byte.
  std::string min, max;
  if (!regex.ok() || !regex.PossibleMatchRange(&min, &max, 2)) return false;
  return !min.empty() && !max.empty() && min.front() >= 'A' && max.front() <= 'Z';
}

bool is_ascii_capital(char c) { return c >= 'A' && c <= 'Z'; }
bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::shared_ptr<const RuleTable> compile_table(std::span<const RuleSource> sources) {
  auto table = std::make_shared<RuleTable>();
  table->reserve(sources.size());
  for (const RuleSource& source : sources) table->emplace_back(source);
  return table;
}

CompiledRule::CompiledRule(const RuleSource& source) : source_(source) {
  Result<TranslatedPattern> translated = translate_pattern(source.pattern);
  if (!translated) fail_to_compile(source, translated.error().message);
  starts_at_word_boundary_ = translated->starts_at_word_boundary;
  if (starts_at_word_boundary_ && !every_match_starts_with_ascii_capital(translated->body)) {
    fail_to_compile(source, "a \\b rule must match only texts that begin with A-Z");
  }
  regex_ = std::make_unique<RE2>(translated->pattern, rule_options());
  if (!regex_->ok()) fail_to_compile(source, regex_->error());

  std::string_view rest = source.replacement;
  while (!rest.empty()) {
    const std::size_t dollar = rest.find('$');
    if (dollar == std::string_view::npos || dollar + 1 == rest.size() ||
        rest[dollar + 1] < '0' || rest[dollar + 1] > '9') {
      replacement_.push_back({rest, kNoGroup});
      break;
    }
    const int group = rest[dollar + 1] - '0';
    if (group > regex_->NumberOfCapturingGroups()) {
      fail_to_compile(source, "the replacement names a group the pattern does not have");
    }
    replacement_.push_back({rest.substr(0, dollar), group});
    submatch_count_ = std::max(submatch_count_, group + 1);
    rest.remove_prefix(dollar + 2);
  }
  if (regex_->Match("", 0, 0, RE2::UNANCHORED, nullptr, 0)) {
    fail_to_compile(source, "the pattern matches the empty text");
  }
}

CompiledRule::CompiledRule(CompiledRule&&) noexcept = default;
CompiledRule& CompiledRule::operator=(CompiledRule&&) noexcept = default;
CompiledRule::~CompiledRule() = default;

std::size_t CompiledRule::start_of_search(std::string_view text, std::size_t resume) const {
  if (!starts_at_word_boundary_ || resume == 0) return resume;
  // Back to the start of the code point before `resume`, which the boundary
  // context must see. The whole text stays the context, so ^ still matches only
  // at its start.
  std::size_t start = resume - 1;
  while (start > 0 && resume - start < 4 && is_continuation_byte(text[start])) --start;
  return start;
}

std::size_t CompiledRule::match_start(std::string_view text, std::size_t found_at,
                                      std::size_t resume) const {
  if (!starts_at_word_boundary_) return found_at;
  // Skip the context: one code point, none of whose bytes is an ASCII capital,
  // or nothing at the start of the text. The body begins with a capital.
  std::size_t start = found_at;
  while (start < text.size() && !is_ascii_capital(text[start])) ++start;
  return std::max(start, resume);
}

bool CompiledRule::apply(std::string_view text, String& out) const {
  if (text.empty()) return false;  // no rule matches the empty text
  const re2::StringPiece whole(text.data(), text.size());
  re2::StringPiece groups[kMaxSubmatches];
  bool matched = false;
  std::size_t resume = 0;  // everything before it is already written to `out`
  while (resume < text.size()) {
    if (!regex_->Match(whole, start_of_search(text, resume), text.size(), RE2::UNANCHORED,
                       groups, submatch_count_)) {
      break;
    }
    const std::size_t found_at = static_cast<std::size_t>(groups[0].data() - text.data());
    const std::size_t end = found_at + groups[0].size();
    const std::size_t start = std::min(match_start(text, found_at, resume), end);
    if (!matched) {
      out.clear();
      out.reserve(text.size());
      matched = true;
    }
    out.append(text.substr(resume, start - resume));
    for (const ReplacementPiece& piece : replacement_) {
      out.append(piece.literal);
      if (piece.group != kNoGroup) {
        // A group that took no part has no data and counts as empty.
        out.append(std::string_view(groups[piece.group].data(), groups[piece.group].size()));
      }
    }
    // The constructor refuses patterns that can match the empty text, so every
    // match moves the scan forward; the check only keeps the loop finite.
    if (end <= resume) break;
    resume = end;
  }
  if (!matched) return false;
  out.append(text.substr(resume));
  return true;
}

std::shared_ptr<const RuleTable> training_table() {
  // Never destroyed: workers may still clean while the process exits.
  static const auto* const table = new std::shared_ptr<const RuleTable>(compile_table(kTrainingRules));
  return *table;
}

std::shared_ptr<const RuleTable> basic_table() {
  static const auto* const table = new std::shared_ptr<const RuleTable>(compile_table(kBasicRules));
  return *table;
}

}  // namespace pre_processor::cleaner
