// Shortest round-trip decimal texts of single-precision floats.
//
// Every form writes the shortest digit string that reads back as the same
// 32-bit float (the nearest such string when several are equally short).
#pragma once

#include <string>

namespace pre_processor::float_format {

// The shortest decimal of a finite, non-zero x: x = (-)d1.d2...dn * 10^exponent,
// `digits` holding d1...dn without trailing zeros (at most 9 for a float).
struct ShortestDecimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

// Requires a finite, non-zero value.
ShortestDecimal shortest_decimal(float value);

// Plain form: never an exponent, no fractional part when the value is whole
// (1 for 1.0, 0.9, 0.00001, 100000000000000000000). NaN, inf and -inf are
// written "NaN", "inf" and "-inf"; negative zero as "-0".
std::string plain(float value);

// Debug form: always a fractional part (1.0, 0.9, -0.0); exponent form
// (1e-5, 1.5e16) when the magnitude is non-zero and below 1e-4 or at least 1e16.
// NaN, inf and -inf as in plain().
std::string debug(float value);

}  // namespace pre_processor::float_format
