#pragma once
// How the window words a job's error for its message box: the one place that turns the
// jobs' errors (jobs/JobError.h) into the window's sentences, with the file's name quoted
// in the system's own form:
//   Cannot read "C:\exams\day1.csv": No such file or directory
//   Cannot write "/home/ana/run.txt": No space left on device
//   /home/ana/exam.csv: line 3, column 7: "K" is not an alternative ...
//   The key file "/home/ana/key.txt": the key file holds 2 lines; the key is one line
// An error of the work itself (an analysis that failed) keeps its own message.
#include <QString>

#include <exception>

#include "jobs/JobError.h"

namespace veltrano {

/// The message box's text for a problem.
QString DialogText(const jobs::JobProblem& problem);

/// The message box's text for the error being handled (call inside a catch block).
QString DialogTextOfCurrentError();

}  // namespace veltrano
