#pragma once
// The errors of a job: one family for every front end.
//
// A job (a user action: simulate, analyse tables or answer sheets, run or merge a study)
// ends with one of these when it cannot do what it was asked, and reports them (a job that
// goes on after an error, closing its other outputs, reports each). Each front end turns
// them into its own form in one place: veltrano-batch into a line on standard error and an
// exit status (batch/ExitStatus.h), the window into a dialog (ui/JobDialogs.h), the
// bindings into their exceptions. The kinds:
//   Usage       an option, or options that do not go together; nothing was done
//   Input       input that breaks its rules (a malformed table, a bad row of a sheet, a
//               design line); the file, line and column where known; nothing was written
//   Unreadable  an input that cannot be read (missing, a directory, a read error)
//   Output      an output that cannot be opened, written or closed
//   BrokenPipe  the reader of an output went away (`| head`): not a fault of the work
//   Stopped     a stop request (a signal, Cancel) ended the work; what was done is kept
//   Failed      the work itself failed (an analysis raised an error)
// The message of every error is the command line's sentence ("cannot read x.csv: No such
// file or directory"); file() and reason() give its parts for a front end that words it
// otherwise. A message that names settings keeps them marked (numeric/SettingText.h):
// Worded() gives it in each front end's spelling ("--seed" on the command line, "seed" in
// Python). An error about one setting names it in Setting().
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

#include "numeric/SettingText.h"

namespace veltrano::jobs {

enum class ErrorKind : std::uint8_t { Usage, Input, Unreadable, Output, BrokenPipe, Stopped, Failed };

class JobError : public std::runtime_error {
public:
  /// message: with its settings marked; what() words them as the command line does.
  JobError(ErrorKind kind, const std::string& message, std::string file = {}, std::string reason = {},
           std::string setting = {});
  ErrorKind Kind() const noexcept { return kind_; }
  /// The message with its settings marked.
  const std::string& Marked() const noexcept { return marked_; }
  /// The file the error is about; empty when it is about none.
  const std::string& File() const noexcept { return file_; }
  /// What is wrong with it, without the file's or the setting's name; empty when the
  /// message says all.
  const std::string& Reason() const noexcept { return reason_; }
  /// The one setting the error is about ("seed"); empty when it is about none or several.
  const std::string& Setting() const noexcept { return setting_; }

private:
  ErrorKind kind_;
  std::string marked_;
  std::string file_;
  std::string reason_;
  std::string setting_;
};

/// A setting, or a combination of settings, that cannot be run.
class UsageError : public JobError {
public:
  /// A rule of several settings, worded whole (settings marked).
  explicit UsageError(const std::string& message) : JobError(ErrorKind::Usage, message) {}
  /// A value of one setting: "<setting>: <problem>", the setting in each front end's spelling.
  UsageError(const std::string& setting, const std::string& problem)
      : JobError(ErrorKind::Usage, Named(setting) + ": " + problem, {}, problem, setting) {}
};

/// What input an InputError is about: the data itself, or the answer key given apart.
enum class InputRole : std::uint8_t { Data, Key };

/// Input that breaks its rules. The message is "<file>: <reason>" (the reason names the
/// line and column where it has them); line() and column() are 0 where not known.
class InputError : public JobError {
public:
  InputError(const std::string& message, std::string file, std::string reason, std::int64_t line = 0,
             int column = 0, InputRole role = InputRole::Data);
  std::int64_t Line() const noexcept { return line_; }
  int Column() const noexcept { return column_; }
  InputRole Role() const noexcept { return role_; }

private:
  std::int64_t line_;
  int column_;
  InputRole role_;
};

/// An answer sheet whose first examinee comes before any key: a window asks for a key file
/// and reads the sheet again.
class NoKeyError : public InputError {
public:
  using InputError::InputError;
};

/// An input that cannot be read: "cannot read <file>: <reason>".
class ReadError : public JobError {
public:
  ReadError(const std::string& file, const std::string& reason);
};

/// An output that cannot be opened, written or closed: "<action> <file>: <reason>", such
/// as "cannot open out.csv: Permission denied".
class OutputError : public JobError {
public:
  OutputError(const std::string& action, const std::string& file, const std::string& reason);
  /// An error whose message is not "<action> <file>: <reason>" ("--plot: cannot write
  /// plots into ...").
  static OutputError Described(const std::string& message, std::string file, std::string reason);

protected:
  OutputError(ErrorKind kind, const std::string& message, std::string file, std::string reason);
};

/// Writing failed because the reader at the other end of a pipe has gone.
class BrokenPipe : public OutputError {
public:
  BrokenPipe(const std::string& action, const std::string& file, const std::string& reason);
};

/// One error as a front end shows it.
struct JobProblem {
  ErrorKind kind = ErrorKind::Failed;
  std::string message;  // the command line's sentence; for Stopped, what the outputs hold
  std::string marked;   // the same with its settings marked; empty when it names none
  std::string setting;  // the one setting it is about, or empty
  std::string file;
  std::string reason;
  std::int64_t line = 0;
  int column = 0;
  InputRole role = InputRole::Data;
  int signal = 0;       // Stopped: the signal that asked for the stop, 0 for none (Cancel)
};

/// The problem an exception stands for: a JobError as it is, the core's errors of input as
/// Input (or Unreadable), any other exception as the work's own failure (its message), and
/// an exception of no known type as a failure that says so.
JobProblem ProblemOf(const std::exception_ptr& error);

/// The problem's message in a front end's spelling of the settings it names.
std::string Worded(const JobProblem& problem, Spelling spelling);

/// The problem of a job that a stop request ended; kept says what its outputs hold ("the
/// outputs hold the tests finished so far").
JobProblem StoppedProblem(int signal, const std::string& kept);

}  // namespace veltrano::jobs
