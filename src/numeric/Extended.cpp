// SoftExtended: the 80-bit extended operations in integer arithmetic.
//
// A finite nonzero value is unpacked to sign · sig · 2^exp with a 64-bit sig whose top
// bit is set (denormals are normalised on the way in). Sums, products and quotients
// are formed exactly, or with a sticky bit below at least two further bits, in 128-bit
// integers; Pack rounds such a magnitude once to the 80-bit format.
#include "numeric/Extended.h"

#include <bit>
#include <cstring>

namespace veltrano {
namespace {

__extension__ typedef unsigned __int128 U128;

constexpr int kBias = 16383;
constexpr int kMaxBiased = 0x7FFF;
// The exponent of the lowest significand bit of a denormal: 2^(1 − 16383 − 63).
constexpr int kMinLsb = 1 - kBias - 63;
constexpr std::uint64_t kIntegerBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kQuietBit = std::uint64_t{1} << 62;

// The bits of a double and back (memcpy: std::bit_cast is missing from some
// standard libraries the engine is built with).
std::uint64_t BitsOf(double d) {
  std::uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}
double DoubleOf(std::uint64_t b) {
  double d;
  std::memcpy(&d, &b, sizeof d);
  return d;
}

enum class Kind { Zero, Finite, Inf, NaN };

struct Parts {
  Kind kind;
  bool sign;
  int exp;           // Finite: value = sig · 2^exp
  std::uint64_t sig;  // Finite: top bit set
};

Parts Unpack(SoftExtended x) {
  const bool sign = (x.SignExponent() & 0x8000) != 0;
  const int biased = x.SignExponent() & 0x7FFF;
  const std::uint64_t sig = x.Significand();
  if (biased == kMaxBiased) return {(sig << 1) == 0 ? Kind::Inf : Kind::NaN, sign, 0, sig};
  if (sig == 0) return {Kind::Zero, sign, 0, 0};
  if (biased == 0) {  // denormal: sig · 2^kMinLsb
    const int shift = std::countl_zero(sig);
    return {Kind::Finite, sign, kMinLsb - shift, sig << shift};
  }
  return {Kind::Finite, sign, biased - kBias - 63, sig};
}

SoftExtended Make(bool sign, int biased, std::uint64_t sig) {
  return SoftExtended::FromBits(static_cast<std::uint16_t>((sign ? 0x8000 : 0) | biased), sig);
}

SoftExtended Zero(bool sign) { return Make(sign, 0, 0); }
SoftExtended Infinity(bool sign) { return Make(sign, kMaxBiased, kIntegerBit); }
SoftExtended DefaultNaN() { return Make(true, kMaxBiased, kIntegerBit | kQuietBit); }
SoftExtended Quieted(SoftExtended x) { return SoftExtended::FromBits(x.SignExponent(), x.Significand() | kQuietBit); }

int HighestBit(U128 m) {
  const auto hi = static_cast<std::uint64_t>(m >> 64);
  return hi != 0 ? 127 - std::countl_zero(hi) : 63 - std::countl_zero(static_cast<std::uint64_t>(m));
}

// m / 2^s rounded to nearest, ties to even (s >= 0).
U128 ShiftRightRound(U128 m, int s) {
  if (s == 0) return m;
  if (s > 128) return 0;  // m < 2^128 <= 2^(s−1): below one half
  const U128 half = U128{1} << (s - 1);
  if (s == 128) return m > half ? 1 : 0;
  U128 q = m >> s;
  const U128 rest = m & ((U128{1} << s) - 1);
  if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  return q;
}

// sign · mag · 2^exp2, rounded once to the 80-bit format. mag may carry a sticky bit
// in its lowest bit, provided at least two bits lie between it and the rounding point.
SoftExtended Pack(bool sign, U128 mag, int exp2) {
  if (mag == 0) return Zero(sign);
  const int top = HighestBit(mag);
  int lsb = top + exp2 - 63;
  if (lsb < kMinLsb) lsb = kMinLsb;
  const int s = lsb - exp2;
  U128 sig = s > 0 ? ShiftRightRound(mag, s) : mag << -s;
  if ((sig >> 64) != 0) {  // rounded up to 2^64
    sig >>= 1;
    ++lsb;
  }
  if (sig == 0) return Zero(sign);
  const auto sig64 = static_cast<std::uint64_t>(sig);
  if ((sig64 & kIntegerBit) == 0) return Make(sign, 0, sig64);  // denormal (lsb == kMinLsb)
  const int biased = lsb + 63 + kBias;
  if (biased >= kMaxBiased) return Infinity(sign);
  return Make(sign, biased, sig64);
}

// The NaN an operation with a NaN operand gives: a quiet NaN operand before a
// signalling one, else the one with the larger significand, quieted.
SoftExtended PropagateNaN(SoftExtended a, const Parts& pa, SoftExtended b, const Parts& pb) {
  if (pa.kind != Kind::NaN) return Quieted(b);
  if (pb.kind != Kind::NaN) return Quieted(a);
  const bool quietA = (pa.sig & kQuietBit) != 0;
  const bool quietB = (pb.sig & kQuietBit) != 0;
  if (quietA != quietB) return quietA ? a : b;
  if (pa.sig != pb.sig) return Quieted(pa.sig > pb.sig ? a : b);
  return Quieted(pa.sign ? b : a);  // equal significands: the positive one
}

SoftExtended Add(SoftExtended a, SoftExtended b, bool negateB) {
  Parts pa = Unpack(a);
  Parts pb = Unpack(b);
  if (pa.kind == Kind::NaN || pb.kind == Kind::NaN) return PropagateNaN(a, pa, b, pb);
  pb.sign = pb.sign != negateB;
  if (pa.kind == Kind::Inf || pb.kind == Kind::Inf) {
    if (pa.kind == Kind::Inf && pb.kind == Kind::Inf && pa.sign != pb.sign) return DefaultNaN();
    return Infinity(pa.kind == Kind::Inf ? pa.sign : pb.sign);
  }
  if (pa.kind == Kind::Zero && pb.kind == Kind::Zero) return Zero(pa.sign && pb.sign);
  if (pa.kind == Kind::Zero) return Pack(pb.sign, pb.sig, pb.exp);
  if (pb.kind == Kind::Zero) return Pack(pa.sign, pa.sig, pa.exp);
  // big has the larger magnitude; its significand goes to bits 126..63, the other's is
  // aligned below it with a sticky bit for what falls off.
  const bool aBigger = pa.exp > pb.exp || (pa.exp == pb.exp && pa.sig >= pb.sig);
  const Parts& big = aBigger ? pa : pb;
  const Parts& small = aBigger ? pb : pa;
  const U128 x = U128{big.sig} << 63;
  U128 y = U128{small.sig} << 63;
  const int d = big.exp - small.exp;
  if (d >= 127) {
    y = 1;
  } else if (d > 0) {
    const bool lost = (y & ((U128{1} << d) - 1)) != 0;
    y = (y >> d) | (lost ? 1 : 0);
  }
  if (big.sign == small.sign) return Pack(big.sign, x + y, big.exp - 63);
  const U128 difference = x - y;
  if (difference == 0) return Zero(false);  // exact cancellation: +0 when rounding to nearest
  return Pack(big.sign, difference, big.exp - 63);
}

}  // namespace

SoftExtended::SoftExtended(std::int64_t v) noexcept {
  const bool sign = v < 0;
  const std::uint64_t magnitude = sign ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  *this = Pack(sign, magnitude, 0);
}

SoftExtended::SoftExtended(double v) noexcept {
  const auto bits = BitsOf(v);
  const bool sign = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0x7FF) {
    // An infinity, or a NaN with its payload at the top of the fraction, quieted.
    *this = Make(sign, kMaxBiased, kIntegerBit | (fraction << 11) | (fraction != 0 ? kQuietBit : 0));
  } else if (biased == 0) {
    *this = Pack(sign, fraction, -1074);
  } else {
    *this = Pack(sign, fraction | (std::uint64_t{1} << 52), biased - 1075);
  }
}

SoftExtended operator+(SoftExtended a, SoftExtended b) noexcept { return Add(a, b, false); }
SoftExtended operator-(SoftExtended a, SoftExtended b) noexcept { return Add(a, b, true); }

SoftExtended operator*(SoftExtended a, SoftExtended b) noexcept {
  const Parts pa = Unpack(a);
  const Parts pb = Unpack(b);
  if (pa.kind == Kind::NaN || pb.kind == Kind::NaN) return PropagateNaN(a, pa, b, pb);
  const bool sign = pa.sign != pb.sign;
  if (pa.kind == Kind::Inf || pb.kind == Kind::Inf) {
    if (pa.kind == Kind::Zero || pb.kind == Kind::Zero) return DefaultNaN();
    return Infinity(sign);
  }
  if (pa.kind == Kind::Zero || pb.kind == Kind::Zero) return Zero(sign);
  return Pack(sign, U128{pa.sig} * pb.sig, pa.exp + pb.exp);  // exact 128-bit product
}

SoftExtended operator/(SoftExtended a, SoftExtended b) noexcept {
  const Parts pa = Unpack(a);
  const Parts pb = Unpack(b);
  if (pa.kind == Kind::NaN || pb.kind == Kind::NaN) return PropagateNaN(a, pa, b, pb);
  const bool sign = pa.sign != pb.sign;
  if (pa.kind == Kind::Inf) return pb.kind == Kind::Inf ? DefaultNaN() : Infinity(sign);
  if (pb.kind == Kind::Inf) return Zero(sign);
  if (pb.kind == Kind::Zero) return pa.kind == Kind::Zero ? DefaultNaN() : Infinity(sign);
  if (pa.kind == Kind::Zero) return Zero(sign);
  // sig_a · 2^64 / sig_b lies in (2^63, 2^65); two more quotient bits and a sticky bit
  // for the remainder give what rounding needs.
  const U128 numerator = U128{pa.sig} << 64;
  const U128 q1 = numerator / pb.sig;
  const U128 r = (numerator % pb.sig) << 2;
  const U128 q = (q1 << 2) | (r / pb.sig);
  const bool sticky = r % pb.sig != 0;
  return Pack(sign, (q << 1) | (sticky ? 1 : 0), pa.exp - pb.exp - 64 - 2 - 1);
}

std::partial_ordering operator<=>(SoftExtended a, SoftExtended b) noexcept {
  const Parts pa = Unpack(a);
  const Parts pb = Unpack(b);
  if (pa.kind == Kind::NaN || pb.kind == Kind::NaN) return std::partial_ordering::unordered;
  if (pa.kind == Kind::Zero && pb.kind == Kind::Zero) return std::partial_ordering::equivalent;
  // Apart from the sign, the encoding (biased exponent, significand) orders the values.
  if (pa.sign != pb.sign && !(pa.kind == Kind::Zero || pb.kind == Kind::Zero))
    return pa.sign ? std::partial_ordering::less : std::partial_ordering::greater;
  const auto key = [](SoftExtended x) {
    return (static_cast<U128>(x.SignExponent() & 0x7FFF) << 64) | x.Significand();
  };
  const bool negative = pa.kind == Kind::Zero ? pb.sign : pa.sign;
  const U128 ka = key(a), kb = key(b);
  if (ka == kb) return std::partial_ordering::equivalent;
  return (ka < kb) != negative ? std::partial_ordering::less : std::partial_ordering::greater;
}

double SoftExtended::ToDouble() const noexcept {
  const Parts p = Unpack(*this);
  const std::uint64_t sign = p.sign ? std::uint64_t{1} << 63 : 0;
  const std::uint64_t expAllOnes = std::uint64_t{0x7FF} << 52;
  switch (p.kind) {
    case Kind::Zero:
      return DoubleOf(sign);
    case Kind::Inf:
      return DoubleOf(sign | expAllOnes);
    case Kind::NaN:  // the payload's top 51 bits, quieted
      return DoubleOf(sign | expAllOnes | ((p.sig << 1) >> 12) | (std::uint64_t{1} << 51));
    case Kind::Finite:
      break;
  }
  // 53 bits from the top, or fewer where the double is subnormal (lsb 2^−1074).
  int lsb = p.exp + 63 - 52;
  if (lsb < -1074) lsb = -1074;
  auto m = static_cast<std::uint64_t>(ShiftRightRound(p.sig, lsb - p.exp));
  if (m == (std::uint64_t{1} << 53)) {
    m >>= 1;
    ++lsb;
  }
  if (m == 0) return DoubleOf(sign);
  if ((m >> 52) == 0) return DoubleOf(sign | m);  // subnormal
  const int biased = lsb + 52 + 1023;
  if (biased >= 0x7FF) return DoubleOf(sign | expAllOnes);
  return DoubleOf(sign | (static_cast<std::uint64_t>(biased) << 52) | (m & ((std::uint64_t{1} << 52) - 1)));
}

SoftExtended SoftExtended::NearbyInt() const noexcept {
  const Parts p = Unpack(*this);
  if (p.kind == Kind::NaN) return Quieted(*this);
  if (p.kind != Kind::Finite || p.exp >= 0) return *this;  // already whole
  return Pack(p.sign, ShiftRightRound(p.sig, -p.exp), 0);
}

std::int32_t SoftExtended::ToInt32() const noexcept {
  constexpr std::int32_t kIndefinite = INT32_MIN;
  const Parts p = Unpack(*this);
  if (p.kind == Kind::Zero) return 0;
  if (p.kind != Kind::Finite || p.exp >= 0) return kIndefinite;
  const std::uint64_t whole = -p.exp >= 64 ? 0 : p.sig >> -p.exp;
  if (p.sign) return whole > (std::uint64_t{1} << 31) ? kIndefinite : static_cast<std::int32_t>(0 - whole);
  return whole > INT32_MAX ? kIndefinite : static_cast<std::int32_t>(whole);
}

}  // namespace veltrano
