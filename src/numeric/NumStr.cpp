#include "numeric/NumStr.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "numeric/DoubleChars.h"
#include "numeric/Extended.h"

namespace veltrano {
namespace {

constexpr int kMaxWidth = 255;
constexpr int kMaxFixedDecimals = 216;
constexpr int kExpansionDigits = 18;
// Largest magnitude written in fixed form: 6.64613997892457936e35 rounded to the
// extended type, 0xFFFFFFFFFFFFFFF3 · 2^55 (not a double).
constexpr Extended kFixedLimit = ExtendedFromBits(0x4075, 0xFFFFFFFFFFFFFFF3);
#if VELTRANO_EXTENDED_IS_LONG_DOUBLE
static_assert(kFixedLimit == 6.64613997892457936e35L);
#endif

void AppendBlanks(std::string& out, int count) {
  if (count > 0) out.append(static_cast<std::size_t>(count), ' ');
}

// The 18-significant-digit expansion of a = |x|: digits[0..17] and the decimal
// exponent of digits[0] (0 for zero). The expansion is the exactly rounded one
// (to nearest, ties to even), which std::to_chars guarantees.
int ExpandByLibrary(double a, char (&digits)[kExpansionDigits]) {
  char buf[40];
  char* const end = DoubleToChars(buf, buf + sizeof buf, a, DoubleForm::Scientific, kExpansionDigits - 1);
  // buf holds "d.ddddddddddddddddde±XX[X]".
  digits[0] = buf[0];
  std::memcpy(digits + 1, buf + 2, kExpansionDigits - 1);
  const char* p = buf + kExpansionDigits + 2;  // just after 'e'
  const bool negative = *p == '-';
  int e = 0;
  for (++p; p < end; ++p) e = e * 10 + (*p - '0');
  return negative ? -e : e;
}

// The same expansion by exact integer arithmetic, for the magnitudes every line of a run
// holds (1e-5 ≤ a < 2^53), several times faster than the library's general method.
// a = m·2^q exactly, with m < 2^53 and −70 < q ≤ 0, so a·10^k = m·10^k / 2^−q with
// m·10^k < 2^53·10^22 < 2^127: the quotient rounded to nearest, ties to even, is the
// 18-digit integer N = round(a·10^(17−E)) when E is the decimal exponent of a. An
// estimate of E off by one shows as N outside [10^17, 10^18) and is corrected.
constexpr unsigned __int128 kPowersOfTen[23] = {
    1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL, 100000000ULL, 1000000000ULL,
    10000000000ULL, 100000000000ULL, 1000000000000ULL, 10000000000000ULL, 100000000000000ULL,
    1000000000000000ULL, 10000000000000000ULL, 100000000000000000ULL, 1000000000000000000ULL,
    10000000000000000000ULL, static_cast<unsigned __int128>(10000000000000000000ULL) * 10,
    static_cast<unsigned __int128>(10000000000000000000ULL) * 100,
    static_cast<unsigned __int128>(10000000000000000000ULL) * 1000};

// Writes the 9 decimal digits of v (< 10^9), leading zeros included.
void NineDigits(char* out, std::uint32_t v) {
  for (int i = 8; i >= 0; --i) {
    out[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
}

// The first `count` (17 or 18) significant digits of a, correctly rounded (to nearest,
// ties to even), into digits[0..count-1], and the decimal exponent of the first.
bool ExpandExactly(double a, int count, char* digits, int& exponent) {
  if (!(a >= 1e-5 && a < 0x1p53)) return false;
  using U128 = unsigned __int128;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &a, sizeof a);
  const int biased = static_cast<int>(bits >> 52);  // a is positive and normal here
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 1075 - biased;  // a = m / 2^shift, 0 ≤ shift < 70
  const auto kLow = static_cast<std::uint64_t>(kPowersOfTen[count - 1]);
  const auto kHigh = static_cast<std::uint64_t>(kPowersOfTen[count]);
  // floor(log10(2)·(binary exponent)), a first guess of the decimal exponent.
  int E = ((biased - 1023) * 78913) >> 18;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int k = count - 1 - E;
    if (k < 0 || k > 22) return false;
    const U128 p = static_cast<U128>(m) * kPowersOfTen[k];
    // The exact a·10^k lies in [q, q + 1); its integer part says whether E is right.
    const U128 q = p >> shift;
    if (q < kLow) {
      --E;
      continue;
    }
    if (q >= kHigh) {
      ++E;
      continue;
    }
    std::uint64_t n = static_cast<std::uint64_t>(q);
    if (shift > 0) {
      const U128 rest = p - (q << shift);
      const U128 half = U128{1} << (shift - 1);
      if (rest > half || (rest == half && (n & 1) != 0)) ++n;
    }
    if (n == kHigh) {  // rounded up into the next decade: 1.000… there
      n = kLow;
      ++E;
    }
    char all[18];
    const auto high = static_cast<std::uint32_t>(n / 1000000000);
    NineDigits(all, high);
    NineDigits(all + 9, static_cast<std::uint32_t>(n - std::uint64_t{high} * 1000000000));
    std::memcpy(digits, all + 18 - count, static_cast<std::size_t>(count));
    exponent = E;
    return true;
  }
  return false;
}

int Expand(double a, char (&digits)[kExpansionDigits]) {
  int e = 0;
  if (ExpandExactly(a, kExpansionDigits, digits, e)) return e;
  return ExpandByLibrary(a, digits);
}

// Adds one unit in the last place of the digit string s[0..len-1]; returns true when
// the carry runs out of the first digit (all nines).
bool IncrementDigits(char* s, int len) {
  for (int i = len - 1; i >= 0; --i) {
    if (s[i] != '9') {
      ++s[i];
      return false;
    }
    s[i] = '0';
  }
  return true;
}

void AppendFixed(std::string& out, double x, int w, int d, const char (&dg)[kExpansionDigits],
                 int e) {
  if (d > kMaxFixedDecimals) d = kMaxFixedDecimals;
  // R = |x| rounded to d decimals, as the integer R·10^d written in digits.
  // Digit i of the expansion weighs 10^(e-i); those weighing at least 10^-d are kept.
  char r[kExpansionDigits + 1 + 40 + kMaxFixedDecimals];
  int len = 0;
  const int keep = e + d + 1;
  if (keep > 0) {
    const int fromExpansion = keep < kExpansionDigits ? keep : kExpansionDigits;
    // One spare place in front for a carry out of the first digit.
    std::memcpy(r + 1, dg, static_cast<std::size_t>(fromExpansion));
    len = fromExpansion;
    if (keep < kExpansionDigits && dg[keep] >= '5' && IncrementDigits(r + 1, len)) {
      r[0] = '1';
      ++len;
    } else {
      std::memmove(r, r + 1, static_cast<std::size_t>(len));
    }
    for (int i = fromExpansion; i < keep; ++i) r[len++] = '0';  // beyond the 18 digits: zeros
  } else if (keep == 0 && dg[0] >= '5') {
    r[len++] = '1';  // the first dropped digit is the first significant one
  }

  const int intDigits = len > d ? len - d : 0;
  const int size = (x < 0 ? 1 : 0) + (intDigits > 0 ? intDigits : 1) + (d > 0 ? d + 1 : 0);
  AppendBlanks(out, w - size);
  if (x < 0) out.push_back('-');
  if (intDigits > 0)
    out.append(r, static_cast<std::size_t>(intDigits));
  else
    out.push_back('0');
  if (d > 0) {
    out.push_back('.');
    const int fracDigits = len - intDigits;  // at most d
    out.append(static_cast<std::size_t>(d - fracDigits), '0');
    out.append(r + intDigits, static_cast<std::size_t>(fracDigits));
  }
}

void AppendExponent(std::string& out, double x, int w, char (&dg)[kExpansionDigits], int e) {
  const int W = w > 10 ? w : 10;
  const int shown = W - 8;
  if (shown < kExpansionDigits && dg[shown] >= '5' && IncrementDigits(dg, shown)) {
    dg[0] = '1';  // 9.99…9 rounded up: 1.00…0 one decade higher
    ++e;
  }
  AppendBlanks(out, W - 26);
  out.push_back(x < 0 ? '-' : ' ');
  out.push_back(dg[0]);
  out.push_back('.');
  const int after = W - 9 < kExpansionDigits - 1 ? W - 9 : kExpansionDigits - 1;
  out.append(dg + 1, static_cast<std::size_t>(after));
  out.push_back('E');
  out.push_back(e >= 0 ? '+' : '-');
  const int ae = e >= 0 ? e : -e;
  out.push_back(static_cast<char>('0' + ae / 1000 % 10));
  out.push_back(static_cast<char>('0' + ae / 100 % 10));
  out.push_back(static_cast<char>('0' + ae / 10 % 10));
  out.push_back(static_cast<char>('0' + ae % 10));
}

}  // namespace

void AppendNumStr(std::string& out, double x, int w, int d) {
  if (w > kMaxWidth) w = kMaxWidth;
  if (std::isnan(x)) {
    AppendBlanks(out, w - 3);
    out.append("Nan");
    return;
  }
  if (std::isinf(x)) {
    AppendBlanks(out, w - 4);
    out.append(x > 0 ? "+Inf" : "-Inf");
    return;
  }
  const double a = std::fabs(x);
  // A whole number with no decimals (a table's count) is its own digits.
  if (d == 0 && a < 1e15 && a == std::floor(a)) {
    char text[16];
    int len = 0;
    for (auto v = static_cast<std::uint64_t>(a); len == 0 || v > 0; v /= 10) text[len++] = static_cast<char>('0' + v % 10);
    AppendBlanks(out, w - len - (x < 0 ? 1 : 0));
    if (x < 0) out.push_back('-');
    while (len > 0) out.push_back(text[--len]);
    return;
  }
  char digits[kExpansionDigits];
  const int e = Expand(a, digits);
  const bool fixed = d >= 0 && Extended(a) <= kFixedLimit && e <= 35 && e >= -35;
  if (fixed)
    AppendFixed(out, x, w, d, digits, e);
  else
    AppendExponent(out, x, w, digits, e);
}

std::string NumStr(double x, int w, int d) {
  std::string s;
  AppendNumStr(s, x, w, d);
  return s;
}

void AppendG17(std::string& out, double x) {
  // "%.17g": 17 significant digits, in fixed form for decimal exponents −4 to 16 and in
  // exponent form otherwise, trailing zeros dropped. The magnitudes of a run's points
  // are expanded exactly by integer arithmetic; everything else by the library.
  char dg[17];
  int e = 0;
  const double a = std::fabs(x);
  if (!ExpandExactly(a, 17, dg, e) || e < -4 || e > 16) {
    char text[32];
    out.append(text, DoubleToChars(text, text + sizeof text, x, DoubleForm::General, 17));
    return;
  }
  int last = 16;  // the last digit that is not a trailing zero
  while (last > 0 && dg[last] == '0') --last;
  if (std::signbit(x)) out.push_back('-');
  if (e >= 0) {
    out.append(dg, static_cast<std::size_t>(e) + 1);
    if (last > e) {
      out.push_back('.');
      out.append(dg + e + 1, static_cast<std::size_t>(last - e));
    }
  } else {
    out.append("0.");
    out.append(static_cast<std::size_t>(-e - 1), '0');
    out.append(dg, static_cast<std::size_t>(last) + 1);
  }
}

}  // namespace veltrano
