// Extended-precision helpers shared by the estimators.
#pragma once

#include <cstdint>

namespace frq {

// The platform's natural logarithm and exponential in extended precision.
// They live out of line in a file compiled without the compiler's built-in
// versions, so that no call is ever folded at compile time: the folded value
// can differ from the library's in the last bit.
long double Ln(long double x);
long double Exp(long double x);

// Nearest integer, ties to even, wrapped to 32 bits as a 32-bit store would.
int32_t Round(long double x);

// 32-bit two's-complement arithmetic that wraps instead of overflowing.
inline int32_t WrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t WrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

}  // namespace frq
