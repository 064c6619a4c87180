#include "numeric/NumStr.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace veltrano {
namespace {

constexpr int kMaxWidth = 255;
constexpr int kMaxFixedDecimals = 216;
constexpr int kExpansionDigits = 18;
// Largest magnitude written in fixed form, held to a 64-bit mantissa.
constexpr long double kFixedLimit = 6.64613997892457936e35L;

void AppendBlanks(std::string& out, int count) {
  if (count > 0) out.append(static_cast<std::size_t>(count), ' ');
}

// The 18-significant-digit expansion of a = |x|: digits[0..17] and the decimal
// exponent of digits[0] (0 for zero). The expansion is the exactly rounded one
// (to nearest, ties to even), which std::to_chars guarantees.
int Expand(double a, char (&digits)[kExpansionDigits]) {
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific,
                                 kExpansionDigits - 1);
  // buf holds "d.ddddddddddddddddde±XX[X]".
  digits[0] = buf[0];
  std::memcpy(digits + 1, buf + 2, kExpansionDigits - 1);
  const char* p = buf + kExpansionDigits + 2;  // just after 'e'
  const bool negative = *p == '-';
  int e = 0;
  for (++p; p < res.ptr; ++p) e = e * 10 + (*p - '0');
  return negative ? -e : e;
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
  char digits[kExpansionDigits];
  const int e = Expand(a, digits);
  const bool fixed = d >= 0 && static_cast<long double>(a) <= kFixedLimit && e <= 35 && e >= -35;
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
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, x, std::chars_format::general, 17);
  out.append(text, r.ptr);
}

}  // namespace veltrano
