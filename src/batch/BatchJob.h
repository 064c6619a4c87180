#pragma once
// How veltrano-batch runs a job and ends: the job's stop token within reach of the
// program's signal handler, its progress line on a terminal, its notes and problems on
// standard error, and the exit status they call for.
//
// Exit status: 0 done; 1 an error ended the work (its message on standard error; whatever
// was produced before it is kept) or a file could not be read or written; 2 bad input (an
// option, a value out of range, a malformed table), in which case nothing is written;
// 128 + the signal when SIGINT (130), SIGTERM (143) or SIGHUP (129) ended a simulation, a
// study or an analysis, its outputs kept complete up to the last finished test (a study:
// its last complete condition); 141 when the reader of an output went away (a pipe into
// `head`), quietly. When a job meets several problems (a stop, then a file that cannot be
// closed), each is reported and the last decides the status, except that a reader gone
// away always gives 141.
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "batch/Console.h"
#include "jobs/FileJob.h"

namespace veltrano::batch {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;
inline constexpr int kExitBrokenPipe = 141;

inline constexpr const char* kProgram = "veltrano-batch";

/// What the program around the commands provides them: the drawing of graphs and plots.
using BatchServices = jobs::Drawing;

/// Writes "veltrano-batch: message" as one line on standard error.
void Report(Console& c, const std::string& message);

/// The exit status a problem calls for (above).
int ExitStatus(const jobs::JobProblem& problem);

/// How a command says it was stopped by signal: "interrupted" (SIGINT), "terminated"
/// (SIGTERM) or "hung up" (SIGHUP).
const char* StoppedBy(int signal) noexcept;

/// Whether a command shows its progress line: on a terminal, unless quiet, and not when its
/// rows go to standard output on the same terminal (outputs named "-" among `outputs`).
bool ShowProgress(const Console& console, bool quiet, std::initializer_list<std::string_view> outputs);

/// Runs a job with the console's streams and the services, a stop token that the program's
/// signal handler reaches while the job runs (RequestStop), and, when progress is on (and
/// standard error is a terminal), a progress line. Reports every note and problem on
/// standard error and returns the exit status.
int RunJob(Console& console, bool progress, const BatchServices& services,
           const std::function<void(jobs::FileJob&)>& work);

/// Asks the job under way to stop after its current test, condition or table, for the given
/// signal; safe to call from a signal handler. Returns false, asking nothing, when no job
/// runs or the job is in work that does not stop cleanly (reading its input, merging
/// files): the signal is then to end the program at once, as it ends any program.
bool RequestStopFromSignal(int signal) noexcept;

/// Asks the job under way to stop after its current test, as a signal would (for tests).
void RequestStop(int signal) noexcept;

}  // namespace veltrano::batch
