#pragma once
// The extended type: x87's 80-bit extended precision (a 64-bit significand with an
// explicit integer bit, a 15-bit exponent biased by 16383, round to nearest even).
//
// A few computations of the engine (the Lord & Novick value, the known count, the
// comb sort's gap, the wide branch of the item draw, the residuals and the fixed-form
// limit of NumStr) are defined as operations on this type followed by one rounding to
// double or to an integer. The double then differs from the all-double computation in
// about one operation in a few thousand, so the type is part of the results.
//
// Where long double is that type (x86-64), Extended is long double itself. Where
// long double is wider (IEEE binary128 on WebAssembly, AArch64) or narrower, Extended
// is SoftExtended, which performs the same operations in integer arithmetic and gives
// the same bits. The operations the engine uses go through functions that exist for
// both: Extended(int32/int64/double), + − × ÷, comparisons, ToDouble, NearbyInt,
// ToInt32, and ExtendedFromBits for constants that are not doubles (1.3L).
#include <cfloat>
#include <cmath>
#include <compare>
#include <cstdint>

namespace veltrano {

/// x87 extended arithmetic in software. Every result is the exactly rounded one (to
/// nearest, ties to even) at 64 significant bits, with the 80-bit format's exponent
/// range, gradual underflow and overflow to infinity. NaNs and infinities behave as on
/// the x87 with its exceptions masked: an invalid operation gives the default NaN
/// (negative, quiet, significand C000…0), a NaN operand comes out quieted.
class SoftExtended {
public:
  constexpr SoftExtended() noexcept = default;  // +0
  explicit SoftExtended(std::int32_t v) noexcept : SoftExtended(static_cast<std::int64_t>(v)) {}
  explicit SoftExtended(std::int64_t v) noexcept;
  explicit SoftExtended(double v) noexcept;

  /// The value with these fields of the 80-bit format: sign and biased exponent in
  /// signExponent (bit 15 the sign), the significand with its integer bit (bit 63).
  static constexpr SoftExtended FromBits(std::uint16_t signExponent, std::uint64_t significand) noexcept {
    SoftExtended x;
    x.se_ = signExponent;
    x.sig_ = significand;
    return x;
  }
  constexpr std::uint16_t SignExponent() const noexcept { return se_; }
  constexpr std::uint64_t Significand() const noexcept { return sig_; }

  friend SoftExtended operator+(SoftExtended a, SoftExtended b) noexcept;
  friend SoftExtended operator-(SoftExtended a, SoftExtended b) noexcept;
  friend SoftExtended operator*(SoftExtended a, SoftExtended b) noexcept;
  friend SoftExtended operator/(SoftExtended a, SoftExtended b) noexcept;
  friend std::partial_ordering operator<=>(SoftExtended a, SoftExtended b) noexcept;
  friend bool operator==(SoftExtended a, SoftExtended b) noexcept { return (a <=> b) == 0; }

  /// The nearest double, ties to even (subnormal doubles included; too large: ±inf).
  double ToDouble() const noexcept;
  /// The nearest integer, ties to even, as an extended value (−0 stays −0).
  SoftExtended NearbyInt() const noexcept;
  /// Truncated toward zero; a NaN, an infinity or a value out of range gives INT32_MIN,
  /// the x87's integer indefinite.
  std::int32_t ToInt32() const noexcept;

private:
  std::uint64_t sig_ = 0;
  std::uint16_t se_ = 0;
};

inline double ToDouble(SoftExtended x) noexcept { return x.ToDouble(); }
inline SoftExtended NearbyInt(SoftExtended x) noexcept { return x.NearbyInt(); }
inline std::int32_t ToInt32(SoftExtended x) noexcept { return x.ToInt32(); }

#if LDBL_MANT_DIG == 64 && LDBL_MAX_EXP == 16384
#define VELTRANO_EXTENDED_IS_LONG_DOUBLE 1

using Extended = long double;

inline double ToDouble(long double x) noexcept { return static_cast<double>(x); }
inline long double NearbyInt(long double x) noexcept { return std::nearbyintl(x); }  // current mode: nearest even
inline std::int32_t ToInt32(long double x) noexcept { return static_cast<std::int32_t>(x); }

/// The finite normal value with these 80-bit fields (see SoftExtended::FromBits).
constexpr long double ExtendedFromBits(std::uint16_t signExponent, std::uint64_t significand) noexcept {
  long double x = static_cast<long double>(significand);  // exact: 64 bits
  for (int e = (signExponent & 0x7FFF) - 16383 - 63; e > 0; --e) x *= 2;
  for (int e = (signExponent & 0x7FFF) - 16383 - 63; e < 0; ++e) x *= 0.5L;
  return (signExponent & 0x8000) ? -x : x;
}

#else
#define VELTRANO_EXTENDED_IS_LONG_DOUBLE 0

using Extended = SoftExtended;

constexpr SoftExtended ExtendedFromBits(std::uint16_t signExponent, std::uint64_t significand) noexcept {
  return SoftExtended::FromBits(signExponent, significand);
}

#endif

}  // namespace veltrano
