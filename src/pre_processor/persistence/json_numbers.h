// Decimal texts of floating-point numbers as the JSON document uses them.
//
// Both forms start from the shortest digit string that reads back as the same
// value (the nearest such string when several are equally short); they differ
// only in when they switch to exponent notation.
#pragma once

#include <string>
#include <string_view>

#include "pre_processor/common/memory.h"

namespace pre_processor::persistence {

// Appends a 32-bit float as the document writes it: "0.0" and "-0.0" for the
// zeros, fixed notation for decimal exponents -6..12 (integral values end in
// ".0"), scientific notation with an explicit exponent sign otherwise (1e-7,
// 2.5e+13), and `null` for NaN and the infinities.
void append_json_float(String& out, float value);

// A 64-bit float as reader messages describe a value found in the input:
// fixed notation for decimal exponents -5..15, otherwise d.ddde<exp> with a
// sign only for negative exponents (1e20, 1.5e-7); "0.0" and "-0.0" for zeros.
std::string describe_double(double value);

}  // namespace pre_processor::persistence
