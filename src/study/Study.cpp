#include "study/Study.h"

#include <algorithm>
#include <charconv>
#include <concepts>
#include <chrono>
#include <exception>
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
  template <std::integral Whole>
  void Add(Whole v) noexcept {
    char text[24];
    const auto r = std::to_chars(text, text + sizeof text, v);
    Add(std::string_view(text, static_cast<std::size_t>(r.ptr - text)));
  }
  std::uint64_t Value() const noexcept { return h_; }

private:
  std::uint64_t h_ = 14695981039346656037u;
};

// A block of consecutive replications of one condition, as it passes the pipeline. A
// block lies within one block of kSummaryBlock replications of the summary's layout
// (1..128, 129..256, ...): it is all of it, or its end (the last block of a condition),
// or, when the condition keeps replications that end within one, the replications that
// complete it.
struct Block {
  ConditionRecord record;
  std::int64_t first = 1;  // its first replication
  std::int64_t count = 0;
  bool opens = false;      // the condition's first block
  bool last = false;       // the condition's last block
  std::vector<tBfMatriz> tables;        // lcg: drawn in order by the first stage
  ConditionSummary summary;             // its tests, from an empty summary
  std::vector<TestEstimates> estimates; // or, when it completes a kept partial block, its tests
  std::string rows;        // its test rows
  double workSeconds = 0;
  // An error while making or analysing the block's tests: raised when the block's turn
  // comes, after every block before it, so a study ends at the same place on any number
  // of threads.
  std::exception_ptr error;
};

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

}  // namespace

std::string StudyFingerprint(const StudyDefinition& study) {
  Fnv1a h;
  h.Add("veltrano study\nreplications ");
  h.Add(study.replications);
  h.Add("\nseed ");
  h.Add(study.seed);
  h.Add("\ntolerance ");
  h.Add(std::int64_t{study.tolerance});
  h.Add("\nmax-iterations ");
  h.Add(std::int64_t{study.maxIterations});
  h.Add(study.ci ? "\nci 1" : "\nci 0");
  if (study.generator == StudyGenerator::Philox) h.Add("\ngenerator philox");
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
  return {StudyFingerprint(study), study.conditions.Count(), study.seed, study.generator};
}

std::int64_t PlannedConditions(const StudyDefinition& study, const StudyPlan& plan) {
  return std::max<std::int64_t>(plan.shard.Size(study.conditions.Count()) - plan.skip, 0);
}

ConditionRecord RecordOf(const StudyDefinition& study, std::int64_t index) {
  ConditionRecord r;
  r.index = index;
  r.condition = study.conditions.At(index);
  r.doStar = RealisedDegree(r.condition.n, r.condition.D);
  r.seed = study.generator == StudyGenerator::Philox
               ? study.seed
               : ConditionSeed(static_cast<std::uint32_t>(study.seed), static_cast<std::uint32_t>(index));
  return r;
}

void CheckStudy(const StudyDefinition& study) {
  if (study.generator == StudyGenerator::Lcg && study.seed > kMaxLcgSeed)
    throw StudyInputError(Named("seed") + ": " + std::to_string(study.seed) + " is out of range; the lcg generator takes "
                          "seeds from 0 to " + std::to_string(kMaxLcgSeed) + " (philox any 64-bit number)");
}

std::vector<tBfMatriz> ReplayTables(std::uint64_t S, std::int64_t index, const Condition& c, std::int64_t first,
                                    std::int64_t last, std::vector<std::vector<std::string>>* listings) {
  if (index < 1 || index > kMaxConditions)
    throw StudyInputError(Named("condition") + ": " + std::to_string(index) + " is out of range; conditions count from 1 to " +
                          std::to_string(kMaxConditions));
  if (first < 1 || last < first || last > kMaxReplicationNumber)
    throw StudyInputError(Named("replications") + ": " + std::to_string(first) + ":" + std::to_string(last) +
                          " is no range of replications (from 1 to " + std::to_string(kMaxReplicationNumber) +
                          ", the first not above the last)");
  ExamSimulator simulator(c.n, c.k);
  std::vector<tBfMatriz> tables;
  tables.reserve(static_cast<std::size_t>(last - first + 1));
  for (std::int64_t r = first; r <= last; ++r) {
    PhiloxStream stream = ReplicationStream(S, index, r);
    if (listings == nullptr) {
      tables.push_back(simulator.MakeTable(c.D, stream));
    } else {
      listings->emplace_back();
      tables.push_back(simulator.MakeListedTable(c.D, stream, listings->back()));
    }
  }
  return tables;
}

std::string FirstTestRow(const StudyDefinition& study, std::int64_t index) {
  const ConditionRecord r = RecordOf(study, index);
  ExamSimulator simulator(r.condition.n, r.condition.k);
  tBfMatriz table;
  if (study.generator == StudyGenerator::Philox) {
    PhiloxStream stream = ReplicationStream(study.seed, index, 1);
    table = simulator.MakeTable(r.condition.D, stream);
  } else {
    UniformGenerator rng(static_cast<std::uint32_t>(r.seed));
    table = simulator.MakeTable(r.condition.D, rng);
  }
  const TestEstimates t = AnalyseTest(table, r.condition.n, r.doStar,
                                      EstimatesAnalysis(study.tolerance, study.maxIterations, study.ci));
  std::string row;
  AppendTestRow(row, index, 1, t);
  return row;
}

Ending ExecuteStudy(const StudyDefinition& study, const StudyPlan& plan, const StudyRunOptions& options,
                      StudySink& sink) {
  CheckStudy(study);
  const std::int64_t planned = PlannedConditions(study, plan);
  const std::int64_t R = study.replications;
  const std::int64_t kept = plan.kept != nullptr ? plan.kept->Replications() : 0;
  if (kept < 0 || kept > R)
    throw StudyInputError(Named("replications") + ": the study holds " + std::to_string(kept) +
                          " replications of every condition, more than the " + std::to_string(R) + " asked for");
  const bool philox = study.generator == StudyGenerator::Philox;
  const StudyStamp stamp = StampOf(study);
  const AnalysisSettings analysis = EstimatesAnalysis(study.tolerance, study.maxIterations, study.ci);
  StudyProgress progress{0, planned, 0, planned * (R - kept)};
  StageTimes times;

  // The first stage: one condition after the other, each block the next replications of
  // the summary's layout. With lcg it draws them, from the condition's own generator in
  // replication order (after the kept ones, drawn again and dropped).
  std::int64_t position = 0;  // in the plan
  std::int64_t next = 0;      // the next replication of that condition (0: none begun)
  ConditionRecord current;
  UniformGenerator rng;
  std::optional<ExamSimulator> simulator;
  bool failed = false;
  const auto make = [&](Block& b) {
    if (position >= planned || failed) return false;
    const Clock::time_point start = Clock::now();
    b.error = nullptr;
    b.opens = next == 0;
    b.tables.clear();
    try {
      if (b.opens) {
        current = RecordOf(study, plan.shard.Condition(plan.skip + position));
        next = kept + 1;
        if (!philox) {
          rng.Seed(static_cast<std::uint32_t>(current.seed));
          simulator.emplace(current.condition.n, current.condition.k);
          for (std::int64_t r = 1; r <= kept; ++r) simulator->MakeTable(current.condition.D, rng);
        }
      }
      b.record = current;
      b.first = next;
      b.count = std::min(R, (next - 1) / kSummaryBlock * kSummaryBlock + kSummaryBlock) - next + 1;
      b.last = next + b.count > R;
      if (!philox) {
        b.tables.resize(static_cast<std::size_t>(b.count));
        for (tBfMatriz& t : b.tables) t = simulator->MakeTable(current.condition.D, rng);
      }
    } catch (...) {
      b.error = std::current_exception();
      failed = true;
      return true;
    }
    next += b.count;
    if (b.last) {
      ++position;
      next = 0;
    }
    times.ordered += Seconds(start);
    return true;
  };

  const auto work = [&](Block& b) {
    const Clock::time_point start = Clock::now();
    b.summary = ConditionSummary{};
    b.estimates.clear();
    b.rows.clear();
    if (b.error) return;
    const bool completes = (b.first - 1) % kSummaryBlock != 0;
    try {
      std::optional<ExamSimulator> own;
      if (philox) own.emplace(b.record.condition.n, b.record.condition.k);
      for (std::int64_t i = 0; i < b.count; ++i) {
        const std::int64_t r = b.first + i;
        tBfMatriz table;
        if (philox) {
          PhiloxStream stream = ReplicationStream(study.seed, b.record.index, r);
          table = own->MakeTable(b.record.condition.D, stream);
        } else {
          table = std::move(b.tables[static_cast<std::size_t>(i)]);
        }
        if (options.analysisCheck) options.analysisCheck(b.record.index, r);
        const TestEstimates t = AnalyseTest(table, b.record.condition.n, b.record.doStar, analysis);
        table.Done();
        if (completes)
          b.estimates.push_back(t);
        else
          b.summary.Add(t);
        if (options.tests) AppendTestRow(b.rows, b.record.index, r, t);
      }
    } catch (...) {
      b.error = std::current_exception();
    }
    b.tables.clear();
    b.workSeconds = Seconds(start);
  };

  // The condition's summary as SummaryBuilder keeps it: the merged complete blocks of
  // the layout, and the block being filled (begun by kept replications).
  ConditionSummary total, open;
  std::string rows;
  const auto hand = [&](Block& b) {
    const Clock::time_point start = Clock::now();
    if (b.error) std::rethrow_exception(b.error);
    times.work += b.workSeconds;
    if (b.opens) {
      total = open = ConditionSummary{};
      if (plan.kept != nullptr) {
        const SummaryBuilder k = plan.kept->Take(b.record.index, options.tests ? &sink : nullptr);
        total = k.Complete();
        open = k.Open();
      }
    }
    if (!b.estimates.empty()) {
      for (const TestEstimates& t : b.estimates) open.Add(t);
    } else if (b.count > 0) {
      total.Merge(b.summary);
    }
    if (open.Replications() == kSummaryBlock || (b.last && open.Replications() > 0)) {
      total.Merge(open);
      open = ConditionSummary{};
    }
    if (options.tests && !b.rows.empty()) sink.TestRows(b.rows);
    progress.testsDone += b.count;
    if (b.last) {
      rows.clear();
      AppendSummaryRows(rows, options.format, b.record, total, study.ci, &stamp);
      sink.ConditionRows(rows);
      ++progress.conditionsDone;
    }
    times.ordered += Seconds(start);
    return sink.Continue(progress);
  };

  const int jobs = std::max(options.jobs, 1);
  const auto record = [&] {
    if (options.stageTimes != nullptr) *options.stageTimes = times;
  };
  try {
    RunOrdered<Block>(jobs, static_cast<std::size_t>(4 * jobs), make, work, hand);
  } catch (...) {
    record();
    throw;
  }
  record();
  return progress.conditionsDone == planned ? Ending::Completed : Ending::Stopped;
}

double ExpectedDrawsPerTest(std::int32_t n, std::int32_t k, std::int32_t D) {
  const double m = KnownCount(n, D);
  return m + 3.0 * k * (n - m);
}

PeriodExcess ConditionsBeyondThePeriod(const StudyDefinition& study) {
  PeriodExcess excess;
  if (study.generator == StudyGenerator::Philox) return excess;
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
