#include "study/Study.h"

#include <algorithm>
#include <exception>
#include <charconv>
#include <optional>
#include <vector>

#include "parallel/OrderedPipeline.h"
#include "simulation/ExamSimulator.h"
#include "simulation/SimulatedExam.h"

namespace veltrano {
namespace {

// 64-bit FNV-1a (Fowler, Noll, Vo): h ← (h xor byte) · 1099511628211 from
// 14695981039346656037, byte by byte.
class Fnv1a {
public:
  void Add(std::string_view text) noexcept {
    for (const char c : text) {
      h_ ^= static_cast<unsigned char>(c);
      h_ *= 1099511628211u;
    }
  }
  void Add(std::int64_t v) noexcept {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, v);
    Add(std::string_view(text, static_cast<std::size_t>(r.ptr - text)));
  }
  std::uint64_t Value() const noexcept { return h_; }

private:
  std::uint64_t h_ = 14695981039346656037u;
};

// A block of consecutive replications of one condition, as it passes the pipeline.
struct Block {
  ConditionRecord record;
  std::int64_t first = 1;  // its first replication
  std::int64_t count = 0;
  bool last = false;       // the condition's last block
  std::vector<tBfMatriz> tables;
  ConditionSummary summary;
  std::string rows;        // its test rows
  // An error while making or analysing the block's tests: raised when the block's turn
  // comes, after every block before it, so a study ends at the same place on any number
  // of threads.
  std::exception_ptr error;
};

}  // namespace

std::string StudyFingerprint(const StudyDefinition& study) {
  Fnv1a h;
  h.Add("veltrano study\nreplications ");
  h.Add(study.replications);
  h.Add("\nseed ");
  h.Add(std::int64_t{study.seed});
  h.Add("\ntolerance ");
  h.Add(std::int64_t{study.tolerance});
  h.Add("\nmax-iterations ");
  h.Add(std::int64_t{study.maxIterations});
  h.Add(study.ci ? "\nci 1" : "\nci 0");
  h.Add("\nconditions ");
  h.Add(study.conditions.Count());
  h.Add("\n");
  for (std::int64_t i = 1; i <= study.conditions.Count(); ++i) {
    const Condition c = study.conditions.At(i);
    h.Add(std::int64_t{c.n});
    h.Add(",");
    h.Add(std::int64_t{c.k});
    h.Add(",");
    h.Add(std::int64_t{c.D});
    h.Add("\n");
  }
  char text[17];
  static constexpr char kDigits[] = "0123456789abcdef";
  const std::uint64_t v = h.Value();
  for (int i = 0; i < 16; ++i) text[i] = kDigits[(v >> (60 - 4 * i)) & 0xF];
  return std::string(text, 16);
}

StudyStamp StampOf(const StudyDefinition& study) {
  return {StudyFingerprint(study), study.conditions.Count(), study.seed};
}

std::int64_t PlannedConditions(const StudyDefinition& study, const StudyPlan& plan) {
  return std::max<std::int64_t>(plan.shard.Size(study.conditions.Count()) - plan.skip, 0);
}

ConditionRecord RecordOf(const StudyDefinition& study, std::int64_t index) {
  ConditionRecord r;
  r.index = index;
  r.condition = study.conditions.At(index);
  r.doStar = RealisedDegree(r.condition.n, r.condition.D);
  r.seed = ConditionSeed(study.seed, static_cast<std::uint32_t>(index));
  return r;
}

StudyEnd ExecuteStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                      StudySink& sink) {
  const std::int64_t planned = PlannedConditions(study, plan);
  const std::int64_t R = study.replications;
  const StudyStamp stamp = StampOf(study);
  const AnalysisSettings analysis = EstimatesAnalysis(study.tolerance, study.maxIterations, study.ci);
  StudyProgress progress{0, planned, 0, planned * R};

  // The make stage: one condition after the other, each drawing from its own
  // generator in replication order.
  std::int64_t position = 0;  // in the plan
  std::int64_t next = 1;      // the next replication of that condition
  ConditionRecord current;
  UniformGenerator rng;
  std::optional<ExamSimulator> simulator;
  bool failed = false;
  const auto make = [&](Block& b) {
    if (position >= planned || failed) return false;
    b.error = nullptr;
    if (next == 1) {
      current = RecordOf(study, plan.shard.Condition(plan.skip + position));
      rng.Seed(current.seed);
      simulator.emplace(current.condition.n, current.condition.k);
    }
    b.record = current;
    b.first = next;
    b.count = std::min(kSummaryBlock, R - next + 1);
    b.last = next + b.count > R;
    b.tables.resize(static_cast<std::size_t>(b.count));
    try {
      for (tBfMatriz& t : b.tables) t = simulator->MakeTable(current.condition.D, rng);
    } catch (...) {
      b.error = std::current_exception();
      failed = true;
      return true;
    }
    next += b.count;
    if (b.last) {
      ++position;
      next = 1;
    }
    return true;
  };

  const auto work = [&](Block& b) {
    b.summary = ConditionSummary{};
    b.rows.clear();
    if (b.error) return;
    try {
      for (std::int64_t i = 0; i < b.count; ++i) {
        tBfMatriz& table = b.tables[static_cast<std::size_t>(i)];
        if (options.analysisCheck) options.analysisCheck(b.record.index, b.first + i);
        const TestEstimates t = AnalyseTest(table, b.record.condition.n, b.record.doStar, analysis);
        table.Done();
        b.summary.Add(t);
        if (options.tests) AppendTestRow(b.rows, b.record.index, b.first + i, t);
      }
    } catch (...) {
      b.error = std::current_exception();
    }
  };

  ConditionSummary total;
  std::string rows;
  const auto hand = [&](Block& b) {
    if (b.error) std::rethrow_exception(b.error);
    total.Merge(b.summary);
    if (options.tests) sink.TestRows(b.rows);
    progress.testsDone += b.count;
    if (b.last) {
      rows.clear();
      AppendSummaryRows(rows, options.format, b.record, total, study.ci, &stamp);
      sink.ConditionRows(rows);
      total = ConditionSummary{};
      ++progress.conditionsDone;
    }
    return sink.Continue(progress);
  };

  const int jobs = std::max(options.jobs, 1);
  RunOrdered<Block>(jobs, static_cast<std::size_t>(4 * jobs), make, work, hand);
  return progress.conditionsDone == planned ? StudyEnd::Completed : StudyEnd::Stopped;
}

double ExpectedDrawsPerTest(std::int32_t n, std::int32_t k, std::int32_t D) {
  const double m = KnownCount(n, D);
  return m + 3.0 * k * (n - m);
}

PeriodExcess ConditionsBeyondThePeriod(const StudyDefinition& study) {
  PeriodExcess excess;
  for (std::int64_t i = 1; i <= study.conditions.Count(); ++i) {
    const Condition c = study.conditions.At(i);
    const double draws = ExpectedDrawsPerTest(c.n, c.k, c.D) * static_cast<double>(study.replications);
    if (draws <= kGeneratorPeriod) continue;
    ++excess.conditions;
    if (draws > excess.worstDraws) {
      excess.worst = i;
      excess.worstDraws = draws;
    }
  }
  return excess;
}

}  // namespace veltrano
