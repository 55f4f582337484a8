// Straightforward evaluation of the estimators, operation by operation as
// they are defined: one logarithm per term on every evaluation, every draw
// formed from the generator, the optimum of each draw found by a binary
// search of the running visit totals. The tool's faster paths are checked
// against it bit for bit and timed beside it.
#pragma once

#include <cstdint>

#include "estimators/estimate.h"
#include "estimators/random_source.h"
#include "input/frequency_table.h"

namespace frq::reference {

long double SchnabelObjective(int32_t K, int32_t N, long double x);
long double SchnabelSearch(int32_t K, int32_t N, long double tol, long double lo);
Estimate SchnabelEstimate(int32_t K, int32_t N, EstimateFlags& flags);
Estimate PluginEstimate(const FrequencyTable& table, EstimateFlags& flags);
double LcgNext(RandomState& state);
int32_t DrawIndex(RandomState& state, int32_t m);
double BootstrapEstimate(const int32_t* f, int32_t k, int32_t n, Estimate M, int32_t B,
                         EstimateFlags& flags, RandomState& state);

}  // namespace frq::reference
