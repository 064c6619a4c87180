// The settings grid: every k, a spread of test lengths and degrees of knowledge,
// interval on and off, full output on and off, a few seeded tests each. Floating-
// point traps are on for invalid operations, divisions by zero and overflows: the
// program decides every such fault before it operates, so a trap is a fault that
// slipped through. Whatever the settings, a run completes or ends with a named
// floating-point error, writes no NaN or infinity, tallies n items per table, keeps
// Lord & Novick within [−1/(k − 1), 1] and every found interval within LI ≤ LS ≤ 1.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "RecordingHost.h"
#include "analysis/tAnalisis.h"
#include "numeric/FloatFaults.h"
#include "simulation/SimulationRun.h"

namespace veltrano {
namespace {

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  std::string f;
  while (std::getline(ss, f, '\t')) out.push_back(f);
  if (!line.empty() && line.back() == '\t') out.emplace_back();
  return out;
}

struct SweepTotals {
  int runs = 0;
  int endedWithError = 0;
};

class SettingsGrid : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override {
    std::feclearexcept(FE_ALL_EXCEPT);
    feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
  }
  void TearDown() override { fedisableexcept(FE_ALL_EXCEPT); }
};

// Checks one run's outputs; n, k and the switches are the run's settings.
void CheckOutputs(const testing::RecordingHost& h, const RunSettings& s) {
  const int n = s.SpinEdit_n, k = s.SpinEdit_k;
  for (const auto& p : h.points) {
    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
    if (p.series == SeriesId::sDLN) {
      ASSERT_GE(p.y, -1.0 / (k - 1) - 1e-15);
      ASSERT_LE(p.y, 1.0);
    }
  }
  for (const auto* pane : {&h.data, &h.residuals})
    for (const auto& line : *pane) ASSERT_TRUE(line.find("Nan") == std::string::npos && line.find("Inf") == std::string::npos) << line;

  // Every table holds n items: the observed table of a full listing, or the cells
  // carried by the record line.
  int rowsSeen = 0, tableTotal = 0, records = 0;
  for (std::size_t i = 0; i < h.data.size(); ++i) {
    const std::string& line = h.data[i];
    if (line == "Observed Table: ") {
      rowsSeen = 0;
      tableTotal = 0;
      for (std::size_t r = i + 2; r < i + 2 + static_cast<std::size_t>(k); ++r)
        for (const auto& f : Fields(h.data[r]))
          if (!f.empty()) tableTotal += std::stoi(f), ++rowsSeen;
      ASSERT_EQ(rowsSeen, k * k);
      ASSERT_EQ(tableTotal, n);
      continue;
    }
    // Records follow the results header: the one line after it with a full listing,
    // every later line otherwise.
    if (line.rfind("Test\t", 0) == 0 || i == 0) continue;
    const bool record = s.CheckBox_full ? h.data[i - 1].rfind("Test\t", 0) == 0 : true;
    if (!record) continue;
    const std::vector<std::string> f = Fields(line);
    // A record: L, [k·k cells], empty, Do*, D, SE(D), [IC-, IC+], [Dk&a, SE], DL&N.
    ++records;
    std::size_t at = 1;
    if (!s.CheckBox_full && s.CheckBox_Table) {
      int total = 0;
      for (int c = 0; c < k * k; ++c) total += std::stoi(f[at++]);
      ASSERT_EQ(total, n) << line;
    }
    ASSERT_EQ(f[at++], "");
    at += 3;  // Do*, D, SE(D)
    if (s.CheckBox_CI) {
      const double li = std::stod(f[at]), ls = std::stod(f[at + 1]);
      if (li != -9999.999 && ls != -9999.999) {
        ASSERT_LE(li, ls) << line;
      }
      if (ls != -9999.999) {
        ASSERT_LE(ls, 1.0) << line;
      }
    }
  }
  ASSERT_GT(records, 0);
}

TEST_P(SettingsGrid, EveryCombinationRunsCleanly) {
  const int k = GetParam();
  SweepTotals totals;
  for (int n : {1, 2, 3, 5, 10, 20, 50, 100, 1000})
    for (int D : {0, 1, 10, 33, 50, 67, 90, 99, 100})
      for (bool ci : {false, true})
        for (bool full : {false, true}) {
          RunSettings s;
          s.SpinEdit_n = n;
          s.SpinEdit_k = k;
          s.SpinEdit_D0 = D;
          s.SpinEdit_Test = 3;
          s.CheckBox_CI = ci;
          s.CheckBox_full = full;
          SCOPED_TRACE("k=" + std::to_string(k) + " n=" + std::to_string(n) + " Do=" + std::to_string(D) +
                       " ci=" + std::to_string(ci) + " full=" + std::to_string(full));
          testing::RecordingHost host;
          UniformGenerator rng(static_cast<std::uint32_t>(k * 1000003 + n * 101 + D));
          SimulationRun run(rng);
          ++totals.runs;
          try {
            run.Execute(s, host);
          } catch (const FloatingPointError& e) {
            ++totals.endedWithError;
            std::cout << "run ended with \"" << e.what() << "\": k=" << k << " n=" << n << " Do=" << D
                      << " ci=" << ci << " full=" << full << "\n";
          }
          CheckOutputs(host, s);
          if (HasFatalFailure()) return;
        }
  std::cout << "k=" << k << ": " << totals.runs << " runs, " << totals.endedWithError << " ended with an error\n";
  EXPECT_EQ(totals.endedWithError, 0);
}

INSTANTIATE_TEST_SUITE_P(AllK, SettingsGrid, ::testing::Range(2, 11));

// The traps are live: an unchecked division by zero ends the process.
TEST(SettingsGridTraps, AnUncheckedFaultIsFatal) {
  EXPECT_DEATH(
      {
        feenableexcept(FE_DIVBYZERO);
        volatile double zero = 0;
        volatile double r = 1 / zero;
        (void)r;
      },
      "");
}

}  // namespace
}  // namespace veltrano
