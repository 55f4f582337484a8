#include "estimators/plugin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ios>
#include <memory>
#include <utility>
#include <vector>

#include "benchmarks/landscapes.h"
#include "estimators/estimate.h"
#include "estimators/ext_math.h"
#include "estimators/fibonacci_minimise.h"
#include "estimators/schnabel.h"
#include "input/frequency_table.h"

namespace frq {
namespace {

TEST(FirstRepeatEstimate, KnownAnswers) {
  // a = 2 and 3 end in the shrinking phase (just above a), the others in
  // the minimiser near the maximisers 3 + sqrt 3, 8.419, 41.771, 4916.777.
  struct Case {
    int32_t a;
    Estimate expected;
  };
  const Case cases[] = {{2, 2}, {3, 3}, {4, 5}, {5, 8}, {10, 42}, {100, 4917}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "a = " << c.a);
    EstimateFlags flags;
    EXPECT_EQ(FirstRepeatEstimate(c.a, flags), c.expected);
    EXPECT_FALSE(flags.overflow);
    EXPECT_FALSE(flags.inconsistent);
  }
}

TEST(FirstRepeatSearch, SmallDrawsEndInTheShrinkingPhase) {
  // For a = 2 the likelihood 1/x falls everywhere and for a = 3 it peaks at
  // 2, left of a: no probe beats F(a), and the search ends at a plus the
  // step halved past half the tolerance, 2^-12 and 3 x 2^-13.
  EXPECT_EQ(FirstRepeatSearch(2), 2 + 0x1p-12L) << std::hexfloat << FirstRepeatSearch(2);
  EXPECT_EQ(FirstRepeatSearch(3), 3 + 3 * 0x1p-13L) << std::hexfloat << FirstRepeatSearch(3);
}

TEST(FirstRepeatEstimate, FirstDrawRepeatingIsZeroAndLeavesTheMarks) {
  for (const bool before : {false, true}) {
    SCOPED_TRACE(testing::Message() << "marks before " << before);
    EstimateFlags flags{before, before};
    EXPECT_EQ(FirstRepeatEstimate(1, flags), 0);
    EXPECT_EQ(flags.overflow, before);
    EXPECT_EQ(flags.inconsistent, before);
  }
}

TEST(FirstRepeatEstimate, RefusesDrawsNoTableCanHold) {
  for (const int32_t a : {0, -3, 30002, 2147483647}) {
    SCOPED_TRACE(testing::Message() << "a = " << a);
    EstimateFlags flags;
    EXPECT_EQ(FirstRepeatEstimate(a, flags), -1);
    EXPECT_TRUE(flags.overflow);
    EXPECT_FALSE(flags.inconsistent);
  }
}

TEST(FirstRepeatEstimate, LargestDrawEndsBelowOverflow) {
  // a = 30001 (30000 singletons): the expanding phase stops at the bracket
  // [245798193, 983102769], whose upper end lies below OverflowLimit.
  EstimateFlags flags;
  const Estimate estimate = FirstRepeatEstimate(30001, flags);
  EXPECT_FALSE(flags.overflow);
  EXPECT_GE(estimate, 245798193);
  EXPECT_LE(estimate, 983102769);
}

// ln((a-1)/x (x-1)/x ... (x-(a-2))/x) with one Ln per term: ln(x - i) added
// for i = 1, 2, ..., a - 2 from 0, then ln(a - 1), then (a - 1) ln x taken off.
long double ReferenceLogLikelihood(int32_t a, long double x) {
  long double s = 0;
  for (int32_t i = 1; i <= a - 2; ++i) s = s + Ln(x - static_cast<long double>(i));
  const long double t = s + Ln(static_cast<long double>(a - 1));
  return t - static_cast<long double>(a - 1) * Ln(x);
}

TEST(FirstRepeatLogLikelihood, AddsTheTermsInTheStatedOrder) {
  // For (5, 7.5) and (8, 12) the sum added the other way round differs in
  // the last bit. For a = 2 the sum is empty and ln 1 = 0: -ln x.
  struct Case {
    int32_t a;
    long double x;
  };
  const Case cases[] = {{2, 5.25L}, {4, 7.5L}, {5, 7.5L}, {8, 12}, {100, 4916.777L}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "a = " << c.a << ", x = " << c.x);
    const long double expected = ReferenceLogLikelihood(c.a, c.x);
    const long double actual = FirstRepeatLogLikelihood(c.a, c.x);
    EXPECT_EQ(actual, expected) << std::hexfloat << actual << " vs " << expected;
    EXPECT_EQ(FirstRepeatObjective(c.a, c.x), 1 - expected);
  }
  EXPECT_EQ(FirstRepeatLogLikelihood(2, 5.25L), -Ln(5.25L));
}

TEST(FirstRepeatObjective, IsLowestAtTheLikelihoodMaximum) {
  // Minimised over the brackets the expanding phase finds, the objective
  // ends at the maximisers of the first-repeat likelihood (to the
  // minimiser's width of about 2 tol).
  struct Case {
    int32_t a;
    long double lo, hi, maximiser;
  };
  const Case cases[] = {
      {4, 4, 6, 3 + std::sqrt(3.0L)},
      {5, 5, 15, 8.419L},
      {10, 30, 90, 41.771L},
      {100, 3300, 12900, 4916.777L},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "a = " << c.a);
    const long double x = FibonacciMinimise(
        [&](long double y) { return FirstRepeatObjective(c.a, y); }, c.lo, c.hi, SearchTolerance);
    EXPECT_LE(std::fabs(x - c.maximiser), 0.003L) << std::hexfloat << x;
  }
}

Estimate Census(int32_t K, int32_t N) {
  EstimateFlags flags;
  const Estimate estimate = SchnabelEstimate(K, N, flags);
  EXPECT_FALSE(flags.overflow) << "K = " << K << ", N = " << N;
  return estimate;
}

TEST(PluginEstimate, SumsTheClassEstimates) {
  struct Case {
    const char* label;
    std::unique_ptr<FrequencyTable> table;
    Estimate expected;
  };
  Case cases[] = {
      // No optimum visited twice: the first-repeat estimate of f[1] + 1.
      {"n = 1, one singleton", TableOf(1, {{1, 1}}), 2},
      {"n = 2, two singletons", TableOf(2, {{1, 2}}), 3},
      {"n = 4, four singletons", TableOf(4, {{1, 4}}), 8},
      {"n = 9, nine singletons", TableOf(9, {{1, 9}}), 42},
      // Nothing counted within 1..n (a class line above n): a = 1.
      {"n = 3, nothing counted", TableOf(3, {}), 0},
      // One class, no singletons.
      {"n = 6, two optima visited 3 times", TableOf(6, {{3, 2}}), Census(2, 6)},
      {"n = 20, ten optima visited twice", TableOf(20, {{2, 10}}), 12},
      // Singletons join the lowest repeated class: (2 + 1, 2 + 2) = (3, 4).
      {"n = 10, f1 = 2, f2 = 1, f3 = 2", TableOf(10, {{1, 2}, {2, 1}, {3, 2}}), 5 + Census(2, 6)},
      // An empty class below the first repeated one is passed over.
      {"n = 7, f1 = 1, f3 = 2", TableOf(7, {{1, 1}, {3, 2}}), Census(3, 7)},
      // f[1] = 0: the lowest repeated class alone, (1, 2) gives 1.
      {"n = 8, f2 = 1, f3 = 2", TableOf(8, {{2, 1}, {3, 2}}), 1 + Census(2, 6)},
      // A later class of one optimum adds exactly 1: (3, 4) gives 5.
      {"n = 11, f1 = 2, f2 = 1, f7 = 1", TableOf(11, {{1, 2}, {2, 1}, {7, 1}}), 6},
      // A later negative count is skipped without a census.
      {"n = 10, f1 = 2, f2 = 1, f5 = -3", TableOf(10, {{1, 2}, {2, 1}, {5, -3}}), 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EstimateFlags flags;
    EXPECT_EQ(PluginEstimate(*c.table, flags), c.expected);
    EXPECT_FALSE(flags.overflow);
    EXPECT_FALSE(flags.inconsistent);
  }
}

TEST(PluginEstimate, OverflowStopsTheSum) {
  struct Case {
    const char* label;
    std::unique_ptr<FrequencyTable> table;
  };
  Case cases[] = {
      // First-repeat path: a = 40001 lies beyond the census limits.
      {"n = 10, f1 = 40000", TableOf(10, {{1, 40000}})},
      // First class (40001, 40002) beyond the census limits; the later
      // classes are not reached.
      {"n = 10, f1 = 40000, f2 = 1, f3 = 1", TableOf(10, {{1, 40000}, {2, 1}, {3, 1}})},
      // First class (0, -1): a negative count is not zero, so class 2 is the
      // lowest repeated class, with no census.
      {"n = 2, f1 = 1, f2 = -1", TableOf(2, {{1, 1}, {2, -1}})},
      // A later class beyond the limits: (7000, 35000).
      {"n = 10, f2 = 1, f5 = 7000", TableOf(10, {{2, 1}, {5, 7000}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EstimateFlags flags;
    EXPECT_EQ(PluginEstimate(*c.table, flags), -1);
    EXPECT_TRUE(flags.overflow);
    EXPECT_FALSE(flags.inconsistent);
  }
}

}  // namespace
}  // namespace frq
