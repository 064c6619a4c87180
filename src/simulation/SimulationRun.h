#pragma once
// The simulation run: what the window's Ok button starts. It walks the degrees of
// knowledge from Do (to Dmax when iterating), simulates the requested number of tests
// for every degree, tallies each into a fresh observed table, analyses it with the
// delta model and writes the test's text lines and chart points to its host.
//
// The run may use several threads, with output identical to one thread's, byte for
// byte. The tests are made on one thread, in order, from the one uniform generator, so
// its draws come in their one serial order whatever the number of threads; the
// analyses, the formatting of the lines and the chart points run on worker threads; the
// host receives every test's output in test order, on one thread at a time. A run
// cancelled after test t has handed its host exactly tests 1..t; a run ended by an error
// while test t was made or analysed, exactly tests 1..t−1 (and the Do* field of test t).
// Either way it leaves the generator where one thread would have left it.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "parallel/Ending.h"
#include "numeric/PhiloxStream.h"
#include "numeric/UniformGenerator.h"
#include "simulation/ExamResults.h"
#include "simulation/RunHost.h"
#include "simulation/RunSettings.h"
#include "simulation/SimulatedExam.h"
#include "table/tBfMatriz.h"

namespace veltrano {

/// The degrees of knowledge a run walks: first, first + step, ... while they do not pass
/// last; the first degree always runs.
struct DegreeWalk {
  int first = 0;
  int last = 0;
  int step = 1;
  int Count() const noexcept { return first > last ? 1 : (last - first) / step + 1; }
  int At(int index) const noexcept { return first + index * step; }  // index from 0
};

/// The walk of a run with these settings: from Do to Dmax when iterating, Do alone
/// otherwise. A Dmax below Do is first raised to Do, which Dmax's field holds as dmaxHeld
/// (RunHost::WriteDmax; by default the value kept within the field's range).
DegreeWalk WalkOf(const RunSettings& s, int dmaxHeld);
DegreeWalk WalkOf(const RunSettings& s);

/// The fixed lines of a run's text: the residuals pane's heading, and the parts of a full
/// output's listing of a test around its items and its observed table.
inline constexpr std::string_view kResidualsHeading = "Do\trDu\trDc\trDLN";
inline constexpr std::string_view kListingHeading = "i\tCorrect\tChoice\t-- Selection procedure ---------";
inline constexpr std::string_view kListingEnd = "---------------";
inline constexpr std::string_view kObservedTableCaption = "Observed Table: ";
inline constexpr std::string_view kResultsCaption = "Results: ";

/// The heading of the results lines for a run with these settings: "Test", the table's
/// cells "X[1,1]" ... when the lines carry them, "Do*", the record's columns and "DL&N",
/// separated by tabs.
std::string ResultsHeading(const RunSettings& s);

/// What a run hands on about each finished test besides its lines and points: its
/// degree of knowledge in whole percent, its estimates, and the generator's state after
/// its draws. Summaries read it; it is told of the tests in the order the host gets them.
class TestObserver {
public:
  virtual ~TestObserver() = default;
  /// A run starts: n, k, the interval switch, and the generator's state before its first
  /// draw.
  virtual void RunStarted(std::int32_t n, std::int32_t k, bool interval, std::uint32_t seed) = 0;
  virtual void TestDone(int degree, const TestEstimates& estimates, std::uint32_t stateAfter) = 0;
  /// The test's observed table (its margins computed), told just before TestDone.
  virtual void TestTable(const tBfMatriz& /*table*/) {}
};

class SimulationRun {
public:
  /// A run that draws from rng (its owner's: the window's own, or one seeded for the run)
  /// and works on `jobs` threads (1: everything on the calling thread).
  explicit SimulationRun(UniformGenerator& rng, int jobs = 1) noexcept
      : rng_(&rng), jobs_(jobs < 1 ? 1 : jobs) {}

  /// The generator the run draws from.
  UniformGenerator& Generator() noexcept { return *rng_; }
  int Jobs() const noexcept { return jobs_; }
  void SetJobs(int jobs) noexcept { jobs_ = jobs < 1 ? 1 : jobs; }
  /// Told of every test the host receives, in the same order; none by default.
  void SetObserver(TestObserver* observer) noexcept { observer_ = observer; }
  /// Called with the test number L on a worker thread just before each test's analysis;
  /// an error it raises ends the run at that test exactly as a failing analysis does.
  /// Lets tests make the analysis of a chosen test fail.
  void SetAnalysisCheck(std::function<void(std::int32_t L)> check) { analysisCheck_ = std::move(check); }
  /// Makes test L (from 1) from a stream of its own, streamOf(L), instead of the run's
  /// generator (left as it was), and numbers it firstNumber + L − 1 in its lines: the
  /// replications of a study condition drawn from philox, made again one by one.
  void SetTestStreams(std::function<PhiloxStream(std::int32_t L)> streamOf, std::int64_t firstNumber) {
    streamOf_ = std::move(streamOf);
    firstNumber_ = firstNumber;
  }
  const std::function<PhiloxStream(std::int32_t L)>& TestStreams() const noexcept { return streamOf_; }
  std::int64_t FirstTestNumber() const noexcept { return firstNumber_; }

  /// Runs the simulation with the given settings, writing everything to host. An
  /// error ends the run where it stands and propagates; what was written stays.
  Ending Execute(const RunSettings& settings, RunHost& host);

  // The window fields a run sets; they keep the values of the last test written.
  std::int32_t n = 0;           // test length of the current run
  std::int32_t k = 0;           // alternatives per item of the current run
  std::int32_t d0 = 0;          // Do of the current run
  std::int32_t tests = 0;       // tests per degree of the current run
  std::int32_t n_conocido = 0;  // known items of the current test
  double dreal = 0;             // realised degree of knowledge Do* of the current test
  double dLN = 0;               // Lord & Novick value of the current test
  // Each test's items, table and analysis live in the run's own buffers while the test
  // is made and analysed, and are released at its end.

  /// Sorts the listing ascending, whole lines compared byte by byte with A–Z read as
  /// a–z (no locale), and renumbers each line's key (the text before its first tab)
  /// 001, 002, … in the order shown.
  static void SortAndRenumber(std::vector<std::string>& listing);

private:
  UniformGenerator* rng_;
  int jobs_;
  TestObserver* observer_ = nullptr;
  std::function<void(std::int32_t)> analysisCheck_;
  std::function<PhiloxStream(std::int32_t)> streamOf_;
  std::int64_t firstNumber_ = 1;
};

}  // namespace veltrano
