#pragma once
// The commands of veltrano-batch, callable in-process.
//
//   veltrano-batch simulate [options]   the window's run, written to files
//   veltrano-batch analyse [FILE|-]      the delta model fitted to observed tables
//
// Each command has a file of its own (Simulate, Analyse); this one reads the command
// line and hands it to the command it names.
//
// Exit status: 0 done; 1 an error ended the work (its message on standard error;
// whatever was produced before it is kept) or a file could not be read or written;
// 2 bad input (an option, a value out of range, a malformed table), in which case
// nothing is written; 130 a simulation interrupted (SIGINT), its outputs kept.
#include <string>
#include <vector>

#include "batch/Console.h"
#include "batch/GraphOutput.h"

namespace veltrano::batch {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

/// Parses the arguments (without the program name) and runs the command they name.
int RunBatch(const std::vector<std::string>& args, Console& console, const BatchServices& services = {});

}  // namespace veltrano::batch
