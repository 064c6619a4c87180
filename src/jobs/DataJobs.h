#pragma once
// The jobs with data in and data out, for the Python and R packages: tables as numbers in,
// estimates as columns out; a run's settings in, every test's table and estimates out; a
// study in, its rows as frames out; shards' rows in, the merged rows out; a sheet in, its
// results as a frame out. Each is the in-memory job of the command line's command, with the
// same numbers bit for bit; a binding only converts its arrays and frames at the edge, runs
// one of these with its GIL or interrupt handling around it, and raises the family's
// errors as its own exceptions.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/AnalysisSettings.h"
#include "jobs/AnalyseJob.h"
#include "jobs/Frames.h"
#include "jobs/JobControl.h"
#include "jobs/SheetJob.h"
#include "jobs/SimulateJob.h"
#include "simulation/RunSettings.h"
#include "study/Study.h"

namespace veltrano::jobs {

/// The estimates of tables or tests, one entry per table in order. An undefined value is
/// NaN, as is a standard error the fitted model does not give (it failed its check); codes
/// are 0 and `errors` holds the message where the analysis failed.
struct EstimateColumns {
  std::vector<double> du, seDu, ciLower, ciUpper, dc, seDc, dln;
  std::vector<std::int32_t> code, code2;
  std::vector<int> k;       // each table's k
  std::vector<double> pi;   // pi_1..pi_k of each table in turn (k[i] values for table i)
  std::vector<std::pair<std::size_t, std::string>> errors;  // (table's place from 0, message)

  std::size_t Size() const noexcept { return du.size(); }
  /// Makes room for `tables` tables of `k` alternatives.
  void Reserve(std::size_t tables, int k);
  /// Appends one table's entries: its estimates, or its error when error is not empty.
  void Append(int tableK, const TestEstimates& e, const std::string& error);
};

/// Analyses the tables `next` gives, each checked first by the rules of the command line's
/// tables (CheckObservedTable: a bad table raises TableFormatError), on `jobs` threads
/// (0: every core). The interval is computed with settings.ci; Dc always. expected: the
/// number of tables, when known, and their k (room is made for them at once).
EstimateColumns AnalyseTableData(const std::function<bool(ObservedTable&)>& next, const AnalysisSettings& settings,
                                 int jobs, const JobContext& job, std::size_t expected = 0, int expectedK = 0);

/// Every test of a run, as `veltrano-batch simulate --seed` makes it.
struct SimulatedTests {
  int k = 0;
  std::vector<std::int64_t> cells;  // each test's k × k table, row by row, test after test
  std::vector<std::int32_t> degree; // the test's Do, in percent
  std::vector<double> doStar;       // its realised Do*
  EstimateColumns estimates;
  std::uint32_t seed = 0;           // the generator's state before the first draw
  Ending end = Ending::Completed;
};

/// Runs the simulation the order asks for (its seed, or one from the clock) on its threads;
/// the text settings change nothing here.
SimulatedTests SimulateTestData(const RunOrder& order, const JobContext& job);

/// A study's rows as frames: the summary rows in the columns of `study --out`, and (when
/// asked for) the test rows in those of `--tests-out`.
struct StudyFrames {
  Frame summary;
  Frame tests;
  Ending end = Ending::Completed;
};

/// Runs the shard's conditions of the study on `jobs` threads (0: every core).
StudyFrames RunStudyData(const StudyDefinition& study, Shard shard, bool tests, int jobs, const JobContext& job);

/// Merges the summary rows of a study's shards (each CSV text with its header, named for
/// messages) as `study merge` does. Raises StudyInputError for shards of different
/// studies, or missing, repeated or unfinished conditions.
Frame MergeStudyData(const std::vector<std::pair<std::string, std::string>>& shards);

/// An answer sheet's results in the columns of `analyse --responses --out`, the pooled row
/// ALL last, and how the analysis came out (the examinees, absent and failed, the notes on
/// the positions the examinees' guesses favour).
struct SheetFrame {
  Frame results;
  SheetOutcome outcome;
};

/// Analyses the sheet as the order asks (jobs/SheetJob.h).
SheetFrame AnalyseSheetData(SheetSource& sheet, const SheetOrder& order, const JobContext& job);

}  // namespace veltrano::jobs
