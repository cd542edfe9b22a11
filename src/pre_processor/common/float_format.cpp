#include "pre_processor/common/float_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace pre_processor::float_format {
namespace {

constexpr float kDebugExponentBelow = 1e-4f;
constexpr float kDebugExponentFrom = 1e16f;

// NaN and the infinities, or nothing for a finite value.
bool write_non_finite(float value, std::string& out) {
  if (std::isnan(value)) {
    out = "NaN";
    return true;
  }
  if (std::isinf(value)) {
    out = value < 0 ? "-inf" : "inf";
    return true;
  }
  return false;
}

std::string zero(float value, bool fraction) {
  std::string out = std::signbit(value) ? "-0" : "0";
  if (fraction) out += ".0";
  return out;
}

template <class Float>
ShortestDecimal shortest_decimal_of(Float value) {
  // Scientific notation without a precision is the shortest round-trip form:
  // d[.ddd]e(+|-)xx.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));

  ShortestDecimal decimal;
  std::size_t pos = 0;
  if (text[pos] == '-') {
    decimal.negative = true;
    ++pos;
  }
  const std::size_t e = text.find('e', pos);
  for (std::size_t i = pos; i < e; ++i) {
    if (text[i] != '.') decimal.digits += text[i];
  }
  while (decimal.digits.size() > 1 && decimal.digits.back() == '0') decimal.digits.pop_back();
  const std::string_view exponent_text = text.substr(e + 1);
  const std::size_t sign_length = (exponent_text[0] == '+' || exponent_text[0] == '-') ? 1 : 0;
  int magnitude = 0;
  std::from_chars(exponent_text.data() + sign_length, exponent_text.data() + exponent_text.size(), magnitude);
  decimal.exponent = exponent_text[0] == '-' ? -magnitude : magnitude;
  return decimal;
}

}  // namespace

ShortestDecimal shortest_decimal(float value) { return shortest_decimal_of(value); }

ShortestDecimal shortest_decimal(double value) { return shortest_decimal_of(value); }

std::string positional(const ShortestDecimal& decimal, bool fraction_when_whole) {
  std::string out = decimal.negative ? "-" : "";
  const int count = static_cast<int>(decimal.digits.size());
  const int integer_digits = decimal.exponent + 1;
  if (integer_digits <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-integer_digits), '0');
    out += decimal.digits;
  } else if (integer_digits >= count) {
    out += decimal.digits;
    out.append(static_cast<std::size_t>(integer_digits - count), '0');
    if (fraction_when_whole) out += ".0";
  } else {
    out.append(decimal.digits, 0, static_cast<std::size_t>(integer_digits));
    out += '.';
    out.append(decimal.digits, static_cast<std::size_t>(integer_digits), std::string::npos);
  }
  return out;
}

std::string exponential(const ShortestDecimal& decimal, bool plus_for_positive_exponent) {
  std::string out = decimal.negative ? "-" : "";
  out += decimal.digits[0];
  if (decimal.digits.size() > 1) {
    out += '.';
    out.append(decimal.digits, 1, std::string::npos);
  }
  out += 'e';
  if (plus_for_positive_exponent && decimal.exponent >= 0) out += '+';
  out += std::to_string(decimal.exponent);
  return out;
}

std::string plain(float value) {
  std::string out;
  if (write_non_finite(value, out)) return out;
  if (value == 0.0f) return zero(value, false);
  return positional(shortest_decimal(value), false);
}

std::string debug(float value) {
  std::string out;
  if (write_non_finite(value, out)) return out;
  if (value == 0.0f) return zero(value, true);
  const float magnitude = std::fabs(value);
  const ShortestDecimal decimal = shortest_decimal(value);
  if (magnitude < kDebugExponentBelow || magnitude >= kDebugExponentFrom) return exponential(decimal, false);
  return positional(decimal, true);
}

}  // namespace pre_processor::float_format
