#include "driver/estimate_report.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "benchmarks/landscapes.h"
#include "driver/console.h"
#include "estimators/bootstrap.h"
#include "estimators/estimate.h"
#include "estimators/ext_math.h"
#include "estimators/plugin.h"
#include "estimators/random_source.h"
#include "estimators/schnabel.h"
#include "input/frequency_table.h"

namespace frq {
namespace {

// A console on pipes: the given standard input, and the output collected.
class PipeConsole {
 public:
  explicit PipeConsole(const std::string& input) {
    EXPECT_EQ(::pipe(output_), 0);
    EXPECT_EQ(::pipe(input_), 0);
    EXPECT_EQ(::write(input_[1], input.data(), input.size()),
              static_cast<ssize_t>(input.size()));
    ::close(input_[1]);
    console_ = std::make_unique<Console>(output_[1], input_[0]);
  }
  ~PipeConsole() {
    ::close(output_[0]);
    if (output_[1] >= 0) ::close(output_[1]);
    ::close(input_[0]);
  }

  Console& console() { return *console_; }

  // Everything written so far; the console must not be used afterwards.
  std::string Output() {
    ::close(output_[1]);
    output_[1] = -1;
    return ReadAll(output_[0]);
  }
  // What the console left unread of its input.
  std::string UnreadInput() { return ReadAll(input_[0]); }

 private:
  static std::string ReadAll(int fd) {
    std::string bytes;
    char buffer[4096];
    ssize_t count;
    while ((count = ::read(fd, buffer, sizeof buffer)) > 0) {
      bytes.append(buffer, static_cast<size_t>(count));
    }
    return bytes;
  }

  int output_[2];
  int input_[2];
  std::unique_ptr<Console> console_;
};

const std::string TwoLines = "first\nsecond\n";

TEST(ReportBootstrap, TurnsEachOutcomeIntoItsLines) {
  // The text continues the line "Bootstrapping..." began. An overflow counts
  // one overflow; an inconsistency one error and a pause of one line; with
  // no mark the result is rounded, ties to even.
  struct Case {
    const char* label;
    EstimateFlags flags;
    double result;
    std::string output;
    Estimate B;
    int32_t overflows, errors;
    std::string unread;
  };
  const Case cases[] = {
      {"overflow", {true, false}, 2.0, "OVERFLOW !!!\r\n Bootstrap estimate: -1\r\n", -1, 5, 7,
       TwoLines},
      {"inconsistent", {false, true}, 2.0,
       "ERROR in Bootstrap!!!\r\nPress Enter to proceed\r\n Bootstrap estimate: -2\r\n", -2, 4, 8,
       "second\n"},
      {"2.345", {}, 2.345, " Bootstrap estimate: 2\r\n", 2, 4, 7, TwoLines},
      {"2.5", {}, 2.5, " Bootstrap estimate: 2\r\n", 2, 4, 7, TwoLines},
      {"3.5", {}, 3.5, " Bootstrap estimate: 4\r\n", 4, 4, 7, TwoLines},
      {"2.5000000000000004", {}, 2.5000000000000004, " Bootstrap estimate: 3\r\n", 3, 4, 7,
       TwoLines},
      {"0.4", {}, 0.4, " Bootstrap estimate: 0\r\n", 0, 4, 7, TwoLines},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    PipeConsole pipes(TwoLines);
    RunCounters counters{4, 7};
    Estimate B = -1;
    EXPECT_EQ(ReportBootstrap(c.flags, c.result, counters, pipes.console(), B), std::nullopt);
    EXPECT_EQ(pipes.Output(), c.output);
    EXPECT_EQ(B, c.B);
    EXPECT_EQ(counters.overflows, c.overflows);
    EXPECT_EQ(counters.errors, c.errors);
    EXPECT_EQ(pipes.UnreadInput(), c.unread);
  }
}

Estimate Census(int32_t K, int32_t N) {
  EstimateFlags flags;
  const Estimate estimate = SchnabelEstimate(K, N, flags);
  EXPECT_FALSE(flags.overflow);
  return estimate;
}

struct Report {
  std::string output;
  std::string unread;
  FileEstimates estimates;
  RunCounters counters;
};

Report ReportOf(const FrequencyTable& table, RandomState& state) {
  PipeConsole pipes(TwoLines);
  Report report;
  report.counters = {4, 7};
  EXPECT_EQ(ReportEstimates(table, state, report.counters, pipes.console(), report.estimates),
            std::nullopt);
  report.output = pipes.Output();
  report.unread = pipes.UnreadInput();
  return report;
}

TEST(ReportEstimates, PrintsTheThreeEstimates) {
  // n = 3, f[1] = f[2] = 1: S = 2 (2 in 3), B = 2 (the bootstrap's 2.345),
  // P = 2 (the singleton joins class 2: again 2 in 3); 3000 draws.
  const auto table = TableOf(3, {{1, 1}, {2, 1}});
  RandomState state;
  const Report report = ReportOf(*table, state);
  EXPECT_EQ(report.output,
            "Schnabel census max. likelihood:2\r\n"
            "Bootstrapping... Bootstrap estimate: 2\r\n"
            "Plug-in heuristic max. likelihood:2\r\n");
  EXPECT_EQ(report.estimates.S, 2);
  EXPECT_EQ(report.estimates.B, 2);
  EXPECT_EQ(report.estimates.P, 2);
  EXPECT_EQ(report.counters.overflows, 4);
  EXPECT_EQ(report.counters.errors, 7);
  EXPECT_EQ(report.unread, TwoLines);
  EXPECT_EQ(state.value, Advanced(RandomState{}, 3000).value);
}

TEST(ReportEstimates, CensusOverflowSkipsTheBootstrap) {
  // 20 singletons: the census overflows, so no bootstrap line and no draw;
  // the plug-in is the first-repeat estimate of 21.
  const auto table = TableOf(20, {{1, 20}});
  EstimateFlags flags;
  const Estimate first_repeat = FirstRepeatEstimate(21, flags);
  ASSERT_FALSE(flags.overflow);
  const RandomState start{4321};
  RandomState state = start;
  const Report report = ReportOf(*table, state);
  EXPECT_EQ(report.output,
            "OVERFLOW !!!\r\n"
            "Schnabel census max. likelihood:-1\r\n"
            "Plug-in heuristic max. likelihood:" + std::to_string(first_repeat) + "\r\n");
  EXPECT_EQ(report.estimates.S, -1);
  EXPECT_EQ(report.estimates.B, -1);
  EXPECT_EQ(report.estimates.P, first_repeat);
  EXPECT_EQ(report.counters.overflows, 5);
  EXPECT_EQ(report.counters.errors, 7);
  EXPECT_EQ(state.value, start.value);
}

TEST(ReportEstimates, CensusAndPluginOverflowCountTwice) {
  // n = 10 with the line (1, 40000): both the census (K = 40000) and the
  // first-repeat estimate (a = 40001) lie beyond the limits.
  const auto table = TableOf(10, {{1, 40000}});
  const RandomState start{4321};
  RandomState state = start;
  const Report report = ReportOf(*table, state);
  EXPECT_EQ(report.output,
            "OVERFLOW !!!\r\n"
            "Schnabel census max. likelihood:-1\r\n"
            "OVERFLOW !!!\r\n"
            "Plug-in heuristic max. likelihood:-1\r\n");
  EXPECT_EQ(report.estimates.S, -1);
  EXPECT_EQ(report.estimates.B, -1);
  EXPECT_EQ(report.estimates.P, -1);
  EXPECT_EQ(report.counters.overflows, 6);
  EXPECT_EQ(report.counters.errors, 7);
  EXPECT_EQ(state.value, start.value);
}

TEST(ReportEstimates, InconsistentTablePausesOnce) {
  // Lines (2, 1), (2, 1), (6, 1) in 10 restarts: k = 3 against two optima
  // in the classes. The plug-in's classes (1, 2) and (1, 6) give 1 + 1.
  const auto table = TableOf(10, {{2, 1}, {6, 1}});
  table->k = 3;
  const RandomState start{4321};
  RandomState state = start;
  const Report report = ReportOf(*table, state);
  const Estimate S = Census(3, 10);
  EXPECT_EQ(report.output,
            "Schnabel census max. likelihood:" + std::to_string(S) + "\r\n" +
                "Bootstrapping...ERROR in Bootstrap!!!\r\n"
                "Press Enter to proceed\r\n"
                " Bootstrap estimate: -2\r\n"
                "Plug-in heuristic max. likelihood:2\r\n");
  EXPECT_EQ(report.estimates.S, S);
  EXPECT_EQ(report.estimates.B, -2);
  EXPECT_EQ(report.estimates.P, 2);
  EXPECT_EQ(report.counters.overflows, 4);
  EXPECT_EQ(report.counters.errors, 8);
  EXPECT_EQ(report.unread, "second\n");
  EXPECT_EQ(state.value, start.value);
}

TEST(ReportEstimates, PluginOverflowAfterABootstrap) {
  // 151 optima counted at multiplicity 200 in 200 restarts: census and
  // bootstrap run (every restart falls on the first optimum), but the
  // plug-in's class (151, 30200) lies beyond the limits.
  const auto table = TableOf(200, {{200, 151}});
  const RandomState start{4321};
  const Estimate S = Census(151, 200);
  RandomState copy = start;
  EstimateFlags flags;
  const double bootstrap = BootstrapEstimate(table->f.data(), 151, 200, S, 1000, flags, copy);
  ASSERT_FALSE(flags.overflow || flags.inconsistent);
  const Estimate B = Round(static_cast<long double>(bootstrap));

  RandomState state = start;
  const Report report = ReportOf(*table, state);
  EXPECT_EQ(report.output,
            "Schnabel census max. likelihood:" + std::to_string(S) + "\r\n" +
                "Bootstrapping... Bootstrap estimate: " + std::to_string(B) + "\r\n" +
                "OVERFLOW !!!\r\n"
                "Plug-in heuristic max. likelihood:-1\r\n");
  EXPECT_EQ(report.estimates.S, S);
  EXPECT_EQ(report.estimates.B, B);
  EXPECT_EQ(report.estimates.P, -1);
  EXPECT_EQ(report.counters.overflows, 5);
  EXPECT_EQ(report.counters.errors, 7);
  EXPECT_EQ(state.value, copy.value);
}

}  // namespace
}  // namespace frq
