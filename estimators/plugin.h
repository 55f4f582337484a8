// Plug-in heuristic estimate: the optima split into classes by visit
// multiplicity, each class estimated by the census on its own, and summed.
#pragma once

#include <cstdint>

#include "estimators/estimate.h"
#include "input/frequency_table.h"

namespace frq {

// Sum of the class estimates (singletons join the lowest repeated class), or
// the first-repeat estimate when no optimum was visited twice. Sets the
// overflow mark at the first class that overflows and returns -1.
Estimate PluginEstimate(const FrequencyTable& table, EstimateFlags& flags);

// Rounded maximiser over x of the chance that the first repeat among draws
// from x optima comes at draw a; 0 for a = 1. Sets the overflow mark and
// returns -1 when the result would reach OverflowLimit, and for a < 1 or
// a > MaxRestarts + 1.
Estimate FirstRepeatEstimate(int32_t a, EstimateFlags& flags);

// The search behind FirstRepeatEstimate (a >= 2): the real maximiser before
// rounding. It looks only to the right of a.
long double FirstRepeatSearch(int32_t a);

// ln of ((a-1)/x) (x-1)/x ... (x-(a-2))/x, for a >= 2 and x > a - 2.
long double FirstRepeatLogLikelihood(int32_t a, long double x);

// 1 - FirstRepeatLogLikelihood(a, x): the objective the search minimises.
long double FirstRepeatObjective(int32_t a, long double x);

}  // namespace frq
