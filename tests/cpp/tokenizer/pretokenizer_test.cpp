#include "pre_processor/tokenizer/pretokenizer.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pre_processor/common/logging.h"

namespace pre_processor::tokenizer {
namespace {

std::vector<std::string> pieces_of(std::string_view text) {
  std::vector<std::string> pieces;
  for_each_piece(text, [&](std::string_view piece) { pieces.emplace_back(piece); });
  return pieces;
}

// Splits that depend on the backtracking of the pattern, as a backtracking
// engine gives them.
TEST(Pretokenizer, SplitsLikeTheBacktrackingPattern) {
  struct Case {
    std::string_view text;
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"", {}},
      {"Hello world", {"Hello", " world"}},
      // \s+(?!\S) leaves the last blank to lead the next piece, except at the end.
      {"x   y", {"x", "  ", " y"}},
      {"x   ", {"x", "   "}},
      {"  ", {"  "}},
      {"  ...x", {" ", " ...", "x"}},
      {" 12", {" ", "12"}},
      {"\xC2\xA0\xC2\xA0x", {"\xC2\xA0", "\xC2\xA0x"}},          // NBSP leads a word
      {"\xE3\x80\x80\xE3\x80\x80x", {"\xE3\x80\x80", "\xE3\x80\x80x"}},  // ideographic space
      {"a\xC2\x85\xC2\x85" "b", {"a", "\xC2\x85", "\xC2\x85" "b"}},    // NEL is a space, not a break
      {"\tx", {"\tx"}},
      // \s*[\r\n]+ ends after the last line break of a blank run.
      {"  \n  x", {"  \n", " ", " x"}},
      {"x\r\n\r\ny", {"x", "\r\n\r\n", "y"}},
      {" \n", {" \n"}},
      // Punctuation takes one leading blank and trailing breaks and slashes.
      {".\r\n/x", {".\r\n/", "x"}},
      {" !!\n\n/a", {" !!\n\n/", "a"}},
      // Numbers go in threes.
      {"1234567", {"123", "456", "7"}},
      {"A1B", {"A", "1", "B"}},
      // Upper runs, lower runs and contractions.
      {"aBC", {"a", "BC"}},
      {"ABc", {"ABc"}},
      {"HELLO'S", {"HELLO'S"}},
      {"don't STOP'LL", {"don't", " STOP'LL"}},
      {"a'\xC5\xBFx", {"a'\xC5\xBF", "x"}},  // long s folds to s
      {"\xC7\x85ungla", {"\xC7\x85ungla"}},  // title case letter
      // A combining mark may lead a piece and is itself a lower character:
      // after it, an upper-only run cannot complete the first alternative.
      {"\xCC\x81" "AB", {"\xCC\x81", "AB"}},
      {"\xCC\x81\xCC\x81" "a", {"\xCC\x81\xCC\x81" "a"}},
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x80\x82", {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\xE3\x80\x82"}},
  };
  for (const Case& c : cases) EXPECT_EQ(pieces_of(c.text), c.pieces) << log::debug_form(c.text);
}

// Any bytes, UTF-8 or not, are tiled by non-empty pieces.
TEST(Pretokenizer, PiecesTileArbitraryBytes) {
  std::mt19937 random(20240611);
  const std::string alphabet[] = {"a", "Z", "1", " ", "\n", "\r", "'", "s", ".", "/", "\xC3\xA9",
                                  "\xCC\x81", "\xE3\x80\x80", "\xF0\x9F\x98\x80", "\xF0", "\x80", "\xFF"};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) text += alphabet[random() % std::size(alphabet)];
    std::string joined;
    for (const std::string& piece : pieces_of(text)) {
      ASSERT_FALSE(piece.empty());
      joined += piece;
    }
    ASSERT_EQ(joined, text);
  }
}

}  // namespace
}  // namespace pre_processor::tokenizer
