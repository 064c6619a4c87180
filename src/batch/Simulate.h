#pragma once
// veltrano-batch simulate: the window's run, written to files (jobs/SimulateFileJob.h).
#include <cstdint>

#include "batch/BatchJob.h"
#include "jobs/SimulateFileJob.h"

namespace CLI {
class App;
}

namespace veltrano::batch {

struct SimulateOptions : jobs::SimulateRequest {
  bool quiet = false;  // no progress line
};

using jobs::HostDecorator;

/// Adds the `simulate` subcommand with every option.
CLI::App* AddSimulateCommand(CLI::App& parent, SimulateOptions& o);

/// Runs one simulation with the given options; returns the exit status.
int Simulate(const SimulateOptions& options, Console& console, const BatchServices& services = {},
             const HostDecorator& decorate = {});

}  // namespace veltrano::batch
