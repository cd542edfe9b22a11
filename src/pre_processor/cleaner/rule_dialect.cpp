#include "pre_processor/cleaner/rule_dialect.h"

#include <cstdio>

namespace pre_processor::cleaner {
namespace {

constexpr std::string_view kWordBoundary = "\\b";

std::string hex(char32_t code_point) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(code_point));
  return digits;
}

Error refusal(std::string_view what, std::string_view source) {
  return Error{ErrorKind::InvalidArgument,
               std::string(what) + " in cleaning pattern: " + std::string(source)};
}

bool is_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Translates the pattern text after any leading \b.
Result<std::string> translate_body(std::string_view source, std::string_view whole) {
  static const std::string digit_items = re2_class_items(kDecimalDigitRanges);
  static const std::string space_items = re2_class_items(kWhiteSpaceRanges);

  std::string out;
  out.reserve(source.size() * 2);
  bool in_class = false;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const char c = source[i];
    if (c != '\\') {
      if (c == '(' && !in_class && source.substr(i + 1, 1) == "?" &&
          source.substr(i + 1, 2) != "?:") {
        return refusal("unsupported group or flag", whole);
      }
      if (c == '[' && !in_class) in_class = true;
      else if (c == ']' && in_class) in_class = false;
      out += c;
      continue;
    }
    if (i + 1 == source.size()) return refusal("trailing backslash", whole);
    const char escaped = source[++i];
    switch (escaped) {
      case 'd':
      case 's': {
        const std::string& items = escaped == 'd' ? digit_items : space_items;
        if (in_class) {
          out += items;
        } else {
          out += '[';
          out += items;
          out += ']';
        }
        break;
      }
      case 'u': {
        const std::size_t close = source.find('}', i);
        if (i + 1 >= source.size() || source[i + 1] != '{' || close == std::string_view::npos ||
            close == i + 2) {
          return refusal("malformed \\u{...}", whole);
        }
        const std::string_view digits = source.substr(i + 2, close - i - 2);
        for (char d : digits) {
          if (!is_hex_digit(d)) return refusal("malformed \\u{...}", whole);
        }
        out += "\\x{";
        out += digits;
        out += '}';
        i = close;
        break;
      }
      case 'b':
        return refusal("\\b after the start", whole);
      case 'B':
      case 'w':
      case 'W':
      case 'D':
      case 'S':
      case 'A':
      case 'z':
      case 'p':
      case 'P':
      case 'x':
        return refusal("unsupported escape", whole);
      default:
        // Escaped punctuation and \n mean the same in RE2.
        out += '\\';
        out += escaped;
        break;
    }
  }
  if (in_class) return refusal("unclosed bracket", whole);
  return out;
}

}  // namespace

std::string re2_class_items(std::span<const CodePointRange> ranges) {
  std::string items;
  for (const CodePointRange& range : ranges) {
    items += "\\x{" + hex(range.first) + "}";
    if (range.last != range.first) items += "-\\x{" + hex(range.last) + "}";
  }
  return items;
}

Result<TranslatedPattern> translate_pattern(std::string_view source) {
  static const std::string non_word_context =
      "(?:^|[^" + re2_class_items(kWordCharacterRanges) + "])";

  TranslatedPattern translated;
  std::string_view rest = source;
  if (rest.starts_with(kWordBoundary)) {
    translated.starts_at_word_boundary = true;
    rest.remove_prefix(kWordBoundary.size());
  }
  Result<std::string> body = translate_body(rest, source);
  if (!body) return body.error();
  translated.body = std::move(body.value());
  translated.pattern = translated.starts_at_word_boundary
                           ? non_word_context + "(?:" + translated.body + ")"
                           : translated.body;
  return translated;
}

}  // namespace pre_processor::cleaner
