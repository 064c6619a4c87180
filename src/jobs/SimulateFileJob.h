#pragma once
// The simulation, to files: the window's run with its data, residual and points lines, the
// summary of every degree and the two charts written to files (or standard output).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "jobs/Drawing.h"
#include "jobs/FileJob.h"
#include "simulation/RunSettings.h"

namespace veltrano::jobs {

struct SimulateRequest {
  RunSettings settings;                 // the window's settings and defaults
  std::optional<std::uint64_t> seed;    // none: seeded from the clock and reported (lcg: 0 to 2^32 − 1)
  // "" or "lcg": the run's generator, from seed. "philox": the replications `replications`
  // ("A:B" or "A") of condition `condition` of the philox study seeded `seed`, each from
  // its own stream, made again: the tests of its test rows (n, k and Do the condition's).
  std::string generator;
  std::int64_t condition = 0;
  std::string replications;
  std::string data;                     // data-pane lines; "-" standard output, "" none
  std::string residuals;                // residuals-pane lines
  std::string points;                   // chart points as CSV
  std::string summary;                  // the per-degree summary as CSV
  std::string graph;                    // Chart1 as .png or .svg
  std::string residualGraph;            // Chart2 as .png or .svg
  bool showD = setting::Dtrue.byDefault;  // the diagonal sLine on Chart1
  int graphWidth = kGraphWidth;
  int graphHeight = kGraphHeight;
  int jobs = 0;                         // worker threads; 0: every core
};

/// Lets a test stand a host of its own between the run and the files' host: given that
/// host, returns the host the run is to write to.
using HostDecorator = std::function<std::unique_ptr<RunHost>(RunHost& filesHost)>;

/// The request as it runs: one that asks for no output at all writes its data lines to
/// standard output rather than nothing.
SimulateRequest WithAnOutput(SimulateRequest request);

/// The rules that involve more than one field of the request: no output named twice (nor
/// the file standard output goes to, console, while another output is written there),
/// graphs named .png or .svg. Raises UsageError.
void CheckSimulateRequest(const SimulateRequest& request, const std::optional<platform::FileId>& console = {});

/// The replications first..last a request's "A:B" or "A" names. Raises UsageError
/// naming --replications.
std::pair<std::int64_t, std::int64_t> ReplicationRange(const std::string& text);

/// Runs the simulation into its files (with none asked for, its data lines to standard
/// output). Raises UsageError or OutputError before anything is touched when it cannot start; once it runs, every output holds the tests finished, after
/// a stop or an error too (reported as problems), and the summary covers them.
void SimulateToFiles(const SimulateRequest& request, FileJob& job, const HostDecorator& decorate = {});

}  // namespace veltrano::jobs
