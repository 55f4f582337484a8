// Arbitrary bytes through the frequency file reader and, for every file it
// accepts, the three estimates in the order the estimate report makes them:
// census for (k, n); unless it overflowed, the bootstrap from a fresh random
// state; then the plug-in, each with both marks cleared before the call.
//
// Besides the sanitizers, each input is checked against what the rules
// guarantee: the reader's outcome does not depend on how its source cuts
// the bytes, an accepted table has 1 <= n <= 30000 and k >= 1, every
// estimate is a valid value or comes with its mark, and for small n the
// estimators agree bit for bit with their straightforward evaluation.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "benchmarks/reference_estimators.h"
#include "estimators/bootstrap.h"
#include "estimators/ext_math.h"
#include "estimators/plugin.h"
#include "estimators/random_source.h"
#include "estimators/schnabel.h"
#include "input/frequency_file.h"
#include "input/frequency_table.h"

namespace {

using namespace frq;

// The straightforward bootstrap makes n x 1000 draws through the generator
// and sums a logarithm per term: compared only where that stays cheap.
constexpr int32_t ReferenceLimit = 64;

// A broken guarantee ends the run as a crash, so that the fuzzer keeps the
// input.
void Require(bool holds) {
  if (!holds) std::abort();
}

struct Estimates {
  Estimate S = -1;
  EstimateFlags census;
  double bootstrap = 0.0;
  EstimateFlags bootstrap_flags;
  Estimate P = -1;
  EstimateFlags plugin;
};

template <typename Census, typename Bootstrap, typename Plugin>
Estimates EstimateAll(const FrequencyTable& table, Census census, Bootstrap bootstrap,
                      Plugin plugin) {
  Estimates e;
  e.S = census(table.k, table.n, e.census);
  if (!e.census.overflow) {
    RandomState state;
    e.bootstrap = bootstrap(table.f.data(), table.k, table.n, e.S, BootstrapReplicates,
                            e.bootstrap_flags, state);
  }
  e.P = plugin(table, e.plugin);
  return e;
}

void CheckMarks(const FrequencyTable& table, const Estimates& e) {
  // The census and the plug-in set only the overflow mark; a census result
  // is at least K, a plug-in result is a sum of such results.
  Require(!e.census.inconsistent && !e.plugin.inconsistent);
  Require(e.census.overflow || e.S >= table.k);
  Require(e.plugin.overflow || e.P >= 0);
  // The bootstrap checks consistency before any draw: never both marks.
  Require(!(e.bootstrap_flags.overflow && e.bootstrap_flags.inconsistent));
  if (!e.census.overflow && !e.bootstrap_flags.overflow && !e.bootstrap_flags.inconsistent) {
    Require(std::isfinite(e.bootstrap));
    Require(Round(static_cast<long double>(e.bootstrap)) >= 0);
  }
}

bool SameFlags(const EstimateFlags& a, const EstimateFlags& b) {
  return a.overflow == b.overflow && a.inconsistent == b.inconsistent;
}

void CheckAgainstReference(const FrequencyTable& table, const Estimates& fast) {
  const Estimates slow = EstimateAll(table, reference::SchnabelEstimate,
                                     reference::BootstrapEstimate, reference::PluginEstimate);
  Require(SameFlags(fast.census, slow.census));
  if (!fast.census.overflow) Require(fast.S == slow.S);
  Require(SameFlags(fast.bootstrap_flags, slow.bootstrap_flags));
  if (!fast.census.overflow && !fast.bootstrap_flags.overflow &&
      !fast.bootstrap_flags.inconsistent) {
    Require(std::memcmp(&fast.bootstrap, &slow.bootstrap, sizeof fast.bootstrap) == 0);
  }
  Require(SameFlags(fast.plugin, slow.plugin));
  if (!fast.plugin.overflow) Require(fast.P == slow.P);
}

// The reader's outcome must not depend on how the source cuts the bytes.
void CheckReadByteByByte(std::string_view bytes, const ReadOutcome& whole,
                         const FrequencyTable& table) {
  static FrequencyTable bytewise;
  StringSource source(bytes, 1);
  const ReadOutcome outcome = ReadFrequencyFile(source, bytewise);
  Require(outcome.valid == whole.valid && outcome.message == whole.message);
  if (!outcome.valid) return;
  Require(bytewise.n == table.n && bytewise.k == table.k);
  Require(std::memcmp(bytewise.f.data(), table.f.data(),
                      sizeof(int32_t) * static_cast<size_t>(table.n + 1)) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One table for every input, as in a batch run: entries above n keep what
  // earlier inputs left there, and no result may depend on them.
  static FrequencyTable table;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  StringSource source(bytes);
  const ReadOutcome outcome = ReadFrequencyFile(source, table);
  CheckReadByteByByte(bytes, outcome, table);
  if (!outcome.valid) return 0;
  Require(table.n >= 1 && table.n <= MaxRestarts && table.k >= 1);

  const Estimates fast = EstimateAll(table, SchnabelEstimate, BootstrapEstimate, PluginEstimate);
  CheckMarks(table, fast);
  if (table.n <= ReferenceLimit) CheckAgainstReference(table, fast);
  return 0;
}
