#include "estimators/bootstrap.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "estimators/ext_math.h"
#include "estimators/schnabel.h"

namespace frq {

namespace {

constexpr uint32_t StateCount = 65536;

// Marks, in the state-to-optimum table, the one state whose draw is redone.
constexpr uint16_t Redraw = 0xFFFF;

// The states in the order the generator visits them, starting from 0, and
// each state's place in that order.
struct StateCycle {
  uint16_t state_at[StateCount];
  uint16_t position_of[StateCount];
};

const StateCycle& TheStateCycle() {
  static const StateCycle cycle = [] {
    StateCycle c{};
    uint32_t s = 0;
    for (uint32_t i = 0; i < StateCount; ++i) {
      c.state_at[i] = static_cast<uint16_t>(s);
      c.position_of[s] = static_cast<uint16_t>(i);
      s = NextState(s);
    }
    return c;
  }();
  return cycle;
}

}  // namespace

double BootstrapEstimate(const int32_t* f, int32_t k, int32_t n, Estimate M, int32_t B,
                         EstimateFlags& flags, RandomState& state) {
  if (n < 1 || n > MaxRestarts) {
    flags.inconsistent = true;
    return 0.0;
  }
  // Count the visit list before building it, without overflow, so that no
  // table can overrun the working tables.
  int64_t entries = 0;
  int64_t restarts = 0;
  for (int32_t j = 1; j <= n; ++j) {
    if (f[j] <= 0) continue;
    entries += f[j];
    restarts += static_cast<int64_t>(j) * f[j];
  }
  if (entries != k || entries > MaxRestarts || restarts < n) {
    flags.inconsistent = true;
    return 0.0;
  }

  // Restart r (1..n) ends at the first optimum, in ascending multiplicity,
  // whose running visit total reaches r; optima are numbered from 0.
  std::vector<uint16_t> optimum_of_restart(static_cast<size_t>(n) + 1);
  {
    int32_t optimum = 0;
    int32_t restart = 1;
    for (int32_t j = 1; j <= n && restart <= n; ++j) {
      for (int32_t e = 0; e < f[j] && restart <= n; ++e, ++optimum) {
        for (int32_t v = 0; v < j && restart <= n; ++v) {
          optimum_of_restart[static_cast<size_t>(restart++)] = static_cast<uint16_t>(optimum);
        }
      }
    }
  }
  // The generator runs through all 65536 states in one fixed cycle, and for
  // this n every state yields a fixed index, and so a fixed optimum. Laid
  // out in cycle order (with the start of the cycle repeated after its end,
  // so that a replicate never wraps), the draws of a replicate are a plain
  // walk along one table.
  const StateCycle& cycle = TheStateCycle();
  std::vector<uint16_t> optimum_along_cycle(StateCount + static_cast<size_t>(n) + 2);
  for (size_t i = 0; i < StateCount; ++i) {
    const uint32_t s = cycle.state_at[i];
    optimum_along_cycle[i] =
        s == RedrawState ? Redraw
                         : optimum_of_restart[static_cast<size_t>(IndexOfState(s, n))];
  }
  std::copy_n(optimum_along_cycle.begin(), optimum_along_cycle.size() - StateCount,
              optimum_along_cycle.begin() + StateCount);
  // seen[i] == replicate marks optimum i as drawn in this replicate, so the
  // table is cleared once per call, not once per replicate.
  std::vector<int32_t> seen(static_cast<size_t>(k), 0);
  std::vector<Estimate> cache(static_cast<size_t>(n) + 1, 0);

  const long double replicates = static_cast<long double>(B);
  size_t position = cycle.position_of[state.value];
  double sum = 0.0;
  for (int32_t b = 1; b <= B; ++b) {
    int32_t d = 0;
    for (int32_t draw = 0; draw < n; ++draw) {
      uint16_t optimum = optimum_along_cycle[++position];
      if (optimum == Redraw) optimum = optimum_along_cycle[++position];
      d += seen[optimum] != b;
      seen[optimum] = b;
    }
    position %= StateCount;
    state.value = cycle.state_at[position];
    Estimate est = cache[static_cast<size_t>(d)];
    if (est == 0) {
      est = SchnabelEstimate(d, n, flags);
      if (flags.overflow) return 0.0;
      cache[static_cast<size_t>(d)] = est;
    }
    const long double q = static_cast<long double>(WrapSub(est, M)) / replicates;
    sum = static_cast<double>(static_cast<long double>(sum) + q);
  }
  return static_cast<double>(static_cast<long double>(M) - static_cast<long double>(sum));
}

}  // namespace frq
