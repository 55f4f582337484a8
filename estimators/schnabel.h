// Schnabel census maximum-likelihood estimate of the number of optima from
// K distinct optima seen in N restarts.
#pragma once

#include <cstdint>

#include "estimators/estimate.h"

namespace frq {

// 1 for K = 1; otherwise the rounded census search result. Sets the overflow
// mark (and computes nothing) when the result would reach OverflowLimit, and
// also for K < 1, N < 1, K > MaxRestarts or N > MaxRestarts, where the
// likelihood is undefined or the search could stall.
Estimate SchnabelEstimate(int32_t K, int32_t N, EstimateFlags& flags);

// The census search: the upper end M0 from the distinct-ratio root, then the
// Fibonacci minimisation of SchnabelObjective over [lo, M0].
long double SchnabelSearch(int32_t K, int32_t N, long double tol, long double lo);

// ln(M!/(M-K)!) - N ln M at M = Round(x): the K logarithms summed upwards.
long double SchnabelLogLikelihood(int32_t K, int32_t N, long double x);

// 1 - SchnabelLogLikelihood(K, N, x): the objective the search minimises.
long double SchnabelObjective(int32_t K, int32_t N, long double x);

// (1 - e^-x) / x for x > 0: the expected share of distinct optima.
long double DistinctRatio(long double x);

// Bisects [a, z], DistinctRatio(a) >= e > DistinctRatio(z), down to width tol
// and returns the end whose ratio lies below e.
long double DistinctRatioRoot(long double a, long double z, long double e, long double tol);

}  // namespace frq
