#include "pre_processor/persistence/json_numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace pre_processor::persistence {
namespace {

std::string document_text(float value) {
  String out;
  append_json_float(out, value);
  return std::string(out);
}

TEST(JsonFloatText, FollowsTheDocumentNotation) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {0.0f, "0.0"},
      {-0.0f, "-0.0"},
      {1.0f, "1.0"},
      {2.0f, "2.0"},
      {30.0f, "30.0"},
      {2.25f, "2.25"},
      {-1.5f, "-1.5"},
      {0.1f, "0.1"},  // never the longer expansion of the double value
      {0.95f, "0.95"},
      {0.5f, "0.5"},
      {0.001f, "0.001"},
      {1.4054651f, "1.4054651"},
      {123456.79f, "123456.79"},
      {16777216.0f, "16777216.0"},
      {1e-6f, "0.000001"},  // exponent -6: still fixed
      {1.5e-6f, "0.0000015"},
      {1e-7f, "1e-7"},  // exponent -7: scientific
      {1.25e-7f, "1.25e-7"},
      {1e12f, "1000000000000.0"},  // exponent 12: still fixed
      {1e13f, "1e+13"},
      {2.5e13f, "2.5e+13"},
      {std::numeric_limits<float>::max(), "3.4028235e+38"},
      {std::numeric_limits<float>::denorm_min(), "1e-45"},
      {-std::numeric_limits<float>::min(), "-1.1754944e-38"},
      {std::numeric_limits<float>::quiet_NaN(), "null"},
      {kInf, "null"},
      {-kInf, "null"},
  };
  for (const auto& c : cases) EXPECT_EQ(document_text(c.value), c.text) << c.text;
}

TEST(JsonFloatText, ReadsBackAsTheSameFloat) {
  // Every bit pattern in a spread of exponents round-trips through its text.
  for (std::uint32_t bits = 0x00000001; bits < 0x7F800000; bits += 0x00012345) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    const std::string text = document_text(value);
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), value) << text;
  }
}

TEST(DescribeDouble, WritesNumbersAsReaderMessagesShowThem) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1.0, "1.0"},
      {-0.0, "-0.0"},
      {0.0, "0.0"},
      {2.5, "2.5"},
      {0.00001, "0.00001"},  // exponent -5: fixed
      {0.000001, "1e-6"},
      {1.5e-7, "1.5e-7"},
      {1e15, "1000000000000000.0"},  // exponent 15: fixed
      {1e16, "1e16"},
      {1e20, "1e20"},
      {-1.8446744073709552e19, "-1.8446744073709552e19"},
      {25000000000000.0, "25000000000000.0"},
  };
  for (const auto& c : cases) EXPECT_EQ(describe_double(c.value), c.text) << c.text;
}

}  // namespace
}  // namespace pre_processor::persistence
