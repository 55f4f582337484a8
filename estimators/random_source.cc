#include "estimators/random_source.h"

namespace frq {

double LcgNext(RandomState& state) {
  state.value = (25173u * state.value + 13849u) & 0xFFFFu;
  // Two roundings: the extended quotient, then its store to a double. Eight
  // states end one unit above the correctly rounded quotient because of it.
  const long double quotient = static_cast<long double>(state.value) / 65535.0L;
  return static_cast<double>(quotient);
}

int32_t DrawIndex(RandomState& state, int32_t m) {
  for (;;) {
    const double u = LcgNext(state);
    // m u is exact in extended precision for m <= 30000; in double it could
    // round up to the next integer (m = 3, u just below 1/3).
    const long double product = static_cast<long double>(m) * static_cast<long double>(u);
    const int32_t i = static_cast<int32_t>(product) + 1;
    if (i >= 1 && i <= m) return i;
    if (m < 1) return 1;  // no index exists; callers never ask for one
  }
}

}  // namespace frq
