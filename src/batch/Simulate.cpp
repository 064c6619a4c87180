#include "batch/Simulate.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "batch/Commands.h"
#include "batch/OutputFile.h"
#include "batch/Options.h"
#include "batch/Progress.h"
#include "batch/StreamHost.h"
#include "numeric/UniformGenerator.h"
#include "simulation/SimulationRun.h"

namespace veltrano::batch {
namespace {

std::unique_ptr<OutputFile> Open(const std::string& path, Console& c) {
  return path.empty() ? nullptr : std::make_unique<OutputFile>(path, c.out);
}

// A graph is written after the run; this checks before it that the file can be made.
void CheckWritable(const std::string& path) {
  if (path.empty()) return;
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw OutputError("cannot open " + path + ": " + std::strerror(errno));
  std::fclose(f);
}

}  // namespace

CLI::App* AddSimulateCommand(CLI::App& parent, SimulateOptions& o, std::int64_t& seed) {
  CLI::App* app = parent.add_subcommand(
      "simulate", "run the simulation of the window's Ok button and write its text, points and graphs");
  RunSettings& s = o.settings;
  for (const SettingField& f : kRunSettingFields) {
    if (f.whole != nullptr)
      SettingOption(*app, *f.spec, s.*f.whole);
    else
      SettingOption(*app, *f.spec, s.*f.on);
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
  FileOption(*app, "--graph", o.graph, "draw the estimates chart into FILE (.png or .svg)")->group(files);
  FileOption(*app, "--residual-graph", o.residualGraph, "draw the residual chart into FILE (.png or .svg)")
      ->group(files);
  IntOption(*app, "--graph-width", o.graphWidth, 100, 10000, "width of the graphs in pixels")->group(files);
  IntOption(*app, "--graph-height", o.graphHeight, 100, 10000, "height of the graphs in pixels")->group(files);
  Switch(*app, "--quiet", "", o.quiet, "no progress line on a terminal");
  return app;
}

std::string CheckSimulateOptions(const SimulateOptions& o) {
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--data", &o.data},   {"--residuals", &o.residuals},          {"--points", &o.points},
      {"--graph", &o.graph}, {"--residual-graph", &o.residualGraph}};
  for (std::size_t i = 0; i < std::size(outputs); ++i) {
    const std::string& path = *outputs[i].second;
    if (path.empty()) continue;
    for (std::size_t j = 0; j < i; ++j)
      if (*outputs[j].second == path)
        return std::string(outputs[i].first) + ": " + path + " is already the output of " + outputs[j].first;
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
  std::unique_ptr<OutputFile> data, residuals, points;
  try {
    data = Open(o.data, c);
    residuals = Open(o.residuals, c);
    points = Open(o.points, c);
    CheckWritable(o.graph);
    CheckWritable(o.residualGraph);
  } catch (const OutputError& e) {
    Report(c, e.what());
    return kExitFailure;
  }
  // The charts hold every point in memory, so they exist only when a graph is wanted.
  std::unique_ptr<GraphOutput> graphs;
  if (wantsGraphs) graphs = services.graphs(o.showD);

  std::uint32_t seed = 0;
  if (o.seed) {
    seed = *o.seed;
  } else {
    seed = ClockSeed();
    Report(c, "seed " + std::to_string(seed) + " (repeat this run with --seed " + std::to_string(seed) + ")");
  }

  ProgressMeter meter(c.err, c.errIsTerminal && !o.quiet);
  StreamHost host(data.get(), residuals.get(), points.get(), graphs.get(), &meter);
  std::unique_ptr<RunHost> decorated = decorate ? decorate(host) : nullptr;
  UniformGenerator rng(seed);
  SimulationRun run(rng);

  int status = kExitOk;
  try {
    if (run.Execute(o.settings, decorated ? *decorated : static_cast<RunHost&>(host)) == RunEnd::Cancelled) {
      meter.Finish();
      Report(c, "interrupted; the outputs hold the tests finished so far");
      status = kExitInterrupted;
    }
  } catch (const std::exception& e) {
    meter.Finish();
    Report(c, e.what());
    status = kExitFailure;
  }
  meter.Finish();

  // Whatever the run produced stays, after an error too, as it does in the window.
  for (OutputFile* f : {data.get(), residuals.get(), points.get()}) {
    if (f == nullptr) continue;
    try {
      f->Close();
    } catch (const OutputError& e) {
      Report(c, e.what());
      status = kExitFailure;
    }
  }
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
