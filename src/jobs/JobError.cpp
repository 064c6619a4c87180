#include "jobs/JobError.h"

#include <utility>

#include "jobs/TableReader.h"
#include "sheets/ResponseSheet.h"
#include "study/StudyConditions.h"

namespace veltrano::jobs {

JobError::JobError(ErrorKind kind, const std::string& message, std::string file, std::string reason)
    : std::runtime_error(message), kind_(kind), file_(std::move(file)), reason_(std::move(reason)) {}

InputError::InputError(const std::string& message, std::string file, std::string reason, std::int64_t line,
                       int column, InputRole role)
    : JobError(ErrorKind::Input, message, std::move(file), std::move(reason)),
      line_(line),
      column_(column),
      role_(role) {}

ReadError::ReadError(const std::string& file, const std::string& reason)
    : JobError(ErrorKind::Unreadable, "cannot read " + file + (reason.empty() ? "" : ": " + reason), file,
               reason) {}

OutputError::OutputError(const std::string& action, const std::string& file, const std::string& reason)
    : OutputError(ErrorKind::Output, action + " " + file + (reason.empty() ? "" : ": " + reason), file, reason) {}

OutputError OutputError::Described(const std::string& message, std::string file, std::string reason) {
  return OutputError(ErrorKind::Output, message, std::move(file), std::move(reason));
}

OutputError::OutputError(ErrorKind kind, const std::string& message, std::string file, std::string reason)
    : JobError(kind, message, std::move(file), std::move(reason)) {}

BrokenPipe::BrokenPipe(const std::string& action, const std::string& file, const std::string& reason)
    : OutputError(ErrorKind::BrokenPipe, action + " " + file + (reason.empty() ? "" : ": " + reason), file,
                  reason) {}

JobProblem ProblemOf(const std::exception_ptr& error) {
  JobProblem p;
  try {
    std::rethrow_exception(error);
  } catch (const InputError& e) {
    p = {ErrorKind::Input, e.what(), e.File(), e.Reason(), e.Line(), e.Column(), e.Role()};
  } catch (const JobError& e) {
    p = {e.Kind(), e.what(), e.File(), e.Reason()};
  } catch (const StudyInputError& e) {
    // The core's errors of input, where a job passes them on as they are: their messages
    // name the option, or the file and line, already.
    p = {ErrorKind::Input, e.what(), {}, {}};
  } catch (const SheetFormatError& e) {
    p = {ErrorKind::Input, e.what(), {}, {}, e.line(), e.column()};
  } catch (const TableFormatError& e) {
    p = {ErrorKind::Input, e.what(), {}, {}, e.line()};
  } catch (const SheetReadError& e) {
    p = {ErrorKind::Unreadable, e.what(), {}, {}};
  } catch (const std::exception& e) {
    p.message = e.what();
  } catch (...) {
    p.message = "the work ended with an error of unknown kind";
  }
  return p;
}

JobProblem StoppedProblem(int signal, const std::string& kept) {
  JobProblem p;
  p.kind = ErrorKind::Stopped;
  p.message = kept;
  p.signal = signal;
  return p;
}

}  // namespace veltrano::jobs
