#pragma once
// The simulation, in memory: settings in; the run's lines and points out through its host,
// and each finished test through an observer. The run works on its own jobs threads and
// ends after the test under way when the job's stop token asks; progress goes to the
// job's sink after every test.
#include "jobs/JobControl.h"
#include "simulation/SimulationRun.h"

namespace veltrano::jobs {

/// Runs the simulation with these settings on `run` (its generator, threads and observer)
/// and writes its output to host. Returns Cancelled when the host's ContinueRun or the
/// job's stop token ended it after a test; an error ends it where it stands and
/// propagates, what was written staying written.
RunEnd RunSimulation(SimulationRun& run, const RunSettings& settings, RunHost& host, const JobContext& job);

}  // namespace veltrano::jobs
