#include "batch/AnalyseResponses.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "batch/AnalysisJson.h"
#include "batch/Commands.h"
#include "batch/InputSpool.h"
#include "batch/Options.h"
#include "batch/OutputFile.h"
#include "batch/StreamHost.h"
#include "numeric/NumStr.h"
#include "parallel/OrderedPipeline.h"
#include "sheets/SheetAnalysis.h"

namespace veltrano::batch {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxJobs = 256;

std::string ErrnoText(int error) { return error != 0 ? std::string(": ") + std::strerror(error) : ""; }

/// Input that cannot be read; the message names the file and says why.
class InputError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// Bad input found before the sheet is read: an option's value, the key.
class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Gives the new file that is to replace `old` the old file's owner and group where this
// process may (only root gives a file another owner; others may give it a group they belong
// to), and returns the permissions it is to have once written: the old file's, so that
// results kept private stay private. The group's permissions come only with the group:
// given to another group they would open the file to people the old one was closed to.
// Set-id bits are not carried over.
mode_t TakeOwner(int fd, const struct stat& old) {
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
  mode_t mode = old.st_mode & 0777;
  struct stat now {};
  if (::fstat(fd, &now) != 0 || now.st_gid != old.st_gid) mode &= ~static_cast<mode_t>(S_IRWXG);
  return mode;
}

// An output that appears under its name only when it is complete: it is written to a new
// file beside it and renamed over it at the end, so a sheet refused half-way leaves the
// old file, or none, in place. A file that replaces another is written private (0600),
// under the old one's owner where possible, and given the old one's permissions just
// before it takes its name (so a read-only file is replaced as before, not refused).
// Through a symbolic link, the file linked to is the one replaced (the link stays). What is
// not a regular file (a device such as /dev/null, a pipe) cannot be replaced and is written
// at once, like "-", the console.
class StagedOutput {
public:
  StagedOutput(const std::string& path, std::ostream& console) : path_(path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (path == "-" || (fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status))) {
      file_ = std::make_unique<OutputFile>(path, console);
      return;
    }
    if (fs::is_directory(status)) throw OutputError("cannot open " + path + ": it is a directory");
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
      const fs::path target = fs::canonical(path, ec);
      if (!ec) path_ = target.string();
    }
    struct stat old {};
    const bool replacing = ::stat(path_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    for (int attempt = 0;; ++attempt) {
      staged_ = path_ + "." + std::to_string(::getpid());
      if (attempt > 0) staged_.append("-").append(std::to_string(attempt));
      staged_ += ".partial";
      errno = 0;
      const int fd = ::open(staged_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
      if (fd >= 0) {
        if (replacing) mode_ = TakeOwner(fd, old);
        ::close(fd);
        break;
      }
      if (errno != EEXIST || attempt > 100) throw OutputError("cannot open " + path + ErrnoText(errno));
    }
    try {
      file_ = std::make_unique<OutputFile>(staged_, console);
    } catch (...) {
      Discard();
      throw;
    }
  }
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  ~StagedOutput() { Discard(); }

  OutputFile& File() { return *file_; }

  /// Closes the file and gives it its name.
  void Commit() {
    file_->Close();
    if (staged_.empty()) return;
    // Left 0600 should this fail: private rather than open.
    if (mode_) (void)::chmod(staged_.c_str(), *mode_);
    errno = 0;
    if (std::rename(staged_.c_str(), path_.c_str()) != 0)
      throw OutputError("cannot write " + path_ + ErrnoText(errno));
    staged_.clear();
  }

  /// Drops what was written to a file; idempotent.
  void Discard() noexcept {
    if (staged_.empty()) return;
    file_.reset();  // closes it, swallowing errors
    std::remove(staged_.c_str());
    staged_.clear();
  }

private:
  std::string path_;
  std::string staged_;  // the file being written, until it is renamed
  std::optional<mode_t> mode_;  // its permissions once written, when it replaces a file
  std::unique_ptr<OutputFile> file_;
};

std::unique_ptr<std::ifstream> OpenInput(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw InputError("cannot read " + path + ": it is a directory");
  errno = 0;
  auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
  if (!*file) throw InputError("cannot read " + path + ErrnoText(errno));
  return file;
}

// --key names a key file when a file of that name exists, and is the key itself otherwise.
// A key never holds '/' or '.' (a key has no omissions), so such a text names a file that
// is not there.
AnswerKey ReadKey(const std::string& text) {
  std::error_code ec;
  const bool isFile = fs::exists(text, ec) && !fs::is_directory(text, ec);
  if (!isFile && text.find_first_of("/.") == std::string::npos) {
    try {
      return ParseKey(text);
    } catch (const SheetFormatError& e) {
      throw UsageError(std::string("--key: ") + e.what());
    }
  }
  const std::unique_ptr<std::ifstream> file = OpenInput(text);
  try {
    return ReadKeyFile(*file);
  } catch (const SheetReadError& e) {
    throw InputError("cannot read " + text + ": " + e.what());
  } catch (const SheetFormatError& e) {
    throw UsageError("--key " + text + ": " + e.what());
  }
}

// The outputs must not be the files read, nor each other.
void CheckOutputs(const ResponsesOptions& o) {
  const std::pair<const char*, const std::string*> outputs[] = {{"--out", &o.out}, {"--tables", &o.tables}};
  for (const auto& [name, path] : outputs) {
    if (path->empty() || *path == "-") continue;
    if (o.responses != "-" && SameFile(*path, o.responses))
      throw UsageError(std::string(name) + ": " + *path + " is the sheet being read");
    if (!o.key.empty() && SameFile(*path, o.key))
      throw UsageError(std::string(name) + ": " + *path + " is the key file");
  }
  if (!o.tables.empty() && SameFile(o.tables, o.out))
    throw UsageError("--tables: " + (o.out == "-" ? std::string("standard output") : o.out) +
                     " is already the output of --out");
}

nlohmann::ordered_json NumberOrNull(bool given, double x) { return given ? JsonNumber(x) : nullptr; }

// One result as a JSON object: the CSV's keys, null where the CSV cell is empty, then for an
// analysed table every field of `analyse --json`.
nlohmann::ordered_json ResultJson(const ExamineeResult& r, const AnalysisSettings& s) {
  const TestEstimates& e = r.estimates;
  const bool a = r.analysed;
  nlohmann::ordered_json o;
  o["id"] = r.id;
  o["items"] = r.counts.items;
  o["answered"] = r.counts.answered;
  o["omitted"] = r.counts.omitted;
  o["right"] = r.counts.right;
  o["dln"] = JsonNumber(e.dln);
  o["du"] = NumberOrNull(a, e.du);
  o["se_du"] = NumberOrNull(a && HasStandardError(e.seDu), e.seDu);
  o["ci_lower"] = NumberOrNull(a && s.ci, e.ciLower);
  o["ci_upper"] = NumberOrNull(a && s.ci, e.ciUpper);
  o["dc"] = NumberOrNull(a && s.alternative, e.dc);
  o["se_dc"] = NumberOrNull(a && s.alternative, e.seDc);
  o["code"] = a ? nlohmann::ordered_json(e.code) : nullptr;
  o["code2"] = a ? nlohmann::ordered_json(e.code2) : nullptr;
  o["error"] = r.error.empty() ? nullptr : nlohmann::ordered_json(r.error);
  if (a) o.update(AnalysisJson(*r.analysis, e.dln));
  return o;
}

std::string NoKeyMessage(const std::string& inputName, const MissingKeyError& e) {
  return inputName + ": line " + std::to_string(e.line()) +
         ": no key before the first examinee; put a KEY row before it or give --key" +
         (e.firstRow() ? std::string(kHeaderHint) : "");
}

std::string FavouredLine(const FavouredPosition& f, const ExamineeResult& pooled) {
  const int j = f.position;
  std::string line = "guessing favours position " + std::to_string(j) + " (" + PositionLetter(j) + ")";
  if (pooled.analysed && static_cast<std::size_t>(j) < pooled.analysis->Pi.size()) {
    const double pi = pooled.analysis->Pi[static_cast<std::size_t>(j)].Estimador;
    if (!IsNodefinido(pi))
      line += ": pi_" + std::to_string(j) + " = " + NumStr(pi, 0, 4) + " against 1/k = " +
              NumStr(1.0 / pooled.k, 0, 4) + " on the pooled table;";
  }
  return line + " " + std::to_string(static_cast<std::int64_t>(f.wrong)) +
         " wrong answers fell there where even guessing gives " + NumStr(f.expected, 0, 1) +
         " (z = " + NumStr(f.z, 0, 2) + ")";
}

}  // namespace

CLI::Option* AddResponsesOptions(CLI::App& app, ResponsesOptions& o) {
  const std::string group = "Answer sheets";
  CLI::Option* responses =
      FileOption(app, "--responses", o.responses,
                 "analyse every examinee of an answer sheet instead of tables (- for standard input): CSV or "
                 "tab-separated, the examinee's id then one cell per item, a letter A to J or a number 1 to 10; an "
                 "empty cell or *, - or . is an omission; a row whose id is KEY holds the key, a first row whose id "
                 "is id is a header. Writes the CSV header " +
                     std::string(kSheetCsvHeader) +
                     " and one row per examinee in input order, then ALL for the pooled table; numbers with 17 "
                     "significant digits, undefined values as empty cells (null with --json). A bad row ends the "
                     "work with status 2; files are written only when the whole sheet is good, standard output "
                     "may stop early when --k is given")
          ->group(group);
  FileOption(app, "--key", o.key,
             "the key, when the sheet has no KEY row: a file holding it, or the key itself (ABDCA, or "
             "A,B,D,C,A, or 1 2 10 3)")
      ->type_name("FILE|KEY")
      ->needs(responses)
      ->group(group);
  app.add_option("--k", o.k,
                 "alternatives per item, 2 to 10 (default: the largest alternative in the key and the marks, at "
                 "least 2, for which the sheet is read twice)")
      ->check(WholeNumberIn(kMinAlternatives, kMaxAlternatives))
      ->needs(responses)
      ->group(group);
  FileOption(app, "--out", o.out, "write the results to FILE (default -, standard output)")
      ->needs(responses)
      ->group(group);
  FileOption(app, "--tables", o.tables,
             "write each examinee's table to FILE in the table format analyse reads, after a comment line with the "
             "id, and the pooled table last (- for standard output)")
      ->needs(responses)
      ->group(group);
  app.add_option("--jobs", o.jobs,
                 "threads to analyse the tables or examinees on, 1 to " + std::to_string(kMaxJobs) +
                     " (default: every core, " + std::to_string(HardwareJobs()) + " here); the output is the same")
      ->check(WholeNumberIn(1, kMaxJobs));
  return responses;
}

namespace {

// Reports the error being handled and gives the exit status it calls for: bad input 2,
// a file that cannot be read or written 1, a reader that has gone 141 (quietly).
int ReportSheetError(Console& c, const std::string& inputName) {
  try {
    throw;
  } catch (const BrokenPipe&) {
    return kExitBrokenPipe;
  } catch (const UsageError& e) {
    Report(c, e.what());
    return kExitUsage;
  } catch (const MissingKeyError& e) {
    Report(c, NoKeyMessage(inputName, e));
    return kExitUsage;
  } catch (const SheetFormatError& e) {
    Report(c, inputName + ": " + e.what());
    return kExitUsage;
  } catch (const SheetReadError& e) {
    Report(c, "cannot read " + inputName + ": " + e.what());
    return kExitFailure;
  } catch (const std::exception& e) {
    Report(c, e.what());
    return kExitFailure;
  }
}

}  // namespace

int AnalyseResponses(const ResponsesOptions& o, Console& c) {
  ClearStopRequest();
  const bool fromConsole = o.responses == "-";
  const std::string inputName = fromConsole ? "standard input" : o.responses;
  const AnalysisSettings& settings = o.analysis;

  // The key, the outputs' names and the sheet are checked before anything is written.
  std::optional<AnswerKey> key;
  std::unique_ptr<std::ifstream> file;
  std::unique_ptr<InputSpool> spool;
  std::istream* in = nullptr;  // the sheet as the analysis reads it
  int k = o.k;
  try {
    CheckOutputs(o);
    if (!o.key.empty()) key = ReadKey(o.key);
    if (key && k > 0) {
      try {
        CheckKeyWithin(*key, k);
      } catch (const SheetFormatError& e) {
        throw UsageError(std::string("--key: ") + e.what());
      }
    }
    if (!fromConsole) file = OpenInput(o.responses);
    in = fromConsole ? &c.in : file.get();
    if (k == 0) {
      // A regular file is read again from its start; what gives its bytes only once
      // (standard input, a pipe named as a file) is copied while it is checked.
      if (fromConsole || !CanReadAgain(o.responses)) spool = std::make_unique<InputSpool>();
      SheetReader scan(*in, key ? &*key : nullptr, 0, spool ? &spool->Writer() : nullptr);
      k = *ScanSheet(scan);
      if (spool) in = &spool->Reader();
      Rewind(*in);
    }
  } catch (...) {
    return ReportSheetError(c, inputName);
  }

  int status = kExitOk;
  std::vector<std::string> notes;  // lines for standard error once the work is done
  try {
    SheetReader reader(*in, key ? &*key : nullptr, k);
    StagedOutput out(o.out, c.out);
    std::unique_ptr<StagedOutput> tables;
    if (!o.tables.empty()) tables = std::make_unique<StagedOutput>(o.tables, c.out);
    if (!o.json) out.File().WriteLine(kSheetCsvHeader);

    SheetRun run;
    run.analysis = settings;
    run.k = k;
    run.jobs = o.jobs > 0 ? o.jobs : HardwareJobs();
    const bool withTables = tables != nullptr;
    run.format = [&](ExamineeResult& r) {
      if (o.json)
        r.text = ResultJson(r, settings).dump();
      else
        AppendSheetCsvRow(r.text, r, settings);
      if (withTables) AppendSheetTable(r.tableText, r);
    };
    run.hand = [&](const ExamineeResult& r) {
      out.File().WriteLine(r.text);
      if (tables) tables->File().Write(r.tableText);
      if (r.failed) status = kExitFailure;
      if (r.line == 0)
        for (const FavouredPosition& f : FavouredPositions(r.cells, r.k)) notes.push_back(FavouredLine(f, r));
      return !StopRequested();
    };
    const StopRequestsHonoured honoured;
    const SheetEnd end = AnalyseSheet(reader, run);
    out.Commit();
    if (tables) tables->Commit();
    if (end == SheetEnd::Stopped) {
      const int signal = StopSignalOrInterrupt();
      Report(c, std::string(StoppedBy(signal)) + "; the outputs hold the examinees analysed so far");
      return 128 + signal;
    }
  } catch (...) {
    return ReportSheetError(c, inputName);
  }
  for (const std::string& line : notes) Report(c, line);
  return status;
}

}  // namespace veltrano::batch
