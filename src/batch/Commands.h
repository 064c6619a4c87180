#pragma once
// The commands of veltrano-batch, callable in-process.
//
//   veltrano-batch simulate [options]   the window's run, written to files
//   veltrano-batch analyse [FILE|-]      the delta model fitted to observed tables
//   veltrano-batch study [options]       a simulation study over a grid of conditions
//   veltrano-batch study merge FILE...   the outputs of a study's shards joined
//
// Each command has a file of its own (Simulate, Analyse, AnalyseResponses, StudyCommand)
// that reads its options and runs its job (src/jobs); this one reads the command line and
// hands it to the command it names.
//
// Exit status: BatchJob.h.
#include <string>
#include <vector>

#include "batch/BatchJob.h"
#include "batch/Console.h"

namespace veltrano::batch {

/// Parses the arguments (without the program name) and runs the command they name.
int RunBatch(const std::vector<std::string>& args, Console& console, const BatchServices& services = {});

}  // namespace veltrano::batch
