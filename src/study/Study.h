#pragma once
// A simulation study: every condition of a grid or design, R replications each, every
// replication one test made and analysed exactly as the simulation run makes and
// analyses it, summarised into the measures of Measures.h.
//
// Condition i draws from its own generator, seeded with ConditionSeed(S, i), so its
// tests are those of `simulate --seed <that seed>` with its n, k and Do, whatever else
// the study holds, whichever shard runs it and however many threads there are.
//
// The work runs on the ordered pipeline of src/parallel, in blocks of kSummaryBlock
// replications of one condition: a block's tables are drawn in order (one generator
// per condition, drawn serially), analysed and summarised on any thread, and handed on
// in order, where the blocks of a condition are merged in replication order and a
// condition's rows go out as soon as it and every condition before it are complete.
// At most a few blocks per thread are alive at once: memory does not grow with the
// replications or the conditions.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "study/StudyConditions.h"
#include "study/StudyRows.h"

namespace veltrano {

/// Everything that decides a study's numbers.
struct StudyDefinition {
  StudyConditions conditions;
  std::int64_t replications = 1000;
  std::uint32_t seed = 0;                                   // S
  std::int32_t tolerance = setting::Tol.byDefault;          // exponent T of 10^-T
  std::int32_t maxIterations = setting::MaxIts.byDefault;
  bool ci = false;                                          // the test-inversion interval of Du
};

/// The most replications per condition.
inline constexpr std::int64_t kMaxReplications = 10'000'000;

/// The uniform draws a test of n items at degree D takes on average: one for each of the
/// m known items, and 3k for each other item (two choices of k draws, and a wrong answer,
/// with chance (k − 1)/k, draws its position again until it differs from the correct one,
/// k/(k − 1) times on average).
double ExpectedDrawsPerTest(std::int32_t n, std::int32_t k, std::int32_t D);

/// The generator repeats itself after 2^32 draws: a condition whose replications take more
/// draws repeats its own tests, and its Monte Carlo errors look smaller than they are.
inline constexpr double kGeneratorPeriod = 4294967296.0;

/// The conditions whose replications take more draws than the generator's period: their
/// count, and the one that takes the most (index 0 when none).
struct PeriodExcess {
  std::int64_t conditions = 0;
  std::int64_t worst = 0;
  double worstDraws = 0;
};
PeriodExcess ConditionsBeyondThePeriod(const StudyDefinition& study);

/// A fingerprint of the definition: 16 hexadecimal digits of the 64-bit FNV-1a hash of
/// a text listing the replications, the seed, the tolerance, the iteration limit, the
/// interval switch and every condition's n, k and Do in order. Equal definitions give
/// equal fingerprints; a grid and a design file listing the same conditions too.
std::string StudyFingerprint(const StudyDefinition& study);

/// The stamp every summary row of the study carries.
StudyStamp StampOf(const StudyDefinition& study);

/// Which conditions a run makes: the conditions of `shard`, in order, after the first
/// `skip` of them (those a resumed output already holds).
struct StudyPlan {
  Shard shard;
  std::int64_t skip = 0;
};

/// The number of conditions the plan makes.
std::int64_t PlannedConditions(const StudyDefinition& study, const StudyPlan& plan);

struct StudyProgress {
  std::int64_t conditionsDone = 0;   // of the plan
  std::int64_t conditionsTotal = 0;
  std::int64_t testsDone = 0;        // tests summarised
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

struct StudyRunOptions {
  RowFormat format = RowFormat::Csv;
  bool tests = false;   // write every test's row
  int jobs = 1;         // threads
  /// Called with the condition and the replication before each test's analysis, on a
  /// worker thread; an error it raises ends the study there as a failing analysis does
  /// (lets tests make a chosen test's analysis fail).
  std::function<void(std::int64_t condition, std::int64_t replication)> analysisCheck = {};
};

enum class StudyEnd : std::uint8_t { Completed, Stopped };

/// Runs the plan's conditions and hands their rows to sink. An error of the analysis
/// ends the study and propagates; the rows handed on before it stand: those of every
/// condition before the failing one, the same on any number of threads.
StudyEnd ExecuteStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                      StudySink& sink);

/// The record of condition `index` of the study.
ConditionRecord RecordOf(const StudyDefinition& study, std::int64_t index);

}  // namespace veltrano
