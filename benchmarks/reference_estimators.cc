#include "benchmarks/reference_estimators.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "estimators/ext_math.h"
#include "estimators/fibonacci_minimise.h"
#include "estimators/plugin.h"
#include "estimators/schnabel.h"

namespace frq::reference {

long double SchnabelObjective(int32_t K, int32_t N, long double x) {
  const int64_t b = Round(x);
  long double s = 0;
  for (int64_t c = b - K + 1; c <= b; ++c) s = s + Ln(static_cast<long double>(c));
  return 1 - (s - static_cast<long double>(N) * Ln(static_cast<long double>(b)));
}

long double SchnabelSearch(int32_t K, int32_t N, long double tol, long double lo) {
  const long double e = static_cast<long double>(K) / static_cast<long double>(N);
  long double previous = 0;
  long double probe = tol;
  while (!(DistinctRatio(probe) < e)) {
    previous = probe;
    probe = 2 * probe;
  }
  long double root;
  if (previous == 0) {
    root = static_cast<long double>(N) / SearchCeiling;
  } else {
    long double a = previous;
    long double z = probe;
    while (std::fabs(a - z) > tol) {
      const long double m = a + (z - a) / 2;
      if (e > DistinctRatio(m)) {
        z = m;
      } else {
        a = m;
      }
    }
    root = z;
  }
  const long double upper = static_cast<long double>(N) / root;
  return FibonacciMinimise([K, N](long double x) { return reference::SchnabelObjective(K, N, x); }, lo,
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

Estimate PluginEstimate(const FrequencyTable& table, EstimateFlags& flags) {
  const int32_t n = table.n;
  const int32_t* f = table.f.data();
  if (n < 1 || n > MaxRestarts) {
    flags.overflow = true;
    return -1;
  }
  int32_t c = 2;
  while (c <= n && f[c] == 0) ++c;
  if (c == n + 1) {
    const Estimate p = FirstRepeatEstimate(WrapAdd(f[1], 1), flags);
    return flags.overflow ? -1 : p;
  }
  Estimate p = reference::SchnabelEstimate(WrapAdd(f[c], f[1]), WrapAdd(WrapMul(c, f[c]), f[1]), flags);
  if (flags.overflow) return -1;
  for (int32_t j = c + 1; j <= n; ++j) {
    if (f[j] <= 0) continue;
    p = WrapAdd(p, reference::SchnabelEstimate(f[j], WrapMul(j, f[j]), flags));
    if (flags.overflow) return -1;
  }
  return p;
}

double LcgNext(RandomState& state) {
  const long double t =
      (25173.0L * static_cast<long double>(state.value) + 13849.0L) / 65536.0L;
  const double stored_t = static_cast<double>(t);
  const long double fraction =
      static_cast<long double>(stored_t) - std::trunc(static_cast<long double>(stored_t));
  const double s = static_cast<double>(fraction * 65536.0L);
  state.value = static_cast<uint32_t>(s);
  return static_cast<double>(static_cast<long double>(s) / 65535.0L);
}

int32_t DrawIndex(RandomState& state, int32_t m) {
  for (;;) {
    const double u = reference::LcgNext(state);
    const int32_t i =
        static_cast<int32_t>(std::trunc(static_cast<long double>(m) * static_cast<long double>(u))) +
        1;
    if (i >= 1 && i <= m) return i;
  }
}

double BootstrapEstimate(const int32_t* f, int32_t k, int32_t n, Estimate M, int32_t B,
                         EstimateFlags& flags, RandomState& state) {
  if (n < 1 || n > MaxRestarts) {
    flags.inconsistent = true;
    return 0.0;
  }
  int64_t entries = 0;
  int64_t restarts = 0;
  for (int32_t j = 1; j <= n; ++j) {
    if (f[j] <= 0) continue;
    entries += f[j];
    restarts += static_cast<int64_t>(j) * f[j];
  }
  if (entries != k || entries > MaxRestarts || restarts < n) {
    flags.inconsistent = true;
    return 0.0;
  }
  // Running visit totals of the optima in ascending multiplicity.
  std::vector<int32_t> totals;
  int32_t total = 0;
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t e = 0; e < f[j]; ++e) totals.push_back(total += j);
  }
  std::vector<Estimate> cache(static_cast<size_t>(n) + 1, 0);
  double sum = 0.0;
  for (int32_t b = 1; b <= B; ++b) {
    std::vector<bool> seen(static_cast<size_t>(k) + 1, false);
    int32_t d = 0;
    for (int32_t draw = 0; draw < n; ++draw) {
      const int32_t r = reference::DrawIndex(state, n);
      // The optimum of restart r: the first whose running total reaches r.
      const size_t i = static_cast<size_t>(
          std::lower_bound(totals.begin(), totals.end(), r) - totals.begin());
      if (!seen[i]) ++d;
      seen[i] = true;
    }
    Estimate est = cache[static_cast<size_t>(d)];
    if (est == 0) {
      est = reference::SchnabelEstimate(d, n, flags);
      if (flags.overflow) return 0.0;
      cache[static_cast<size_t>(d)] = est;
    }
    const long double q = static_cast<long double>(WrapSub(est, M)) / static_cast<long double>(B);
    sum = static_cast<double>(static_cast<long double>(sum) + q);
  }
  return static_cast<double>(static_cast<long double>(M) - static_cast<long double>(sum));
}

}  // namespace frq::reference
