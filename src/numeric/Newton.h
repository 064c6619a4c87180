#pragma once
// Newton–Raphson iteration with a numerical slope.
//
// x_{n+1} = x_n − f(x_n) / f'(x_n), where the caller evaluates f and its slope at x_n
// (in whatever order its faults must be met) and may declare either undefined there.
// The iteration ends
//   - with the step x_{n+1} when |x_{n+1} − x_n| ≤ tolerance (converged),
//   - with the last step when the budget of steps is spent (the step size shows it),
//   - with no root when f or its slope is undefined at x_n, or the slope is flat
//     (|f'| ≤ flatSlope): decided before dividing, so no step ever divides by zero.
// A step that leaves the finite doubles is a floating-point fault and is thrown.
//
// The slope most callers use is the five-point central difference
//   f'(x) ≈ (f(x − 2h) − 8·f(x − h) + 8·f(x + h) − f(x + 2h)) / (12h),
// whose error is O(h⁴·f⁽⁵⁾); it is undefined when f is undefined at any of the points.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "numeric/FloatFaults.h"

namespace veltrano {

/// f and its slope at one point.
struct NewtonPoint {
  double value = 0;
  double slope = 0;
};

/// How long a Newton iteration may run and when it stops.
struct NewtonControl {
  double tolerance = 0;        // converged once a step is no larger than this
  std::int32_t maxSteps = 0;   // the budget: the last step allowed (at least one is made)
  double flatSlope = 0;        // a slope with |slope| ≤ flatSlope ends the iteration with no root
};

/// What the iteration hands back as it goes, like roots.hpp's max_iter: its is the
/// number of the step under way (the steps made once it ends), errLevel the size of
/// the last step made, left as it came in when no step is made. Both are written as
/// the iteration runs, so they tell where a thrown fault arose.
struct NewtonProgress {
  std::int32_t& its;
  double& errLevel;
};

/// What one step of the iteration decided.
enum class NewtonOutcome {
  Going,   // the next iterate is made and the iteration goes on
  Ended,   // the next iterate is made and is the iteration's result
  NoRoot,  // f or its slope was undefined, or the slope flat: no root
};

/// The i-th step from x, with p = f and its slope at x (empty where undefined): x
/// becomes the next iterate and errLevel the size of the step, unless there is no root.
[[gnu::always_inline]] inline NewtonOutcome NewtonStep(const std::optional<NewtonPoint>& p, std::int32_t i,
                                                       const NewtonControl& control, double& x, double& errLevel) {
  if (!p || std::fabs(p->slope) <= control.flatSlope) return NewtonOutcome::NoRoot;
  const double next = CheckedResult(x - p->value / p->slope);
  errLevel = std::fabs(next - x);
  x = next;
  return errLevel <= control.tolerance || i >= control.maxSteps ? NewtonOutcome::Ended : NewtonOutcome::Going;
}

/// The Newton iteration from x0. evaluate(x) returns std::optional<NewtonPoint>,
/// empty where f or its slope is undefined. Returns the last iterate, or no value when
/// the iteration met an undefined point or a flat slope. The iteration is always inlined
/// into its caller, so that evaluate is compiled with the caller (and for the instruction
/// sets the caller is compiled for).
template <class Evaluate>
[[gnu::always_inline]] inline std::optional<double> NewtonIterate(Evaluate&& evaluate, double x0,
                                                                  const NewtonControl& control,
                                                                  NewtonProgress progress) {
  double x = x0;
  for (std::int32_t i = 1;; ++i) {
    progress.its = i;
    switch (NewtonStep(evaluate(x), i, control, x, progress.errLevel)) {
      case NewtonOutcome::Going: break;
      case NewtonOutcome::Ended: return x;
      case NewtonOutcome::NoRoot: return std::nullopt;
    }
  }
}

/// The same iteration for a caller that needs no diagnostics.
template <class Evaluate>
[[gnu::always_inline]] inline std::optional<double> NewtonIterate(Evaluate&& evaluate, double x0,
                                                                  const NewtonControl& control) {
  std::int32_t its = 0;
  double errLevel = 0;
  return NewtonIterate(evaluate, x0, control, {its, errLevel});
}

/// Two independent iterations, of f from a0 and of g from b0, step by step together:
/// each takes exactly the steps NewtonIterate takes alone and ends with its result, but
/// the evaluations of a step of both are made side by side, so that a processor can
/// overlap them. A fault in a step of either is thrown as NewtonIterate throws it (the
/// other iteration is then abandoned with it).
template <class EvaluateF, class EvaluateG>
[[gnu::always_inline]] inline std::array<std::optional<double>, 2> NewtonIterateTogether(
    EvaluateF&& f, double a0, EvaluateG&& g, double b0, const NewtonControl& control) {
  std::array<std::optional<double>, 2> roots;
  double x[2] = {a0, b0};
  double errLevel[2] = {0, 0};
  bool going[2] = {true, true};
  for (std::int32_t i = 1; going[0] || going[1]; ++i) {
    const std::optional<NewtonPoint> p[2] = {going[0] ? f(x[0]) : std::nullopt, going[1] ? g(x[1]) : std::nullopt};
    for (std::size_t k = 0; k < 2; ++k) {
      if (!going[k]) continue;
      const NewtonOutcome outcome = NewtonStep(p[k], i, control, x[k], errLevel[k]);
      if (outcome == NewtonOutcome::Going) continue;
      going[k] = false;
      if (outcome == NewtonOutcome::Ended) roots[k] = x[k];
    }
  }
  return roots;
}

/// The four points of the five-point difference at x with step h, in increasing order:
/// x − 2h, x − h, x + h, x + 2h.
inline std::array<double, 4> FivePointAbscissae(double x, double h) {
  return {x - 2 * h, x - h, x + h, x + 2 * h};
}

/// The five-point central difference from the values f of a function at
/// FivePointAbscissae(x, h). The quotient is not checked.
inline double FivePointDifference(const std::array<double, 4>& f, double h) {
  return (f[0] - 8 * f[1] + 8 * f[2] - f[3]) / (12 * h);
}

/// The five-point central difference of f at x with step h; f(x) returns
/// std::optional<double>, empty where f is undefined. All four points are evaluated,
/// in increasing order, before any is judged. The quotient is not checked: a caller
/// that cannot take an infinite slope checks it. A caller that can evaluate f at
/// several points at once uses FivePointAbscissae and FivePointDifference instead.
template <class F>
std::optional<double> FivePointSlope(F&& f, double x, double h) {
  const std::array<double, 4> at = FivePointAbscissae(x, h);
  const std::optional<double> f1 = f(at[0]);
  const std::optional<double> f2 = f(at[1]);
  const std::optional<double> f3 = f(at[2]);
  const std::optional<double> f4 = f(at[3]);
  if (!f1 || !f2 || !f3 || !f4) return std::nullopt;
  return FivePointDifference({*f1, *f2, *f3, *f4}, h);
}

}  // namespace veltrano
