#pragma once
// veltrano-batch analyse --responses: the delta model for every examinee of a real exam's
// answer sheet (jobs/SheetFileJob.h: the reading, the outputs, the notes).
//
// Status: 0 done; 1 some examinee's analysis failed (its error cell says why; the others
// are analysed) or a file could not be read or written; 2 bad input, nothing written;
// 130 interrupted, the outputs holding the examinees analysed so far.
#include "batch/BatchJob.h"
#include "jobs/SheetFileJob.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace veltrano::batch {

using ResponsesOptions = jobs::SheetRequest;

/// Adds the options of the answer sheets to `analyse` (whose own options give the
/// analysis settings and --json); the others need --responses. Returns --responses.
CLI::Option* AddResponsesOptions(CLI::App& analyse, ResponsesOptions& o);

/// Analyses the sheet; returns the exit status.
int AnalyseResponses(const ResponsesOptions& options, Console& console);

}  // namespace veltrano::batch
