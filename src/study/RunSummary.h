#pragma once
// The summary of a simulation run, degree by degree: the study's measures of Du, Dc and
// D Lord & Novick over the tests of each degree, accumulated while the run works (an
// observer of the run, no second pass over its text), so a cancelled run has the summary
// of the tests it finished.
//
// Each degree is a condition in the study's layout: its rows are the rows a study with
// that one condition writes, with condition = the degree's place in the run (1, 2, …)
// and seed = the generator's state before the degree's first test, so that
// `simulate --seed <seed> --do <degree> --tests T` repeats the degree's tests and a study
// of that condition seeded so agrees with it cell for cell. The study's own columns
// (study, conditions, study_seed) are empty.
#include <cstdint>
#include <string>
#include <vector>

#include "simulation/SimulationRun.h"
#include "study/Measures.h"
#include "study/StudyRows.h"

namespace veltrano {

class RunSummary final : public TestObserver {
public:
  struct Degree {
    ConditionRecord record;  // condition = place in the run, n, k, do, do_star, seed
    SummaryBuilder builder;
  };

  void RunStarted(std::int32_t n, std::int32_t k, bool interval, std::uint32_t seed) override;
  void TestDone(int degree, const TestEstimates& estimates, std::uint32_t stateAfter) override;

  /// The degrees of the last run, in order; each holds at least one finished test.
  const std::vector<Degree>& Degrees() const noexcept { return degrees_; }
  /// Whether the last run computed the test-inversion interval.
  bool Interval() const noexcept { return interval_; }

  /// The rows of every degree (three per degree), in the study's layout; the CSV header
  /// first when csv.
  std::string Rows(RowFormat format) const;

private:
  std::vector<Degree> degrees_;
  std::int32_t n_ = 0;
  std::int32_t k_ = 0;
  bool interval_ = false;
  std::uint32_t state_ = 0;  // the generator's state before the next test
};

}  // namespace veltrano
