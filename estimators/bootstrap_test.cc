#include "estimators/bootstrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "benchmarks/landscapes.h"
#include "estimators/estimate.h"
#include "estimators/ext_math.h"
#include "estimators/random_source.h"
#include "estimators/schnabel.h"
#include "input/frequency_table.h"

namespace frq {
namespace {

// sum = sum + q, count times: q in extended, each sum stored as a double.
double Accumulated(int count, long double q) {
  double sum = 0.0;
  for (int i = 0; i < count; ++i) sum = static_cast<double>(static_cast<long double>(sum) + q);
  return sum;
}

// The replicates as described, one step at a time: the visit list in
// ascending multiplicity, each draw's optimum found by scanning the running
// totals, one census per new distinct count.
double ReferenceBootstrap(const FrequencyTable& table, Estimate M, int32_t B, RandomState& state) {
  const int32_t n = table.n;
  std::vector<int32_t> visits;
  for (int32_t j = 1; j <= n; ++j) {
    for (int32_t e = 0; e < table.f[static_cast<size_t>(j)]; ++e) visits.push_back(j);
  }
  std::vector<Estimate> cache(static_cast<size_t>(n) + 1, 0);
  double sum = 0.0;
  for (int32_t b = 0; b < B; ++b) {
    std::vector<bool> seen(visits.size(), false);
    int32_t d = 0;
    for (int32_t draw = 0; draw < n; ++draw) {
      const int32_t r = DrawIndex(state, n);
      size_t i = 0;
      int32_t total = visits[0];
      while (total < r) total += visits[++i];
      if (!seen[i]) ++d;
      seen[i] = true;
    }
    Estimate& est = cache[static_cast<size_t>(d)];
    if (est == 0) {
      EstimateFlags flags;
      est = SchnabelEstimate(d, n, flags);
      EXPECT_FALSE(flags.overflow);
    }
    const long double q = static_cast<long double>(est - M) / static_cast<long double>(B);
    sum = static_cast<double>(static_cast<long double>(sum) + q);
  }
  return static_cast<double>(static_cast<long double>(M) - static_cast<long double>(sum));
}

// For the table n = 3, f[1] = f[2] = 1: how many of the next `replicates`
// resamples find one optimum only (restart 1 is the first optimum, restarts 2
// and 3 the second).
int SingleOptimumReplicates(RandomState& state, int replicates) {
  int single = 0;
  for (int b = 0; b < replicates; ++b) {
    bool first = false, second = false;
    for (int i = 0; i < 3; ++i) (DrawIndex(state, 3) == 1 ? first : second) = true;
    if (first != second) ++single;
  }
  return single;
}

TEST(BootstrapEstimate, WorkedExample) {
  // n = 3, f[1] = 1, f[2] = 1: the visit list [1, 2], restart 1 on the first
  // optimum, restarts 2 and 3 on the second. 345 of the 1000 replicates reach
  // d = 1 (estimate 1), 655 reach d = 2 (estimate 2); the sum ends at
  // -0.34500000000000025, the result is the double nearest 2.345.
  const auto table = TableOf(3, {{1, 1}, {2, 1}});
  const RandomState start;

  RandomState copy = start;
  std::vector<int32_t> first_draws;
  for (int i = 0; i < 9; ++i) first_draws.push_back(DrawIndex(copy, 3));
  EXPECT_EQ(first_draws, (std::vector<int32_t>{1, 3, 2, 1, 1, 3, 3, 2, 2}));

  copy = start;
  EXPECT_EQ(SingleOptimumReplicates(copy, 1000), 345);

  RandomState state = start;
  EstimateFlags flags;
  const double result = BootstrapEstimate(table->f.data(), 2, 3, 2, 1000, flags, state);
  EXPECT_FALSE(flags.overflow);
  EXPECT_FALSE(flags.inconsistent);
  EXPECT_EQ(result, 2.345);
  EXPECT_EQ(Round(result), 2);
  // 3000 draws, none of them meeting 65535 (first reached at step 20059).
  EXPECT_EQ(state.value, Advanced(start, 3000).value);
}

TEST(BootstrapEstimate, MeanIsAccumulatedTermByTermInADouble) {
  // 345 terms of -1/1000 give the worked example's sum; 500 of them give
  // -0.5000000000000003, so M = 2 with half the replicates at 1 gives
  // 2.5000000000000004, which rounds to 3 where an exact 2.5 would give 2.
  const long double minus_thousandth = -1.0L / 1000;
  EXPECT_EQ(Accumulated(345, minus_thousandth), -0.34500000000000025);
  EXPECT_EQ(static_cast<double>(2 - static_cast<long double>(Accumulated(345, minus_thousandth))),
            2.345);
  const double half = Accumulated(500, minus_thousandth);
  EXPECT_EQ(half, -0.5000000000000003);
  const double estimate = static_cast<double>(2 - static_cast<long double>(half));
  EXPECT_EQ(estimate, 2.5000000000000004);
  EXPECT_EQ(Round(estimate), 3);
  EXPECT_EQ(Round(2.5L), 2);

  // The worked example's replicates against M = 1: 655 terms of +1/1000
  // (0.65500000000000047 accumulated) and 345 of 0, so the result is
  // 0.34499999999999953; an exact mean would give 0.34499999999999997.
  const auto table = TableOf(3, {{1, 1}, {2, 1}});
  RandomState state;
  EstimateFlags flags;
  const double result = BootstrapEstimate(table->f.data(), 2, 3, 1, 1000, flags, state);
  EXPECT_EQ(Accumulated(655, 1.0L / 1000), 0.65500000000000047);
  EXPECT_EQ(result, 0.34499999999999953);
  EXPECT_NE(result, 1 - 0.655);

  // Five replicates (d = 2, 2, 1, 2, 2) against M = 1: four terms of 1/5,
  // each formed in extended, give 0.20000000000000007; with q rounded to a
  // double first it would be 0.19999999999999996, with the sum kept in
  // extended 0.20000000000000001.
  RandomState five_state;
  EXPECT_EQ(SingleOptimumReplicates(five_state, 5), 1);
  five_state = RandomState{};
  const double five = BootstrapEstimate(table->f.data(), 2, 3, 1, 5, flags, five_state);
  EXPECT_EQ(five, static_cast<double>(1 - static_cast<long double>(Accumulated(4, 1.0L / 5))));
  EXPECT_EQ(five, 0.20000000000000007);
  EXPECT_FALSE(flags.overflow || flags.inconsistent);
}

TEST(BootstrapEstimate, SingleOptimumGivesExactlyOne) {
  // Every replicate has d = 1 and est = 1 = M: the sum stays 0.0. The
  // generator still advances by n x 1000 steps, one more when the window
  // meets 65535 (step 20059 of the run lies in steps 20001..25000).
  struct Case {
    const char* label;
    int32_t n;
    int start_steps;
    int expected_steps;
  };
  const Case cases[] = {
      {"n = 5 from the start", 5, 0, 5000},
      {"n = 5 across state 65535", 5, 20000, 5001},
      {"n = 1 from the start", 1, 0, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto table = TableOf(c.n, {{c.n, 1}});
    const RandomState start = Advanced(RandomState{}, c.start_steps);
    RandomState state = start;
    EstimateFlags flags;
    EXPECT_EQ(BootstrapEstimate(table->f.data(), 1, c.n, 1, 1000, flags, state), 1.0);
    EXPECT_FALSE(flags.overflow);
    EXPECT_FALSE(flags.inconsistent);
    EXPECT_EQ(state.value, Advanced(start, c.expected_steps).value);
  }
}

TEST(BootstrapEstimate, InconsistentTableDrawsNothing) {
  struct Case {
    const char* label;
    std::unique_ptr<FrequencyTable> table;
    int32_t k;
  };
  Case cases[] = {
      // Lines (2, 1), (2, 1), (6, 1): f[2] keeps the last count, k has both.
      {"multiplicity listed twice", TableOf(10, {{2, 1}, {6, 1}}), 3},
      // Counts 2 + 1 - 1 = 2 = k, but the visit list holds 3 optima.
      {"negative count", TableOf(4, {{1, 2}, {2, 1}, {3, -1}}), 2},
      // The visit list holds k = 40000 optima, more than any table has room.
      {"more optima than restarts allow", TableOf(30000, {{1, 20000}, {2, 20000}}), 40000},
      // 3 optima = k, but only 3 of the 10 restarts: a fourth optimum counted
      // above n is balanced by the -1. Draws above 3 would select nothing.
      {"fewer visits than restarts", TableOf(10, {{1, 3}, {2, -1}}), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const RandomState start{12345};
    RandomState state = start;
    EstimateFlags flags;
    BootstrapEstimate(c.table->f.data(), c.k, c.table->n, 2, 1000, flags, state);
    EXPECT_TRUE(flags.inconsistent);
    EXPECT_FALSE(flags.overflow);
    EXPECT_EQ(state.value, start.value);
  }
}

TEST(BootstrapEstimate, OverflowStopsTheReplicatesKeepingTheirDraws) {
  // A resample overflows only when it finds all n restarts distinct and the
  // census of n in n overflows, which is then the file's own census too.
  // Called directly: n = 3 singletons, the first replicate draws 1, 3, 2, so
  // d = 3 at once. Whether the census of 3 in 3 reaches OverflowLimit hangs
  // on the last bits of the platform's logarithm.
  EstimateFlags census;
  SchnabelEstimate(3, 3, census);
  if (!census.overflow) GTEST_SKIP() << "the census of 3 in 3 does not overflow here";

  const auto table = TableOf(3, {{1, 3}});
  RandomState state;
  EstimateFlags flags;
  BootstrapEstimate(table->f.data(), 3, 3, 2, 1000, flags, state);
  EXPECT_TRUE(flags.overflow);
  EXPECT_FALSE(flags.inconsistent);
  EXPECT_EQ(state.value, Advanced(RandomState{}, 3).value);
}

TEST(BootstrapEstimate, MatchesTheStepByStepReplicatesOnDeterministicTables) {
  // Consistent tables of up to 200 restarts, bootstrapped one after another
  // from one state as in a run (which passes 65535 more than once); result
  // and state must agree to the last bit.
  uint32_t seed = 2024;
  const auto next = [&seed](uint32_t bound) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % bound;
  };
  RandomState state;
  RandomState reference_state;
  for (const int32_t n : {3, 7, 25, 60, 200, 2, 41}) {
    SCOPED_TRACE(testing::Message() << "n = " << n);
    auto table = TableOf(n, {});
    for (int32_t remaining = n; remaining > 0;) {
      const int32_t c =
          1 + static_cast<int32_t>(next(static_cast<uint32_t>(std::min(remaining, 6))));
      ++table->f[static_cast<size_t>(c)];
      ++table->k;
      remaining -= c;
    }
    EstimateFlags flags;
    const Estimate M = SchnabelEstimate(table->k, n, flags);
    if (flags.overflow) continue;  // the report would not bootstrap it
    const double expected = ReferenceBootstrap(*table, M, 1000, reference_state);
    const double result = BootstrapEstimate(table->f.data(), table->k, n, M, 1000, flags, state);
    EXPECT_FALSE(flags.overflow);
    EXPECT_FALSE(flags.inconsistent);
    EXPECT_EQ(result, expected);
    EXPECT_EQ(state.value, reference_state.value);
  }
}

}  // namespace
}  // namespace frq
