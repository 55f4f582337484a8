// The run's only source of chance: a 16-bit linear congruential generator
// and a uniform draw of an index built on it.
#pragma once

#include <cstdint>

namespace frq {

// One state for the whole run: an integer from 0 to 65535, 0 at program
// start, never reset or reseeded.
struct RandomState {
  uint32_t value = 0;
};

// The successor of a state: (25173 s + 13849) mod 65536.
inline uint32_t NextState(uint32_t s) { return (25173u * s + 13849u) & 0xFFFFu; }

// The state whose u is 1.0: a draw that reaches it is made again.
constexpr uint32_t RedrawState = 65535;

// The index that DrawIndex(., m) yields when the generator reaches `state`
// (any state but RedrawState): Trunc(m u) + 1 for that state's u.
int32_t IndexOfState(uint32_t state, int32_t m);

// Advances the state (s' = (25173 s + 13849) mod 65536) and returns
// u = s' / 65535, rounded first to extended and then to double precision.
double LcgNext(RandomState& state);

// A uniform index from 1 to m (1 <= m <= 30000): Trunc(m u) + 1, drawn again
// when u = 1.0 gives m + 1.
int32_t DrawIndex(RandomState& state, int32_t m);

}  // namespace frq
