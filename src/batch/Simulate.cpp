#include "batch/Simulate.h"

#include <CLI/CLI.hpp>

#include "batch/Options.h"

namespace veltrano::batch {

CLI::App* AddSimulateCommand(CLI::App& parent, SimulateOptions& o) {
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
  SeedOption(*app, o.seed,
             std::string(setting::runSeed.help) + " (0 to " + std::to_string(setting::runSeed.max) +
                 "; default: from the clock, reported on standard error); with --generator philox, the study's "
                 "seed (0 to " + std::to_string(setting::studySeed.max) + ")");
  const std::string replay = "A study's replications made again";
  app->add_option("--generator", o.generator,
                  "lcg (default): the run's generator, from --seed. philox: replications --replications of "
                  "condition --condition of the philox study seeded --seed, each drawn from its own stream as the "
                  "study drew it (give the condition's --n, --k and --do; the tests are numbered by replication)")
      ->type_name("philox|lcg")
      ->group(replay);
  CLI::Option* condition =
      app->add_option("--condition", o.condition, "the study condition I (from 1, as in the study's rows)")
          ->check(WholeNumberIn(static_cast<std::int64_t>(setting::condition.min),
                                static_cast<std::int64_t>(setting::condition.max)))
          ->type_name("I")
          ->group(replay);
  CLI::Option* replications =
      app->add_option("--replications", o.replications, "the replications A to B (A:B), or A alone")
          ->type_name("A:B")
          ->group(replay);
  for (CLI::Option* option : {condition, replications})
    for (const char* other : {"--tests", "--iterate"}) option->excludes(app->get_option(other));
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
  for (const auto& [setting, value] :
       {std::pair{&setting::graphWidth, &o.graphWidth}, std::pair{&setting::graphHeight, &o.graphHeight}})
    IntOption(*app, "--" + std::string(setting->name), *value, static_cast<int>(setting->min),
              static_cast<int>(setting->max), std::string(setting->help))
        ->group(files);
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
