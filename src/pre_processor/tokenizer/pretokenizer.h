// Pre-tokenization: the split of a text into the pieces that byte-pair
// encoding works on, by the o200k_base pattern
//
//   [^\r\n\p{L}\p{N}]?[\p{Lu}\p{Lt}\p{Lm}\p{Lo}\p{M}]*[\p{Ll}\p{Lm}\p{Lo}\p{M}]+(?i:'s|'t|'re|'ve|'m|'ll|'d)?
//   |[^\r\n\p{L}\p{N}]?[\p{Lu}\p{Lt}\p{Lm}\p{Lo}\p{M}]+[\p{Ll}\p{Lm}\p{Lo}\p{M}]*(?i:'s|'t|'re|'ve|'m|'ll|'d)?
//   |\p{N}{1,3}
//   | ?[^\s\p{L}\p{N}]+[\r\n/]*
//   |\s*[\r\n]+
//   |\s+(?!\S)
//   |\s+
//
// matched as a backtracking engine does (leftmost-first alternation, greedy
// quantifiers), with the Unicode 16.0.0 classes. Written out by hand: every
// character of a text belongs to exactly one piece, so the pieces tile it.
//
// Bytes that are not UTF-8 count one by one as characters of no letter,
// number or space class; they never come from a valid string.
//
// Thread-safety: pure functions.
#pragma once

#include <cstddef>
#include <string_view>

namespace pre_processor::tokenizer {

// The end (byte offset) of the piece that starts at `pos`; pos < text.size().
std::size_t piece_end(std::string_view text, std::size_t pos);

// Calls fn(piece) for the pieces of `text`, in order.
template <class Fn>
void for_each_piece(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = piece_end(text, pos);
    fn(text.substr(pos, end - pos));
    pos = end;
  }
}

}  // namespace pre_processor::tokenizer
