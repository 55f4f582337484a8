// Shared vocabulary of the estimators: the Estimate, the marks they report
// through, and the constants that more than one estimator relies on.
#pragma once

#include <cstdint>
#include <limits>

static_assert(std::numeric_limits<long double>::digits == 64,
              "estimates are defined in 80-bit extended precision");

namespace frq {

// An estimate of the number of optima (0 or more); -1 marks an overflow (or,
// for the bootstrap, an estimate not computed), -2 an inconsistent table.
using Estimate = int32_t;

// The two marks an estimator reports through; the caller clears both first.
struct EstimateFlags {
  bool overflow = false;
  bool inconsistent = false;
};

// Largest restart count accepted, and the highest class index of a table.
constexpr int32_t MaxRestarts = 30000;

// Largest extended value below 0.0008: the stopping width of every search.
// 15111572745182864683 x 2^-74; its last bit matters (it decides one more
// bisection step for K = 10, N = 20).
constexpr long double SearchTolerance = 0xD1B71758E219652Bp-74L;

// Upper end of the census search when nearly every restart found a new
// optimum (2^30 - 1).
constexpr long double SearchCeiling = 1073741823.0L;

// A search result at or above this value is reported as an overflow.
constexpr long double OverflowLimit = 1073741820.0L;

// Resamples drawn by the bootstrap for every file.
constexpr int32_t BootstrapReplicates = 1000;

}  // namespace frq
