#include "pre_processor/persistence/json_numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace pre_processor::persistence {
namespace {

// Decimal exponents written in fixed notation by each form.
constexpr int kDocumentFixedMinExponent = -6;
constexpr int kDocumentFixedMaxExponent = 12;
constexpr int kDescriptionFixedMinExponent = -5;
constexpr int kDescriptionFixedMaxExponent = 15;

constexpr std::string_view kNonFiniteText = "null";

// x = (-)d1.d2...dn * 10^exponent with the shortest round-trip digit string.
struct ShortestDigits {
  bool negative = false;
  char digits[24] = {};
  int count = 0;
  int exponent = 0;
};

// Requires a finite, non-zero value.
template <class Float>
ShortestDigits shortest_digits(Float value) {
  // Scientific notation without a precision is the shortest round-trip form:
  // -d.ddde+xx.
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  const char* pos = text;
  const char* const end = written.ptr;

  ShortestDigits out;
  if (*pos == '-') {
    out.negative = true;
    ++pos;
  }
  for (; pos != end && *pos != 'e'; ++pos) {
    if (*pos != '.') out.digits[out.count++] = *pos;
  }
  ++pos;  // 'e'
  const bool negative_exponent = *pos == '-';
  ++pos;  // the exponent's sign, always written
  int magnitude = 0;
  std::from_chars(pos, end, magnitude);
  out.exponent = negative_exponent ? -magnitude : magnitude;
  while (out.count > 1 && out.digits[out.count - 1] == '0') --out.count;
  return out;
}

template <class Out>
void append_fixed(Out& out, const ShortestDigits& d) {
  const std::string_view digits(d.digits, static_cast<std::size_t>(d.count));
  if (d.exponent >= d.count - 1) {
    out.append(digits);
    out.append(static_cast<std::size_t>(d.exponent - d.count + 1), '0');
    out.append(".0");
  } else if (d.exponent >= 0) {
    const auto integer_digits = static_cast<std::size_t>(d.exponent + 1);
    out.append(digits.substr(0, integer_digits));
    out.push_back('.');
    out.append(digits.substr(integer_digits));
  } else {
    out.append("0.");
    out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
    out.append(digits);
  }
}

template <class Out>
void append_scientific(Out& out, const ShortestDigits& d, bool plus_for_positive_exponent) {
  out.push_back(d.digits[0]);
  if (d.count > 1) {
    out.push_back('.');
    out.append(d.digits + 1, static_cast<std::size_t>(d.count - 1));
  }
  out.push_back('e');
  if (d.exponent < 0) {
    out.push_back('-');
  } else if (plus_for_positive_exponent) {
    out.push_back('+');
  }
  char exponent[8];
  const auto written = std::to_chars(exponent, exponent + sizeof exponent, std::abs(d.exponent));
  out.append(exponent, static_cast<std::size_t>(written.ptr - exponent));
}

}  // namespace

void append_json_float(String& out, float value) {
  if (!std::isfinite(value)) {
    out.append(kNonFiniteText);
    return;
  }
  if (value == 0.0f) {
    out.append(std::signbit(value) ? "-0.0" : "0.0");
    return;
  }
  const ShortestDigits d = shortest_digits(value);
  if (d.negative) out.push_back('-');
  if (kDocumentFixedMinExponent <= d.exponent && d.exponent <= kDocumentFixedMaxExponent) {
    append_fixed(out, d);
  } else {
    append_scientific(out, d, /*plus_for_positive_exponent=*/true);
  }
}

std::string describe_double(double value) {
  if (value == 0.0) return std::signbit(value) ? "-0.0" : "0.0";
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const ShortestDigits d = shortest_digits(value);
  std::string out;
  if (d.negative) out.push_back('-');
  if (kDescriptionFixedMinExponent <= d.exponent && d.exponent <= kDescriptionFixedMaxExponent) {
    append_fixed(out, d);
  } else {
    append_scientific(out, d, /*plus_for_positive_exponent=*/false);
  }
  return out;
}

}  // namespace pre_processor::persistence
