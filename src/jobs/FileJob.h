#pragma once
// What a job of the file level works with besides its request: the console's streams (an
// input or output named "-"), its stop token and progress sink, the drawing its front end
// provides, and a report to which it tells, in order and as they come, its notes (the seed
// it drew, a warning) and the problems it met while it went on (a file that could not be
// closed, a stop). A job raises a JobError instead when it cannot start, before any output
// is touched.
#include <iosfwd>
#include <optional>
#include <string>

#include "jobs/Drawing.h"
#include "jobs/JobControl.h"
#include "jobs/JobError.h"
#include "jobs/Platform.h"

namespace veltrano::jobs {

class JobReport {
public:
  virtual ~JobReport() = default;
  /// A line for the user: the seed a run drew, a warning (its settings marked: a front end
  /// words them its own way, numeric/SettingText.h).
  virtual void Note(const std::string& line) = 0;
  /// An error met on the way; the job goes on where it can (its other outputs are closed).
  /// A problem of kind Failed with an empty message says only that some of the work failed
  /// (its error is in the output, a table's "error:" line say).
  virtual void Problem(const JobProblem& problem) = 0;
};

struct FileJob {
  std::istream& in;    // an input named "-"
  std::ostream& out;   // an output named "-"
  JobReport& report;
  JobContext context;
  Drawing drawing;
  /// The file `out` goes to, when it is the process's standard output: an output named as a
  /// file must not be that file while another is written to "-".
  std::optional<platform::FileId> console = std::nullopt;
};

/// Runs one step of a job's ending (a last write, closing a file, drawing a graph): an
/// error it raises is reported as a problem and the job goes on. Returns the kind of that
/// error, or nothing when the step went through.
template <class Step>
std::optional<ErrorKind> ReportedStep(JobReport& report, Step&& step) {
  try {
    step();
    return std::nullopt;
  } catch (...) {
    const JobProblem p = ProblemOf(std::current_exception());
    report.Problem(p);
    return p.kind;
  }
}

}  // namespace veltrano::jobs
