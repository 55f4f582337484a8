// Logarithms of integers, taken once and reused: ln c is the same value
// every time it is taken, so sums of them can read a table instead.
#pragma once

#include <cstdint>

namespace frq {

// ln first + ln (first + 1) + ... + ln last, added in increasing order from 0
// and rounded after each addition, exactly as a loop over Ln would give it.
// Empty (0) when last < first.
long double SumOfIntegerLogs(int64_t first, int64_t last);

// Ln(c) for an integer c, from the table where it has been taken before.
long double IntegerLog(int64_t c);

}  // namespace frq
