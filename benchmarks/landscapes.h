// Deterministic frequency tables for benchmarks and tests: restarts of a
// simulated local search that lands on one of `optima` optima, optimum i
// with weight 1 / (i + 1)^skew.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "estimators/random_source.h"
#include "input/frequency_table.h"

namespace frq {

void SimulateRestarts(int32_t restarts, int32_t optima, double skew, uint64_t seed,
                      FrequencyTable& table);

// A table for n restarts with the given (multiplicity, count) entries and k
// their sum; every entry above n holds garbage (positive and negative) that
// no result may depend on.
std::unique_ptr<FrequencyTable> TableOf(int32_t n,
                                        std::initializer_list<std::pair<int32_t, int32_t>> counts);

// `state` after `steps` steps of the generator.
RandomState Advanced(RandomState state, int steps);

// The table as the text of a frequency file, CR LF line ends.
std::string FrequencyFileText(const FrequencyTable& table);

// A small deterministic generator (splitmix64) for test inputs.
class TestRandom {
 public:
  explicit TestRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform integer in [lo, hi].
  int64_t Between(int64_t lo, int64_t hi);
  // Uniform real in [0, 1).
  double Unit();

 private:
  uint64_t state_;
};

}  // namespace frq
