#include "estimators/schnabel.h"

#include <cmath>

#include "estimators/ext_math.h"
#include "estimators/fibonacci_minimise.h"
#include "estimators/integer_log.h"

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

namespace {

// The likelihood at the integer b = Round(x); the logarithms come from the
// integer table, summed in the same upward order.
long double LogLikelihoodAt(int32_t K, int32_t N, int64_t b) {
  const long double s = SumOfIntegerLogs(b - K + 1, b);
  return s - static_cast<long double>(N) * IntegerLog(b);
}

// The objective depends on x only through b = Round(x), and the search
// probes the same b again and again once its bracket is narrow: every b is
// evaluated once per search and its value reused.
class MemoisedObjective {
 public:
  MemoisedObjective(int32_t K, int32_t N) : K_(K), N_(N) {}

  long double operator()(long double x) {
    const int64_t b = Round(x);
    for (int i = 0; i < count_; ++i) {
      if (integers_[i] == b) return values_[i];
    }
    const long double value = 1 - LogLikelihoodAt(K_, N_, b);
    if (count_ < Capacity) {
      integers_[count_] = b;
      values_[count_] = value;
      ++count_;
    }
    return value;
  }

 private:
  // A search makes at most about 60 evaluations; beyond the capacity values
  // are simply recomputed.
  static constexpr int Capacity = 96;
  int32_t K_;
  int32_t N_;
  int count_ = 0;
  int64_t integers_[Capacity];
  long double values_[Capacity];
};

// DistinctRatio at the j-th doubling probe tol 2^j. For the search tolerance
// these probes are the same in every search, so their ratios are kept.
long double DoublingRatio(long double tol, int j, long double probe) {
  constexpr int Kept = 64;
  static long double ratios[Kept];
  static bool known[Kept];
  if (tol != SearchTolerance || j >= Kept) return DistinctRatio(probe);
  if (!known[j]) {
    ratios[j] = DistinctRatio(probe);
    known[j] = true;
  }
  return ratios[j];
}

}  // namespace

long double SchnabelLogLikelihood(int32_t K, int32_t N, long double x) {
  return LogLikelihoodAt(K, N, Round(x));
}

long double SchnabelObjective(int32_t K, int32_t N, long double x) {
  return 1 - SchnabelLogLikelihood(K, N, x);
}

long double SchnabelSearch(int32_t K, int32_t N, long double tol, long double lo) {
  const long double e = static_cast<long double>(K) / static_cast<long double>(N);
  // Doubling: the first probe whose ratio falls below e closes the bracket.
  long double previous = 0;
  long double probe = tol;
  for (int j = 0; !(DoublingRatio(tol, j, probe) < e); ++j) {
    previous = probe;
    probe = 2 * probe;
  }
  const long double root = previous == 0
                               ? static_cast<long double>(N) / SearchCeiling
                               : DistinctRatioRoot(previous, probe, e, tol);
  const long double upper = static_cast<long double>(N) / root;
  MemoisedObjective objective(K, N);
  return FibonacciMinimise(objective, lo, upper, tol);
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
