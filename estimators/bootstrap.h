// Bootstrap bias correction of the census estimate.
#pragma once

#include <cstdint>

#include "estimators/estimate.h"
#include "estimators/random_source.h"

namespace frq {

// Resamples the n restarts B times from `state` and returns M minus the mean
// difference between the census estimates of the resamples and M, as a
// double. `f` holds the class counts, of which f[1..n] are read.
// Sets the inconsistency mark, before any draw, when the visit list of the
// positive counts f[1..n] does not hold exactly k optima, holds more than
// MaxRestarts, or accounts for fewer than n restarts; sets the overflow mark
// when a resample's census estimate overflows, keeping the draws made.
double BootstrapEstimate(const int32_t* f, int32_t k, int32_t n, Estimate M, int32_t B,
                         EstimateFlags& flags, RandomState& state);

}  // namespace frq
