// The record of one frequency file: n restarts, k distinct optima, and the
// number f[c] of optima visited exactly c times.
#pragma once

#include <array>
#include <cstdint>

#include "estimators/estimate.h"

namespace frq {

// Only f[0..n] belong to the current file: entries above n are not cleared
// between files and no result may depend on them.
struct FrequencyTable {
  int32_t n = 0;
  int32_t k = 0;
  std::array<int32_t, MaxRestarts + 1> f{};
  // No entry f[c] with top < c <= n is nonzero, so a scan of the classes
  // can stop at top. The reader sets it to the highest multiplicity it read;
  // a table filled by hand keeps MaxRestarts, and the scans cover all of n.
  int32_t top = MaxRestarts;
};

}  // namespace frq
