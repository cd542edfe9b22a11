#include "pre_processor/common/float_format.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace pre_processor {
namespace {

TEST(FloatFormatTest, PlainAndDebugForms) {
  struct Case {
    float value;
    const char* plain;
    const char* debug;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const Case cases[] = {
      {1.0f, "1", "1.0"},
      {0.9f, "0.9", "0.9"},
      {0.1f, "0.1", "0.1"},
      {2.0f, "2", "2.0"},
      {30.0f, "30", "30.0"},
      {2.25f, "2.25", "2.25"},
      {0.0f, "0", "0.0"},
      {-0.0f, "-0", "-0.0"},
      {-1.5f, "-1.5", "-1.5"},
      {1e-5f, "0.00001", "1e-5"},
      {1e-4f, "0.0001", "0.0001"},  // the boundary itself is not below 1e-4
      {-1.5e-7f, "-0.00000015", "-1.5e-7"},
      {1e16f, "10000000000000000", "1e16"},
      {1.5e16f, "15000000000000000", "1.5e16"},
      {9.9999999e15f, "10000000000000000", "1e16"},  // rounds to the float nearest 1e16
      {1e15f, "1000000000000000", "1000000000000000.0"},
      {123456.79f, "123456.79", "123456.79"},
      {1.4054651f, "1.4054651", "1.4054651"},
      {0.70710677f, "0.70710677", "0.70710677"},
      {3.4028235e38f, "340282350000000000000000000000000000000", "3.4028235e38"},
      {1e-45f, "0.000000000000000000000000000000000000000000001", "1e-45"},
      {std::numeric_limits<float>::quiet_NaN(), "NaN", "NaN"},
      {inf, "inf", "inf"},
      {-inf, "-inf", "-inf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(float_format::plain(c.value), c.plain);
    EXPECT_EQ(float_format::debug(c.value), c.debug);
  }
}

// Every written form reads back as the same float: a random sample across
// the whole exponent range.
TEST(FloatFormatTest, FormsRoundTrip) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<std::uint32_t> bits;
  for (int i = 0; i < 20000; ++i) {
    std::uint32_t raw = bits(random);
    float value;
    std::memcpy(&value, &raw, sizeof value);
    if (!std::isfinite(value) || value == 0.0f) continue;
    for (const std::string& text : {float_format::plain(value), float_format::debug(value)}) {
      float parsed = 0.0f;
      const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
      ASSERT_EQ(result.ec, std::errc()) << text;
      ASSERT_EQ(parsed, value) << text;
    }
  }
}

}  // namespace
}  // namespace pre_processor
