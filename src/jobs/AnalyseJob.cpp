#include "jobs/AnalyseJob.h"

#include <exception>

#include "parallel/OrderedPipeline.h"
#include "simulation/ExamResults.h"

namespace veltrano::jobs {

void AnalyseObservedTable(TableResult& r, const AnalysisSettings& settings) {
  r.analysis.reset();
  r.failed = false;
  r.error.clear();
  r.dln = Nodefinido;
  try {
    const tBfMatriz table = ToMatriz(r.table);
    r.dln = LordNovick(r.table.k, table.X[0][0], CorrectAnswers(table));
    RunAnalysis(r.analysis.emplace(), table, settings);
  } catch (const std::exception& e) {
    r.analysis.reset();
    r.failed = true;
    r.error = e.what();
  }
}

JobEnd AnalyseTables(const AnalyseTablesRun& run, const JobContext& job) {
  const StopToken::Listen listening(job.stop);
  bool stopped = false;
  RunOrdered<TableResult>(
      run.jobs, 64, [&](TableResult& r) { return run.next(r.table); },
      [&](TableResult& r) {
        AnalyseObservedTable(r, run.analysis);
        if (run.format) run.format(r);
      },
      [&](TableResult& r) {
        run.hand(r);
        stopped = job.StopRequested();  // the work ends after the table handed on
        return !stopped;
      });
  return stopped ? JobEnd::Stopped : JobEnd::Completed;
}

}  // namespace veltrano::jobs
