#pragma once
// Conversion of reals to text, used by every line the program writes.
//
// NumStr(x, w, d) writes x in fixed notation with d decimals, right-aligned in at
// least w characters and never cut, or in exponent form when d is negative or x is
// out of the fixed range. Rounding works on the 18-significant-digit decimal
// expansion of x (itself rounded to nearest, ties to even), and the kept digits are
// rounded half away from zero. The separator is always "." and nothing depends on
// the locale.
#include <string>

namespace veltrano {

/// The text of x with d decimals in a field of at least w characters.
std::string NumStr(double x, int w, int d);

/// Appends NumStr(x, w, d) to out; the allocation-free form for hot paths.
void AppendNumStr(std::string& out, double x, int w, int d);

/// Appends x with 17 significant digits (the shortest "%.17g" form), which reads back
/// as the same double; "inf", "-inf" and "nan" for the values that have no digits.
/// The form of every number in the machine-readable files (points, CSV, JSON).
void AppendG17(std::string& out, double x);

}  // namespace veltrano
