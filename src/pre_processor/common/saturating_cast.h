// Float-to-integer conversion that never overflows.
#pragma once

#include <cstdint>
#include <limits>

namespace pre_processor {

// Truncates toward zero, saturating: negative values and NaN give 0, values at
// or beyond 2^64 give the largest integer.
inline std::uint64_t saturating_to_u64(float value) {
  constexpr float kTwoToThe64 = 18446744073709551616.0f;
  if (!(value > 0.0f)) return 0;
  if (value >= kTwoToThe64) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(value);
}

}  // namespace pre_processor
