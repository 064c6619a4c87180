#pragma once
// veltrano-batch analyse: the delta model fitted to observed tables.
#include <string>

#include "analysis/AnalysisSettings.h"
#include "batch/AnalyseResponses.h"
#include "batch/Console.h"

namespace CLI {
class App;
}

namespace veltrano::batch {

struct AnalyseOptions {
  std::string input = "-";    // a file, or "-" for standard input
  AnalysisSettings analysis;  // the window's analysis settings and defaults
  bool json = false;          // one JSON object per table instead of the record lines
  bool responses = false;     // --responses: an answer sheet instead of tables
  ResponsesOptions sheet;     // its options; analysis and json are taken from above
};

/// Adds the `analyse` subcommand with its options.
CLI::App* AddAnalyseCommand(CLI::App& parent, AnalyseOptions& o);

/// Analyses the tables of the input one at a time, on every core, and writes in their
/// order the record header once and one record line per table, or one JSON object per
/// table. The input is checked whole before anything is written (a malformed table:
/// exit 2, nothing written; standard input is copied to a temporary file for that). A
/// table whose analysis fails gives an "error:" line (or
/// {"table": t, "error": ...}) and the next table is still analysed; the exit status is
/// then 1. Memory stays flat however many tables. With responses, analyses the answer
/// sheet instead (AnalyseResponses).
int Analyse(const AnalyseOptions& options, Console& console);

}  // namespace veltrano::batch
