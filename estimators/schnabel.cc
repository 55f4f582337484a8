#include "estimators/schnabel.h"

#include <cmath>

#include "estimators/ext_math.h"
#include "estimators/fibonacci_minimise.h"

namespace frq {

long double DistinctRatio(long double x) {
  const long double t = Exp(-x);
  const long double u = 1 - t;
  return u / x;
}

long double DistinctRatioRoot(long double a, long double z, long double e, long double tol) {
  while (std::fabs(a - z) > tol) {
    const long double m = a + (z - a) / 2;
    if (e > DistinctRatio(m)) {
      z = m;
    } else {
      a = m;
    }
  }
  return z;
}

long double SchnabelLogLikelihood(int32_t K, int32_t N, long double x) {
  const int64_t b = Round(x);
  long double s = 0;
  for (int64_t c = b - K + 1; c <= b; ++c) s = s + Ln(static_cast<long double>(c));
  return s - static_cast<long double>(N) * Ln(static_cast<long double>(b));
}

long double SchnabelObjective(int32_t K, int32_t N, long double x) {
  return 1 - SchnabelLogLikelihood(K, N, x);
}

long double SchnabelSearch(int32_t K, int32_t N, long double tol, long double lo) {
  const long double e = static_cast<long double>(K) / static_cast<long double>(N);
  // Doubling: the first probe whose ratio falls below e closes the bracket.
  long double previous = 0;
  long double probe = tol;
  while (!(DistinctRatio(probe) < e)) {
    previous = probe;
    probe = 2 * probe;
  }
  const long double root = previous == 0
                               ? static_cast<long double>(N) / SearchCeiling
                               : DistinctRatioRoot(previous, probe, e, tol);
  const long double upper = static_cast<long double>(N) / root;
  return FibonacciMinimise([K, N](long double x) { return SchnabelObjective(K, N, x); }, lo,
                           upper, tol);
}

Estimate SchnabelEstimate(int32_t K, int32_t N, EstimateFlags& flags) {
  if (K == 1) return 1;
  if (K < 1 || N < 1 || K > MaxRestarts || N > MaxRestarts) {
    flags.overflow = true;
    return -1;
  }
  const long double x = SchnabelSearch(K, N, SearchTolerance, static_cast<long double>(K));
  if (x < OverflowLimit) return Round(x);
  flags.overflow = true;
  return -1;
}

}  // namespace frq
