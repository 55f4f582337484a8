#include "estimators/bootstrap.h"

#include <algorithm>
#include <vector>

#include "estimators/ext_math.h"
#include "estimators/schnabel.h"

namespace frq {

double BootstrapEstimate(const int32_t* f, int32_t k, int32_t n, Estimate M, int32_t B,
                         EstimateFlags& flags, RandomState& state) {
  if (n < 1 || n > MaxRestarts) {
    flags.inconsistent = true;
    return 0.0;
  }
  // Count the visit list before building it, without overflow, so that no
  // table can overrun the working tables.
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

  // Running visit totals of the optima in ascending multiplicity: restart r
  // selects the first optimum whose total reaches r.
  std::vector<int32_t> totals;
  totals.reserve(static_cast<size_t>(entries));
  int32_t total = 0;
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t e = 0; e < f[j]; ++e) {
      total += j;
      totals.push_back(total);
    }
  }
  std::vector<char> seen(static_cast<size_t>(k) + 1);
  std::vector<Estimate> cache(static_cast<size_t>(n) + 1, 0);

  const long double replicates = static_cast<long double>(B);
  double sum = 0.0;
  for (int32_t b = 1; b <= B; ++b) {
    std::fill(seen.begin(), seen.end(), 0);
    int32_t d = 0;
    for (int32_t draw = 0; draw < n; ++draw) {
      const int32_t r = DrawIndex(state, n);
      const size_t i = static_cast<size_t>(std::lower_bound(totals.begin(), totals.end(), r) -
                                           totals.begin());
      if (!seen[i]) ++d;
      seen[i] = 1;
    }
    Estimate est = cache[static_cast<size_t>(d)];
    if (est == 0) {
      est = SchnabelEstimate(d, n, flags);
      if (flags.overflow) return 0.0;
      cache[static_cast<size_t>(d)] = est;
    }
    const long double q = static_cast<long double>(WrapSub(est, M)) / replicates;
    sum = static_cast<double>(static_cast<long double>(sum) + q);
  }
  return static_cast<double>(static_cast<long double>(M) - static_cast<long double>(sum));
}

}  // namespace frq
