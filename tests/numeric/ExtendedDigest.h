#pragma once
// A digest of a fixed pseudo-random sequence of extended operations: sums,
// differences, products and quotients chained through a small pool of values (so
// operands carry full 64-bit significands), conversions from int32, int64 and double,
// to double and to int32, NearbyInt and comparisons. Computed with long double on
// x86-64 and with SoftExtended elsewhere, it must come out the same: the native test
// checks both types against kExtendedDigest, and ExtendedDigestMain prints it where
// the program is built for WebAssembly.
#include <cstdint>
#include <cstring>

#include "numeric/Extended.h"

namespace veltrano::extended_digest {

inline constexpr int kDigestSteps = 1000000;
inline constexpr std::uint64_t kExtendedDigest = 0x2d5c609eff766fa4;

inline std::uint64_t SplitMix(std::uint64_t& s) {
  std::uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

inline void Mix(std::uint64_t& h, std::uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
  h *= 0xFF51AFD7ED558CCDULL;
}

struct Fields {
  std::uint16_t signExponent;
  std::uint64_t significand;
};

inline Fields FieldsOf(SoftExtended x) { return {x.SignExponent(), x.Significand()}; }
#if VELTRANO_EXTENDED_IS_LONG_DOUBLE
inline Fields FieldsOf(long double x) {
  Fields f;
  std::memcpy(&f.significand, &x, 8);
  std::memcpy(&f.signExponent, reinterpret_cast<const char*>(&x) + 8, 2);
  return f;
}
#endif

// A double from the generator: any magnitude (subnormals included), a moderate one,
// or one with few significant bits (whose products are exact and often ties at 53).
inline double DrawDouble(std::uint64_t& s) {
  const std::uint64_t r = SplitMix(s);
  const std::uint64_t sign = r & (std::uint64_t{1} << 63);
  const std::uint64_t fraction = SplitMix(s) & ((std::uint64_t{1} << 52) - 1);
  std::uint64_t biased;
  switch (r % 4) {
    case 0: biased = (r >> 8) % 2047; break;
    case 1: biased = 1023 - 40 + (r >> 8) % 80; break;
    case 2: {
      const int bits = 1 + static_cast<int>((r >> 8) % 30);
      biased = 1023 - 20 + (r >> 16) % 40;
      const std::uint64_t kept = fraction & ~((std::uint64_t{1} << (52 - bits)) - 1);
      double d;
      const std::uint64_t v = sign | (biased << 52) | kept;
      std::memcpy(&d, &v, 8);
      return d;
    }
    default: biased = 1023 + (r >> 8) % 64; break;
  }
  const std::uint64_t v = sign | (biased << 52) | fraction;
  double d;
  std::memcpy(&d, &v, 8);
  return d;
}

template <class T>
T DrawFresh(std::uint64_t& s) {
  const std::uint64_t r = SplitMix(s);
  switch (r % 3) {
    case 0: return T(static_cast<std::int32_t>(r >> 32));
    case 1: return T(static_cast<std::int64_t>(SplitMix(s)) >> ((r >> 8) % 63));
    default: return T(DrawDouble(s));
  }
}

template <class T>
std::uint64_t Digest(int steps) {
  std::uint64_t s = 20240607;
  std::uint64_t h = 0;
  T pool[8];
  for (T& x : pool) x = DrawFresh<T>(s);
  for (int i = 0; i < steps; ++i) {
    const std::uint64_t r = SplitMix(s);
    T& a = pool[r % 8];
    const T b = (r >> 3) % 2 == 0 ? pool[(r >> 4) % 8] : DrawFresh<T>(s);
    T c;
    switch ((r >> 8) % 4) {
      case 0: c = a + b; break;
      case 1: c = a - b; break;
      case 2: c = a * b; break;
      default: c = a / b; break;
    }
    const Fields f = FieldsOf(c);
    Mix(h, f.significand);
    Mix(h, f.signExponent);
    double d = ToDouble(c);
    std::uint64_t dbits;
    std::memcpy(&dbits, &d, 8);
    Mix(h, dbits);
    const T whole = NearbyInt(c);
    Mix(h, FieldsOf(whole).significand ^ FieldsOf(whole).signExponent);
    if (T(-2147483647.0) < whole && whole < T(2147483647.0)) Mix(h, static_cast<std::uint32_t>(ToInt32(c)));
    Mix(h, (a < b) | (a == b) << 1 | (a > b) << 2 | (c <= b) << 3);
    // Keep the pool finite and of ordinary size now and then, so most operations are
    // on ordinary values.
    a = (r >> 16) % 4 == 0 || !(c == c) ? DrawFresh<T>(s) : c;
  }
  return h;
}

}  // namespace veltrano::extended_digest
