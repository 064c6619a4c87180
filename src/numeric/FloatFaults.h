#pragma once
// Floating-point faults as errors.
//
// IEEE arithmetic turns an invalid operation (0/0, the square root of a negative
// number), a division by zero or an overflow into NaN or an infinity without a word.
// The analysis treats those three as errors instead: the checked operations below
// decide the fault before operating and throw an error that names it, so no NaN or
// infinity ever reaches a result. Underflow and inexact results stay silent.
#include <cmath>
#include <stdexcept>

namespace veltrano {

/// A floating-point fault; the message names it.
class FloatingPointError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class FloatInvalidOperation : public FloatingPointError {
public:
  FloatInvalidOperation() : FloatingPointError("Invalid floating point operation") {}
};

class FloatDivisionByZero : public FloatingPointError {
public:
  FloatDivisionByZero() : FloatingPointError("Floating point division by zero") {}
};

class FloatOverflow : public FloatingPointError {
public:
  FloatOverflow() : FloatingPointError("Floating point overflow") {}
};

/// r unchanged when finite; otherwise the fault that produced it.
inline double CheckedResult(double r) {
  if (std::isnan(r)) throw FloatInvalidOperation();
  if (std::isinf(r)) throw FloatOverflow();
  return r;
}

/// a / b; 0/0 (or a NaN operand) is an invalid operation, a/0 a division by zero.
inline double CheckedDiv(double a, double b) {
  if (b == 0) {
    if (a == 0 || std::isnan(a)) throw FloatInvalidOperation();
    throw FloatDivisionByZero();
  }
  return CheckedResult(a / b);
}

/// √x; a negative x (or NaN) is an invalid operation.
inline double CheckedSqrt(double x) {
  if (!(x >= 0)) throw FloatInvalidOperation();
  return CheckedResult(std::sqrt(x));
}

}  // namespace veltrano
