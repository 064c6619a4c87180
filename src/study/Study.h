#pragma once
// A simulation study: every condition of a grid or design, R replications each, every
// replication one test made and analysed exactly as the simulation run makes and
// analyses it, summarised into the measures of Measures.h.
//
// The study draws from one of two generators (StudyGenerator.h). With lcg, condition i
// draws from its own generator, seeded with ConditionSeed(S, i), so its tests are those of
// `simulate --seed <that seed>` with its n, k and Do. With philox, replication r of
// condition i draws from its own stream (S, i, r). Either way the tests do not depend on
// what else the study holds, which shard runs it or how many threads there are.
//
// The work runs on the ordered pipeline of src/parallel, in blocks of kSummaryBlock
// replications of one condition. With lcg a block's tables are drawn in order by the
// pipeline's first stage (one generator per condition, drawn serially), then analysed and
// summarised on any thread. With philox the first stage only names the block's
// replications, and the workers draw, analyse and summarise them: nothing but the
// in-order merging of summaries and the writing of rows is serial. Blocks are handed on
// in order, where the blocks of a condition are merged in replication order and a
// condition's rows go out as soon as it and every condition before it are complete. At
// most a few blocks per thread are alive at once: memory does not grow with the
// replications or the conditions.
//
// A study can be extended: given the summaries of the R1 replications every condition
// already holds (KeptReplications), it makes replications R1 + 1..R only and merges them
// into the kept ones exactly as a study of R replications merges its blocks, so the rows
// are those of the study of R replications made afresh, to the last digit.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "parallel/Ending.h"
#include "study/StudyConditions.h"
#include "study/StudyGenerator.h"
#include "study/StudyRows.h"
#include "table/tBfMatriz.h"

namespace veltrano {

/// Everything that decides a study's numbers.
struct StudyDefinition {
  StudyConditions conditions;
  std::int64_t replications = 1000;
  std::uint64_t seed = 0;                                   // S: up to kMaxLcgSeed with lcg
  std::int32_t tolerance = setting::Tol.byDefault;          // exponent T of 10^-T
  std::int32_t maxIterations = setting::MaxIts.byDefault;
  bool ci = false;                                          // the test-inversion interval of Du
  StudyGenerator generator = StudyGenerator::Lcg;
};

/// Checks what the parts of a definition cannot check alone: an lcg study's seed is at
/// most kMaxLcgSeed. Raises StudyInputError naming --seed.
void CheckStudy(const StudyDefinition& study);

/// The most replications per condition.
inline constexpr std::int64_t kMaxReplications = 10'000'000;

/// The uniform draws a test of n items at degree D takes on average: one for each of the
/// m known items, and 3k for each other item (two choices of k draws, and a wrong answer,
/// with chance (k − 1)/k, draws its position again until it differs from the correct one,
/// k/(k − 1) times on average).
double ExpectedDrawsPerTest(std::int32_t n, std::int32_t k, std::int32_t D);

/// The lcg generator repeats itself after 2^32 draws: a condition whose replications take
/// more draws repeats its own tests, and its Monte Carlo errors look smaller than they are.
inline constexpr double kGeneratorPeriod = 4294967296.0;

/// The conditions whose replications take more draws than the generator's period: their
/// count, and the one that takes the most (index 0 when none; always none with philox,
/// whose replications draw from streams of 2^66 numbers each).
struct PeriodExcess {
  std::int64_t conditions = 0;
  std::int64_t worst = 0;
  double worstDraws = 0;
};
PeriodExcess ConditionsBeyondThePeriod(const StudyDefinition& study);

/// A fingerprint of the definition: 16 hexadecimal digits of the 64-bit FNV-1a hash of
/// a text listing the replications, the seed, the tolerance, the iteration limit, the
/// interval switch, the generator when it is philox (an lcg study's text is the one
/// written before there was a choice) and every condition's n, k and Do in order. Equal
/// definitions give equal fingerprints; a grid and a design file listing the same
/// conditions too.
std::string StudyFingerprint(const StudyDefinition& study);

/// The stamp every summary row of the study carries.
StudyStamp StampOf(const StudyDefinition& study);

struct StudyProgress {
  std::int64_t conditionsDone = 0;   // of the plan
  std::int64_t conditionsTotal = 0;
  std::int64_t testsDone = 0;        // tests made and summarised (not those kept)
  std::int64_t testsTotal = 0;
};

/// Where a study's rows go. Calls come from one thread at a time, in order.
class StudySink {
public:
  virtual ~StudySink() = default;
  /// Test rows of one condition, in replication order (when the run writes them).
  virtual void TestRows(std::string_view rows) = 0;
  /// The summary rows of a complete condition; every planned condition before it has
  /// had its rows.
  virtual void ConditionRows(std::string_view rows) = 0;
  /// After every block of tests; returning false ends the study after the last complete
  /// condition.
  virtual bool Continue(const StudyProgress& /*progress*/) { return true; }
};

/// The replications 1..R1 that every condition of a study being extended already holds.
class KeptReplications {
public:
  virtual ~KeptReplications() = default;
  /// R1, at most the study's replications.
  virtual std::int64_t Replications() const = 0;
  /// The kept replications of condition `index`, added in replication order to a
  /// SummaryBuilder (which merges them block by block as a study does); their test rows
  /// handed to tests->TestRows in order when tests is given. Called once for each planned
  /// condition, in plan order, from the stage that hands rows on in order.
  virtual SummaryBuilder Take(std::int64_t index, StudySink* tests) = 0;
};

/// Which conditions a run makes: the conditions of `shard`, in order, after the first
/// `skip` of them (those a resumed output already holds); and, when the study is being
/// extended, the replications each already holds (only the others are made).
struct StudyPlan {
  Shard shard;
  std::int64_t skip = 0;
  KeptReplications* kept = nullptr;
};

/// The number of conditions the plan makes.
std::int64_t PlannedConditions(const StudyDefinition& study, const StudyPlan& plan);

/// Seconds spent in a study's stages, summed over the threads that ran them: `ordered`
/// in the two stages that run one block at a time in order (naming or drawing the
/// blocks, and merging their summaries and handing their rows on), `work` in the
/// workers' stage (drawing with philox, analysing and summarising).
struct StageTimes {
  double ordered = 0;
  double work = 0;
};

struct StudyRunOptions {
  RowFormat format = RowFormat::Csv;
  bool tests = false;   // write every test's row
  int jobs = 1;         // threads
  /// Called with the condition and the replication before each test's analysis, on a
  /// worker thread; an error it raises ends the study there as a failing analysis does
  /// (lets tests make a chosen test's analysis fail).
  std::function<void(std::int64_t condition, std::int64_t replication)> analysisCheck = {};
  /// When given, receives the time the study's stages took (for measurements).
  StageTimes* stageTimes = nullptr;
};

/// Runs the plan's conditions and hands their rows to sink. An error of the analysis
/// ends the study and propagates; the rows handed on before it stand: those of every
/// condition before the failing one, the same on any number of threads. Raises
/// StudyInputError, before anything is made, for a definition CheckStudy refuses or for
/// kept replications beyond the study's.
Ending ExecuteStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                      StudySink& sink);

/// The record of condition `index` of the study.
ConditionRecord RecordOf(const StudyDefinition& study, std::int64_t index);

/// The test row (as --tests-out writes it, line end included) of replication 1 of
/// condition `index`, made and analysed again: a file's first row of a condition matches it
/// only when the file holds this study's tests. Errors of the analysis propagate.
std::string FirstTestRow(const StudyDefinition& study, std::int64_t index);

/// The tables of replications first..last of condition `index` of a philox study seeded
/// S whose condition is c, in replication order, each drawn from its own stream exactly as
/// the study draws it: analysed with the study's settings, they give its test rows. With
/// listings, each test's item lines are appended there too, one vector per test, as the
/// run's full output lists them with "Sort known" on (which takes no draws). Raises
/// StudyInputError naming --condition or --replications for an index or a range that no
/// study has (replications count from 1).
std::vector<tBfMatriz> ReplayTables(std::uint64_t S, std::int64_t index, const Condition& c, std::int64_t first,
                                    std::int64_t last, std::vector<std::vector<std::string>>* listings = nullptr);

}  // namespace veltrano
