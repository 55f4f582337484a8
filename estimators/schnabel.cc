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

// The first doubling probe whose ratio falls below e, and the one before it
// (0 when the first probe already does: the ceiling path).
void DoublingBracket(long double e, long double tol, long double& previous, long double& probe) {
  previous = 0;
  probe = tol;
  for (int j = 0; !(DoublingRatio(tol, j, probe) < e); ++j) {
    previous = probe;
    probe = 2 * probe;
  }
}

// True when the search is certain to end at K without running it: when the
// interval [K, M0] lies inside (K - 1/2, K + 1/2) with room to spare, every
// probe of the minimiser rounds to K, the objective is the same at all of
// them, and the result rounds to K. This is the common case N >= 10 K.
//
// M0 = N / R needs R, the end of a bisection of extended ratios; instead of
// running it, the root r of the ratio is found in double precision and
// certified: below r (1 - 1e-9) every extended ratio is at least e, above
// r (1 + 1e-9) every one is below e. Both checks allow 1e-13 of relative
// error, against at most about 1e-15 for the double and extended ratios (the
// extended one loses up to 1/x units of its exponential near small x). So R
// lies in (r (1 - 1e-9), r (1 + 1e-9) + tol]. When a check fails the search
// runs as usual.
//
// Over an interval narrower than 1/2 the minimiser makes at most about 15
// passes, and its rounding moves a probe outside the interval by far less
// than 1e-10 (errors of an ulp of K, at most 2^-49, grow by 1.62 a pass), so
// a margin of 1e-6 from the half-integers is ample.
bool SearchEndsAtK(int32_t K, int32_t N) {
  const long double tol = SearchTolerance;
  const long double e = static_cast<long double>(K) / static_cast<long double>(N);
  long double previous;
  long double probe;
  DoublingBracket(e, tol, previous, probe);
  if (previous == 0) return false;

  // Newton's method on the convex, falling ratio. For small e the root is
  // close to (1 - e^(-1/e)) / e, otherwise it starts from the bracket's lower
  // end, left of the root, where the iterates rise monotonically.
  const double target = static_cast<double>(e);
  double x = target < 0.25 ? -std::expm1(-1 / target) / target : static_cast<double>(previous);
  for (int i = 0; i < 60; ++i) {
    const double decay = std::expm1(-x);
    const double excess = -decay / x - target;
    const double slope = ((decay + 1) * (1 + x) - 1) / (x * x);
    if (!(slope < 0)) return false;
    const double next = x - excess / slope;
    if (!std::isfinite(next) || !(next > 0)) return false;
    const bool settled = std::fabs(next - x) <= 1e-13 * x;
    x = next;
    if (settled) break;
  }
  const double below = x * (1 - 1e-9);
  const double above = x * (1 + 1e-9);
  const auto ratio = [](double m) { return static_cast<long double>(-std::expm1(-m) / m); };
  if (!(ratio(below) * (1 - 1e-13L) > e)) return false;
  if (!(ratio(above) * (1 + 1e-13L) < e)) return false;

  const long double n = static_cast<long double>(N);
  const long double highest_m0 = n / static_cast<long double>(below) * (1 + 1e-15L);
  const long double lowest_m0 =
      n / (static_cast<long double>(above) + tol * (1 + 1e-15L)) * (1 - 1e-15L);
  const long double k = static_cast<long double>(K);
  constexpr long double Margin = 1e-6L;
  return highest_m0 < k + 0.5L - Margin && lowest_m0 > k - 0.5L + Margin;
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
  long double previous;
  long double probe;
  DoublingBracket(e, tol, previous, probe);
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
  if (SearchEndsAtK(K, N)) return K;
  const long double x = SchnabelSearch(K, N, SearchTolerance, static_cast<long double>(K));
  if (x < OverflowLimit) return Round(x);
  flags.overflow = true;
  return -1;
}

}  // namespace frq
