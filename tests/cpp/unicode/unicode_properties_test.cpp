#include "pre_processor/unicode/unicode_properties.h"

#include <gtest/gtest.h>

#include <vector>

#include "pre_processor/unicode/utf8.h"

namespace pre_processor::unicode {
namespace {

TEST(UnicodeProperties, GeneralCategoriesOfSampleCharacters) {
  using C = GeneralCategory;
  struct Case {
    char32_t cp;
    GeneralCategory category;
  };
  const Case cases[] = {
      {U'a', C::Ll},      {U'Z', C::Lu},      {U'0', C::Nd},      {U' ', C::Zs},
      {U'\n', C::Cc},     {U'\'', C::Po},     {U'$', C::Sc},      {U'_', C::Pc},
      {0x01C5, C::Lt},    {0x02B0, C::Lm},    {0x65E5, C::Lo},    {0x0301, C::Mn},
      {0x0903, C::Mc},    {0x20DD, C::Me},    {0x0663, C::Nd},    {0x216B, C::Nl},
      {0x00B2, C::No},    {0x2028, C::Zl},    {0x2029, C::Zp},    {0x200B, C::Cf},
      {0xD800, C::Cs},    {0xE000, C::Co},    {0x10FFFF, C::Cn},  {0x110000, C::Cn},
      {0x1F600, C::So},   {0x0378, C::Cn},
      // New in Unicode 16.0.
      {0x1C89, C::Lu},    {0x1C8A, C::Ll},    {0x0897, C::Mn},    {0x10D50, C::Lu},
      // New in Unicode 15.1.
      {0x2EBF0, C::Lo},
      // Assigned only after Unicode 16.0.
      {0x088F, C::Cn},
  };
  for (const Case& c : cases)
    EXPECT_EQ(general_category(c.cp), c.category) << std::hex << static_cast<unsigned>(c.cp);
}

TEST(UnicodeProperties, WhiteSpaceIsExactlyThePropertySet) {
  std::vector<char32_t> white_space;
  for (char32_t cp = 0; cp <= kMaxCodePoint; ++cp)
    if (is_white_space(cp)) white_space.push_back(cp);
  const std::vector<char32_t> expected = {0x09,   0x0A,   0x0B,   0x0C,   0x0D,   0x20,   0x85,
                                          0xA0,   0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
                                          0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028,
                                          0x2029, 0x202F, 0x205F, 0x3000};
  EXPECT_EQ(white_space, expected);
}

TEST(UnicodeProperties, ClassPredicates) {
  EXPECT_TRUE(is_letter(U'a') && is_letter(0x01C5) && is_letter(0x02B0) && is_letter(0x65E5));
  EXPECT_FALSE(is_letter(0x0301) || is_letter(U'1') || is_letter(U'_'));
  EXPECT_TRUE(is_mark(0x0301) && is_mark(0x0903) && is_mark(0x20DD));
  EXPECT_TRUE(is_number(U'7') && is_number(0x216B) && is_number(0x00B2));
  EXPECT_TRUE(is_decimal_digit(0x0663));
  EXPECT_FALSE(is_decimal_digit(0x00B2) || is_decimal_digit(0x216B));
  EXPECT_TRUE(is_alphanumeric(U'x') && is_alphanumeric(U'5'));
  EXPECT_FALSE(is_alphanumeric(U'-'));
  EXPECT_TRUE(is_uppercase_letter(U'Q') && is_lowercase_letter(U'q'));
}

TEST(Utf8, DecodesWellFormedAndReplacesIllFormedSequences) {
  struct Case {
    std::string_view bytes;
    char32_t code_point;
    std::uint32_t length;
  };
  const Case cases[] = {
      {"a", U'a', 1},
      {"\xC3\xA9", 0xE9, 2},
      {"\xE2\x82\xAC", 0x20AC, 3},
      {"\xF0\x9F\x98\x80", 0x1F600, 4},
      {"\xF4\x8F\xBF\xBF", 0x10FFFF, 4},
      {"\x80", kReplacementCharacter, 1},          // lone continuation byte
      {"\xC0\xAF", kReplacementCharacter, 1},      // overlong
      {"\xE0\x80\xAF", kReplacementCharacter, 1},  // overlong
      {"\xED\xA0\x80", kReplacementCharacter, 1},  // surrogate
      {"\xF4\x90\x80\x80", kReplacementCharacter, 1},  // above U+10FFFF
      {"\xF0\x9F\x98", kReplacementCharacter, 1},  // cut short
      {"\xFF", kReplacementCharacter, 1},
  };
  for (const Case& c : cases) {
    const DecodedChar d = decode_utf8(c.bytes, 0);
    EXPECT_EQ(d.code_point, c.code_point) << std::hex << static_cast<unsigned>(c.bytes[0] & 0xFF);
    EXPECT_EQ(d.length, c.length);
  }
}

TEST(Utf8, Validation) {
  EXPECT_TRUE(is_valid_utf8(""));
  EXPECT_TRUE(is_valid_utf8("plain ascii text, longer than one word"));
  EXPECT_TRUE(is_valid_utf8("\xEF\xBF\xBD replacement character itself"));
  EXPECT_TRUE(is_valid_utf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(is_valid_utf8("caf\xC3"));
  EXPECT_FALSE(is_valid_utf8("ascii ascii ascii \xED\xA0\x80"));
  EXPECT_FALSE(is_valid_utf8("\xF0\x9D\x94"));
}

}  // namespace
}  // namespace pre_processor::unicode
