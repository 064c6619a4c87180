#include "batch/Simulate.h"

#include <CLI/CLI.hpp>

#include "batch/Options.h"

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
  JobsOption(*app, o.jobs, "worker threads", "; --jobs 1 does everything on one thread");
  return app;
}

int Simulate(const SimulateOptions& o, Console& c, const BatchServices& services, const HostDecorator& decorate) {
  const jobs::SimulateRequest run = jobs::WithAnOutput(o);
  const bool progress = ShowProgress(c, o.quiet, {run.data, run.residuals, run.points, run.summary});
  return RunJob(c, progress, services, [&](jobs::FileJob& job) { jobs::SimulateToFiles(o, job, decorate); });
}

}  // namespace veltrano::batch
