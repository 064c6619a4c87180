#include "jobs/JobError.h"

#include <utility>

#include "numeric/SettingText.h"

#include "jobs/TableReader.h"
#include "sheets/ResponseSheet.h"
#include "study/StudyConditions.h"

namespace veltrano::jobs {

JobError::JobError(ErrorKind kind, const std::string& message, std::string file, std::string reason,
                   std::string setting)
    : std::runtime_error(Worded(message, Spelling::CommandLine)),
      kind_(kind),
      marked_(message),
      file_(std::move(file)),
      reason_(std::move(reason)),
      setting_(std::move(setting)) {}

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

namespace {

// The setting a marked message begins with ("<setting>: ..."), and what follows it.
std::pair<std::string, std::string> LeadingSetting(const std::string& marked) {
  if (marked.empty() || marked.front() != kSettingOpen) return {};
  const std::size_t close = marked.find(kSettingClose);
  if (close == std::string::npos || marked.compare(close + 1, 2, ": ") != 0) return {};
  const std::string name = marked.substr(1, close - 1);
  if (name.find(kSettingValue) != std::string::npos) return {};
  return {name, marked.substr(close + 3)};
}

JobProblem Problem(ErrorKind kind, const std::string& marked, std::string file = {}, std::string reason = {}) {
  JobProblem p;
  p.kind = kind;
  p.message = Worded(marked, Spelling::CommandLine);
  if (p.message != marked) p.marked = marked;
  p.file = std::move(file);
  p.reason = std::move(reason);
  return p;
}

}  // namespace

JobProblem ProblemOf(const std::exception_ptr& error) {
  JobProblem p;
  try {
    std::rethrow_exception(error);
  } catch (const InputError& e) {
    p = Problem(ErrorKind::Input, e.Marked(), e.File(), e.Reason());
    p.line = e.Line();
    p.column = e.Column();
    p.role = e.Role();
  } catch (const JobError& e) {
    p = Problem(e.Kind(), e.Marked(), e.File(), e.Reason());
    p.setting = e.Setting();
  } catch (const StudyInputError& e) {
    // The core's errors of input, where a job passes them on as they are: their messages
    // name the setting, or the file and line, already. One that begins with a setting is
    // about its value: a usage error about that setting.
    auto [setting, problem] = LeadingSetting(e.Marked());
    p = Problem(setting.empty() ? ErrorKind::Input : ErrorKind::Usage, e.Marked(), {}, problem);
    p.setting = std::move(setting);
  } catch (const SheetFormatError& e) {
    p = Problem(ErrorKind::Input, e.what());
    p.line = e.line();
    p.column = e.column();
  } catch (const TableFormatError& e) {
    p = Problem(ErrorKind::Input, e.what());
    p.line = e.line();
  } catch (const SheetReadError& e) {
    p = Problem(ErrorKind::Unreadable, e.what());
  } catch (const std::exception& e) {
    p.message = e.what();
  } catch (...) {
    p.message = "the work ended with an error of unknown kind";
  }
  return p;
}

std::string Worded(const JobProblem& problem, Spelling spelling) {
  return problem.marked.empty() ? problem.message : veltrano::Worded(problem.marked, spelling);
}

JobProblem StoppedProblem(int signal, const std::string& kept) {
  JobProblem p;
  p.kind = ErrorKind::Stopped;
  p.message = kept;
  p.signal = signal;
  return p;
}

}  // namespace veltrano::jobs
