#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulation/SimulatedExam.h"

namespace veltrano {
namespace {

TEST(ZeroPad, PadsWithAtMostFourteenZeros) {
  struct {
    long long value;
    int width;
    const char* text;
  } cases[] = {{7, 3, "007"}, {0, 3, "000"}, {999, 3, "999"}, {1000, 3, "1000"}, {1234, 3, "1234"},
               {12, 0, "12"}, {5, 20, "000000000000005"}, {123, 20, "00000000000000123"}, {123, 16, "0000000000000123"}};
  for (const auto& c : cases) EXPECT_EQ(ZeroPad(c.value, c.width), c.text) << c.value << " " << c.width;
}

TEST(UniformToInt, RoundsHalvesToEvenAndNeverFallsBelowA) {
  EXPECT_EQ(UniformToInt(1, 3, 0), 1);  // 0.5 would round to 0
  EXPECT_EQ(UniformToInt(1, 10, 0), 1);
  EXPECT_EQ(UniformToInt(1, 4, 0.25), 2);  // 1.5, ties to even
  EXPECT_EQ(UniformToInt(1, 4, 0.5), 2);   // 2.5, ties to even
  EXPECT_EQ(UniformToInt(1, 4, 0.75), 4);  // 3.5, ties to even
  EXPECT_EQ(UniformToInt(1, 4, 1 - 0x1p-32), 4);
  EXPECT_EQ(UniformToInt(3, 3, 0.9), 3);
}

TEST(UniformToInt, EveryValueIsEquallyLikelyOnTheDrawGrid) {
  // Over an even grid of draws, each of 1..k takes its share (up to the two half-
  // width cells at the ends, which the ties and the clamp give to 1 and to k).
  for (int k = 2; k <= 10; ++k) {
    std::vector<long> count(static_cast<std::size_t>(k) + 1, 0);
    const int steps = 1 << 16;
    for (int i = 0; i < steps; ++i) ++count[static_cast<std::size_t>(UniformToInt(1, k, i / double(steps)))];
    for (int v = 1; v <= k; ++v) EXPECT_NEAR(count[static_cast<std::size_t>(v)], steps / double(k), 2) << k << " " << v;
  }
}

TEST(KnownCount, ExtendedPrecisionDecidesTheHalves) {
  struct {
    int n, D, known;
  } cases[] = {{1, 50, 0},   {3, 50, 2},     {5, 50, 2},    {7, 50, 4}, {190, 15, 29},
               {100, 0, 0},  {100, 100, 100}, {100000, 33, 33000}, {3, 33, 1}, {1, 100, 1}};
  for (const auto& c : cases) EXPECT_EQ(KnownCount(c.n, c.D), c.known) << c.n << " " << c.D;
}

TEST(InverseTransformChoice, ConsumesKDrawsAndCountsTheValuesBelow) {
  for (int k = 2; k <= 10; ++k) {
    for (std::uint32_t seed : {1u, 99u, 123456789u, 4000000000u}) {
      UniformGenerator rng(seed), mirror(seed);
      std::string trace;
      const int p = InverseTransformChoice(k, &trace, rng);
      std::vector<double> v;
      for (int j = 1; j < k; ++j) v.push_back(mirror.Draw());
      const double u = mirror.Draw();
      int below = 0;
      for (double x : v) below += x < u;
      EXPECT_EQ(p, below + 1);
      EXPECT_EQ(rng.State(), mirror.State());  // exactly k draws
      // The untraced choice makes the same draws and the same decision.
      UniformGenerator again(seed);
      EXPECT_EQ(InverseTransformChoice(k, nullptr, again), p);
      EXPECT_EQ(again.State(), rng.State());
    }
  }
}

TEST(InverseTransformChoice, TraceShowsTheSortedValuesAndTheDecision) {
  UniformGenerator rng(2024);
  std::string trace = "replaced";
  const int p = InverseTransformChoice(4, &trace, rng);
  // Three sorted values, then the decisive draw: "\t x.xxx" × 3 + "\t[ x.xxx -> p]".
  ASSERT_EQ(trace.size(), 3 * 7 + 2 + 6 + 4 + 1 + 1);
  EXPECT_EQ(trace.substr(0, 1), "\t");
  const double a = std::stod(trace.substr(1, 6)), b = std::stod(trace.substr(8, 6)), c = std::stod(trace.substr(15, 6));
  EXPECT_LE(a, b);
  EXPECT_LE(b, c);
  EXPECT_EQ(trace.substr(21, 2), "\t[");
  EXPECT_EQ(trace.substr(29, 4), " -> ");
  EXPECT_EQ(trace.substr(33), std::to_string(p) + "]");
}

TEST(KnownPlaceholder, OnePerWrongAlternative) {
  EXPECT_EQ(KnownPlaceholder(2), "\t--");
  EXPECT_EQ(KnownPlaceholder(3), "\t--\t--");
  EXPECT_EQ(KnownPlaceholder(10).size(), 27u);
}

struct Generated {
  tBfMatriz table;
  std::vector<item> items;
  std::vector<std::string> listing;
};

Generated Generate(int n, int k, int D, std::uint32_t seed, bool withListing, bool sortKnown) {
  Generated g;
  g.table = tBfMatriz::MCReal(k);
  g.items.assign(static_cast<std::size_t>(n) + 1, item{});
  TestGeneration gen;
  gen.n = n;
  gen.k = k;
  gen.sortKnown = sortKnown;
  gen.listing = withListing ? &g.listing : nullptr;
  gen.placeholder = KnownPlaceholder(k);
  UniformGenerator rng(seed);
  const int known = KnownCount(n, D);
  gen.KnownItemsPhase(known, g.items, g.table, rng);
  gen.RemainingItemsPhase(known, g.items, g.table, rng);
  g.table.GetTotales();
  return g;
}

TEST(TestGeneration, TalliesEveryItemOnce) {
  for (int k : {2, 3, 10})
    for (int D : {0, 37, 100}) {
      Generated g = Generate(200, k, D, 5, false, false);
      EXPECT_EQ(g.table.X[0][0], 200);
      const int known = KnownCount(200, D);
      for (int i = 1; i <= 200; ++i) {
        const item& it = g.items[static_cast<std::size_t>(i)];
        EXPECT_EQ(it.alt_correcta, 1);
        EXPECT_EQ(it.pos_aelegida == it.pos_acorrecta, it.alt_elegida == 1) << i;
        if (i <= known) {
          EXPECT_EQ(it.alt_elegida, 1);
        }
      }
      if (D == 100) {
        EXPECT_EQ(g.table.Traza(), 200);
      }
    }
}

TEST(TestGeneration, ListingDoesNotChangeTheTableUnlessKeysAreDrawn) {
  // "Sort known:" writes item numbers as keys, so no key draws: the same items and the
  // same table as without a listing.
  Generated plain = Generate(50, 4, 40, 77, false, false);
  Generated keyed = Generate(50, 4, 40, 77, true, true);
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) EXPECT_EQ(plain.table.X[i][j], keyed.table.X[i][j]);
  for (int i = 1; i <= 50; ++i) {
    const item& a = plain.items[static_cast<std::size_t>(i)];
    const item& b = keyed.items[static_cast<std::size_t>(i)];
    EXPECT_TRUE(a.alt_elegida == b.alt_elegida && a.pos_acorrecta == b.pos_acorrecta &&
                a.pos_aelegida == b.pos_aelegida && a.alt_correcta == b.alt_correcta)
        << i;
  }
  ASSERT_EQ(keyed.listing.size(), 50u);
  EXPECT_EQ(keyed.listing[0].substr(0, 4), "001\t");
  EXPECT_EQ(keyed.listing[49].substr(0, 4), "050\t");
  // Random keys take one more draw per item, so the table differs.
  Generated shuffled = Generate(50, 4, 40, 77, true, false);
  bool differs = false;
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) differs |= plain.table.X[i][j] != shuffled.table.X[i][j];
  EXPECT_TRUE(differs);
}

TEST(TestGeneration, FixedSeedGivesAFixedListing) {
  // Two known items, then two answered by choices; k = 3, seed 1, keys drawn. The
  // expected lines were worked out from the generator's draws by a separate script:
  // position, key; then per remaining item the label choice, the position choice (and
  // more position choices while a wrong label lands on the correct position), key.
  Generated g = Generate(4, 3, 50, 1, true, false);
  const std::vector<std::string> expected = {
      "861\t1\t1\t--\t--\t[ known ]",
      "273\t1\t1\t--\t--\t[ known ]",
      "475\t1\t1\t 0.372\t 0.426\t[ 0.082 -> 1]",
      "775\t2\t2\t 0.293\t 0.917\t[ 0.368 -> 2]",
  };
  EXPECT_EQ(g.listing, expected);
}

}  // namespace
}  // namespace veltrano
