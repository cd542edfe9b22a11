// A position-tracking cursor over JSON text: whitespace, literals, numbers,
// strings, the comma and bracket protocol of arrays and objects, nesting depth,
// and skipping of whole values.
//
// Every failure is recorded once, with its message and the byte offset at
// which reading stopped; `failure_message` appends " at line L column C",
// where C counts the bytes of line L up to that offset. A failure raised on
// the byte about to be read ("at peek") includes that byte in the count, one
// raised after consuming input ("here") does not.
//
// The cursor never reads outside its input and never allocates from a count
// found in the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pre_processor/common/memory.h"

namespace pre_processor::persistence::json {

// Messages of the reader's syntax failures.
inline constexpr std::string_view kEofWhileParsingValue = "EOF while parsing a value";
inline constexpr std::string_view kEofWhileParsingList = "EOF while parsing a list";
inline constexpr std::string_view kEofWhileParsingObject = "EOF while parsing an object";
inline constexpr std::string_view kEofWhileParsingString = "EOF while parsing a string";
inline constexpr std::string_view kExpectedValue = "expected value";
inline constexpr std::string_view kExpectedIdent = "expected ident";
inline constexpr std::string_view kKeyMustBeAString = "key must be a string";
inline constexpr std::string_view kExpectedListCommaOrEnd = "expected `,` or `]`";
inline constexpr std::string_view kExpectedObjectCommaOrEnd = "expected `,` or `}`";
inline constexpr std::string_view kExpectedColon = "expected `:`";
inline constexpr std::string_view kInvalidNumber = "invalid number";
inline constexpr std::string_view kNumberOutOfRange = "number out of range";
inline constexpr std::string_view kInvalidEscape = "invalid escape";
inline constexpr std::string_view kControlCharacterInString =
    "control character (\\u0000-\\u001F) found while parsing a string";
inline constexpr std::string_view kLoneLeadingSurrogate = "lone leading surrogate in hex escape";
inline constexpr std::string_view kUnexpectedEndOfHexEscape = "unexpected end of hex escape";
inline constexpr std::string_view kTrailingCharacters = "trailing characters";
inline constexpr std::string_view kTrailingComma = "trailing comma";
inline constexpr std::string_view kRecursionLimitExceeded = "recursion limit exceeded";

// Arrays and objects nest at most this deep, also inside skipped values.
inline constexpr int kMaxNestingDepth = 128;

// The end of input, where a byte is expected.
inline constexpr int kEnd = -1;

// A JSON number as read: a non-negative integer that fits 64 bits, a negative
// one that fits 64 signed bits, or anything else as a 64-bit float.
struct Number {
  enum class Kind { Unsigned, Negative, Float };
  Kind kind = Kind::Unsigned;
  std::uint64_t unsigned_value = 0;
  std::int64_t negative_value = 0;
  double float_value = 0.0;
};

// The value of one number as an error message describes it:
// "integer `5`", "integer `-1`" or "floating point `1.0`".
std::string describe_number(const Number& number);

// A string as an error message describes it: "string " and the text in
// double quotes, quotes, backslashes and control characters escaped.
std::string describe_string(std::string_view text);

// Outcome of asking an array or object for its next member.
enum class Step { Next, End, Failed };

class Cursor {
 public:
  explicit Cursor(std::string_view input) : input_(input) {}

  // The next byte, or kEnd; nothing is consumed.
  int peek() const { return index_ < input_.size() ? static_cast<unsigned char>(input_[index_]) : kEnd; }
  // Skips spaces, tabs, line feeds and carriage returns; returns peek().
  int skip_whitespace();
  void eat() { ++index_; }

  // --- failures ---
  bool failed() const { return failed_; }
  // Records a failure positioned after the bytes consumed so far.
  void fail_here(std::string_view message);
  // Records a failure positioned on the next byte (capped at the end of input).
  void fail_at_peek(std::string_view message);
  // The recorded failure with " at line L column C" appended.
  std::string failure_message() const;

  // --- scalars; each expects the first byte of its value next ---
  // true, false or null after their first letter was consumed: the remaining letters.
  bool parse_literal_rest(std::string_view rest);
  // A number starting at '-' or a digit. With `convert` false only the grammar
  // is checked and `number` is left alone (magnitudes are not checked either).
  bool parse_number(Number& number, bool convert = true);
  // A string whose opening quote was consumed; `out` receives the decoded text.
  bool parse_string(String& out);

  // --- arrays and objects, after their opening bracket was consumed ---
  // Whether another element follows; consumes the separating comma.
  Step next_element(bool& first);
  // Consumes the closing bracket of an array whose elements were all read.
  bool end_array();
  // Reads the next key into `key` (decoded); consumes the separating comma.
  Step next_key(bool& first, String& key);
  // Consumes the ':' between a key and its value.
  bool parse_colon();
  // Consumes the closing brace of an object whose members were all read.
  bool end_object();

  // Accounts one more nesting level before an opening bracket is consumed;
  // fails on the bracket when that would exceed kMaxNestingDepth.
  bool enter_nested();
  void leave_nested() { --depth_; }

  // Reads and discards one value of any kind.
  bool skip_value();

  // After the top-level value: only whitespace may follow.
  bool end_of_document();

 private:
  bool parse_integer_part(bool positive, Number& number, bool convert, std::size_t start);
  bool parse_fraction_and_exponent(std::size_t start, Number& number, bool convert);
  bool parse_exponent();
  bool convert_float(std::size_t start, Number& number);
  bool parse_escape(String& out);
  bool parse_unicode_escape(String& out);
  bool read_hex_quad(std::uint32_t& value);
  bool skip_array();
  bool skip_object();

  std::string_view input_;
  std::size_t index_ = 0;
  int depth_ = 0;
  bool failed_ = false;
  std::string message_;
  std::size_t failure_offset_ = 0;
};

}  // namespace pre_processor::persistence::json
