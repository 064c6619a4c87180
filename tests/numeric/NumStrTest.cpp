#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "numeric/NumStr.h"

namespace veltrano {
namespace {

struct NumStrCase {
  double x;
  int w, d;
  const char* text;
};

void PrintTo(const NumStrCase& c, std::ostream* os) { *os << c.x << " w=" << c.w << " d=" << c.d; }

class NumStrCases : public ::testing::TestWithParam<NumStrCase> {};

TEST_P(NumStrCases, MatchesTheRule) {
  const NumStrCase& c = GetParam();
  EXPECT_EQ(NumStr(c.x, c.w, c.d), c.text);
}

// Halves go away from zero, but on the 18-digit expansion of the double, not on the
// decimal literal the test writes: 0.15 is stored below 0.15.
INSTANTIATE_TEST_SUITE_P(Rounding, NumStrCases, ::testing::Values(
    NumStrCase{2.5, 0, 0, "3"}, NumStrCase{-2.5, 0, 0, "-3"}, NumStrCase{0.5, 0, 0, "1"},
    NumStrCase{0.125, 0, 2, "0.13"}, NumStrCase{0.15, 0, 1, "0.1"}, NumStrCase{0.006, 0, 2, "0.01"},
    NumStrCase{0.004, 0, 2, "0.00"}, NumStrCase{1.5, 0, 0, "2"}, NumStrCase{9.995, 0, 2, "9.99"},
    NumStrCase{9.9951, 0, 2, "10.00"}, NumStrCase{999.9996, 0, 3, "1000.000"},
    NumStrCase{0.45, 0, 1, "0.5"},  // 0.45 is stored as 0.450000000000000011…
    NumStrCase{1.0000000000000002, 0, 16, "1.0000000000000002"},
    // Beyond the 18 significant digits (0.100000000000000006 for 0.1) come zeros.
    NumStrCase{0.1, 0, 20, "0.10000000000000000600"},
    NumStrCase{123456789012345678901.0, 0, 0, "123456789012345684000"}));

// The sign: a negative value that rounds to zero keeps it, negative zero has none.
INSTANTIATE_TEST_SUITE_P(Sign, NumStrCases, ::testing::Values(
    NumStrCase{-0.0001, 0, 2, "-0.00"}, NumStrCase{-0.0, 0, 2, "0.00"}, NumStrCase{0.0, 0, 0, "0"},
    NumStrCase{-0.0, 5, 0, "    0"}, NumStrCase{-0.00001, 8, 4, " -0.0000"}, NumStrCase{-1e-30, 0, 3, "-0.000"}));

// Right-aligned in at least w characters and never cut; w is capped at 255.
INSTANTIATE_TEST_SUITE_P(Width, NumStrCases, ::testing::Values(
    NumStrCase{3.14159, 8, 3, "   3.142"}, NumStrCase{123456.789, 3, 1, "123456.8"},
    NumStrCase{0.5, 6, 3, " 0.500"}, NumStrCase{-0.25, 6, 3, "-0.250"}, NumStrCase{12.5, 6, 3, "12.500"},
    NumStrCase{123.25, 6, 3, "123.250"}, NumStrCase{0.05, 4, 1, " 0.1"}, NumStrCase{7, -5, 0, "7"}));

// Exponent form: asked for by negative decimals, or forced by the size of x.
INSTANTIATE_TEST_SUITE_P(Exponent, NumStrCases, ::testing::Values(
    NumStrCase{1e-40, 8, 4, " 1.0E-0040"}, NumStrCase{1234.5, 0, -1, " 1.2E+0003"},
    NumStrCase{-1234.5, 10, -1, "-1.2E+0003"}, NumStrCase{9.96, 10, -1, " 1.0E+0001"},
    NumStrCase{0.0, 10, -1, " 0.0E+0000"}, NumStrCase{1234.5, 12, -1, " 1.235E+0003"},
    NumStrCase{1.0 / 3, 26, -1, " 3.33333333333333315E-0001"},
    NumStrCase{1.0 / 3, 30, -1, "     3.33333333333333315E-0001"},
    NumStrCase{1e300, 10, 2, " 1.0E+0300"}, NumStrCase{4.9406564584124654e-324, 12, 2, " 4.941E-0324"},
    NumStrCase{1e-36, 0, 40, " 1.0E-0036"}, NumStrCase{7e35, 0, 0, " 7.0E+0035"},
    NumStrCase{1.5e-35, 0, 36, "0.000000000000000000000000000000000015"},
    NumStrCase{6e35, 0, 0, "599999999999999981000000000000000000"}));

TEST(NumStr, SpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(NumStr(inf, 6, 2), "  +Inf");
  EXPECT_EQ(NumStr(-inf, 6, -1), "  -Inf");
  EXPECT_EQ(NumStr(nan, 6, 2), "   Nan");
  EXPECT_EQ(NumStr(inf, 2, 2), "+Inf");
  EXPECT_EQ(NumStr(nan, 0, 0), "Nan");
}

TEST(NumStr, CapsWidthAndDecimals) {
  EXPECT_EQ(NumStr(1, 1000, 0).size(), 255u);
  const std::string many = NumStr(0.5, 0, 1000);
  EXPECT_EQ(many.size(), 2u + 216u);
  EXPECT_EQ(many.substr(0, 4), "0.50");
  EXPECT_EQ(NumStr(1, 300, -1).size(), 255u);
}

TEST(NumStr, IndependentOfTheLocale) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(NumStr(1234567.25, 0, 2), "1234567.25");
  std::setlocale(LC_ALL, saved.c_str());
}

// Printed back, the text is the value to the printed precision, and never shorter
// than the field.
TEST(NumStr, RoundTripsToThePrintedPrecision) {
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int i = 0; i < 20000; ++i) {
    const double x = mantissa(rng) * std::pow(10.0, exponent(rng));
    const int d = static_cast<int>(rng() % 12);
    const int w = static_cast<int>(rng() % 30);
    const std::string s = NumStr(x, w, d);
    ASSERT_GE(static_cast<int>(s.size()), w);
    const double back = std::strtod(s.c_str(), nullptr);
    const double allowed = 0.5 * std::pow(10.0, -d) + std::fabs(x) * 1e-16;
    ASSERT_LE(std::fabs(back - x), allowed) << x << " " << w << " " << d << " -> " << s;
  }
}

// The machine-readable form of a number is C's "%.17g", which reads back exactly.
TEST(NumStr, G17IsThePrintfForm) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> decades(-7.0, 17.0);
  const auto expectG17 = [](double x) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.17g", x);
    std::string s;
    AppendG17(s, x);
    ASSERT_EQ(s, expected);
  };
  for (int i = 0; i < 100000; ++i) {
    const double x = std::pow(10.0, decades(rng)) * (rng() % 2 == 0 ? 1 : -1);
    expectG17(x);
    expectG17(std::round(x * 1000) / 1000);  // short decimals: trailing zeros dropped
  }
  for (const double x : {0.0, -0.0, 0.5, 1e-5, 1e-4, 0.0001234, 1e16, 1e17, 123456789012345678.0, -9999.999, 0.1,
                         std::ldexp(12345678901234567.0, -4), 1.0 / 3})
    expectG17(x);
}

// Whole numbers without decimals (every table cell of a run) are their digits.
TEST(NumStr, WholeNumbersWithoutDecimalsAreTheirDigits) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 20000; ++i) {
    const double x = std::ldexp(static_cast<double>(rng() >> 14), -static_cast<int>(rng() % 64)) *
                     (rng() % 2 == 0 ? 1 : -1);
    const double whole = std::trunc(x);
    if (std::fabs(whole) >= 1e15) continue;
    const int w = static_cast<int>(rng() % 12);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%*.0f", w, whole == 0 ? 0.0 : whole);
    ASSERT_EQ(NumStr(whole, w, 0), expected) << whole;
  }
}

// In exponent form with a field of 26 the 18-digit expansion is shown unrounded: it
// must be the correctly rounded one (ties to even), as the C library prints it. Random
// bit patterns cover every exponent; the magnitudes a run prints (1e-5 to 2^53, worked
// out by exact integer arithmetic) are covered densely, with values whose expansion
// ends exactly halfway (odd multiples of 2^-s with 19 significant digits).
TEST(NumStr, EighteenDigitExpansionIsCorrectlyRounded) {
  const auto expectExpansion = [](double x) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.17e", std::fabs(x));  // d.ddddde±XX
    const std::string s = NumStr(x, 26, -1);                          // sd.dddddE±XXXX
    ASSERT_EQ(s.substr(1, 19), std::string(expected, 19)) << expected;
    ASSERT_EQ(std::atoi(s.c_str() + 21), std::atoi(std::strchr(expected, 'e') + 1)) << s;
  };
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    double x;
    const std::uint64_t bits = rng();
    std::memcpy(&x, &bits, sizeof x);
    if (!std::isfinite(x) || x == 0) continue;
    expectExpansion(x);
  }
  std::uniform_real_distribution<double> decades(-5.0, 15.95);
  for (int i = 0; i < 200000; ++i) expectExpansion(std::pow(10.0, decades(rng)));
  int halfway = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t m = (rng() >> 11) | 1;  // odd, below 2^53
    const int s = 1 + static_cast<int>(rng() % 70);
    const double x = std::ldexp(static_cast<double>(m), -s);
    char all[400];
    std::snprintf(all, sizeof all, "%.60e", x);
    if (std::string(all).find_last_not_of('0', std::strchr(all, 'e') - all - 1) == 19 && all[19] == '5') ++halfway;
    expectExpansion(x);
    expectExpansion(std::nextafter(x, 0.0));
  }
  EXPECT_GT(halfway, 100);  // the ties were there to be rounded
  for (const double x : {1e-5, std::nextafter(1e-5, 0.0), 0x1p53, std::nextafter(0x1p53, 0.0), 1.0, 0.1, 1e15,
                         9.9999999999999999e16, 999999999999999.9, 0.099999999999999992})
    expectExpansion(x);
}

}  // namespace
}  // namespace veltrano
