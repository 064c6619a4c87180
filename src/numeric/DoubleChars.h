#pragma once
// Doubles as characters and back, by std::to_chars and std::from_chars where the standard
// library has them for floating point, and else (the browser's build) by snprintf and
// strtod, which give the very same results: to_chars with a precision is defined as
// printf's conversion, both round the exact binary value to nearest, ties to even, and
// strtod reads a decimal to the nearest double as from_chars does. What from_chars refuses
// and strtod would take (leading blanks, a plus sign, hexadecimal) is refused first.
#include <cerrno>
#include <charconv>
#include <concepts>
#include <cstdio>
#include <cstring>
#include <string>
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <system_error>

namespace veltrano {

enum class DoubleForm : unsigned char { Scientific, General };

/// Writes x into [first, last) as printf's "%.*e" (Scientific) or "%.*g" (General) with
/// `precision`; returns the end of the characters written.
inline char* DoubleToChars(char* first, char* last, double x, DoubleForm form, int precision) {
#if __cpp_lib_to_chars >= 201611L
  return std::to_chars(first, last, x,
                       form == DoubleForm::Scientific ? std::chars_format::scientific : std::chars_format::general,
                       precision)
      .ptr;
#else
  const int n = std::snprintf(first, static_cast<std::size_t>(last - first),
                              form == DoubleForm::Scientific ? "%.*e" : "%.*g", precision, x);
  return n < 0 ? first : first + std::min<std::ptrdiff_t>(n, last - first - 1);
#endif
}

/// Writes the shortest text that reads back as x; returns its end.
inline char* ShortestDoubleChars(char* first, char* last, double x) {
#if __cpp_lib_to_chars >= 201611L
  return std::to_chars(first, last, x).ptr;
#else
  // The fewest significant digits that read back as x.
  char* end = first;
  for (int digits = 1; digits <= 17; ++digits) {
    end = DoubleToChars(first, last, x, DoubleForm::General, digits);
    *end = '\0';
    if (std::strtod(first, nullptr) == x) break;
  }
  return end;
#endif
}

/// std::from_chars of a whole number.
template <std::integral Whole>
std::from_chars_result FromChars(const char* first, const char* last, Whole& value) {
  return std::from_chars(first, last, value);
}

/// std::from_chars of a double (its general format).
inline std::from_chars_result FromChars(const char* first, const char* last, double& value) {
#if __cpp_lib_to_chars >= 201611L
  return std::from_chars(first, last, value);
#else
  const char* p = first;
  if (p != last && *p == '-') ++p;
  const bool refused = p == last || *p == '+' || *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' ||
                       *p == '\f' || *p == '\v' || (last - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X'));
  if (refused) return {first, std::errc::invalid_argument};
  const std::string text(first, last);
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return {first, std::errc::invalid_argument};
  const char* const ptr = first + (end - text.c_str());
  if (errno == ERANGE) return {ptr, std::errc::result_out_of_range};
  value = v;
  return {ptr, std::errc{}};
#endif
}

}  // namespace veltrano
