#pragma once
// veltrano-batch study: a simulation study over a grid of conditions, and
// veltrano-batch study merge: the outputs of its shards joined into one.
//
//   veltrano-batch study --n 10,20,50,100 --k 2:5 --do 0:100:10 --replications 1000 --out study.csv
//   veltrano-batch study --design design.csv --shard 3/8 --out part3.csv
//   veltrano-batch study merge part*.csv --out study.csv --plot plots/
//
// Rows and measures are those of src/study. Every condition's rows are written and
// flushed as soon as it and the conditions before it are complete, so an interrupted
// study (exit 130) keeps each completed condition, and --resume goes on from there.
// --plot draws, once the study is complete, the plots of study/StudyPlots.h from its
// summary rows (a resumed study's kept rows included); merge --plot draws them from the
// merged rows.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "batch/Console.h"
#include "batch/GraphOutput.h"
#include "simulation/RunSettings.h"

namespace CLI {
class App;
}

namespace veltrano::batch {

struct StudyPlotOptions {
  std::string prefix;            // --plot: the start of the plots' file names; "" no plots
  std::string format = "png";    // "png" or "svg"
  int width = kStudyPlotWidth;
  int height = kStudyPlotHeight;
};

struct StudyMergeOptions {
  std::vector<std::string> files;  // the shards' outputs
  std::string out = "-";           // the merged output; "-" standard output
  StudyPlotOptions plot;
};

struct StudyOptions {
  std::optional<std::string> n, k, D;     // lists and ranges; none: the setting's default value
  std::string design;                     // a design file instead of the lists; "" none
  std::int64_t replications = 1000;
  std::optional<std::uint32_t> seed;      // none: from the resumed output, or from the clock (reported)
  int tolerance = setting::Tol.byDefault;
  int maxIterations = setting::MaxIts.byDefault;
  bool ci = setting::CI.byDefault;        // the test-inversion interval of Du
  std::string out = "-";                  // summary rows; "-" standard output
  bool json = false;                      // summary rows as JSON objects, one per line
  std::string testsOut;                   // one row per test; "" none
  int jobs = 0;                           // worker threads; 0: every core
  std::string shard;                      // "I/N"; "" the whole study
  bool resume = false;                    // continue the study in `out`
  bool quiet = false;                     // no progress line
  StudyPlotOptions plot;
  StudyMergeOptions merge;                // filled by the merge subcommand
};

/// Adds the `study` subcommand, with its `merge` subcommand, to parent.
CLI::App* AddStudyCommand(CLI::App& parent, StudyOptions& o);

/// True when the command line named `study merge` rather than `study`.
bool MergeRequested(const CLI::App& study);

/// Runs the study. Exit status as for every command (Commands.h); bad input (lists,
/// ranges, design lines, shard, a resumed output of other settings, --plot in a build
/// that draws none) gives 2 before anything is written.
int RunStudy(const StudyOptions& options, Console& console, const BatchServices& services = {});

/// Merges the outputs of a study's shards into the output of the whole study, byte
/// for byte; files of different studies or formats, missing, repeated or unfinished
/// conditions give 2 and nothing written.
int RunStudyMerge(const StudyMergeOptions& options, Console& console, const BatchServices& services = {});

}  // namespace veltrano::batch
