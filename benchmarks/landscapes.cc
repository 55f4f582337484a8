#include "benchmarks/landscapes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace frq {

uint64_t TestRandom::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

int64_t TestRandom::Between(int64_t lo, int64_t hi) {
  return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
}

double TestRandom::Unit() { return static_cast<double>(Next() >> 11) * 0x1p-53; }

void SimulateRestarts(int32_t restarts, int32_t optima, double skew, uint64_t seed,
                      FrequencyTable& table) {
  std::vector<double> cumulative(static_cast<size_t>(optima));
  double total = 0;
  for (int32_t i = 0; i < optima; ++i) {
    total += 1.0 / std::pow(i + 1.0, skew);
    cumulative[static_cast<size_t>(i)] = total;
  }
  std::vector<int32_t> visits(static_cast<size_t>(optima), 0);
  TestRandom random(seed);
  for (int32_t r = 0; r < restarts; ++r) {
    const double point = random.Unit() * total;
    const auto hit = std::upper_bound(cumulative.begin(), cumulative.end(), point);
    ++visits[static_cast<size_t>(std::min<std::ptrdiff_t>(hit - cumulative.begin(), optima - 1))];
  }
  table.n = restarts;
  table.k = 0;
  table.top = 0;
  std::fill(table.f.begin(), table.f.begin() + restarts + 1, 0);
  for (const int32_t v : visits) {
    if (v == 0) continue;
    ++table.f[static_cast<size_t>(v)];
    ++table.k;
    table.top = std::max(table.top, v);
  }
}

std::unique_ptr<FrequencyTable> TableOf(int32_t n,
                                        std::initializer_list<std::pair<int32_t, int32_t>> counts) {
  auto table = std::make_unique<FrequencyTable>();
  for (size_t c = 0; c < table->f.size(); ++c) {
    table->f[c] = static_cast<int32_t>(c) <= n ? 0 : 3 - static_cast<int32_t>(c % 4) * 2;
  }
  table->n = n;
  for (const auto& [multiplicity, count] : counts) {
    table->f[static_cast<size_t>(multiplicity)] = count;
    table->k += count;
  }
  return table;
}

RandomState Advanced(RandomState state, int steps) {
  for (int i = 0; i < steps; ++i) LcgNext(state);
  return state;
}

std::string FrequencyFileText(const FrequencyTable& table) {
  std::string text = std::to_string(table.n) + " restarts\r\n";
  for (int32_t c = 1; c <= table.n; ++c) {
    if (table.f[static_cast<size_t>(c)] == 0) continue;
    text += std::to_string(c) + " " + std::to_string(table.f[static_cast<size_t>(c)]) + "\r\n";
  }
  return text;
}

}  // namespace frq
