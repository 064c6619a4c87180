#pragma once
// The commands of veltrano-batch, callable in-process.
//
//   veltrano-batch simulate [options]   the window's run, written to files
//   veltrano-batch analyse [FILE|-]      the delta model fitted to observed tables
//
// Exit status: 0 done; 1 an error ended the work (its message on standard error;
// whatever was produced before it is kept) or a file could not be read or written;
// 2 bad input (an option, a value out of range, a malformed table), in which case
// nothing is written; 130 a simulation interrupted (SIGINT), its outputs kept.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "batch/Console.h"
#include "batch/RunGraphs.h"
#include "simulation/RunHost.h"
#include "simulation/RunSettings.h"

namespace veltrano::batch {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

struct SimulateOptions {
  RunSettings settings;                 // the window's settings and defaults
  std::optional<std::uint32_t> seed;    // none: seeded from the clock and reported
  std::string data;                     // data-pane lines; "-" standard output, "" none
  std::string residuals;                // residuals-pane lines
  std::string points;                   // chart points as CSV
  std::string graph;                    // Chart1 as .png or .svg
  std::string residualGraph;            // Chart2 as .png or .svg
  bool showD = true;                    // the diagonal sLine on Chart1
  int graphWidth = kGraphWidth;
  int graphHeight = kGraphHeight;
  bool quiet = false;                   // no progress line
};

struct AnalyseOptions {
  std::string input = "-";   // a file, or "-" for standard input
  int tolerance = 10;        // exponent T of the tolerance 10^-T, 2..15
  int maxIterations = 500;   // 1..1000
  int decimals = 3;          // decimals of the record, 1..8
  bool ci = false;           // the confidence interval of delta
  bool alternative = true;   // the conditional estimate Dk&a in the record
  bool json = false;         // one JSON object per table instead of the record lines
};

/// Lets a test stand a host of its own between the run and the batch host: given the
/// batch host, returns the host the run is to write to.
using HostDecorator = std::function<std::unique_ptr<RunHost>(RunHost& batchHost)>;

/// Parses the arguments (without the program name) and runs the command they name.
int RunBatch(const std::vector<std::string>& args, Console& console);

/// Runs one simulation with the given options.
int Simulate(const SimulateOptions& options, Console& console, const HostDecorator& decorate = {});

/// Reads every table of the input, then analyses them one by one: the record header
/// once and one record line per table, or one JSON object per table. A table whose
/// analysis fails gives an "error:" line (or {"error": ...}) and the next table is still
/// analysed; the exit status is then 1.
int Analyse(const AnalyseOptions& options, Console& console);

}  // namespace veltrano::batch
