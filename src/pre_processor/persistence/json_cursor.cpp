#include "pre_processor/persistence/json_cursor.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <system_error>

#include "pre_processor/common/logging.h"
#include "pre_processor/persistence/json_numbers.h"

namespace pre_processor::persistence::json {
namespace {

bool is_digit(int c) { return c >= '0' && c <= '9'; }

bool is_whitespace(int c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_utf8(String& out, std::uint32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

constexpr std::uint32_t kHighSurrogateFirst = 0xD800;
constexpr std::uint32_t kHighSurrogateLast = 0xDBFF;
constexpr std::uint32_t kLowSurrogateFirst = 0xDC00;
constexpr std::uint32_t kLowSurrogateLast = 0xDFFF;

bool is_low_surrogate(std::uint32_t unit) { return unit >= kLowSurrogateFirst && unit <= kLowSurrogateLast; }
bool is_high_surrogate(std::uint32_t unit) { return unit >= kHighSurrogateFirst && unit <= kHighSurrogateLast; }

// Whether a number that the float conversion reported out of range lies
// beyond the largest double (rather than below the smallest): the decimal
// exponent of its first significant digit is positive. `text` is valid JSON
// number syntax.
bool overflows_double(std::string_view text) {
  std::size_t pos = text.front() == '-' ? 1 : 0;
  std::int64_t magnitude = 0;  // digits before the point, counted from the first non-zero one
  bool significant = false;
  for (; pos < text.size() && is_digit(text[pos]); ++pos) {
    if (text[pos] != '0') significant = true;
    if (significant) ++magnitude;
  }
  if (pos < text.size() && text[pos] == '.') {
    for (++pos; pos < text.size() && is_digit(text[pos]); ++pos) {
      if (significant) continue;
      if (text[pos] != '0') {
        significant = true;
      } else {
        --magnitude;
      }
    }
  }
  if (!significant) return false;
  std::int64_t exponent = 0;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    const bool negative = text[pos] == '-';
    if (text[pos] == '-' || text[pos] == '+') ++pos;
    constexpr std::int64_t kSaturation = std::int64_t{1} << 40;
    for (; pos < text.size() && is_digit(text[pos]); ++pos) {
      exponent = std::min(exponent * 10 + (text[pos] - '0'), kSaturation);
    }
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent > 0;
}

}  // namespace

std::string describe_number(const Number& number) {
  switch (number.kind) {
    case Number::Kind::Unsigned:
      return "integer `" + std::to_string(number.unsigned_value) + "`";
    case Number::Kind::Negative:
      return "integer `" + std::to_string(number.negative_value) + "`";
    case Number::Kind::Float:
      break;
  }
  return "floating point `" + describe_double(number.float_value) + "`";
}

std::string describe_string(std::string_view text) {
  // Quoted and escaped as the log fields write strings.
  return "string " + log::debug_form(text);
}

int Cursor::skip_whitespace() {
  while (index_ < input_.size() && is_whitespace(static_cast<unsigned char>(input_[index_]))) ++index_;
  return peek();
}

void Cursor::fail_here(std::string_view message) {
  if (failed_) return;
  failed_ = true;
  message_ = message;
  failure_offset_ = index_;
}

void Cursor::fail_at_peek(std::string_view message) {
  if (failed_) return;
  failed_ = true;
  message_ = message;
  failure_offset_ = std::min(input_.size(), index_ + 1);
}

std::string Cursor::failure_message() const {
  const std::string_view before = input_.substr(0, failure_offset_);
  const std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
  const std::size_t last_newline = before.rfind('\n');
  const std::size_t column = last_newline == std::string_view::npos ? before.size() : before.size() - last_newline - 1;
  return message_ + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

bool Cursor::parse_literal_rest(std::string_view rest) {
  for (const char expected : rest) {
    const int c = peek();
    if (c == kEnd) {
      fail_here(kEofWhileParsingValue);
      return false;
    }
    eat();
    if (c != static_cast<unsigned char>(expected)) {
      fail_here(kExpectedIdent);
      return false;
    }
  }
  return true;
}

bool Cursor::parse_number(Number& number, bool convert) {
  const std::size_t start = index_;
  bool positive = true;
  if (peek() == '-') {
    eat();
    positive = false;
  }
  return parse_integer_part(positive, number, convert, start);
}

bool Cursor::parse_integer_part(bool positive, Number& number, bool convert, std::size_t start) {
  const int first = peek();
  if (first == kEnd) {
    fail_here(kEofWhileParsingValue);
    return false;
  }
  eat();
  std::uint64_t significand = 0;
  bool beyond_64_bits = false;
  if (first == '0') {
    // Only one leading zero.
    if (is_digit(peek())) {
      fail_at_peek(kInvalidNumber);
      return false;
    }
  } else if (is_digit(first)) {
    significand = static_cast<std::uint64_t>(first - '0');
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    for (int c = peek(); is_digit(c); c = peek()) {
      const auto digit = static_cast<std::uint64_t>(c - '0');
      if (!beyond_64_bits && significand > (kMax - digit) / 10) beyond_64_bits = true;
      if (!beyond_64_bits) significand = significand * 10 + digit;
      eat();
    }
  } else {
    fail_here(kInvalidNumber);
    return false;
  }

  const int next = peek();
  if (next == '.' || next == 'e' || next == 'E') return parse_fraction_and_exponent(start, number, convert);
  if (!convert) return true;
  if (beyond_64_bits) return convert_float(start, number);
  if (positive) {
    number.kind = Number::Kind::Unsigned;
    number.unsigned_value = significand;
  } else if (significand == 0 || significand > (std::uint64_t{1} << 63)) {
    // -0 and magnitudes beyond the signed range are floats.
    return convert_float(start, number);
  } else {
    number.kind = Number::Kind::Negative;
    number.negative_value = static_cast<std::int64_t>(0 - significand);
  }
  return true;
}

bool Cursor::parse_fraction_and_exponent(std::size_t start, Number& number, bool convert) {
  if (peek() == '.') {
    eat();
    bool any_digit = false;
    while (is_digit(peek())) {
      eat();
      any_digit = true;
    }
    if (!any_digit) {
      fail_at_peek(peek() == kEnd ? kEofWhileParsingValue : kInvalidNumber);
      return false;
    }
  }
  const int c = peek();
  if ((c == 'e' || c == 'E') && !parse_exponent()) return false;
  return !convert || convert_float(start, number);
}

bool Cursor::parse_exponent() {
  eat();  // 'e' or 'E'
  if (peek() == '+' || peek() == '-') eat();
  const int first = peek();
  if (first == kEnd) {
    fail_here(kEofWhileParsingValue);
    return false;
  }
  eat();
  if (!is_digit(first)) {
    fail_here(kInvalidNumber);
    return false;
  }
  while (is_digit(peek())) eat();
  return true;
}

bool Cursor::convert_float(std::size_t start, Number& number) {
  const std::string_view text = input_.substr(start, index_ - start);
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    if (overflows_double(text)) {
      fail_here(kNumberOutOfRange);
      return false;
    }
    value = text.front() == '-' ? -0.0 : 0.0;
  } else if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    fail_here(kInvalidNumber);
    return false;
  }
  number.kind = Number::Kind::Float;
  number.float_value = value;
  return true;
}

bool Cursor::parse_string(String& out) {
  out.clear();
  for (;;) {
    const std::size_t run_start = index_;
    while (index_ < input_.size()) {
      const auto c = static_cast<unsigned char>(input_[index_]);
      if (c == '"' || c == '\\' || c < 0x20) break;
      ++index_;
    }
    out.append(input_.data() + run_start, index_ - run_start);
    const int c = peek();
    if (c == kEnd) {
      fail_here(kEofWhileParsingString);
      return false;
    }
    eat();
    if (c == '"') return true;
    if (c != '\\') {
      fail_here(kControlCharacterInString);
      return false;
    }
    if (!parse_escape(out)) return false;
  }
}

bool Cursor::parse_escape(String& out) {
  const int c = peek();
  if (c == kEnd) {
    fail_here(kEofWhileParsingString);
    return false;
  }
  eat();
  switch (c) {
    case '"': out.push_back('"'); return true;
    case '\\': out.push_back('\\'); return true;
    case '/': out.push_back('/'); return true;
    case 'b': out.push_back('\b'); return true;
    case 'f': out.push_back('\f'); return true;
    case 'n': out.push_back('\n'); return true;
    case 'r': out.push_back('\r'); return true;
    case 't': out.push_back('\t'); return true;
    case 'u': return parse_unicode_escape(out);
    default:
      fail_here(kInvalidEscape);
      return false;
  }
}

bool Cursor::read_hex_quad(std::uint32_t& value) {
  if (input_.size() - index_ < 4) {
    index_ = input_.size();
    fail_here(kEofWhileParsingString);
    return false;
  }
  value = 0;
  bool valid = true;
  for (int i = 0; i < 4; ++i) {
    const int digit = hex_digit_value(input_[index_ + static_cast<std::size_t>(i)]);
    valid = valid && digit >= 0;
    value = (value << 4) | static_cast<std::uint32_t>(digit & 0xF);
  }
  index_ += 4;
  if (!valid) fail_here(kInvalidEscape);
  return valid;
}

bool Cursor::parse_unicode_escape(String& out) {
  std::uint32_t unit = 0;
  if (!read_hex_quad(unit)) return false;
  if (is_low_surrogate(unit)) {
    fail_here(kLoneLeadingSurrogate);
    return false;
  }
  if (!is_high_surrogate(unit)) {
    append_utf8(out, unit);
    return true;
  }
  // A high surrogate must be followed by the escape of a low one.
  for (const char expected : {'\\', 'u'}) {
    const int c = peek();
    if (c == kEnd) {
      fail_here(kEofWhileParsingString);
      return false;
    }
    eat();
    if (c != expected) {
      fail_here(kUnexpectedEndOfHexEscape);
      return false;
    }
  }
  std::uint32_t low = 0;
  if (!read_hex_quad(low)) return false;
  if (!is_low_surrogate(low)) {
    fail_here(kLoneLeadingSurrogate);
    return false;
  }
  append_utf8(out, 0x10000 + ((unit - kHighSurrogateFirst) << 10) + (low - kLowSurrogateFirst));
  return true;
}

Step Cursor::next_element(bool& first) {
  const int c = skip_whitespace();
  if (c == kEnd) {
    fail_at_peek(kEofWhileParsingList);
    return Step::Failed;
  }
  if (c == ']') return Step::End;
  if (first) {
    first = false;
    return Step::Next;
  }
  if (c != ',') {
    fail_at_peek(kExpectedListCommaOrEnd);
    return Step::Failed;
  }
  eat();
  const int after = skip_whitespace();
  if (after == ']') {
    fail_at_peek(kTrailingComma);
    return Step::Failed;
  }
  if (after == kEnd) {
    fail_at_peek(kEofWhileParsingValue);
    return Step::Failed;
  }
  return Step::Next;
}

bool Cursor::end_array() {
  const int c = skip_whitespace();
  if (c == ']') {
    eat();
    return true;
  }
  if (c == kEnd) {
    fail_at_peek(kEofWhileParsingList);
  } else if (c == ',') {
    eat();
    fail_at_peek(skip_whitespace() == ']' ? kTrailingComma : kTrailingCharacters);
  } else {
    fail_at_peek(kTrailingCharacters);
  }
  return false;
}

Step Cursor::next_key(bool& first, String& key) {
  int c = skip_whitespace();
  if (c == '}') return Step::End;
  if (c == ',' && !first) {
    eat();
    c = skip_whitespace();
  } else if (c == kEnd) {
    fail_at_peek(kEofWhileParsingObject);
    return Step::Failed;
  } else if (first) {
    first = false;
  } else {
    fail_at_peek(kExpectedObjectCommaOrEnd);
    return Step::Failed;
  }
  if (c == '"') {
    eat();
    return parse_string(key) ? Step::Next : Step::Failed;
  }
  fail_at_peek(c == '}' ? kTrailingComma : c == kEnd ? kEofWhileParsingValue : kKeyMustBeAString);
  return Step::Failed;
}

bool Cursor::parse_colon() {
  const int c = skip_whitespace();
  if (c == ':') {
    eat();
    return true;
  }
  fail_at_peek(c == kEnd ? kEofWhileParsingObject : kExpectedColon);
  return false;
}

bool Cursor::end_object() {
  const int c = skip_whitespace();
  if (c == '}') {
    eat();
    return true;
  }
  fail_at_peek(c == ',' ? kTrailingComma : c == kEnd ? kEofWhileParsingObject : kTrailingCharacters);
  return false;
}

bool Cursor::enter_nested() {
  if (depth_ >= kMaxNestingDepth) {
    fail_at_peek(kRecursionLimitExceeded);
    return false;
  }
  ++depth_;
  return true;
}

bool Cursor::skip_value() {
  const int c = skip_whitespace();
  switch (c) {
    case kEnd:
      fail_at_peek(kEofWhileParsingValue);
      return false;
    case 'n':
      eat();
      return parse_literal_rest("ull");
    case 't':
      eat();
      return parse_literal_rest("rue");
    case 'f':
      eat();
      return parse_literal_rest("alse");
    case '"': {
      eat();
      String scratch;
      return parse_string(scratch);
    }
    case '[':
      return skip_array();
    case '{':
      return skip_object();
    default:
      if (c == '-' || is_digit(c)) {
        Number unused;
        return parse_number(unused, /*convert=*/false);
      }
      fail_at_peek(kExpectedValue);
      return false;
  }
}

bool Cursor::skip_array() {
  if (!enter_nested()) return false;
  eat();
  bool first = true;
  for (;;) {
    const Step step = next_element(first);
    if (step == Step::Failed) return false;
    if (step == Step::End) break;
    if (!skip_value()) return false;
  }
  leave_nested();
  return end_array();
}

bool Cursor::skip_object() {
  if (!enter_nested()) return false;
  eat();
  bool first = true;
  String key;
  for (;;) {
    const Step step = next_key(first, key);
    if (step == Step::Failed) return false;
    if (step == Step::End) break;
    if (!parse_colon() || !skip_value()) return false;
  }
  leave_nested();
  return end_object();
}

bool Cursor::end_of_document() {
  if (skip_whitespace() == kEnd) return true;
  fail_at_peek(kTrailingCharacters);
  return false;
}

}  // namespace pre_processor::persistence::json
