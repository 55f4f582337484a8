// The estimators' fast paths (integer logarithms from a table, objective
// values reused per integer, draws read from a per-call table along the
// generator's cycle) against the straightforward evaluation, bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "benchmarks/landscapes.h"
#include "benchmarks/reference_estimators.h"
#include "estimators/bootstrap.h"
#include "estimators/ext_math.h"
#include "estimators/integer_log.h"
#include "estimators/plugin.h"
#include "estimators/random_source.h"
#include "estimators/schnabel.h"
#include "input/frequency_file.h"

namespace frq {
namespace {

bool SameBits(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

TEST(FastPaths, ObjectiveMatchesOneLogarithmPerTerm) {
  TestRandom random(1);
  for (int i = 0; i < 3000; ++i) {
    const auto K = static_cast<int32_t>(random.Between(1, i % 10 == 0 ? 30000 : 300));
    const auto N = static_cast<int32_t>(random.Between(1, 30000));
    // Integers inside the dense table, across its block edges, and far
    // beyond it, where the direct-mapped cache serves them.
    long double x;
    switch (i % 3) {
      case 0: x = K + static_cast<long double>(random.Unit()) * 5000; break;
      case 1: x = 4096 * static_cast<long double>(random.Between(1, 300)) + random.Between(-40, 40); break;
      default: x = static_cast<long double>(random.Between(1 << 20, 1073741823)); break;
    }
    if (x < K) x = K;
    SCOPED_TRACE(testing::Message() << "K=" << K << " N=" << N << " x=" << std::hexfloat << x);
    EXPECT_TRUE(SameBits(SchnabelObjective(K, N, x), reference::SchnabelObjective(K, N, x)));
  }
}

TEST(FastPaths, IntegerLogSumsRunUpwardFromZero) {
  EXPECT_TRUE(SameBits(SumOfIntegerLogs(5, 4), 0.0L));
  TestRandom random(2);
  for (int i = 0; i < 200; ++i) {
    const int64_t first = random.Between(1, (int64_t{1} << 20) + 5000);
    const int64_t last = first + random.Between(0, 9000);
    long double expected = 0;
    for (int64_t c = first; c <= last; ++c) expected = expected + Ln(static_cast<long double>(c));
    SCOPED_TRACE(testing::Message() << first << ".." << last);
    EXPECT_TRUE(SameBits(SumOfIntegerLogs(first, last), expected));
  }
}

TEST(FastPaths, CensusEstimatesMatch) {
  TestRandom random(3);
  for (int i = 0; i < 400; ++i) {
    int32_t N = static_cast<int32_t>(random.Between(1, i % 4 == 0 ? 30000 : 3000));
    int32_t K = static_cast<int32_t>(random.Between(1, std::min(N, 1500)));
    // Every tenth pair on or near the ceiling path, where few restarts repeat.
    if (i % 10 == 0) {
      N = static_cast<int32_t>(random.Between(2, 600));
      K = N - static_cast<int32_t>(random.Between(0, 1));
    }
    EstimateFlags fast;
    EstimateFlags straight;
    SCOPED_TRACE(testing::Message() << "K=" << K << " N=" << N);
    EXPECT_EQ(SchnabelEstimate(K, N, fast), reference::SchnabelEstimate(K, N, straight));
    EXPECT_EQ(fast.overflow, straight.overflow);
  }
  // Wide searches and the ceiling path, with and without overflow.
  const int32_t wide[][2] = {{20000, 30000}, {5000, 30000}, {12000, 13000},
                             {2600, 2601},   {29989, 30000}, {30000, 30000}};
  for (const auto& [K, N] : wide) {
    EstimateFlags fast;
    EstimateFlags straight;
    SCOPED_TRACE(testing::Message() << "K=" << K << " N=" << N);
    EXPECT_EQ(SchnabelEstimate(K, N, fast), reference::SchnabelEstimate(K, N, straight));
    EXPECT_EQ(fast.overflow, straight.overflow);
  }
}

// Near N = (K + 1/2) ln(2 K + 1) the census interval [K, M0] shrinks into
// half a unit above K and the search stops needing to run. Both sides of
// that edge, every pair.
TEST(FastPaths, CensusShortcutEdgeMatches) {
  for (int32_t K = 2; K <= 60; ++K) {
    for (int32_t N = 2 * K; N <= 8 * K; ++N) {
      EstimateFlags fast;
      EstimateFlags straight;
      ASSERT_EQ(SchnabelEstimate(K, N, fast), reference::SchnabelEstimate(K, N, straight))
          << "K=" << K << " N=" << N;
    }
  }
  for (const int32_t N : {29999, 30000}) {
    for (int32_t K = 3200; K <= 3600; K += 3) {
      EstimateFlags fast;
      EstimateFlags straight;
      ASSERT_EQ(SchnabelEstimate(K, N, fast), reference::SchnabelEstimate(K, N, straight))
          << "K=" << K << " N=" << N;
    }
  }
}

TEST(FastPaths, IndexOfEveryStateMatchesDrawIndex) {
  for (const int32_t m : {1, 2, 3, 7, 1000, 3855, 29999, 30000}) {
    SCOPED_TRACE(m);
    for (uint32_t s = 0; s < 65536; ++s) {
      if (NextState(s) == RedrawState) continue;
      RandomState state{s};
      ASSERT_EQ(IndexOfState(NextState(s), m), reference::DrawIndex(state, m)) << "state " << s;
    }
  }
}

struct TableCase {
  int32_t restarts;
  int32_t optima;
  double skew;
};

// Bootstrap and plug-in on simulated tables, the random state carried from
// one table to the next as in a run, so the draws cross the redraw state
// and the end of the generator's cycle.
TEST(FastPaths, BootstrapAndPluginMatchOnSimulatedTables) {
  const TableCase cases[] = {{3, 2, 0}, {40, 30, 0}, {200, 150, 0.2}, {1000, 700, 0.5},
                             {2500, 2000, 0}, {3000, 60, 1.0}, {5000, 4000, 0.3}};
  RandomState fast_state;
  RandomState straight_state;
  auto table = std::make_unique<FrequencyTable>();
  uint64_t seed = 10;
  for (const TableCase& c : cases) {
    SimulateRestarts(c.restarts, c.optima, c.skew, seed++, *table);
    SCOPED_TRACE(testing::Message() << "n=" << table->n << " k=" << table->k);
    EstimateFlags flags;
    const Estimate M = SchnabelEstimate(table->k, table->n, flags);
    ASSERT_FALSE(flags.overflow);
    EstimateFlags fast_flags;
    EstimateFlags straight_flags;
    const double fast = BootstrapEstimate(table->f.data(), table->k, table->n, M,
                                          BootstrapReplicates, fast_flags, fast_state);
    const double straight =
        reference::BootstrapEstimate(table->f.data(), table->k, table->n, M,
                                     BootstrapReplicates, straight_flags, straight_state);
    EXPECT_EQ(std::memcmp(&fast, &straight, sizeof fast), 0) << fast << " vs " << straight;
    EXPECT_EQ(fast_state.value, straight_state.value);
    EXPECT_EQ(fast_flags.overflow, straight_flags.overflow);

    EstimateFlags plugin_fast;
    EstimateFlags plugin_straight;
    EXPECT_EQ(PluginEstimate(*table, plugin_fast), reference::PluginEstimate(*table, plugin_straight));
    EXPECT_EQ(plugin_fast.overflow, plugin_straight.overflow);

    // The same table as the reader leaves it, with the highest class it saw,
    // and stale counts from a larger earlier table above n.
    auto read = std::make_unique<FrequencyTable>();
    read->f.fill(7);
    const std::string text = FrequencyFileText(*table);
    StringSource source(text);
    ASSERT_TRUE(ReadFrequencyFile(source, *read).valid);
    EstimateFlags read_flags;
    EXPECT_EQ(PluginEstimate(*read, read_flags), reference::PluginEstimate(*table, plugin_straight));
  }
}

// Tables whose visit list holds more restarts than n: the last optimum is
// drawn only through its first n visits.
TEST(FastPaths, BootstrapMatchesWhenVisitsOvershootRestarts) {
  auto table = std::make_unique<FrequencyTable>();
  table->n = 10;
  table->f[3] = 2;
  table->f[5] = 1;
  table->k = 3;
  RandomState fast_state{12345};
  RandomState straight_state{12345};
  EstimateFlags fast_flags;
  EstimateFlags straight_flags;
  const double fast = BootstrapEstimate(table->f.data(), 3, 10, 3, 1000, fast_flags, fast_state);
  const double straight = reference::BootstrapEstimate(table->f.data(), 3, 10, 3, 1000,
                                                       straight_flags, straight_state);
  EXPECT_EQ(std::memcmp(&fast, &straight, sizeof fast), 0);
  EXPECT_EQ(fast_state.value, straight_state.value);
}

}  // namespace
}  // namespace frq
