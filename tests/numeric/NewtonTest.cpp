// The Newton iteration's own ends, which the analysis's tables seldom reach: a flat
// slope, an undefined point, a spent budget and a step that overflows. And the
// five-point slope, which must be exact for polynomials up to degree 4.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "numeric/FloatFaults.h"
#include "numeric/Newton.h"

namespace veltrano {
namespace {

// f(x) = x² − 2 with its exact slope.
std::optional<NewtonPoint> Square(double x) { return NewtonPoint{x * x - 2, 2 * x}; }

TEST(Newton, BudgetSpentLeavesTheLastIterate) {
  std::int32_t its = 0;
  double errLevel = 0;
  const std::optional<double> root = NewtonIterate(Square, 1.0, {1e-12, 2, 0}, {its, errLevel});
  ASSERT_TRUE(root);
  EXPECT_EQ(*root, 1.5 - (1.5 * 1.5 - 2) / 3);  // the second step
  EXPECT_EQ(its, 2);
  EXPECT_DOUBLE_EQ(errLevel, 1.5 - *root);  // larger than the tolerance: not converged
}

TEST(Newton, FlatSlopeOrUndefinedPointGivesNoRoot) {
  struct Case {
    const char* what;
    double flatSlope;
    std::optional<NewtonPoint> (*f)(double);
    std::int32_t its;  // the step at which it ended
  };
  const Case cases[] = {
      // x³ + 1 from 0: the slope 3x² is exactly 0 at the start.
      {"zero slope", 0, [](double x) { return std::optional(NewtonPoint{x * x * x + 1, 3 * x * x}); }, 1},
      // A slope of 1e-14 is flat under a threshold of 1e-12.
      {"slope under the threshold", 1e-12, [](double x) { return std::optional(NewtonPoint{x + 1, 1e-14}); }, 1},
      // Undefined for x > 1: the first step from 0 leaves the domain.
      {"undefined point", 0,
       [](double x) { return x > 1 ? std::nullopt : std::optional(NewtonPoint{x - 4, 1}); }, 2},
  };
  for (const Case& c : cases) {
    std::int32_t its = 0;
    double errLevel = -1;
    EXPECT_FALSE(NewtonIterate(c.f, 0.0, {1e-12, 50, c.flatSlope}, {its, errLevel})) << c.what;
    EXPECT_EQ(its, c.its) << c.what;
    if (c.its == 1) {
      EXPECT_EQ(errLevel, -1) << c.what << ": no step made, errLevel as it came in";
    }
  }
}

TEST(Newton, StepOutOfTheDoublesIsAFault) {
  std::int32_t its = 0;
  double errLevel = 0;
  const auto f = [](double x) { return std::optional(NewtonPoint{1e300, x == 0 ? 1e-300 : 1.0}); };
  EXPECT_THROW(NewtonIterate(f, 0.0, {1e-12, 50, 0}, {its, errLevel}), FloatOverflow);
  EXPECT_EQ(its, 1);
}

TEST(Newton, TwoIterationsTogetherTakeTheStepsOfEachAlone) {
  // Every pair of these, each with its start: the one ending first must not end or
  // disturb the other, and a pair ends only when both have.
  using F = std::optional<NewtonPoint> (*)(double);
  struct Iteration {
    const char* what;
    F f;
    double x0;
  };
  const Iteration iterations[] = {
      {"x² − 2 from 1 (quadratic)", Square, 1.0},
      {"x³ − 2 from 5 with a slope 10% too steep (linear, slow)",
       [](double x) { return std::optional(NewtonPoint{x * x * x - 2, 3.3 * x * x}); }, 5.0},
      {"x − 4, undefined beyond 1 (no root at step 2)",
       [](double x) { return x > 1 ? std::nullopt : std::optional(NewtonPoint{x - 4, 1}); }, 0.0},
      {"a flat slope (no root at step 1)", [](double x) { return std::optional(NewtonPoint{x + 1, 0.0}); }, 0.0},
  };
  for (const NewtonControl control : {NewtonControl{1e-12, 500, 0}, NewtonControl{1e-12, 4, 0}})
    for (const Iteration& a : iterations)
      for (const Iteration& b : iterations) {
        const auto together = NewtonIterateTogether(a.f, a.x0, b.f, b.x0, control);
        EXPECT_EQ(together[0], NewtonIterate(a.f, a.x0, control)) << a.what << " with " << b.what;
        EXPECT_EQ(together[1], NewtonIterate(b.f, b.x0, control)) << b.what << " with " << a.what;
      }
}

TEST(Newton, FaultOfEitherIterationTogetherIsThrown) {
  const auto fault = [](double x) { return std::optional(NewtonPoint{1e300, x == 0 ? 1e-300 : 1.0}); };
  EXPECT_THROW(NewtonIterateTogether(Square, 1.0, fault, 0.0, {1e-12, 50, 0}), FloatOverflow);
  EXPECT_THROW(NewtonIterateTogether(fault, 0.0, Square, 1.0, {1e-12, 50, 0}), FloatOverflow);
}

TEST(FivePointSlope, ExactUpToDegreeFour) {
  // (f(x−2h) − 8f(x−h) + 8f(x+h) − f(x+2h))/(12h) has no error term below f⁽⁵⁾.
  const auto quartic = [](double x) { return std::optional(((3 * x - 2) * x + 1) * x * x - 5); };
  const double x = 0.75, h = 0.125;  // binary fractions: every point and product is exact
  EXPECT_EQ(FivePointSlope(quartic, x, h), ((12 * x - 6) * x + 2) * x);
  // For a quintic the error is −h⁴·f⁽⁵⁾/30 = −4h⁴.
  const auto quintic = [](double u) { return std::optional(u * u * u * u * u); };
  EXPECT_EQ(FivePointSlope(quintic, x, h), 5 * x * x * x * x - 4 * h * h * h * h);
}

TEST(FivePointSlope, UndefinedAtAnyPointIsUndefined) {
  for (const double bad : {-0.2, -0.1, 0.1, 0.2}) {
    const auto f = [bad](double u) { return std::fabs(u - bad) < 1e-9 ? std::nullopt : std::optional(u); };
    EXPECT_FALSE(FivePointSlope(f, 0.0, 0.1)) << bad;
  }
}

}  // namespace
}  // namespace veltrano
