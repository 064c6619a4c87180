#include "jobs/SimulateFileJob.h"

#include <cctype>

#include "jobs/OutputFile.h"
#include "jobs/Settings.h"
#include "jobs/SimulateJob.h"
#include "jobs/StreamHost.h"
#include "numeric/QuotedText.h"
#include "numeric/UniformGenerator.h"
#include "numeric/WholeNumber.h"
#include "parallel/Jobs.h"
#include "study/RunSummary.h"
#include "study/StudyConditions.h"
#include "study/StudyGenerator.h"

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

std::pair<std::int64_t, std::int64_t> ReplicationRange(const std::string& text) {
  const std::size_t colon = text.find(':');
  const std::string firstText = text.substr(0, colon);
  const std::string lastText = colon == std::string::npos ? firstText : text.substr(colon + 1);
  std::int64_t first = 0, last = 0;
  for (const auto& [part, value] : {std::pair(&firstText, &first), std::pair(&lastText, &last)}) {
    const std::string problem = WholeNumberProblem(*part, 1, kMaxReplicationNumber, *value);
    if (!problem.empty())
      throw UsageError("--replications: " + Quoted(text) + ": " + problem +
                       " (give A:B, the replications A to B, or A alone)");
  }
  if (first > last)
    throw UsageError("--replications: " + Quoted(text) + ": the first replication is after the last");
  return {first, last};
}

// A replay's settings and stream, checked: the run of the condition's n, k and Do, one
// test per replication.
void CheckReplay(const SimulateRequest& o, std::int64_t count) {
  if (!o.seed) throw UsageError("--generator philox: give the study's seed with --seed");
  if (o.condition < 1 || o.condition > kMaxConditions)
    throw UsageError("--generator philox: give the study condition with --condition I (from 1 to " +
                     std::to_string(kMaxConditions) + ")");
  if (o.replications.empty())
    throw UsageError("--generator philox: give the replications to make with --replications A:B");
  if (o.settings.CheckBox_Iterate)
    throw UsageError("--iterate: a study condition has one Do; give it with --do");
  if (count > setting::Test.max)
    throw UsageError("--replications: " + o.replications + " names " + std::to_string(count) +
                     " replications; one run makes at most " + std::to_string(setting::Test.max));
  if (!o.summary.empty())
    throw UsageError("--summary: the replications' summary is the study's own row; replay them with --data");
}

SimulateRequest WithAnOutput(SimulateRequest o) {
  if (o.data.empty() && o.residuals.empty() && o.points.empty() && o.summary.empty() && o.graph.empty() &&
      o.residualGraph.empty())
    o.data = "-";
  return o;
}

void SimulateToFiles(const SimulateRequest& request, FileJob& job, const HostDecorator& decorate) {
  SimulateRequest o = WithAnOutput(request);
  CheckSimulateRequest(o, job.console);
  // The generator: the run's (lcg), or a philox study's replications made again.
  if (!o.generator.empty() && o.generator != "lcg" && o.generator != "philox")
    throw UsageError("--generator: " + Quoted(o.generator) + " is neither philox nor lcg");
  const bool replay = o.generator == "philox";
  std::pair<std::int64_t, std::int64_t> range{1, 1};
  if (replay) {
    if (!o.replications.empty()) range = ReplicationRange(o.replications);
    CheckReplay(o, range.second - range.first + 1);
    o.settings.SpinEdit_Test = static_cast<std::int32_t>(range.second - range.first + 1);
  } else {
    if (o.condition != 0 || !o.replications.empty())
      throw UsageError(std::string(o.condition != 0 ? "--condition" : "--replications") +
                       ": makes a philox study's replications again; give --generator philox and the study's --seed");
    if (o.seed) CheckStudySeed(*o.seed, StudyGenerator::Lcg);
  }
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

  const NoteSink note = [&job](const std::string& line) { job.report.Note(line); };
  StreamHost host(files[0].get(), files[1].get(), files[2].get(), graphs.get());
  std::unique_ptr<RunHost> decorated = decorate ? decorate(host) : nullptr;
  UniformGenerator rng;
  SimulationRun run(rng);
  if (replay) {
    const std::uint64_t studySeed = *o.seed;
    const std::int64_t condition = o.condition, first = range.first;
    run.SetTestStreams(
        [studySeed, condition, first](std::int32_t L) { return ReplicationStream(studySeed, condition, first + L - 1); },
        first);
  }
  RunSummary summary;
  RunParts parts;
  parts.jobs = o.jobs;
  if (summaryFile != nullptr) parts.summary = &summary;
  // The run's generator starts from the seed, or the clock; a replay leaves it unused.
  parts.reseed = !replay;
  if (o.seed && !replay) parts.seed = static_cast<std::uint32_t>(*o.seed);

  // The reader of an output that has gone (| head) ends the run there, quietly, with every
  // other output complete up to the last test written.
  bool pipeClosed = false;
  const auto step = [&](auto&& work) {
    pipeClosed |= ReportedStep(job.report, work) == ErrorKind::BrokenPipe;
  };
  step([&] {
    try {
      if (Simulate(run, o.settings, parts, decorated ? *decorated : static_cast<RunHost&>(host), note, job.context)
              .end == Ending::Stopped)
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
