#include "pre_processor/unicode/utf8.h"

#include <cstring>

namespace pre_processor::unicode {

bool is_valid_utf8(std::string_view bytes) {
  std::size_t pos = 0;
  const std::size_t size = bytes.size();
  while (pos < size) {
    // Skip eight ASCII bytes at a time.
    if (pos + 8 <= size) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + pos, sizeof word);
      if ((word & 0x8080808080808080ull) == 0) {
        pos += 8;
        continue;
      }
    }
    const DecodedChar c = decode_utf8(bytes, pos);
    // A decoded U+FFFD of one byte marks an ill-formed sequence; the
    // character itself is three bytes long.
    if (c.code_point == kReplacementCharacter && c.length == 1) return false;
    pos += c.length;
  }
  return true;
}

}  // namespace pre_processor::unicode
