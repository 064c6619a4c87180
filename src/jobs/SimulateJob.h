#pragma once
// The simulation, in memory: settings in; the run's lines and points out through its host,
// and each finished test through an observer. The run works on its own jobs threads and
// ends after the test under way when the job's stop token asks; progress goes to the
// job's sink after every test.
//
// One composition for every front end: the window's bridge, the command line's files, the
// browser's engine and the Python and R data all run a simulation through Simulate, which
// says what the run's settings call for (the Do above Dmax note), attaches its summary and
// observer, and sets its threads; RunSeed gives the generator's start, from the clock when
// no seed was given (noted).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "jobs/JobControl.h"
#include "jobs/Settings.h"
#include "simulation/SimulationRun.h"
#include "study/RunSummary.h"

namespace veltrano::jobs {

/// Where a job's notes go (their settings marked, numeric/SettingText.h).
using NoteSink = std::function<void(const std::string& note)>;

/// What a run is given besides its settings.
struct RunParts {
  int jobs = 0;                      // threads; 0 every core
  RunSummary* summary = nullptr;     // when given, summarises every test (the Summary page, --summary)
  TestObserver* observer = nullptr;  // when given, also told of every test
  // Where the run's generator starts: where it stands (the window's, going on from run to
  // run) unless reseed; then from seed, or from the clock when there is none (noted).
  bool reseed = false;
  std::optional<std::uint32_t> seed;
};

/// The settings a simulation takes from a front end: every setting of the run's table
/// (simulation/RunSettings.h), the seed and the threads.
struct RunOrder {
  RunSettings settings;
  std::optional<std::uint32_t> seed;  // none: from the clock
  int jobs = 0;
};

/// The run the given settings ask for; a setting not given takes the table's default.
/// Raises UsageError naming a setting whose value breaks its rule, or that no run takes.
RunOrder OrderRun(const GivenSettings& given);

/// The generator's start for a run: the seed given, or one from the clock, noted with the
/// setting that repeats the run ("seed 42 (repeat this run with --seed 42)").
std::uint32_t RunSeed(const std::optional<std::uint32_t>& seed, const NoteSink& note);

/// How a run ended, and the generator's state before its first draw.
struct RunOutcome {
  Ending end = Ending::Completed;
  std::uint32_t seed = 0;
};

/// Runs the simulation with these settings on `run` (its generator, which goes on from where
/// the run leaves it) and writes its output to host, after noting what the settings call for.
/// Ends Cancelled when the host's ContinueRun or the job's stop token ended it after a
/// test; an error ends it where it stands and propagates, what was written staying written.
RunOutcome Simulate(SimulationRun& run, const RunSettings& settings, const RunParts& parts, RunHost& host,
                    const NoteSink& note, const JobContext& job);

/// The same without notes, summary or observer: what the run already has set.
Ending RunSimulation(SimulationRun& run, const RunSettings& settings, RunHost& host, const JobContext& job);

}  // namespace veltrano::jobs
