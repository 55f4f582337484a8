#include "estimators/plugin.h"

#include <algorithm>
#include <cmath>

#include "estimators/ext_math.h"
#include "estimators/fibonacci_minimise.h"
#include "estimators/schnabel.h"

namespace frq {

long double FirstRepeatLogLikelihood(int32_t a, long double x) {
  long double s = 0;
  for (int32_t i = 1; i <= a - 2; ++i) s = s + Ln(x - static_cast<long double>(i));
  const long double t = s + Ln(static_cast<long double>(a - 1));
  return t - static_cast<long double>(a - 1) * Ln(x);
}

long double FirstRepeatObjective(int32_t a, long double x) {
  return 1 - FirstRepeatLogLikelihood(a, x);
}

// Shrinks the step until a probe beats F(a), then doubles it until the
// objective stops falling, then minimises over the last bracket.
long double FirstRepeatSearch(int32_t a) {
  const auto objective = [a](long double y) { return FirstRepeatObjective(a, y); };
  const long double half_tol = SearchTolerance / 2;
  const long double x = static_cast<long double>(a);
  long double d = x;
  const long double f0 = objective(x);
  long double h;
  do {
    h = objective(x + d);
    d = d / 2;
  } while (!(f0 > h) && !(std::fabs(d) < half_tol));
  if (std::fabs(d) < half_tol) return x + d;

  d = 2 * d;
  long double current = x;
  long double previous;
  long double f_current;
  do {
    previous = current;
    current = x + d;
    f_current = h;
    d = 2 * d;
    h = objective(x + d);
  } while (!(f_current <= h) && !(d >= SearchCeiling));
  return FibonacciMinimise(objective, previous, x + d, SearchTolerance);
}

Estimate FirstRepeatEstimate(int32_t a, EstimateFlags& flags) {
  if (a == 1) return 0;
  if (a < 1 || a > MaxRestarts + 1) {
    flags.overflow = true;
    return -1;
  }
  const long double x = FirstRepeatSearch(a);
  if (x < OverflowLimit) return Round(x);
  flags.overflow = true;
  return -1;
}

Estimate PluginEstimate(const FrequencyTable& table, EstimateFlags& flags) {
  const int32_t n = table.n;
  const int32_t* f = table.f.data();
  if (n < 1 || n > MaxRestarts) {  // no such table passes the reader
    flags.overflow = true;
    return -1;
  }
  // Classes above table.top are empty; the scans stop there.
  const int32_t last = std::min(n, std::max(table.top, 0));
  int32_t c = 2;
  while (c <= last && f[c] == 0) ++c;
  if (c > last) c = n + 1;
  if (c == n + 1) {
    const Estimate p = FirstRepeatEstimate(WrapAdd(f[1], 1), flags);
    return flags.overflow ? -1 : p;
  }
  Estimate p = SchnabelEstimate(WrapAdd(f[c], f[1]), WrapAdd(WrapMul(c, f[c]), f[1]), flags);
  if (flags.overflow) return -1;
  for (int32_t j = c + 1; j <= last; ++j) {
    if (f[j] <= 0) continue;
    p = WrapAdd(p, SchnabelEstimate(f[j], WrapMul(j, f[j]), flags));
    if (flags.overflow) return -1;
  }
  return p;
}

}  // namespace frq
