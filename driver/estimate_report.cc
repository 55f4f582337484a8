#include "driver/estimate_report.h"

#include "estimators/bootstrap.h"
#include "estimators/ext_math.h"
#include "estimators/plugin.h"
#include "estimators/schnabel.h"

namespace frq {

namespace {

constexpr std::string_view OverflowLine = "OVERFLOW !!!";

}  // namespace

std::optional<Failure> ReportBootstrap(const EstimateFlags& flags, double result,
                                       RunCounters& counters, Console& console, Estimate& B) {
  if (flags.overflow) {
    if (auto failure = console.Line(OverflowLine)) return failure;
    counters.overflows = WrapAdd(counters.overflows, 1);
    B = -1;
  } else if (flags.inconsistent) {
    if (auto failure = console.Line("ERROR in Bootstrap!!!")) return failure;
    if (auto failure = console.Line("Press Enter to proceed")) return failure;
    if (auto failure = console.WaitForEnter()) return failure;
    counters.errors = WrapAdd(counters.errors, 1);
    B = -2;
  } else {
    B = Round(static_cast<long double>(result));
  }
  return console.Line(" Bootstrap estimate: ", B);
}

std::optional<Failure> ReportEstimates(const FrequencyTable& table, RandomState& state,
                                       RunCounters& counters, Console& console,
                                       FileEstimates& estimates) {
  EstimateFlags flags;
  estimates.S = SchnabelEstimate(table.k, table.n, flags);
  const bool census_overflowed = flags.overflow;
  if (census_overflowed) {
    estimates.S = -1;
    if (auto failure = console.Line(OverflowLine)) return failure;
    counters.overflows = WrapAdd(counters.overflows, 1);
  }
  if (auto failure = console.Line("Schnabel census max. likelihood:", estimates.S)) {
    return failure;
  }

  if (!census_overflowed) {
    // Out before the long step starts, so the user sees which step runs.
    if (auto failure = console.Text("Bootstrapping...")) return failure;
    flags = EstimateFlags{};
    const double result = BootstrapEstimate(table.f.data(), table.k, table.n, estimates.S,
                                            BootstrapReplicates, flags, state);
    if (auto failure = ReportBootstrap(flags, result, counters, console, estimates.B)) {
      return failure;
    }
  }

  flags = EstimateFlags{};
  estimates.P = PluginEstimate(table, flags);
  if (flags.overflow) {
    estimates.P = -1;
    if (auto failure = console.Line(OverflowLine)) return failure;
    counters.overflows = WrapAdd(counters.overflows, 1);
  }
  return console.Line("Plug-in heuristic max. likelihood:", estimates.P);
}

}  // namespace frq
