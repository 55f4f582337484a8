// Compiled with -fno-builtin-logl -fno-builtin-expl (see CMakeLists.txt): the
// calls below must reach the C library at run time.
#include "estimators/ext_math.h"

#include <cmath>

namespace frq {

long double Ln(long double x) { return ::logl(x); }

long double Exp(long double x) { return ::expl(x); }

int32_t Round(long double x) {
  // llrintl rounds in the current mode (to nearest, ties to even); values
  // outside 64 bits give the library's unspecified result, never a trap.
  const long long wide = ::llrintl(x);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(wide)));
}

}  // namespace frq
