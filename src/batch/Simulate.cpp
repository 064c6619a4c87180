#include "batch/Simulate.h"

#include <CLI/CLI.hpp>

#include <csignal>

#include "batch/Commands.h"
#include "batch/OutputFile.h"
#include "batch/Options.h"
#include "batch/Progress.h"
#include "batch/StreamHost.h"
#include "numeric/UniformGenerator.h"
#include "parallel/Jobs.h"
#include "simulation/SimulationRun.h"
#include "study/RunSummary.h"

namespace veltrano::batch {

CLI::App* AddSimulateCommand(CLI::App& parent, SimulateOptions& o, std::int64_t& seed) {
  CLI::App* app = parent.add_subcommand(
      "simulate", "run the simulation of the window's Ok button and write its text, points and graphs");
  RunSettings& s = o.settings;
  for (const SettingField& f : kRunSettingFields) {
    if (f.whole != nullptr)
      SettingOption(*app, *f.entry, s.*f.whole);
    else
      SettingOption(*app, *f.entry, s.*f.on);
  }
  SettingOption(*app, setting::Dtrue, o.showD);
  const std::string files = "Output files";
  app->add_option("--seed", seed,
                  "state of the uniform generator before the first draw (0 to 4294967295; default: "
                  "from the clock, reported on standard error)")
      ->check(WholeNumberIn(0, 4294967295))
      ->type_name("S");
  FileOption(*app, "--data", o.data, "write the data lines to FILE (- for standard output)")->group(files);
  FileOption(*app, "--residuals", o.residuals, "write the residual lines to FILE (- for standard output)")
      ->group(files);
  FileOption(*app, "--points", o.points, "write every chart point to FILE as CSV series,x,y (- for standard output)")
      ->group(files);
  FileOption(*app, "--summary", o.summary,
             "write the summary of every degree to FILE as CSV (- for standard output): bias, empirical and "
             "model SE, RMSE, coverage of the intervals of Du, Dc and D Lord & Novick with their Monte Carlo "
             "errors, in the columns of veltrano-batch study")
      ->group(files);
  FileOption(*app, "--graph", o.graph, "draw the estimates chart into FILE (.png or .svg)")->group(files);
  FileOption(*app, "--residual-graph", o.residualGraph, "draw the residual chart into FILE (.png or .svg)")
      ->group(files);
  IntOption(*app, "--graph-width", o.graphWidth, 100, 10000, "width of the graphs in pixels")->group(files);
  IntOption(*app, "--graph-height", o.graphHeight, 100, 10000, "height of the graphs in pixels")->group(files);
  Switch(*app, "--quiet", "", o.quiet, "no progress line on a terminal");
  app->add_option("--jobs", o.jobs,
                  "worker threads (1 to 256; default: every core). The output is the same for any number; "
                  "--jobs 1 does everything on one thread")
      ->check(WholeNumberIn(1, 256))
      ->type_name("N");
  return app;
}

std::string CheckSimulateOptions(const SimulateOptions& o) {
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--data", &o.data},   {"--residuals", &o.residuals},          {"--points", &o.points},
      {"--graph", &o.graph}, {"--residual-graph", &o.residualGraph}, {"--summary", &o.summary}};
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    const std::string& path = *outputs[i].second;
    if (path.empty()) continue;
    for (std::size_t j = 0; j < i; ++j)
      if (!outputs[j].second->empty() && SameFile(*outputs[j].second, path))
        return std::string(outputs[i].first) + ": " + path + " is already the output of " + outputs[j].first +
               (*outputs[j].second == path ? "" : " (" + *outputs[j].second + ")");
  }
  for (const auto& [name, path] : {outputs[3], outputs[4]})
    if (!path->empty() && !IsGraphPath(*path))
      return std::string(name) + ": " + *path + " must end in .png or .svg";
  return "";
}

int Simulate(const SimulateOptions& o, Console& c, const BatchServices& services, const HostDecorator& decorate) {
  ClearStopRequest();
  const bool wantsGraphs = !o.graph.empty() || !o.residualGraph.empty();
  if (wantsGraphs && !services.graphs) {
    Report(c, std::string(o.graph.empty() ? "--residual-graph" : "--graph") +
                  ": this build of veltrano-batch draws no graphs (it was built without Qt)");
    return kExitUsage;
  }
  // Every output is checked before any is touched: a run that cannot start leaves every
  // existing file as it was. The graphs are written after the run, each at once.
  std::vector<std::unique_ptr<OutputFile>> files;
  try {
    if (!o.graph.empty()) CheckWritableLater(o.graph);
    if (!o.residualGraph.empty()) CheckWritableLater(o.residualGraph);
    files = OpenOutputs({o.data, o.residuals, o.points, o.summary}, c.out);
  } catch (const OutputError& e) {
    Report(c, e.what());
    return kExitFailure;
  }
  OutputFile* const data = files[0].get();
  OutputFile* const residuals = files[1].get();
  OutputFile* const points = files[2].get();
  OutputFile* const summaryFile = files[3].get();
  // The charts hold every point in memory, so they exist only when a graph is wanted.
  std::unique_ptr<GraphOutput> graphs;
  if (wantsGraphs) graphs = services.graphs(o.showD);

  const RunSettings& S = o.settings;
  if (S.CheckBox_Iterate && S.SpinEdit_D0 > S.SpinEdit_Dmax)
    Report(c, "--iterate: Do " + std::to_string(S.SpinEdit_D0) + " is above Dmax " + std::to_string(S.SpinEdit_Dmax) +
                  ", so the one degree " + std::to_string(S.SpinEdit_D0) + " runs");

  std::uint32_t seed = 0;
  if (o.seed) {
    seed = *o.seed;
  } else {
    seed = ClockSeed();
    Report(c, "seed " + std::to_string(seed) + " (repeat this run with --seed " + std::to_string(seed) + ")");
  }

  ProgressMeter meter(c.err, c.errIsTerminal && !o.quiet);
  StreamHost host(data, residuals, points, graphs.get(), &meter);
  std::unique_ptr<RunHost> decorated = decorate ? decorate(host) : nullptr;
  UniformGenerator rng(seed);
  SimulationRun run(rng, o.jobs > 0 ? o.jobs : HardwareJobs());
  RunSummary summary;
  if (summaryFile != nullptr) run.SetObserver(&summary);

  int status = kExitOk;
  bool pipeClosed = false;
  try {
    const StopRequestsHonoured honoured;
    if (run.Execute(o.settings, decorated ? *decorated : static_cast<RunHost&>(host)) == RunEnd::Cancelled) {
      meter.Finish();
      // Ended by a signal: 128 + the signal, as a shell reports a program the signal
      // ended, and the outputs are whole.
      const int signal = StopSignalOrInterrupt();
      Report(c, std::string(StoppedBy(signal)) + "; the outputs hold the tests finished so far");
      status = 128 + signal;
    }
  } catch (const BrokenPipe&) {
    // The reader of an output has gone (| head): the run ends there, quietly, with
    // every other output complete up to the last test written.
    pipeClosed = true;
    status = kExitBrokenPipe;
  } catch (const std::exception& e) {
    meter.Finish();
    Report(c, e.what());
    status = kExitFailure;
  }
  meter.Finish();

  const auto keep = [&](int step) {
    if (step == kExitBrokenPipe) pipeClosed = true;
    if (step != kExitOk) status = step;
  };
  // The summary covers the tests the run finished, after an interrupt or an error too.
  if (summaryFile != nullptr) keep(OutputStep(c, [&] { summaryFile->Write(summary.Rows(RowFormat::Csv)); }));
  // Whatever the run produced stays, after an error too, as it does in the window.
  for (OutputFile* f : {data, residuals, points, summaryFile})
    if (f != nullptr) keep(OutputStep(c, [f] { f->Close(); }));
  if (pipeClosed) return kExitBrokenPipe;
  if (graphs) {
    try {
      graphs->Save(o.graph, o.residualGraph, o.graphWidth, o.graphHeight);
    } catch (const std::exception& e) {
      Report(c, e.what());
      status = kExitFailure;
    }
  }
  return status;
}

bool IsGraphPath(const std::string& path) {
  const auto endsWith = [&](std::string_view suffix) {
    if (path.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(path[path.size() - suffix.size() + i])) != suffix[i]) return false;
    return true;
  };
  return endsWith(".png") || endsWith(".svg");
}

}  // namespace veltrano::batch
