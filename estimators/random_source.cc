#include "estimators/random_source.h"

namespace frq {

namespace {

// Two roundings: the extended quotient, then its store to a double. Eight
// states end one unit above the correctly rounded quotient because of it.
double UniformOf(uint32_t state) {
  const long double quotient = static_cast<long double>(state) / 65535.0L;
  return static_cast<double>(quotient);
}

int32_t IndexOf(double u, int32_t m) {
  // m u is formed in extended precision: in double it could round up to the
  // next integer (m = 3, u just below 1/3).
  const long double product = static_cast<long double>(m) * static_cast<long double>(u);
  return static_cast<int32_t>(product) + 1;
}

}  // namespace

double LcgNext(RandomState& state) {
  state.value = NextState(state.value);
  return UniformOf(state.value);
}

int32_t IndexOfState(uint32_t state, int32_t m) { return IndexOf(UniformOf(state), m); }

int32_t DrawIndex(RandomState& state, int32_t m) {
  for (;;) {
    const int32_t i = IndexOf(LcgNext(state), m);
    if (i >= 1 && i <= m) return i;
    if (m < 1) return 1;  // no index exists; callers never ask for one
  }
}

}  // namespace frq
