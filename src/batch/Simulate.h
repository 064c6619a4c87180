#pragma once
// veltrano-batch simulate: the window's run, written to files.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "batch/Console.h"
#include "batch/GraphOutput.h"
#include "simulation/RunHost.h"
#include "simulation/RunSettings.h"

namespace CLI {
class App;
}

namespace veltrano::batch {

struct SimulateOptions {
  RunSettings settings;                 // the window's settings and defaults
  std::optional<std::uint32_t> seed;    // none: seeded from the clock and reported
  std::string data;                     // data-pane lines; "-" standard output, "" none
  std::string residuals;                // residuals-pane lines
  std::string points;                   // chart points as CSV
  std::string summary;                  // the per-degree summary as CSV
  std::string graph;                    // Chart1 as .png or .svg
  std::string residualGraph;            // Chart2 as .png or .svg
  bool showD = setting::Dtrue.byDefault;  // the diagonal sLine on Chart1
  int graphWidth = kGraphWidth;
  int graphHeight = kGraphHeight;
  bool quiet = false;                   // no progress line
  int jobs = 0;                         // worker threads; 0: every core
};

/// Lets a test stand a host of its own between the run and the batch host: given the
/// batch host, returns the host the run is to write to.
using HostDecorator = std::function<std::unique_ptr<RunHost>(RunHost& batchHost)>;

/// Adds the `simulate` subcommand with every option; `seed` receives --seed (−1 when
/// not given), copied into the options by FinishSimulateOptions.
CLI::App* AddSimulateCommand(CLI::App& parent, SimulateOptions& o, std::int64_t& seed);

/// The rules that involve more than one option, checked once the options are read.
/// Returns the message, or "" when all is well.
std::string CheckSimulateOptions(const SimulateOptions& o);

/// Runs one simulation with the given options.
int Simulate(const SimulateOptions& options, Console& console, const BatchServices& services = {},
             const HostDecorator& decorate = {});

}  // namespace veltrano::batch
