#include "jobs/AnalyseJob.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "parallel/OrderedPipeline.h"

namespace veltrano::jobs {

AnalysisOrder OrderAnalysis(const GivenSettings& given) {
  CheckKnown(given, {std::begin(kAnalyseSettings), std::end(kAnalyseSettings)});
  AnalysisOrder order;
  order.analysis = AnalysisOf(given);  // Dc always: the alternative measures are not among its settings
  order.jobs = static_cast<int>(ValueOf(given, setting::jobCount, 0));
  return order;
}

void AnalyseObservedTable(TableResult& r, const AnalysisSettings& settings) {
  r.analysis.reset();
  r.failed = false;
  r.error.clear();
  r.dln = Nodefinido;
  r.estimates = TestEstimates{};
  try {
    const tBfMatriz table = ToMatriz(r.table);
    r.dln = LordNovick(r.table.k, table.X[0][0], CorrectAnswers(table));
    RunAnalysis(r.analysis.emplace(), table, settings);
    r.estimates = EstimatesOf(*r.analysis, 0, r.dln);
  } catch (const std::exception& e) {
    r.analysis.reset();
    r.failed = true;
    r.error = e.what();
  }
}

namespace {

// Tables travel through the pipeline in groups, so that its cost per hand-over is shared
// by many tables.
constexpr std::size_t kGroupTables = 64;

struct TableGroup {
  std::vector<TableResult> results = std::vector<TableResult>(kGroupTables);
  std::size_t count = 0;
};

}  // namespace

Ending AnalyseTables(const AnalyseTablesRun& run, const JobContext& job) {
  const StopToken::Listen listening(job.stop);
  bool stopped = false;
  bool exhausted = false;
  const int jobs = std::max(run.jobs, 1);
  RunOrdered<TableGroup>(
      jobs, static_cast<std::size_t>(4 * jobs),
      [&](TableGroup& g) {
        g.count = 0;
        while (!exhausted && g.count < g.results.size()) {
          if (!run.next(g.results[g.count].table)) {
            exhausted = true;
            break;
          }
          ++g.count;
        }
        return g.count > 0;
      },
      [&](TableGroup& g) {
        for (std::size_t i = 0; i < g.count; ++i) {
          AnalyseObservedTable(g.results[i], run.analysis);
          if (run.format) run.format(g.results[i]);
        }
      },
      [&](TableGroup& g) {
        for (std::size_t i = 0; i < g.count; ++i) {
          run.hand(g.results[i]);
          // The work ends after the table handed on.
          if ((stopped = job.StopRequested())) return false;
        }
        return true;
      });
  return stopped ? Ending::Stopped : Ending::Completed;
}

}  // namespace veltrano::jobs
