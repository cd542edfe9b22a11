// UTF-8 decoding and validation.
//
// Well-formedness follows the Unicode standard (table 3-7): no overlong forms,
// no surrogates, nothing above U+10FFFF.
//
// Thread-safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pre_processor::unicode {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

struct DecodedChar {
  char32_t code_point;
  std::uint32_t length;  // bytes taken, 1 to 4
};

namespace detail {
inline bool is_continuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
}  // namespace detail

// Decodes the character that starts at text[pos], which must be inside text.
// An ill-formed sequence decodes as U+FFFD taking one byte, so a scan over any
// bytes always advances and never reads past the end.
inline DecodedChar decode_utf8(std::string_view text, std::size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const std::size_t left = text.size() - pos;
  const unsigned char b0 = p[0];
  if (b0 < 0x80) return {b0, 1};
  using detail::is_continuation;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    if (left >= 2 && is_continuation(p[1])) return {char32_t((b0 & 0x1F) << 6 | (p[1] & 0x3F)), 2};
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    if (left >= 3 && is_continuation(p[1]) && is_continuation(p[2])) {
      const char32_t cp = (b0 & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F);
      if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) return {cp, 3};
    }
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    if (left >= 4 && is_continuation(p[1]) && is_continuation(p[2]) && is_continuation(p[3])) {
      const char32_t cp =
          (b0 & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
      if (cp >= 0x10000 && cp <= 0x10FFFF) return {cp, 4};
    }
  }
  return {kReplacementCharacter, 1};
}

// True when `bytes` is well-formed UTF-8 (an empty range is).
bool is_valid_utf8(std::string_view bytes);

}  // namespace pre_processor::unicode
