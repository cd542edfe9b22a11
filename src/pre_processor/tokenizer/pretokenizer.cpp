#include "pre_processor/tokenizer/pretokenizer.h"

#include <array>
#include <cstdint>

#include "pre_processor/unicode/unicode_properties.h"
#include "pre_processor/unicode/utf8.h"

namespace pre_processor::tokenizer {
namespace {

using unicode::GeneralCategory;

// The character classes the pattern is made of, as bits.
enum : std::uint8_t {
  kLetter = 1 << 0,     // \p{L}
  kNumber = 1 << 1,     // \p{N}
  kUpper = 1 << 2,      // [\p{Lu}\p{Lt}\p{Lm}\p{Lo}\p{M}]
  kLower = 1 << 3,      // [\p{Ll}\p{Lm}\p{Lo}\p{M}]
  kSpace = 1 << 4,      // \s
  kLineBreak = 1 << 5,  // [\r\n]
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::size_t kMaxDigitsPerPiece = 3;

constexpr std::uint8_t classes_of_category(GeneralCategory category) {
  switch (category) {
    case GeneralCategory::Lu:
    case GeneralCategory::Lt: return kLetter | kUpper;
    case GeneralCategory::Ll: return kLetter | kLower;
    case GeneralCategory::Lm:
    case GeneralCategory::Lo: return kLetter | kUpper | kLower;
    case GeneralCategory::Mn:
    case GeneralCategory::Mc:
    case GeneralCategory::Me: return kUpper | kLower;
    case GeneralCategory::Nd:
    case GeneralCategory::Nl:
    case GeneralCategory::No: return kNumber;
    default: return 0;
  }
}

constexpr std::array<std::uint8_t, 32> make_category_classes() {
  std::array<std::uint8_t, 32> classes{};
  for (unsigned c = 0; c <= static_cast<unsigned>(GeneralCategory::Cn); ++c)
    classes[c] = classes_of_category(static_cast<GeneralCategory>(c));
  return classes;
}
constexpr auto kCategoryClasses = make_category_classes();

constexpr std::array<std::uint8_t, 128> make_ascii_classes() {
  std::array<std::uint8_t, 128> classes{};
  for (unsigned c = 'a'; c <= 'z'; ++c) classes[c] = kLetter | kLower;
  for (unsigned c = 'A'; c <= 'Z'; ++c) classes[c] = kLetter | kUpper;
  for (unsigned c = '0'; c <= '9'; ++c) classes[c] = kNumber;
  for (unsigned c : {'\t', '\v', '\f', ' '}) classes[c] = kSpace;
  for (unsigned c : {'\r', '\n'}) classes[c] = kSpace | kLineBreak;
  return classes;
}
constexpr auto kAsciiClasses = make_ascii_classes();

struct Char {
  std::uint8_t classes;
  std::uint8_t length;
};

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::size_t size() const { return text_.size(); }

  Char at(std::size_t pos) const {
    const auto byte = static_cast<unsigned char>(text_[pos]);
    if (byte < 0x80) return {kAsciiClasses[byte], 1};
    const unicode::DecodedChar c = unicode::decode_utf8(text_, pos);
    const std::uint8_t property = unicode::detail::property_byte(c.code_point);
    std::uint8_t classes = kCategoryClasses[property & unicode::detail::kCategoryMask];
    if (property & unicode::detail::kWhiteSpaceBit) classes |= kSpace;
    return {classes, static_cast<std::uint8_t>(c.length)};
  }

  bool has(std::size_t pos, std::uint8_t classes) const {
    return pos < size() && (at(pos).classes & classes) != 0;
  }

  // End of the run of characters with any of `classes`, from pos.
  std::size_t run_end(std::size_t pos, std::uint8_t classes) const {
    while (pos < size()) {
      const Char c = at(pos);
      if (!(c.classes & classes)) break;
      pos += c.length;
    }
    return pos;
  }

  // End of the run of characters with none of `classes`, from pos.
  std::size_t run_end_without(std::size_t pos, std::uint8_t classes) const {
    while (pos < size()) {
      const Char c = at(pos);
      if (c.classes & classes) break;
      pos += c.length;
    }
    return pos;
  }

  // [Upper]*[Lower]+ at pos, as the first path of a backtracking match: the
  // greedy upper run gives characters back until a lower one can start.
  std::size_t upper_then_lower(std::size_t pos) const {
    std::size_t last_lower_end = kNone;
    while (pos < size()) {
      const Char c = at(pos);
      if (!(c.classes & kUpper)) break;
      pos += c.length;
      if (c.classes & kLower) last_lower_end = pos;
    }
    if (pos < size()) {
      const Char c = at(pos);
      if (c.classes & kLower) return run_end(pos + c.length, kLower);
    }
    // Only the run's last lower character can start [Lower]+, which then
    // stops at the upper-only character after it (or at the run's end).
    return last_lower_end;
  }

  // [Upper]+[Lower]* at pos.
  std::size_t upper_run_then_lower(std::size_t pos) const {
    if (!has(pos, kUpper)) return kNone;
    return run_end(run_end(pos, kUpper), kLower);
  }

  // (?i:'s|'t|'re|'ve|'m|'ll|'d)? at pos.
  std::size_t after_contraction(std::size_t pos) const {
    if (pos + 1 >= size() || text_[pos] != '\'') return pos;
    const auto lower = [&](std::size_t i) { return static_cast<char>(text_[i] | 0x20); };
    switch (lower(pos + 1)) {
      case 's':
      case 't':
      case 'm':
      case 'd': return pos + 2;
      case 'r':
      case 'v': return pos + 2 < size() && lower(pos + 2) == 'e' ? pos + 3 : pos;
      case 'l': return pos + 2 < size() && lower(pos + 2) == 'l' ? pos + 3 : pos;
      default: break;
    }
    // U+017F LATIN SMALL LETTER LONG S folds to 's'.
    if (pos + 2 < size() && text_[pos + 1] == '\xC5' && text_[pos + 2] == '\xBF') return pos + 3;
    return pos;
  }

 private:
  std::string_view text_;
};

// The two letter alternatives, each first with the optional leading
// character taken and then without it.
std::size_t letters_end(const Scanner& s, std::size_t pos, Char first) {
  const std::size_t after_first = pos + first.length;
  const bool may_lead = !(first.classes & (kLetter | kNumber | kLineBreak));
  std::size_t end = kNone;
  if (may_lead) end = s.upper_then_lower(after_first);
  if (end == kNone && (first.classes & (kUpper | kLower))) end = s.upper_then_lower(pos);
  if (end == kNone && may_lead) end = s.upper_run_then_lower(after_first);
  if (end == kNone && (first.classes & kUpper)) end = s.upper_run_then_lower(pos);
  return end == kNone ? kNone : s.after_contraction(end);
}

// \p{N}{1,3}
std::size_t digits_end(const Scanner& s, std::size_t pos) {
  for (std::size_t n = 0; n < kMaxDigitsPerPiece && s.has(pos, kNumber); ++n) pos += s.at(pos).length;
  return pos;
}

// " ?[^\s\p{L}\p{N}]+[\r\n/]*"
std::size_t punctuation_end(const Scanner& s, std::string_view text, std::size_t pos, Char first) {
  constexpr std::uint8_t kNotPunctuation = kSpace | kLetter | kNumber;
  std::size_t start;
  if (!(first.classes & kNotPunctuation)) {
    start = pos;
  } else if (text[pos] == ' ' && pos + 1 < text.size() && !s.has(pos + 1, kNotPunctuation)) {
    start = pos + 1;
  } else {
    return kNone;
  }
  std::size_t end = s.run_end_without(start, kNotPunctuation);
  while (end < text.size() && (text[end] == '\r' || text[end] == '\n' || text[end] == '/')) ++end;
  return end;
}

// "\s*[\r\n]+|\s+(?!\S)|\s+" at a white-space character.
std::size_t white_space_end(const Scanner& s, std::size_t pos) {
  std::size_t after_last_break = kNone;
  std::size_t last_start = pos;
  std::size_t end = pos;
  while (end < s.size()) {
    const Char c = s.at(end);
    if (!(c.classes & kSpace)) break;
    last_start = end;
    end += c.length;
    if (c.classes & kLineBreak) after_last_break = end;
  }
  // \s*[\r\n]+ ends after the run's last line break.
  if (after_last_break != kNone) return after_last_break;
  // \s+(?!\S) takes the whole run at the end of the text, else leaves its
  // last character to lead the next piece.
  if (end == s.size() || last_start == pos) return end;
  return last_start;
}

}  // namespace

std::size_t piece_end(std::string_view text, std::size_t pos) {
  const Scanner s(text);
  const Char first = s.at(pos);
  if (std::size_t end = letters_end(s, pos, first); end != kNone) return end;
  if (first.classes & kNumber) return digits_end(s, pos);
  if (std::size_t end = punctuation_end(s, text, pos, first); end != kNone) return end;
  if (first.classes & kSpace) return white_space_end(s, pos);
  return pos + first.length;  // not reached: the classes above cover every character
}

}  // namespace pre_processor::tokenizer
