#include "estimators/ext_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ios>

#include "estimators/estimate.h"

namespace frq {
namespace {

// The 80-bit extended format as it sits in memory on this platform: the
// 64-bit significand (explicit integer bit) first, then sign and exponent.
struct ExtendedBits {
  uint64_t significand;
  uint16_t sign_exponent;
};

ExtendedBits BitsOf(long double x) {
  unsigned char bytes[10];
  std::memcpy(bytes, &x, sizeof bytes);
  ExtendedBits bits;
  std::memcpy(&bits.significand, bytes, 8);
  std::memcpy(&bits.sign_exponent, bytes + 8, 2);
  return bits;
}

TEST(SearchTolerance, HoldsTruncatedBitsOfEightTenThousandths) {
  const ExtendedBits bits = BitsOf(SearchTolerance);
  EXPECT_EQ(bits.significand, 0xD1B71758E219652BULL) << std::hex << bits.significand;
  EXPECT_EQ(bits.sign_exponent, 0x3FF4) << std::hex << bits.sign_exponent;

  // 0.0008 = 1/1250 = 2^-74 x (2^74 / 1250), and 2^74 / 1250 lies strictly
  // between the significand and the next integer: the significand is 0.0008
  // truncated to 64 bits, so the held value lies below 0.0008.
  __extension__ using Wide = unsigned __int128;
  const Wide significand = bits.significand;
  const Wide two_to_74 = Wide{1} << 74;
  EXPECT_LT(significand * 1250, two_to_74);
  EXPECT_GT((significand + 1) * 1250, two_to_74);
}

TEST(SearchTolerance, IsOneUnitBelowTheNearestExtendedValue) {
  // The next extended value upward is the one nearest 0.0008 (0.0008L, whose
  // significand ...652C is 0.0008 rounded up): the held value is the largest
  // extended value below 0.0008.
  const long double above = std::nextafter(SearchTolerance, 1.0L);
  EXPECT_EQ(above, 0.0008L) << std::hexfloat << above;
  EXPECT_EQ(BitsOf(0.0008L).significand, 0xD1B71758E219652CULL);
  EXPECT_LT(SearchTolerance, 0.0008L);
}

TEST(Round, TiesGoToTheEvenInteger) {
  struct Case {
    long double x;
    int32_t expected;
  };
  const Case cases[] = {
      {0.5L, 0},   {1.5L, 2},   {2.5L, 2},  {3.5L, 4},  {-0.5L, 0},
      {-1.5L, -2}, {-2.5L, -2}, {11.5L, 12},
      // Not ties: the neighbours of 2.5 go to the nearer integer.
      {std::nextafter(2.5L, 0.0L), 2}, {std::nextafter(2.5L, 3.0L), 3},
      {std::nextafter(0.5L, 1.0L), 1},
      // Ties at the size of the search results (OverflowLimit is even).
      {1073741819.5L, 1073741820}, {1073741820.5L, 1073741820},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hexfloat << c.x);
    EXPECT_EQ(Round(c.x), c.expected);
  }
}

// Ln and Exp with constant arguments must still give the C library's value
// at run time, not a value the compiler computed: the two differ in the last
// bit for some arguments (ln 3 among them).
TEST(LnExp, GiveTheLibraryValueAtRunTime) {
  const long double arguments[] = {3.0L, 7.0L, 1000.0L, 30000.0L, 0.5L, 2.0L};
  for (const long double x : arguments) {
    SCOPED_TRACE(testing::Message() << x);
    volatile long double runtime_x = x;
    const long double library_ln = ::logl(runtime_x);
    const long double library_exp = ::expl(-runtime_x);
    EXPECT_EQ(Ln(x), library_ln) << std::hexfloat << Ln(x) << " vs " << library_ln;
    EXPECT_EQ(Exp(-x), library_exp) << std::hexfloat << Exp(-x) << " vs " << library_exp;
  }
}

}  // namespace
}  // namespace frq
