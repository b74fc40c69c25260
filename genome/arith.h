// Integer arithmetic with defined results for every input.
//
// Values in the unit table and genomes may come from hand-edited files, so
// sums, differences and products wrap in 32-bit two's complement instead of
// overflowing, and conversions from floating point truncate toward zero,
// saturate at the 32-bit limits and give 0 for NaN.
#pragma once
#include <cmath>
#include <cstdint>

inline int32_t wrapAdd(int32_t a, int32_t b) { return (int32_t)((uint32_t)a + (uint32_t)b); }
inline int32_t wrapSub(int32_t a, int32_t b) { return (int32_t)((uint32_t)a - (uint32_t)b); }
inline int32_t wrapMul(int32_t a, int32_t b) { return (int32_t)((uint32_t)a * (uint32_t)b); }
// |a| in 32-bit two's complement: |INT32_MIN| wraps to INT32_MIN.
inline int32_t wrapAbs(int32_t a) { return a < 0 ? (int32_t)(0u - (uint32_t)a) : a; }

// Exact |a - b| of two 32-bit values, in 64 bits.
inline int64_t absDiff64(int32_t a, int32_t b) {
  int64_t d = (int64_t)a - (int64_t)b;
  return d < 0 ? -d : d;
}

// trunc toward zero, saturated to int32; NaN gives 0.
inline int32_t truncToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return (int32_t)v;
}
