#include "estimators/schnabel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ios>
#include <vector>

#include "estimators/estimate.h"
#include "estimators/ext_math.h"
#include "estimators/fibonacci_minimise.h"

namespace frq {
namespace {

constexpr long double Tol = SearchTolerance;

// GoogleTest's EXPECT_NEAR works in double; this keeps the extended value.
testing::AssertionResult IsNear(long double actual, long double expected, long double tolerance) {
  if (std::fabs(actual - expected) <= tolerance) return testing::AssertionSuccess();
  return testing::AssertionFailure() << std::hexfloat << actual << " is not within " << tolerance
                                     << " of " << expected;
}

// The first two stages of the census search, step by step: the doubling
// bracket from tol, the root of the distinct ratio (N / SearchCeiling when
// the first probe already falls below K / N) and the upper end M0 = N / R.
struct UpperEnd {
  long double previous = 0;
  long double probe = Tol;
  long double root;
  long double m0;
};

UpperEnd UpperEndOf(int32_t K, int32_t N) {
  const long double e = static_cast<long double>(K) / static_cast<long double>(N);
  UpperEnd u;
  while (!(DistinctRatio(u.probe) < e)) {
    u.previous = u.probe;
    u.probe = 2 * u.probe;
  }
  u.root = u.previous == 0 ? static_cast<long double>(N) / SearchCeiling
                           : DistinctRatioRoot(u.previous, u.probe, e, Tol);
  u.m0 = static_cast<long double>(N) / u.root;
  return u;
}

// ln(b!/(b-K)!) - N ln b with one Ln per term, added upwards from 0.
long double ReferenceLogLikelihood(int32_t K, int32_t N, int64_t b) {
  long double s = 0;
  for (int64_t c = b - K + 1; c <= b; ++c) s = s + Ln(static_cast<long double>(c));
  return s - static_cast<long double>(N) * Ln(static_cast<long double>(b));
}

TEST(SchnabelEstimate, KnownAnswers) {
  // K = 10, N = 20 and K = 20, N = 40 are decided by the minimiser's tie
  // rule; K = 2, N = 1000 by the reversed interval; 3000 in 30000 by
  // N >= 10 K (the estimate is K); 2600 in 2601 takes the ceiling path
  // without overflowing.
  struct Case {
    int32_t K, N;
    Estimate expected;
  };
  const Case cases[] = {
      {1, 1, 1},     {1, 2, 1},       {1, 1000, 1}, {1, 30000, 1},       {2, 3, 2},
      {10, 20, 12},  {20, 40, 23},    {3, 4, 5},    {5, 10, 5},          {7, 10, 12},
      {50, 100, 62}, {100, 200, 125}, {2, 1000, 2}, {3000, 30000, 3000}, {2600, 2601, 3380432},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "K = " << c.K << ", N = " << c.N);
    EstimateFlags flags;
    EXPECT_EQ(SchnabelEstimate(c.K, c.N, flags), c.expected);
    EXPECT_FALSE(flags.overflow);
    EXPECT_FALSE(flags.inconsistent);
  }
}

TEST(SchnabelEstimate, SingleOptimumIsOneAndLeavesTheMarks) {
  // K = 1 returns before anything else, whatever N is, the census limits
  // included, and the marks keep the values they had.
  for (const int32_t N : {1, 7, 0, -3, 40000}) {
    for (const bool before : {false, true}) {
      SCOPED_TRACE(testing::Message() << "N = " << N << ", marks before " << before);
      EstimateFlags flags{before, before};
      EXPECT_EQ(SchnabelEstimate(1, N, flags), 1);
      EXPECT_EQ(flags.overflow, before);
      EXPECT_EQ(flags.inconsistent, before);
    }
  }
}

TEST(SchnabelEstimate, OverflowMarksWhatNoCensusCanHold) {
  struct Case {
    const char* label;
    int32_t K, N;
  };
  const Case cases[] = {
      // Every optimum found once: the likelihood rises towards the ceiling.
      {"K = N = 20", 20, 20},
      {"K = N = 100", 100, 100},
      {"K = N = 30000", 30000, 30000},
      // More distinct optima than restarts: ln(M!/(M-K)!) - N ln M rises
      // strictly in M (its step exceeds (K - N) ln((M+1)/M) > 0), so the
      // search climbs to the ceiling as for K = N.
      {"K = 5, N = 3", 5, 3},
      {"K = 29, N = 28", 29, 28},
      {"K = 3000, N = 2", 3000, 2},
      // Outside the census: no likelihood, refused without a search.
      {"K = 0", 0, 10},
      {"K = -5", -5, 10},
      {"N = 0", 2, 0},
      {"N = -1", 2, -1},
      {"K = 30001", 30001, 30000},
      {"N = 30001", 2, 30001},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EstimateFlags flags;
    SchnabelEstimate(c.K, c.N, flags);
    EXPECT_TRUE(flags.overflow);
    EXPECT_FALSE(flags.inconsistent);
  }
}

TEST(SchnabelEstimate, FlatLikelihoodOnTheCeilingPathStaysBelowOverflow) {
  // 29989 distinct in 30000: the ceiling path, with the likelihood highest
  // near 4.09e7. Its last digits hang on the last bits of the platform's
  // logarithm; the band allows for that (the likelihood is so flat there
  // that a change of 1e-9 in the objective moves its minimum by hundreds).
  EstimateFlags flags;
  const Estimate estimate = SchnabelEstimate(29989, 30000, flags);
  EXPECT_FALSE(flags.overflow);
  EXPECT_NEAR(estimate, 40897729, 2000);
}

TEST(SchnabelSearch, MinimisesOverTheBracketOfTheDistinctRatio) {
  // The search result is the minimiser's on [K, M0], M0 from the doubling
  // and the bisection, to the last bit.
  struct Case {
    int32_t K, N;
  };
  const Case cases[] = {{2, 3}, {3, 4}, {10, 20}, {20, 40}, {7, 10}, {2, 1000}, {2600, 2601}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "K = " << c.K << ", N = " << c.N);
    const long double lo = static_cast<long double>(c.K);
    const long double expected = FibonacciMinimise(
        [&](long double x) { return SchnabelObjective(c.K, c.N, x); }, lo, UpperEndOf(c.K, c.N).m0,
        Tol);
    const long double x = SchnabelSearch(c.K, c.N, Tol, lo);
    EXPECT_EQ(x, expected) << std::hexfloat << x << " vs " << expected;
  }
}

TEST(SchnabelSearch, TwoInThree) {
  const UpperEnd u = UpperEndOf(2, 3);
  EXPECT_TRUE(IsNear(u.m0, 3.4309241L, 5e-8L));
  const long double x = SchnabelSearch(2, 3, Tol, 2);
  EXPECT_TRUE(IsNear(x, 2.0007249L, 5e-8L));
}

TEST(SchnabelSearch, TenInTwentyNeedsTheEleventhHalving) {
  // The doubling stops at its twelfth probe, 2048 tol. The bracket between
  // 1992 tol and 1993 tol comes out one unit above tol wide, so the
  // bisection halves it once more: R is about 1992.5 tol, not 1993 tol.
  const UpperEnd u = UpperEndOf(10, 20);
  EXPECT_EQ(u.previous, 1024 * Tol) << std::hexfloat << u.previous;
  EXPECT_EQ(u.probe, 2048 * Tol) << std::hexfloat << u.probe;
  EXPECT_TRUE(IsNear(u.root, 1992.5L * Tol, 1e-15L));
  EXPECT_TRUE(IsNear(u.m0, 12.5470514L, 5e-8L));
  const long double x = SchnabelSearch(10, 20, Tol, 10);
  EXPECT_TRUE(IsNear(x, 11.5000012L, 5e-8L));
  EXPECT_EQ(Round(x), 12);

  // With R one halving earlier, M0 = 20 / (1993 tol) and the search would
  // end below 11.5.
  const long double early_m0 = 20 / (1993 * Tol);
  EXPECT_TRUE(IsNear(early_m0, 12.5439037L, 5e-8L));
  const long double early_x = FibonacciMinimise(
      [](long double y) { return SchnabelObjective(10, 20, y); }, 10, early_m0, Tol);
  EXPECT_TRUE(IsNear(early_x, 11.49974L, 5e-6L));
}

TEST(SchnabelSearch, TwentyInFortyEndsBelowTheMostLikelyStep) {
  const UpperEnd u = UpperEndOf(20, 40);
  EXPECT_TRUE(IsNear(u.m0, 25.0941029L, 5e-8L));
  // The likelihood is highest at b = 24 ...
  EXPECT_TRUE(IsNear(SchnabelObjective(20, 40, 23), 76.6049L, 5e-5L));
  EXPECT_TRUE(IsNear(SchnabelObjective(20, 40, 24), 76.5155L, 5e-5L));
  EXPECT_TRUE(IsNear(SchnabelObjective(20, 40, 25), 76.5389L, 5e-5L));
  // ... but the last two probes straddle 23.5 and the midpoint lies below.
  std::vector<long double> probes;
  FibonacciMinimise(
      [&](long double x) {
        probes.push_back(x);
        return SchnabelObjective(20, 40, x);
      },
      20, u.m0, Tol);
  ASSERT_GE(probes.size(), 2u);
  const long double last = probes[probes.size() - 1];
  const long double before_last = probes[probes.size() - 2];
  EXPECT_TRUE(IsNear(std::fmin(last, before_last), 23.4992259L, 5e-8L));
  EXPECT_TRUE(IsNear(std::fmax(last, before_last), 23.5004443L, 5e-8L));
  const long double x = SchnabelSearch(20, 40, Tol, 20);
  EXPECT_TRUE(IsNear(x, 23.4998351L, 5e-8L));
  EXPECT_EQ(Round(x), 23);
}

TEST(SchnabelSearch, TwoInThousandGetsAReversedInterval) {
  // With the truncated tol the root lands on 625001 tol = 500.0008, just
  // above 500 (625000 tol rounds to a ratio equal to K / N, which moves a);
  // with 0.0008 rounded to nearest it would be 500.0000. M0 then lies
  // below K, and the minimiser returns the midpoint of [2, M0] exactly.
  const UpperEnd u = UpperEndOf(2, 1000);
  EXPECT_TRUE(IsNear(u.root, 500.0008L, 1e-12L));
  EXPECT_TRUE(IsNear(u.m0, 1.9999968L, 5e-8L));
  const long double x = SchnabelSearch(2, 1000, Tol, 2);
  EXPECT_EQ(x, (2 + u.m0) / 2) << std::hexfloat << x;
  EXPECT_TRUE(IsNear(x, 1.9999984L, 5e-8L));
}

TEST(DistinctRatio, DecidesTheCeilingPath) {
  // The ceiling path is taken exactly when K / N > DistinctRatio(tol): for
  // N = 30000 from K = 29989 on, for N = 2500 only when K >= N.
  const long double at_tol = DistinctRatio(Tol);
  EXPECT_TRUE(IsNear(at_tol, 0.99960011L, 5e-9L));
  EXPECT_LT(29988.0L / 30000, at_tol);
  EXPECT_GT(29989.0L / 30000, at_tol);
  EXPECT_LT(2499.0L / 2500, at_tol);
  const UpperEnd ceiling = UpperEndOf(29989, 30000);
  EXPECT_EQ(ceiling.previous, 0);
  EXPECT_GE(ceiling.m0, std::nextafter(SearchCeiling, 0.0L)) << std::hexfloat << ceiling.m0;
  EXPECT_LE(ceiling.m0, SearchCeiling) << std::hexfloat << ceiling.m0;
  EXPECT_NE(UpperEndOf(29988, 30000).previous, 0);
}

TEST(DistinctRatioRoot, StopsOnceTheBracketIsTolWide) {
  // 2499 in 2500: the doubling stops at its second probe, and the bracket
  // [tol, 2 tol] is exactly tol wide, so no halving follows and R = 2 tol.
  const UpperEnd u = UpperEndOf(2499, 2500);
  EXPECT_EQ(u.previous, Tol);
  EXPECT_EQ(u.probe, 2 * Tol);
  EXPECT_EQ(u.root, 2 * Tol) << std::hexfloat << u.root;
  // One unit wider, and it halves once: the midpoint's ratio (about
  // 0.99940) lies below 2499/2500, so R is the midpoint.
  const long double wider = std::nextafter(2 * Tol, 1.0L);
  const long double root = DistinctRatioRoot(Tol, wider, 2499.0L / 2500, Tol);
  EXPECT_EQ(root, Tol + (wider - Tol) / 2) << std::hexfloat << root;
}

TEST(DistinctRatio, IsTheReciprocalOnceTheExponentialVanishes) {
  // Above about 45, 1 - e^-x rounds to 1.
  for (const long double x : {50.0L, 500.0L, 524288 * Tol, 26843.5456L}) {
    SCOPED_TRACE(testing::Message() << x);
    EXPECT_EQ(DistinctRatio(x), 1 / x) << std::hexfloat << DistinctRatio(x);
  }
}

TEST(SchnabelLogLikelihood, SumsOneLogarithmPerTermUpwardsAtTheRoundedArgument) {
  // b = Round(x), ties to even; the terms ln(b - K + 1) ... ln b added in
  // increasing order, then N ln b subtracted.
  struct Case {
    int32_t K, N;
    long double x;
    int64_t b;
  };
  const Case cases[] = {
      {3, 4, 4.5L, 4},
      {3, 4, 5.5L, 6},
      {3, 4, 4.4999L, 4},
      {20, 40, 23.5004443L, 24},
      {10, 20, 11.5000012L, 12},
      {2, 1000, 1.9999984L, 2},
      {2600, 2601, 3380432.3L, 3380432},
      {20, 20, 1073741821.4L, 1073741821},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "K = " << c.K << ", N = " << c.N << ", x = " << c.x);
    const long double expected = ReferenceLogLikelihood(c.K, c.N, c.b);
    const long double actual = SchnabelLogLikelihood(c.K, c.N, c.x);
    EXPECT_EQ(actual, expected) << std::hexfloat << actual << " vs " << expected;
    EXPECT_EQ(SchnabelObjective(c.K, c.N, c.x), 1 - expected);
  }
}

TEST(SchnabelLogLikelihood, MatchesTheTermByTermSumOnDeterministicInputs) {
  // Arguments spread over the census range and up to the ceiling, each
  // taken twice so that a value kept from an earlier call is checked too.
  uint32_t seed = 12345;
  const auto next = [&seed](uint32_t bound) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % bound;
  };
  for (int round = 0; round < 2; ++round) {
    seed = 12345;
    for (int i = 0; i < 150; ++i) {
      const int32_t K = 2 + static_cast<int32_t>(next(2000));
      const int32_t N = K + static_cast<int32_t>(next(30001 - static_cast<uint32_t>(K)));
      const int64_t span = i % 3 == 0 ? 1073741000 : 100000;
      const int64_t b = K + static_cast<int64_t>(next(static_cast<uint32_t>(span)));
      const long double x = static_cast<long double>(b) + 0.25L * (static_cast<int>(next(3)) - 1);
      SCOPED_TRACE(testing::Message() << "K = " << K << ", N = " << N << ", b = " << b);
      const long double expected = ReferenceLogLikelihood(K, N, b);
      const long double actual = SchnabelLogLikelihood(K, N, x);
      ASSERT_EQ(actual, expected) << std::hexfloat << actual << " vs " << expected;
    }
  }
}

}  // namespace
}  // namespace frq
