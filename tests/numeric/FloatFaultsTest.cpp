#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <limits>

#include "numeric/FloatFaults.h"

namespace veltrano {
namespace {

using ::testing::ThrowsMessage;

TEST(FloatFaults, NameTheFault) {
  EXPECT_THAT([] { CheckedDiv(0, 0); }, ThrowsMessage<FloatInvalidOperation>("Invalid floating point operation"));
  EXPECT_THAT([] { CheckedDiv(1, 0); }, ThrowsMessage<FloatDivisionByZero>("Floating point division by zero"));
  EXPECT_THAT([] { CheckedDiv(1e308, 1e-308); }, ThrowsMessage<FloatOverflow>("Floating point overflow"));
  EXPECT_THAT([] { CheckedSqrt(-1e-300); }, ThrowsMessage<FloatInvalidOperation>("Invalid floating point operation"));
  EXPECT_THROW(CheckedResult(std::numeric_limits<double>::quiet_NaN()), FloatInvalidOperation);
  EXPECT_THROW(CheckedResult(-std::numeric_limits<double>::infinity()), FloatOverflow);
}

TEST(FloatFaults, OrdinaryOperationsPass) {
  EXPECT_EQ(CheckedDiv(1, 4), 0.25);
  EXPECT_EQ(CheckedDiv(0, -3), 0);
  EXPECT_EQ(CheckedSqrt(0), 0);
  EXPECT_EQ(CheckedSqrt(2.25), 1.5);
  EXPECT_EQ(CheckedResult(1e-320), 1e-320);  // underflow is silent
}

}  // namespace
}  // namespace veltrano
