// Hostile files end to end: bytes through the reader, then the census, the
// bootstrap (unless the census overflowed) and the plug-in, each with both
// marks cleared first, as the estimate report calls them. Every file here
// passes the reader only through counts that wrap around or name classes
// the estimators must not trust; the guards must turn each into a mark.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "estimators/bootstrap.h"
#include "estimators/estimate.h"
#include "estimators/plugin.h"
#include "estimators/random_source.h"
#include "estimators/schnabel.h"
#include "input/frequency_file.h"
#include "input/frequency_table.h"

namespace frq {
namespace {

struct Run {
  FrequencyTable table;
  Estimate S = -1;
  EstimateFlags census;
  bool bootstrapped = false;
  double bootstrap = 0.0;
  EstimateFlags bootstrap_flags;
  RandomState state;  // fresh before the bootstrap, as it left it after
  Estimate P = -1;
  EstimateFlags plugin;
};

// Reads `bytes` into a table whose every entry first holds `stale`, then
// estimates as the report does. Fails the test if the file is refused.
std::unique_ptr<Run> RunFile(std::string_view bytes, int32_t stale = 0) {
  auto run = std::make_unique<Run>();
  run->table.f.fill(stale);
  StringSource source(bytes);
  const ReadOutcome outcome = ReadFrequencyFile(source, run->table);
  EXPECT_TRUE(outcome.valid) << outcome.message;
  if (!outcome.valid) return run;
  const FrequencyTable& t = run->table;
  run->S = SchnabelEstimate(t.k, t.n, run->census);
  if (!run->census.overflow) {
    run->bootstrapped = true;
    run->bootstrap = BootstrapEstimate(t.f.data(), t.k, t.n, run->S, BootstrapReplicates,
                                       run->bootstrap_flags, run->state);
  }
  run->P = PluginEstimate(t, run->plugin);
  return run;
}

constexpr Estimate Overflow = -1;

enum class Bootstrap { NotRun, Inconsistent };

// The files reach the bootstrap only with tables it must refuse, or not at
// all; a refused table is refused before any draw.
TEST(HostileInput, GuardsTurnWrappedAndOversizedCountsIntoMarks) {
  struct Case {
    const char* label;
    std::string_view bytes;
    int32_t k;  // as the reader leaves it, wrapped
    Estimate S;
    Bootstrap B;
    Estimate P;
  };
  const Case cases[] = {
      // k wraps through 2^32 - 2 to 1: the census of one optimum is 1
      // whatever n; f[1] = 3 against k = 1 is inconsistent; the first
      // repeat comes at draw 4, whose estimate is 5.
      {"k wraps to 1", "1\r\n0 2147483647\r\n0 2147483647\r\n1 3\r\n", 1, 1,
       Bootstrap::Inconsistent, 5},
      // 40000 optima in 10 restarts: a census of more than 30000 optima
      // and a first repeat at draw 40001 are both refused.
      {"n = 10, (1, 40000)", "10\r\n1 40000\r\n", 40000, Overflow, Bootstrap::NotRun, Overflow},
      {"k = 30001", "2\r\n1 30001\r\n", 30001, Overflow, Bootstrap::NotRun, Overflow},
      // Class 2 holds 2^31 - 1 optima: 2 x (2^31 - 1) wraps to -2, which
      // raises the remaining count instead of using it up, and the class
      // with its singletons, K = 2^31 and N = 2^32 - 1, wraps to K < 0.
      {"class size and restarts wrap",
       "3\r\n1 1\r\n2 2147483647\r\n0 2147483647\r\n0 1\r\n3 2\r\n", 2,
       2 /* K = 2, N = 3 */, Bootstrap::Inconsistent, Overflow},
      // 4 x 1073741825 wraps to 4: a later class of 1073741825 optima in
      // 4 restarts ends the sum after the first class (5, 6).
      {"later class restarts wrap to 4",
       "10\r\n2 1\r\n4 1073741825\r\n0 2147483647\r\n0 1073741824\r\n1 4\r\n", 5,
       5 /* K = 5, N = 10 */, Bootstrap::Inconsistent, Overflow},
      // The only counted optimum below n has one visit: the other four
      // restarts would select no optimum. No class repeats: the first
      // repeat comes at draw 2, whose estimate is 2.
      {"visits short of n", "5\r\n1 1\r\n0 2147483647\r\n0 2147483647\r\n0 1\r\n6 1\r\n", 1, 1,
       Bootstrap::Inconsistent, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto run = RunFile(c.bytes);
    EXPECT_EQ(run->table.k, c.k);
    EXPECT_FALSE(run->census.inconsistent);
    EXPECT_EQ(run->census.overflow, c.S == Overflow);
    if (c.S != Overflow) {
      EXPECT_EQ(run->S, c.S);
    }

    EXPECT_EQ(run->bootstrapped, c.B != Bootstrap::NotRun);
    if (c.B == Bootstrap::Inconsistent) {
      EXPECT_TRUE(run->bootstrap_flags.inconsistent);
      EXPECT_FALSE(run->bootstrap_flags.overflow);
      EXPECT_EQ(run->state.value, 0u) << "a refused table draws nothing";
    }

    EXPECT_FALSE(run->plugin.inconsistent);
    EXPECT_EQ(run->plugin.overflow, c.P == Overflow);
    if (c.P != Overflow) {
      EXPECT_EQ(run->P, c.P);
    }
  }
}

// 30000 optima is the most a census or a first repeat may be asked about:
// with 2 restarts the census likelihood rises to the top of the search and
// overflows; the first repeat at draw 30001 ends inside its bracket
// [245798193, 983102769], below the overflow limit.
TEST(HostileInput, ThirtyThousandOptimaInTwoRestarts) {
  const auto run = RunFile("2\r\n1 30000\r\n");
  EXPECT_TRUE(run->census.overflow);
  EXPECT_FALSE(run->bootstrapped);
  EXPECT_FALSE(run->plugin.overflow);
  EXPECT_GE(run->P, 245798193);
  EXPECT_LE(run->P, 983102769);
}

// Counts that wrap all the way round, a multiplicity 0, a class overwritten
// with 0, a class above n and stale entries above n leave the same record as
// the plain file: every estimate, the bootstrap to the last bit, and the
// random state after it must be the same.
TEST(HostileInput, WrappedCountsThatCancelChangeNothing) {
  struct Case {
    const char* label;
    std::string_view hostile;
    std::string_view plain;
  };
  const Case cases[] = {
      // 4 + (2^32 - 2) + 2 + 3 wraps to k = 7.
      {"k wraps a full turn", "10\r\n1 4\r\n0 2147483647\r\n0 2147483647\r\n0 2\r\n2 3\r\n",
       "10\r\n1 4\r\n2 3\r\n"},
      // 2 x (2^31 - 1) raises the remaining count from 10 to 12; f[2] is
      // then overwritten, k is wrapped back, and a class above n uses up
      // the two extra restarts.
      {"remaining count raised, then used up above n",
       "10\r\n2 2147483647\r\n2 0\r\n0 2147483647\r\n0 1\r\n1 4\r\n2 3\r\n11 1\r\n",
       "10\r\n1 4\r\n2 3\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto hostile = RunFile(c.hostile, 0x5EED);
    const auto plain = RunFile(c.plain);
    ASSERT_EQ(hostile->table.n, plain->table.n);
    ASSERT_EQ(hostile->table.k, plain->table.k);
    EXPECT_FALSE(plain->census.overflow || plain->bootstrap_flags.overflow ||
                 plain->bootstrap_flags.inconsistent || plain->plugin.overflow);
    EXPECT_EQ(hostile->S, plain->S);
    EXPECT_EQ(std::memcmp(&hostile->bootstrap, &plain->bootstrap, sizeof(double)), 0)
        << std::hexfloat << hostile->bootstrap << " vs " << plain->bootstrap;
    EXPECT_EQ(hostile->state.value, plain->state.value);
    EXPECT_EQ(hostile->P, plain->P);
    EXPECT_FALSE(hostile->census.overflow || hostile->bootstrap_flags.overflow ||
                 hostile->bootstrap_flags.inconsistent || hostile->plugin.overflow);
  }
}

}  // namespace
}  // namespace frq
