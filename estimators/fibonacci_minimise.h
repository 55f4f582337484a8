// Fibonacci section search for the minimum of an extended-real function.
#pragma once

#include <limits>

namespace frq {

// Minimises objective(x) over [lo, hi] (hi < lo is accepted) with stopping
// width tol > 0 and returns the midpoint of the last two probes. The
// objective is called exactly once per pass, in order; every operation is
// rounded to extended precision and the step lengths are carried only by
// their recurrence, as the census and first-repeat searches expect.
template <typename Objective>
long double FibonacciMinimise(Objective&& objective, long double lo, long double hi,
                              long double tol) {
  const long double two_tol = 2 * tol;
  long double f0 = 1;
  long double f1 = 1;
  const long double t = (hi - lo) / two_tol;
  // The infinity test only keeps a non-finite width from looping forever.
  while (f1 <= t && f1 < std::numeric_limits<long double>::infinity()) {
    const long double next = f0 + f1;
    f0 = f1;
    f1 = next;
  }
  long double d1 = (hi - lo) * (f0 / f1);
  long double d2 = (hi - lo) - d1;
  long double p = lo + d2;
  long double q = hi - d2;
  long double fp = objective(p);
  long double fq = objective(q);
  for (;;) {
    if (fq < fp) {
      lo = p;
      p = q;
      fp = fq;
      q = hi - (d1 - d2);
      fq = objective(q);
    } else {
      hi = q;
      q = p;
      fq = fp;
      p = lo + (d1 - d2);
      fp = objective(p);
    }
    // Written as "not at least 2 tol" so that a NaN step also ends the search.
    if (!(d1 >= two_tol)) return (p + q) / 2;
    const long double next_d2 = d1 - d2;
    d1 = d2;
    d2 = next_d2;
  }
}

}  // namespace frq
