#include <gtest/gtest.h>

#include "numeric/UniformGenerator.h"

namespace veltrano {
namespace {

TEST(UniformGenerator, StepsTheStateBeforeEachDraw) {
  UniformGenerator g(0);
  EXPECT_EQ(g.Draw(), 1.0 / 4294967296.0);  // s = 0·134775813 + 1
  EXPECT_EQ(g.State(), 1u);
  EXPECT_EQ(g.Draw(), 134775814.0 / 4294967296.0);
  // The state wraps modulo 2^32.
  g.Seed(4294967295u);
  const std::uint32_t next = 4294967295u * 134775813u + 1u;
  EXPECT_EQ(g.Draw(), next / 4294967296.0);
}

TEST(UniformGenerator, DrawsAreMultiplesOfTwoToTheMinus32InTheUnitInterval) {
  UniformGenerator g(987654321u);
  for (int i = 0; i < 100000; ++i) {
    const double u = g.Draw();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
    ASSERT_EQ(u * 4294967296.0, static_cast<double>(g.State()));
  }
}

TEST(UniformGenerator, SameSeedSameDraws) {
  UniformGenerator a(77), b(0);
  b.Seed(77);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.Draw(), b.Draw());
}

}  // namespace
}  // namespace veltrano
