#pragma once
// The commands of veltrano-batch, callable in-process.
//
//   veltrano-batch simulate [options]   the window's run, written to files
//   veltrano-batch analyse [FILE|-]      the delta model fitted to observed tables
//   veltrano-batch study [options]       a simulation study over a grid of conditions
//   veltrano-batch study merge FILE...   the outputs of a study's shards joined
//
// Each command has a file of its own (Simulate, Analyse, StudyCommand); this one reads
// the command line and hands it to the command it names.
//
// Exit status: 0 done; 1 an error ended the work (its message on standard error;
// whatever was produced before it is kept) or a file could not be read or written;
// 2 bad input (an option, a value out of range, a malformed table), in which case
// nothing is written; 128 + the signal when SIGINT (130), SIGTERM (143) or SIGHUP (129)
// ended a simulation or a study, its outputs kept complete up to the last finished test
// (a study: its last complete condition); 141 when the reader of an output went away (a
// pipe into `head`), quietly.
#include <string>
#include <vector>

#include "batch/Console.h"
#include "batch/GraphOutput.h"

namespace veltrano::batch {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitBrokenPipe = 141;

/// Parses the arguments (without the program name) and runs the command they name.
int RunBatch(const std::vector<std::string>& args, Console& console, const BatchServices& services = {});

}  // namespace veltrano::batch
