#include "jobs/SimulateFileJob.h"

#include <cctype>

#include "jobs/OutputFile.h"
#include "jobs/SimulateJob.h"
#include "jobs/StreamHost.h"
#include "numeric/UniformGenerator.h"
#include "parallel/Jobs.h"
#include "study/RunSummary.h"

namespace veltrano::jobs {

bool IsGraphPath(const std::string& path) {
  const auto endsWith = [&](std::string_view suffix) {
    if (path.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(path[path.size() - suffix.size() + i])) != suffix[i]) return false;
    return true;
  };
  return endsWith(".png") || endsWith(".svg");
}

void CheckSimulateRequest(const SimulateRequest& o, const std::optional<platform::FileId>& console) {
  CheckOutputs({{"--data", o.data},
                {"--residuals", o.residuals},
                {"--points", o.points},
                {"--graph", o.graph},
                {"--residual-graph", o.residualGraph},
                {"--summary", o.summary}},
               {}, console);
  for (const auto& [name, path] : {std::pair("--graph", &o.graph), std::pair("--residual-graph", &o.residualGraph)})
    if (!path->empty() && !IsGraphPath(*path))
      throw UsageError(std::string(name) + ": " + *path + " must end in .png or .svg");
}

SimulateRequest WithAnOutput(SimulateRequest o) {
  if (o.data.empty() && o.residuals.empty() && o.points.empty() && o.summary.empty() && o.graph.empty() &&
      o.residualGraph.empty())
    o.data = "-";
  return o;
}

void SimulateToFiles(const SimulateRequest& request, FileJob& job, const HostDecorator& decorate) {
  const SimulateRequest o = WithAnOutput(request);
  CheckSimulateRequest(o, job.console);
  const bool wantsGraphs = !o.graph.empty() || !o.residualGraph.empty();
  if (wantsGraphs && !job.drawing.graphs)
    throw UsageError(std::string(o.graph.empty() ? "--residual-graph" : "--graph") +
                     ": this build of veltrano-batch draws no graphs (it was built without Qt)");
  const OutputLocks locks({o.data, o.residuals, o.points, o.summary, o.graph, o.residualGraph});
  // Every output is checked before any is touched: a run that cannot start leaves every
  // existing file as it was. The graphs are written after the run, each at once.
  if (!o.graph.empty()) CheckWritableLater(o.graph);
  if (!o.residualGraph.empty()) CheckWritableLater(o.residualGraph);
  std::vector<std::unique_ptr<OutputFile>> files = OpenOutputs({o.data, o.residuals, o.points, o.summary}, job.out);
  OutputFile* const summaryFile = files[3].get();
  // The charts hold every point in memory, so they exist only when a graph is wanted.
  std::unique_ptr<GraphOutput> graphs;
  if (wantsGraphs) graphs = job.drawing.graphs(o.showD);

  const RunSettings& S = o.settings;
  if (S.CheckBox_Iterate && S.SpinEdit_D0 > S.SpinEdit_Dmax)
    job.report.Note("--iterate: Do " + std::to_string(S.SpinEdit_D0) + " is above Dmax " +
                    std::to_string(S.SpinEdit_Dmax) + ", so the one degree " + std::to_string(S.SpinEdit_D0) +
                    " runs");
  std::uint32_t seed = 0;
  if (o.seed) {
    seed = *o.seed;
  } else {
    seed = ClockSeed();
    job.report.Note("seed " + std::to_string(seed) + " (repeat this run with --seed " + std::to_string(seed) + ")");
  }

  StreamHost host(files[0].get(), files[1].get(), files[2].get(), graphs.get());
  std::unique_ptr<RunHost> decorated = decorate ? decorate(host) : nullptr;
  UniformGenerator rng(seed);
  SimulationRun run(rng, o.jobs > 0 ? o.jobs : HardwareJobs());
  RunSummary summary;
  if (summaryFile != nullptr) run.SetObserver(&summary);

  // The reader of an output that has gone (| head) ends the run there, quietly, with every
  // other output complete up to the last test written.
  bool pipeClosed = false;
  const auto step = [&](auto&& work) {
    pipeClosed |= ReportedStep(job.report, work) == ErrorKind::BrokenPipe;
  };
  step([&] {
    try {
      if (RunSimulation(run, S, decorated ? *decorated : static_cast<RunHost&>(host), job.context) ==
          RunEnd::Cancelled)
        job.report.Problem(StoppedProblem(job.context.StopSignal(), "the outputs hold the tests finished so far"));
    } catch (const OutputError&) {
      // An output that failed in the middle of a test's lines: every file ends at the test
      // before it, as the summary does.
      host.CutBackToLastTest();
      throw;
    }
  });
  // The summary covers the tests the run finished, after a stop or an error too; whatever
  // the run produced stays, as it does in the window.
  if (summaryFile != nullptr) step([&] { summaryFile->Write(summary.Rows(RowFormat::Csv)); });
  for (const std::unique_ptr<OutputFile>& f : files)
    if (f) step([&f] { f->Close(); });
  if (pipeClosed || !graphs) return;
  step([&] { graphs->Save(o.graph, o.residualGraph, o.graphWidth, o.graphHeight); });
}

}  // namespace veltrano::jobs
