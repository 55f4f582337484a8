#include "estimators/fibonacci_minimise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ios>
#include <iterator>
#include <vector>

#include "estimators/estimate.h"

namespace frq {
namespace {

// GoogleTest's EXPECT_NEAR works in double; this keeps the extended value.
testing::AssertionResult IsNear(long double actual, long double expected, long double tolerance) {
  if (std::fabs(actual - expected) <= tolerance) return testing::AssertionSuccess();
  return testing::AssertionFailure() << std::hexfloat << actual << " is not within " << tolerance
                                     << " of " << expected;
}

enum class Shape { Constant, Rising, Falling };

// Runs the search with tol = SearchTolerance on an objective of the given
// shape and keeps every point it was evaluated at, in order.
struct Search {
  long double result;
  std::vector<long double> probes;
};

Search Minimise(Shape shape, long double lo, long double hi) {
  Search run;
  const auto objective = [&](long double x) -> long double {
    run.probes.push_back(x);
    switch (shape) {
      case Shape::Constant:
        return 5;
      case Shape::Rising:
        return x;
      case Shape::Falling:
        return -x;
    }
    return 0;
  };
  run.result = FibonacciMinimise(objective, lo, hi, SearchTolerance);
  return run;
}

TEST(FibonacciMinimise, CountsEvaluationsAndEndsWhereTheStepsSay) {
  // [0, 1]: T is just above 625, F0 = 610, F1 = 987 = Fib(16): 16
  // evaluations, the first probes at 377/987 and 610/987, and the last
  // bracket of length 2/987 ends a quarter above its lower end (1/1974) when
  // every pass moves down, a quarter below its upper end when every pass
  // moves up. Those values hold up to the rounding of the step recurrence,
  // some 10^-17 after 16 passes.
  //
  // Widths below 2 tol (T < 1, reversed intervals included) probe lo and hi
  // themselves and then the other end again, recomputed exactly here (the
  // width hi - lo is exact), so the result is exactly the rounded midpoint.
  // [0, 0.002]: T = 1.25, F1 = 2, both first probes at 0.001 tie, the
  // bracket moves down to [0, 0.001], the new probe is 0 and the result is
  // exactly 0.0005.
  struct Case {
    const char* label;
    Shape shape;
    long double lo, hi;
    size_t evaluations;
    long double first_p, first_q;
    long double expected;
    long double tolerance;  // 0: exact
  };
  const long double w = 987;  // Fib(16)
  const long double d = 0.002L;
  const Case cases[] = {
      {"[0,1] constant", Shape::Constant, 0, 1, 16, 377 / w, 610 / w, 1 / (2 * w), 1e-15L},
      {"[0,1] x", Shape::Rising, 0, 1, 16, 377 / w, 610 / w, 1 / (2 * w), 1e-15L},
      {"[0,1] -x", Shape::Falling, 0, 1, 16, 377 / w, 610 / w, 1 - 1 / (2 * w), 1e-15L},
      {"[0,0.002] constant", Shape::Constant, 0, d, 3, d / 2, d / 2, d / 4, 0},
      // T = 1 exactly is not below 1: F1 = 2, as for [0, 0.002].
      {"[0,2 tol] constant", Shape::Constant, 0, 2 * SearchTolerance, 3, SearchTolerance,
       SearchTolerance, SearchTolerance / 2, 0},
      {"[2,2.001] constant", Shape::Constant, 2, 2.001L, 3, 2, 2.001L, (2 + 2.001L) / 2, 0},
      {"[2,2.001] -x", Shape::Falling, 2, 2.001L, 3, 2, 2.001L, (2 + 2.001L) / 2, 0},
      {"[2,1.9999968] constant", Shape::Constant, 2, 1.9999968L, 3, 2, 1.9999968L,
       (2 + 1.9999968L) / 2, 0},
      {"[2,1.9999968] x", Shape::Rising, 2, 1.9999968L, 3, 2, 1.9999968L, (2 + 1.9999968L) / 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Search run = Minimise(c.shape, c.lo, c.hi);
    ASSERT_EQ(run.probes.size(), c.evaluations);
    // p (from lo) is evaluated before q (from hi).
    EXPECT_TRUE(IsNear(run.probes[0], c.first_p, 1e-18L));
    EXPECT_TRUE(IsNear(run.probes[1], c.first_q, 1e-18L));
    if (c.tolerance == 0) {
      EXPECT_EQ(run.result, c.expected) << std::hexfloat << run.result;
    } else {
      EXPECT_TRUE(IsNear(run.result, c.expected, c.tolerance));
    }
  }
}

// Probes of [0, 1] in units of 1/987 when every pass moves down: p and q,
// then each new p at lo + (d1 - d2), the Fibonacci numbers downwards. The
// 15th lands on q itself (d1 = d2 = 1/987), and the last on lo.
constexpr int ProbeUnits[] = {377, 610, 233, 144, 89, 55, 34, 21, 13, 8, 5, 3, 2, 1, 1, 0};

TEST(FibonacciMinimise, TiesMoveTheBracketDown) {
  // A constant objective ties at every pass, the coinciding probes of the
  // last pass too; the result is the midpoint of the last two probes, 0 and
  // about 1/987. A rising objective makes the same decisions.
  for (const Shape shape : {Shape::Constant, Shape::Rising}) {
    SCOPED_TRACE(shape == Shape::Constant ? "constant" : "x");
    const Search run = Minimise(shape, 0, 1);
    ASSERT_EQ(run.probes.size(), std::size(ProbeUnits));
    for (size_t i = 0; i < run.probes.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_TRUE(IsNear(run.probes[i], ProbeUnits[i] / 987.0L, 1e-15L));
    }
    EXPECT_EQ(run.result, (run.probes[15] + run.probes[14]) / 2) << std::hexfloat << run.result;
  }
}

TEST(FibonacciMinimise, StrictlyLowerUpperProbeMovesTheBracketUp) {
  // -x: every pass moves up and places its new q at hi - (d1 - d2), the
  // mirror image of the probes above; the last pass moves up too, because
  // its probes differ by a few units in the last place with q the higher.
  const Search run = Minimise(Shape::Falling, 0, 1);
  ASSERT_EQ(run.probes.size(), std::size(ProbeUnits));
  for (size_t i = 0; i < run.probes.size(); ++i) {
    SCOPED_TRACE(i);
    const long double expected = i < 2 ? ProbeUnits[i] / 987.0L : 1 - ProbeUnits[i] / 987.0L;
    EXPECT_TRUE(IsNear(run.probes[i], expected, 1e-15L));
  }
  EXPECT_EQ(run.result, (run.probes[14] + run.probes[15]) / 2) << std::hexfloat << run.result;
}

}  // namespace
}  // namespace frq
