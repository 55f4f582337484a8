#include "estimators/integer_log.h"

#include <algorithm>
#include <array>

#include "estimators/ext_math.h"

namespace frq {

namespace {

// Dense table for 1..DenseLimit, filled one block at a time on first use.
// It lives in zero-initialised static storage, so untouched blocks cost no
// memory: the census searches of files up to 30000 restarts stay well
// inside the first blocks, the near-ceiling searches reach further.
constexpr int64_t BlockSize = 4096;
constexpr int64_t DenseLimit = int64_t{1} << 20;
constexpr int64_t BlockCount = DenseLimit / BlockSize;

long double dense_logs[DenseLimit + 1];
std::array<bool, BlockCount + 1> block_filled;

// Beyond the dense table, a direct-mapped cache: nearby windows of the
// ceiling search share most of their integers.
constexpr int64_t CacheSize = int64_t{1} << 16;
int64_t cached_integer[CacheSize];  // 0: empty (never a key: keys exceed DenseLimit)
long double cached_log[CacheSize];

const long double* FilledBlock(int64_t block) {
  long double* begin = dense_logs + block * BlockSize;
  if (!block_filled[static_cast<size_t>(block)]) {
    for (int64_t i = 0; i < BlockSize; ++i) {
      const int64_t c = block * BlockSize + i;
      if (c >= 1 && c <= DenseLimit) begin[i] = Ln(static_cast<long double>(c));
    }
    block_filled[static_cast<size_t>(block)] = true;
  }
  return begin;
}

// Adds values[0..count) to s in order. Kept apart so the running sum stays
// in a register instead of going through memory on every addition.
[[gnu::noinline]] long double AddInOrder(long double s, const long double* values,
                                         int64_t count) {
  for (int64_t i = 0; i < count; ++i) s = s + values[i];
  return s;
}

}  // namespace

long double IntegerLog(int64_t c) {
  if (c >= 1 && c <= DenseLimit) return FilledBlock(c / BlockSize)[c % BlockSize];
  if (c < 1) return Ln(static_cast<long double>(c));
  const size_t slot = static_cast<size_t>(c & (CacheSize - 1));
  if (cached_integer[slot] != c) {
    cached_log[slot] = Ln(static_cast<long double>(c));
    cached_integer[slot] = c;
  }
  return cached_log[slot];
}

long double SumOfIntegerLogs(int64_t first, int64_t last) {
  long double s = 0;
  int64_t c = first;
  // Whole runs inside the dense table: one block check per block, then a
  // plain loop of additions in the same order.
  while (c <= last && c >= 1 && c <= DenseLimit) {
    const int64_t block = c / BlockSize;
    const long double* logs = FilledBlock(block);
    const int64_t run_end = std::min(last, std::min(DenseLimit, (block + 1) * BlockSize - 1));
    s = AddInOrder(s, logs + (c - block * BlockSize), run_end - c + 1);
    c = run_end + 1;
  }
  for (; c <= last; ++c) s = s + IntegerLog(c);
  return s;
}

}  // namespace frq
