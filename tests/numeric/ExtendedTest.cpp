// SoftExtended against the x87's own long double, bit for bit: every operation on
// operands drawn to reach the hard cases, then the engine's extended expressions over
// their input ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <utility>

#include "ExtendedDigest.h"
#include "numeric/Extended.h"

namespace veltrano {
namespace {

#if VELTRANO_EXTENDED_IS_LONG_DOUBLE

using extended_digest::Fields;
using extended_digest::FieldsOf;

SoftExtended Soft(long double x) {
  const Fields f = FieldsOf(x);
  return SoftExtended::FromBits(f.signExponent, f.significand);
}

bool SameBits(long double x, SoftExtended y) {
  const Fields f = FieldsOf(x);
  return f.signExponent == y.SignExponent() && f.significand == y.Significand();
}

bool SameBits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

long double FromFields(std::uint16_t signExponent, std::uint64_t significand) {
  long double x = 0;
  std::memcpy(&x, &significand, 8);
  std::memcpy(reinterpret_cast<char*>(&x) + 8, &signExponent, 2);
  return x;
}

// Operands for the hard cases: doubles of every magnitude and with few significant
// bits (exact products, ties at 53 bits), integers, 80-bit values with full
// significands (low bits near the double tie 0x400, exponents near the denormal and
// overflow ends), and now and then a zero, an infinity or a NaN.
class Operands {
public:
  long double One() {
    const std::uint64_t r = rng_();
    switch (r % 16) {
      case 0: case 1: case 2: case 3: return extended_digest::DrawDouble(seed_);
      case 4: return static_cast<std::int32_t>(r >> 32);
      case 5: return static_cast<std::int64_t>(rng_()) >> ((r >> 8) % 63);
      case 6: case 7: case 8: return Full(16383 - 70 + (r >> 8) % 140);
      case 9: {  // significand's low 11 bits at or beside the double tie
        const std::uint64_t low[] = {0x3FF, 0x400, 0x401, 0x000, 0x7FF, 0xC00};
        const long double x = Full(16383 - 70 + (r >> 8) % 140);
        const Fields f = FieldsOf(x);
        return FromFields(f.signExponent, (f.significand & ~std::uint64_t{0x7FF}) | low[(r >> 20) % 6]);
      }
      case 10: return Full(1 + (r >> 8) % 200);            // small, down to the denormals
      case 11: return Full(0x7FFE - (r >> 8) % 200);       // near overflow
      case 12: return Full(0);                             // 80-bit denormal (or zero)
      case 13: return Full(16383 - 1022 - 60 + (r >> 8) % 120);  // near the double subnormals
      case 14: {
        const long double specials[] = {0.0L, -0.0L, std::numeric_limits<long double>::infinity(),
                                        -std::numeric_limits<long double>::infinity()};
        return specials[(r >> 8) % 4];
      }
      default: {  // a NaN, quiet or signalling, either sign, some payload
        const std::uint64_t payload = rng_() & ((std::uint64_t{1} << 62) - 1);
        const std::uint64_t quiet = (r >> 8) % 2 == 0 ? std::uint64_t{1} << 62 : 0;
        return FromFields(static_cast<std::uint16_t>(0x7FFF | ((r >> 9) % 2 == 0 ? 0x8000 : 0)),
                          (std::uint64_t{1} << 63) | quiet | (payload == 0 && quiet == 0 ? 1 : payload));
      }
    }
  }

  // An operand pair: often two values close to each other (cancellation, quotients
  // near 1) or a quotient landing next to a double tie.
  std::pair<long double, long double> Pair() {
    const long double a = One();
    const std::uint64_t r = rng_();
    switch (r % 6) {
      case 0: {  // the same value with its low significand bits redrawn, either sign
        const Fields f = FieldsOf(a);
        const int bits = 1 + static_cast<int>((r >> 8) % 63);
        const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
        return {a, FromFields(f.signExponent ^ (((r >> 16) % 2) << 15), (f.significand & ~mask) | (rng_() & mask))};
      }
      case 1: return {a, a * (1 + std::ldexp(1.0L, -static_cast<int>((r >> 8) % 70)))};
      case 2: {  // (q·b)/b with q's low 11 bits the double tie
        const Fields f = FieldsOf(Full(16383 - 30 + (r >> 8) % 60));
        const long double q = FromFields(f.signExponent, (f.significand & ~std::uint64_t{0x7FF}) | 0x400);
        return {q * a, a};
      }
      default: return {a, One()};
    }
  }

private:
  long double Full(std::uint64_t biased) {
    const std::uint64_t sign = (rng_() % 2) << 15;
    const std::uint64_t sig = rng_() | (biased == 0 ? 0 : std::uint64_t{1} << 63);
    return FromFields(static_cast<std::uint16_t>(sign | biased), biased == 0 ? sig >> 1 : sig);
  }

  std::mt19937_64 rng_{42};
  std::uint64_t seed_ = 7;
};

std::string Hex(std::uint16_t signExponent, std::uint64_t significand) {
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%016llx", signExponent, static_cast<unsigned long long>(significand));
  return text;
}
std::string Hex(long double x) { return Hex(FieldsOf(x).signExponent, FieldsOf(x).significand); }

// The result and its rounding to double; a failure names the operation, the
// operands' fields and both results.
::testing::AssertionResult Check(const char* op, long double a, long double b, long double want, SoftExtended got) {
  if (SameBits(want, got) && SameBits(static_cast<double>(want), got.ToDouble())) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << op << " of " << Hex(a) << " and " << Hex(b) << " wants " << Hex(want)
                                       << " (double " << static_cast<double>(want) << "), got "
                                       << Hex(got.SignExponent(), got.Significand()) << " (double " << got.ToDouble()
                                       << ")";
}

TEST(SoftExtended, ArithmeticAndConversionMatchTheX87) {
  Operands draw;
  for (int i = 0; i < 3'000'000; ++i) {
    auto [a, b] = draw.Pair();
    if (i % 4 == 3) std::swap(a, b);
    const SoftExtended sa = Soft(a), sb = Soft(b);
    ASSERT_TRUE(Check("+", a, b, a + b, sa + sb));
    ASSERT_TRUE(Check("-", a, b, a - b, sa - sb));
    ASSERT_TRUE(Check("*", a, b, a * b, sa * sb));
    ASSERT_TRUE(Check("/", a, b, a / b, sa / sb));
    ASSERT_TRUE(Check("nearbyint", a, a, std::nearbyintl(a), sa.NearbyInt()));
    ASSERT_EQ(a < b, sa < sb);
    ASSERT_EQ(a == b, sa == sb);
    ASSERT_EQ(a <= b, sa <= sb);
    ASSERT_EQ(a > b, sa > sb);
  }
}

TEST(SoftExtended, ConstructionFromIntegersAndDoublesIsExact) {
  std::mt19937_64 rng(3);
  std::uint64_t seed = 11;
  const double edges[] = {0.0, -0.0, 5e-324, -2.2250738585072014e-308, 1.7976931348623157e308,
                          std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::signaling_NaN()};
  for (const double d : edges) ASSERT_TRUE(SameBits(static_cast<long double>(d), SoftExtended(d))) << d;
  for (const std::int64_t v : {INT64_MIN, INT64_MAX, std::int64_t{0}, std::int64_t{-1}})
    ASSERT_TRUE(SameBits(static_cast<long double>(v), SoftExtended(v))) << v;
  for (int i = 0; i < 1'000'000; ++i) {
    const double d = extended_digest::DrawDouble(seed);
    ASSERT_TRUE(SameBits(static_cast<long double>(d), SoftExtended(d))) << d;
    const auto v = static_cast<std::int64_t>(rng()) >> (rng() % 64);
    ASSERT_TRUE(SameBits(static_cast<long double>(v), SoftExtended(v))) << v;
    const auto w = static_cast<std::int32_t>(v);
    ASSERT_TRUE(SameBits(static_cast<long double>(w), SoftExtended(w))) << w;
  }
}

TEST(SoftExtended, TruncationToInt32) {
  std::mt19937_64 rng(5);
  for (int i = 0; i < 1'000'000; ++i) {
    // Values of int32 range with fraction bits, and small ones around ±0.5 and ±1.
    const long double x = i % 2 == 0 ? std::ldexp(static_cast<long double>(static_cast<std::int64_t>(rng())), -33)
                                     : static_cast<long double>(static_cast<std::int32_t>(rng())) / 1024;
    ASSERT_EQ(static_cast<std::int32_t>(x), Soft(x).ToInt32()) << static_cast<double>(x);
  }
  EXPECT_EQ(Soft(-0.75L).ToInt32(), 0);
  EXPECT_EQ(Soft(-2147483648.9L).ToInt32(), INT32_MIN);
  EXPECT_EQ(Soft(2147483647.9L).ToInt32(), INT32_MAX);
}

// The engine's expressions, written once for both types.
template <class T>
struct Expressions {
  static T Shrink() {
    if constexpr (std::is_same_v<T, long double>) return ExtendedFromBits(0x3FFF, 0xA666666666666666);
    else return SoftExtended::FromBits(0x3FFF, 0xA666666666666666);
  }
  static std::int32_t CombGap(std::int32_t gap) { return ToInt32(T(gap) / Shrink()); }
  static std::int32_t KnownCount(std::int32_t n, T share) { return ToInt32(NearbyInt(T(n) * share)); }
  static T Share(std::int32_t D) { return T(D) / T(100.0); }
  static std::int32_t WideDraw(std::int32_t a, std::int64_t span, double u) {
    return ToInt32(NearbyInt((T(a) - T(0.5)) + T(span) * T(u)));
  }
  static double LordNovick(std::int32_t k, std::int32_t n, double R) {
    return ToDouble((T(k) * T(R) - T(n)) / T((k - 1) * n));
  }
  static double LordNovick(std::int32_t k, double n, double R) {
    return ToDouble((T(k) * T(R) - T(n)) / ((T(k) - T(1)) * T(n)));
  }
  static double Percent(double d) { return ToDouble(T(d) * T(100)); }
  static double Residual(double truth, double x) { return ToDouble(T(truth) - T(x)); }
  static double Standardized(double Du, double d, double se) { return ToDouble((T(Du) - T(d)) / T(se)); }
};

using Native = Expressions<long double>;
using Software = Expressions<SoftExtended>;

TEST(SoftExtended, TheConstantsAreTheLiterals) {
  EXPECT_TRUE(SameBits(1.3L, Software::Shrink()));
  EXPECT_TRUE(SameBits(6.64613997892457936e35L, SoftExtended::FromBits(0x4075, 0xFFFFFFFFFFFFFFF3)));
  // The fixed-form limit against the doubles beside it (a double never equals it).
  const SoftExtended limit = SoftExtended::FromBits(0x4075, 0xFFFFFFFFFFFFFFF3);
  double d = 6.64613997892457936e35;
  for (int i = 0; i < 200; ++i) d = std::nextafter(d, 0.0);
  for (int i = 0; i < 400; ++i, d = std::nextafter(d, 1e300))
    ASSERT_EQ(static_cast<long double>(d) <= 6.64613997892457936e35L, SoftExtended(d) <= limit) << d;
}

TEST(SoftExtended, EngineExpressionsOverTheirRanges) {
  // The known count for every test length and degree.
  for (std::int32_t D = 0; D <= 100; ++D) {
    const long double share = Native::Share(D);
    const SoftExtended softShare = Software::Share(D);
    ASSERT_TRUE(SameBits(share, softShare)) << D;
    for (std::int32_t n = 1; n <= 100000; ++n)
      ASSERT_EQ(Native::KnownCount(n, share), Software::KnownCount(n, softShare)) << n << " " << D;
  }
  // The comb sort's gaps.
  for (std::int32_t gap = 1; gap <= (1 << 21); ++gap) ASSERT_EQ(Native::CombGap(gap), Software::CombGap(gap)) << gap;

  std::mt19937_64 rng(9);
  // The wide item draw: span above 2^20, u a multiple of 2^-32 (near the ends too).
  for (int i = 0; i < 500'000; ++i) {
    const auto a = static_cast<std::int32_t>(rng());
    const std::int64_t b = a + (std::int64_t{1} << 20) + static_cast<std::int64_t>(rng() % (std::uint64_t{1} << 32));
    const std::int64_t span = std::min<std::int64_t>(b, INT32_MAX) - a + 1;
    const std::uint64_t j = i % 4 == 0 ? (i % 8 == 0 ? rng() % 16 : 0xFFFFFFFF - rng() % 16) : rng() >> 32;
    const double u = static_cast<double>(j) * 0x1p-32;
    ASSERT_EQ(Native::WideDraw(a, span, u), Software::WideDraw(a, span, u)) << a << " " << span << " " << u;
  }
  // Lord & Novick: every R for short tests, sampled R and n for long ones.
  for (std::int32_t k = 2; k <= 10; ++k) {
    for (std::int32_t n = 1; n <= 300; ++n)
      for (std::int32_t R = 0; R <= n; ++R) {
        ASSERT_TRUE(SameBits(Native::LordNovick(k, n, R), Software::LordNovick(k, n, R))) << k << " " << n << " " << R;
        ASSERT_TRUE(SameBits(Native::LordNovick(k, double(n), R), Software::LordNovick(k, double(n), R)));
      }
    for (int i = 0; i < 50'000; ++i) {
      const auto n = static_cast<std::int32_t>(1 + rng() % (INT32_MAX / (k - 1)));
      const double R = static_cast<double>(rng() % (static_cast<std::uint64_t>(n) + 1));
      ASSERT_TRUE(SameBits(Native::LordNovick(k, n, R), Software::LordNovick(k, n, R))) << k << " " << n << " " << R;
      ASSERT_TRUE(SameBits(Native::LordNovick(k, double(n), R), Software::LordNovick(k, double(n), R)));
    }
  }
  // The realised degree in percent, for every share j/n of a test up to 1500 items.
  for (int n = 1; n <= 1500; ++n)
    for (int j = 0; j <= n; ++j) {
      const double d = static_cast<double>(j) / n;
      ASSERT_TRUE(SameBits(Native::Percent(d), Software::Percent(d))) << d;
    }
  // Residuals and standardized residuals: estimates near the truth and far from it.
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < 1'000'000; ++i) {
    const double truth = unit(rng);
    const double estimate = i % 2 == 0 ? truth + std::ldexp(unit(rng) - 0.5, -static_cast<int>(rng() % 50)) : unit(rng);
    const double se = std::ldexp(unit(rng) + 0.01, -static_cast<int>(rng() % 40));
    ASSERT_TRUE(SameBits(Native::Residual(truth, estimate), Software::Residual(truth, estimate)));
    ASSERT_TRUE(SameBits(Native::Standardized(estimate, truth, se), Software::Standardized(estimate, truth, se)));
  }
}

TEST(SoftExtended, DigestOfAFixedSequenceIsTheOneWasmChecks) {
  using namespace extended_digest;
  EXPECT_EQ(Digest<long double>(kDigestSteps), kExtendedDigest);
  EXPECT_EQ(Digest<SoftExtended>(kDigestSteps), kExtendedDigest);
}

#else

TEST(SoftExtended, DigestOfAFixedSequence) {
  using namespace extended_digest;
  EXPECT_EQ(Digest<SoftExtended>(kDigestSteps), kExtendedDigest);
}

#endif

}  // namespace
}  // namespace veltrano
