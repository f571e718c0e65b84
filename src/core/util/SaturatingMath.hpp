#pragma once
#include <cstdint>
#include <limits>

namespace penvora::core::util {

// 64-bit sums and products that stop at the type's limits instead of
// overflowing: request numbers may be anything a JSON integer holds, and
// a box or time past the limits is as wrong as one at them, not undefined.
inline std::int64_t saturated(bool overflowed, std::int64_t result, bool upward) {
  if (!overflowed) return result;
  return upward ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

inline std::int64_t addSaturated(std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  const bool overflowed = __builtin_add_overflow(a, b, &r);
  return saturated(overflowed, r, b > 0);
}

inline std::int64_t subtractSaturated(std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  const bool overflowed = __builtin_sub_overflow(a, b, &r);
  return saturated(overflowed, r, b < 0);
}

inline std::int64_t multiplySaturated(std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  const bool overflowed = __builtin_mul_overflow(a, b, &r);
  return saturated(overflowed, r, (a < 0) == (b < 0));
}

}  // namespace penvora::core::util
