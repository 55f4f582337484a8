// The three estimates of one valid file, in the order census, bootstrap,
// plug-in: computed, printed, and counted when they overflow or fail.
#pragma once

#include <optional>

#include "driver/console.h"
#include "estimators/estimate.h"
#include "estimators/random_source.h"
#include "input/frequency_table.h"

namespace frq {

struct RunCounters {
  int32_t overflows = 0;
  int32_t errors = 0;
};

// S, B, P: the census, bootstrap and plug-in estimates; -1 marks an overflow
// (or a bootstrap not run), -2 a bootstrap that found the table inconsistent.
struct FileEstimates {
  Estimate S = -1;
  Estimate B = -1;
  Estimate P = -1;
};

// Computes the estimates of `table`, drawing the bootstrap from `state`,
// prints their lines and adds overflows and errors to `counters`. Fails only
// when a console write or the pause after an inconsistency fails.
std::optional<Failure> ReportEstimates(const FrequencyTable& table, RandomState& state,
                                       RunCounters& counters, Console& console,
                                       FileEstimates& estimates);

// How the report turns a bootstrap outcome into its console lines, its
// counters and B; kept apart so that marks no file can reach are testable.
std::optional<Failure> ReportBootstrap(const EstimateFlags& flags, double result,
                                       RunCounters& counters, Console& console, Estimate& B);

}  // namespace frq
