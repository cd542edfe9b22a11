#include "pre_processor/persistence/json_numbers.h"

#include <cmath>

#include "pre_processor/common/float_format.h"

namespace pre_processor::persistence {
namespace {

// Decimal exponents written in fixed notation by each form.
constexpr int kDocumentFixedMinExponent = -6;
constexpr int kDocumentFixedMaxExponent = 12;
constexpr int kDescriptionFixedMinExponent = -5;
constexpr int kDescriptionFixedMaxExponent = 15;

constexpr std::string_view kNonFiniteText = "null";

// A finite, non-zero value in fixed notation (integral values ending in ".0")
// when its decimal exponent is within [fixed_min, fixed_max], otherwise in
// scientific notation.
template <class Float>
std::string finite_text(Float value, int fixed_min, int fixed_max, bool plus_for_positive_exponent) {
  const float_format::ShortestDecimal decimal = float_format::shortest_decimal(value);
  if (fixed_min <= decimal.exponent && decimal.exponent <= fixed_max) {
    return float_format::positional(decimal, /*fraction_when_whole=*/true);
  }
  return float_format::exponential(decimal, plus_for_positive_exponent);
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
  out.append(finite_text(value, kDocumentFixedMinExponent, kDocumentFixedMaxExponent,
                         /*plus_for_positive_exponent=*/true));
}

std::string describe_double(double value) {
  if (value == 0.0) return std::signbit(value) ? "-0.0" : "0.0";
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  return finite_text(value, kDescriptionFixedMinExponent, kDescriptionFixedMaxExponent,
                     /*plus_for_positive_exponent=*/false);
}

}  // namespace pre_processor::persistence
