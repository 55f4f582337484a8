#include "estimators/random_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <vector>

namespace frq {
namespace {

// The state whose successor is `target`, found by trying every state.
RandomState PredecessorOf(uint32_t target) {
  for (uint32_t s = 0; s < 65536; ++s) {
    RandomState state{s};
    LcgNext(state);
    if (state.value == target) return RandomState{s};
  }
  ADD_FAILURE() << "no predecessor of " << target;
  return RandomState{};
}

std::vector<int32_t> Draws(int32_t m, size_t count) {
  RandomState state;
  std::vector<int32_t> draws;
  for (size_t i = 0; i < count; ++i) draws.push_back(DrawIndex(state, m));
  return draws;
}

TEST(LcgNext, StatesFromTheStart) {
  const uint32_t expected[] = {13849, 48742, 31223, 17180, 13925,
                               61346, 51939, 31096, 31473, 18974};
  RandomState state;
  EXPECT_EQ(state.value, 0u);
  // 0.21132219424734874 is 13849 / 65535 rounded to extended, then double.
  EXPECT_EQ(LcgNext(state), 0.21132219424734874);
  EXPECT_EQ(state.value, expected[0]);
  for (size_t i = 1; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    LcgNext(state);
    EXPECT_EQ(state.value, expected[i]);
  }
}

TEST(LcgNext, RunsThroughEveryStateOncePerPeriod) {
  // One period from 0: every state once, 65535 first at step 20059 (u = 1.0)
  // and followed by 54212, and 0 again at step 65536 (u = 0.0). For every
  // state u is the correctly rounded double quotient s / 65535, except for
  // eight states where rounding first to extended and then to double ends
  // one unit above it.
  const uint32_t one_unit_above[] = {35839, 39935, 44031, 48127, 52223, 56319, 60415, 64511};
  std::vector<bool> seen(65536, false);
  std::vector<double> u_of(65536);
  RandomState state;
  uint64_t step_of_top = 0;
  uint32_t after_top = 0;
  for (uint64_t step = 1; step <= 65536; ++step) {
    const double u = LcgNext(state);
    ASSERT_FALSE(seen[state.value]) << "state " << state.value << " again at step " << step;
    seen[state.value] = true;
    u_of[state.value] = u;
    if (step == step_of_top + 1 && step_of_top != 0) after_top = state.value;
    if (state.value == 65535) step_of_top = step;
  }
  EXPECT_EQ(state.value, 0u);
  EXPECT_EQ(step_of_top, 20059u);
  EXPECT_EQ(after_top, 54212u);
  EXPECT_EQ(u_of[65535], 1.0);
  EXPECT_EQ(u_of[0], 0.0);

  std::vector<uint32_t> above;
  for (uint32_t s = 0; s < 65536; ++s) {
    // Double division by 65535.0 is correctly rounded (SSE arithmetic).
    const double correctly_rounded = static_cast<double>(s) / 65535.0;
    if (u_of[s] == correctly_rounded) continue;
    above.push_back(s);
    EXPECT_EQ(u_of[s], std::nextafter(correctly_rounded, 2.0)) << "state " << s;
  }
  EXPECT_EQ(above, std::vector<uint32_t>(std::begin(one_unit_above), std::end(one_unit_above)));
}

TEST(DrawIndex, SequencesFromTheStart) {
  EXPECT_EQ(Draws(10, 10), (std::vector<int32_t>{3, 8, 5, 3, 3, 10, 8, 5, 5, 3}));
  EXPECT_EQ(Draws(3, 12), (std::vector<int32_t>{1, 3, 2, 1, 1, 3, 3, 2, 2, 1, 1, 3}));
  EXPECT_EQ(Draws(30000, 6), (std::vector<int32_t>{6340, 22313, 14293, 7865, 6375, 28083}));
}

TEST(DrawIndex, OneChoiceIsAlwaysOne) {
  // Over a full period and a bit, the state 65535 included.
  RandomState state;
  for (int i = 0; i < 65540; ++i) {
    ASSERT_EQ(DrawIndex(state, 1), 1) << "draw " << i;
  }
}

TEST(DrawIndex, DrawsAgainWhenUIsOne) {
  // Step 20059 of the run reaches 65535, where u = 1.0 would give m + 1: that
  // call draws again from the successor 54212, consuming two steps, and the
  // run goes on from 54212. The index is that of 54212: 10 x 54212 / 65535
  // = 8.27 gives 9, 30000 x 54212 / 65535 = 24816.66 gives 24817.
  struct Case {
    int32_t m;
    int32_t expected;
  };
  const Case cases[] = {{10, 9}, {30000, 24817}, {1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.m);
    RandomState state;
    for (int step = 1; step < 20059; ++step) LcgNext(state);
    RandomState reaches_top = state;
    LcgNext(reaches_top);
    ASSERT_EQ(reaches_top.value, 65535u);
    EXPECT_EQ(DrawIndex(state, c.m), c.expected);
    EXPECT_EQ(state.value, 54212u);
  }
}

TEST(DrawIndex, IndexFollowsTheRoundedUWhereTheQuotientIsExact) {
  // m s / 65535 is an integer here, and u lies just off the exact quotient:
  // at 21845 u is the double nearest 1/3, below it, so 3u stays below 1
  // (a product rounded to double would reach 1.0 and give 2); at 48127 the
  // twice-rounded u lies above 2831/3855 and gives 2832, not 2831.
  struct Case {
    uint32_t state;
    int32_t m;
    int32_t expected;
  };
  const Case cases[] = {{21845, 3, 1}, {48127, 3855, 2832}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "state " << c.state << ", m = " << c.m);
    RandomState state = PredecessorOf(c.state);
    EXPECT_EQ(DrawIndex(state, c.m), c.expected);
    EXPECT_EQ(state.value, c.state);
  }
}

}  // namespace
}  // namespace frq
