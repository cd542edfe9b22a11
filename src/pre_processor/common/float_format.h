// Shortest round-trip decimal texts of floating-point numbers.
//
// Every form writes the shortest digit string that reads back as the same
// value (the nearest such string when several are equally short). The named
// forms are for single-precision floats; the decimal and its two layouts serve
// callers that choose notation by rules of their own.
#pragma once

#include <string>

namespace pre_processor::float_format {

// The shortest decimal of a finite, non-zero x: x = (-)d1.d2...dn * 10^exponent,
// `digits` holding d1...dn without trailing zeros (at most 9 for a float, 17
// for a double).
struct ShortestDecimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

// Requires a finite, non-zero value.
ShortestDecimal shortest_decimal(float value);
ShortestDecimal shortest_decimal(double value);

// The decimal, sign included, without an exponent (0.00015, 1500); whole values
// end in ".0" when `fraction_when_whole` is set.
std::string positional(const ShortestDecimal& decimal, bool fraction_when_whole);

// The decimal, sign included, as d[.ddd]e<exponent> (1.5e-7, 2.5e13); the
// exponent carries a sign when negative and, with `plus_for_positive_exponent`,
// a "+" otherwise (2.5e+13).
std::string exponential(const ShortestDecimal& decimal, bool plus_for_positive_exponent);

// Plain form: never an exponent, no fractional part when the value is whole
// (1 for 1.0, 0.9, 0.00001, 100000000000000000000). NaN, inf and -inf are
// written "NaN", "inf" and "-inf"; negative zero as "-0".
std::string plain(float value);

// Debug form: always a fractional part (1.0, 0.9, -0.0); exponent form
// (1e-5, 1.5e16) when the magnitude is non-zero and below 1e-4 or at least 1e16.
// NaN, inf and -inf as in plain().
std::string debug(float value);

}  // namespace pre_processor::float_format
