// The R package's compiled part: the jobs' data level (jobs/DataJobs.h) for R. The functions
// here take and give plain vectors and lists of columns; the R functions (R/*.R) turn the
// user's matrices and data frames into them and back.
//
// Threads. Every job runs on a thread of its own while R's thread waits for it, looking every
// 100 ms for an interrupt (Esc, Ctrl-C) and for progress to show. R's API is called on R's
// thread only: every value is taken out of R before the job starts and made into R values
// after its thread has ended. R's interrupt check runs inside R_ToplevelExec, so the jump R
// makes on an interrupt ends there and never crosses these C++ frames. On an interrupt the
// job's stop token is set, the job ends after its current test, condition or table, its
// thread is joined, and only then is the interrupt raised again (Rcpp turns its
// InterruptedException into R's interrupt once the C++ frames are gone): no thread is left
// running.
//
// Errors. The family's errors (jobs/JobError.h) come back as R condition objects carrying
// the command line's message, which the R functions raise with stop(); bad arguments are
// usage errors with the messages of the command line's option checks.
#include <Rcpp.h>
#include <R_ext/Utils.h>  // R_CheckUserInterrupt, R_ToplevelExec

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "jobs/DataJobs.h"
#include "jobs/InputFile.h"
#include "jobs/JobError.h"
#include "jobs/PolledJob.h"
#include "jobs/StudyJob.h"
#include "numeric/UniformGenerator.h"
#include "parallel/Jobs.h"

namespace {

using namespace veltrano;
using jobs::JobContext;

// ---- Running a job -------------------------------------------------------------------

void CheckInterrupt(void*) { R_CheckUserInterrupt(); }

// Whether the user asked for an interrupt. R's jump on an interrupt ends in R_ToplevelExec.
bool InterruptPending() { return R_ToplevelExec(CheckInterrupt, nullptr) == FALSE; }

void Report(const Rcpp::Function& progress, const StudyProgress& p) {
  progress(static_cast<double>(p.conditionsDone), static_cast<double>(p.conditionsTotal),
           static_cast<double>(p.testsDone), static_cast<double>(p.testsTotal));
}

// Runs work(context) on a thread of its own as described above (jobs::RunPolled);
// progress, when not NULL, is an R function called with (conditions done, conditions,
// tests done, tests) whenever the study has moved on, and once more at the end. An
// interrupt, or an error of progress, stops the job and is raised once it has ended.
template <class Work>
auto Run(Work&& work, SEXP progress = R_NilValue) {
  std::optional<Rcpp::Function> report;
  if (!Rf_isNull(progress)) report.emplace(progress);
  bool interrupted = false;
  std::exception_ptr reported;  // the progress function's
  auto result = jobs::RunPolled(work, [&](const std::optional<StudyProgress>& p, bool ended) {
    if (!ended && InterruptPending()) {
      interrupted = true;
      return false;
    }
    if (!p || !report) return true;
    try {
      Report(*report, *p);
    } catch (...) {
      reported = std::current_exception();
      return false;
    }
    return true;
  });
  if (interrupted) throw Rcpp::internal::InterruptedException();
  if (reported) std::rethrow_exception(reported);
  return std::move(*result);
}

// ---- Errors --------------------------------------------------------------------------

// An R condition for the problem: classes veltrano_input_error (bad input or arguments),
// veltrano_file_error (a file that cannot be read or written) or neither (an analysis that
// failed), then veltrano_error, error, condition. Its fields: message, call (set by the R
// function that raises it), kind, file, line and column (NA where not known).
SEXP ConditionOf(const jobs::JobProblem& p) {
  const char* kind = "failed";
  const char* type = nullptr;
  switch (p.kind) {
    case jobs::ErrorKind::Usage: kind = "usage"; type = "veltrano_input_error"; break;
    case jobs::ErrorKind::Input: kind = "input"; type = "veltrano_input_error"; break;
    case jobs::ErrorKind::Unreadable: kind = "unreadable"; type = "veltrano_file_error"; break;
    case jobs::ErrorKind::Output: kind = "output"; type = "veltrano_file_error"; break;
    case jobs::ErrorKind::BrokenPipe: kind = "broken pipe"; type = "veltrano_file_error"; break;
    case jobs::ErrorKind::Stopped: kind = "stopped"; break;
    case jobs::ErrorKind::Failed: break;
  }
  Rcpp::List condition = Rcpp::List::create(
      Rcpp::Named("message") = Rcpp::String(p.message, CE_UTF8), Rcpp::Named("call") = R_NilValue,
      Rcpp::Named("kind") = kind,
      Rcpp::Named("file") = p.file.empty() ? Rcpp::String(NA_STRING) : Rcpp::String(p.file, CE_UTF8),
      Rcpp::Named("line") = p.line > 0 ? static_cast<double>(p.line) : NA_REAL,
      Rcpp::Named("column") = p.column > 0 ? p.column : NA_INTEGER);
  condition.attr("class") = type != nullptr
                                ? Rcpp::CharacterVector::create(type, "veltrano_error", "error", "condition")
                                : Rcpp::CharacterVector::create("veltrano_error", "error", "condition");
  return condition;
}

// Runs f, giving back its value, or the condition of the job's error it raised. R's own
// jumps and interrupts go on through Rcpp.
template <class F>
SEXP Guard(F&& f) {
  try {
    return f();
  } catch (const Rcpp::internal::InterruptedException&) {
    throw;
  } catch (const Rcpp::LongjumpException&) {
    throw;
  } catch (...) {
    return ConditionOf(jobs::ProblemOf(std::current_exception()));
  }
}

// ---- Arguments -----------------------------------------------------------------------
// The R functions have checked that each is one whole number (or NA for "not given").

std::string Whole(double x) {
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", x);
  return text;
}

// A setting's value within its range, as the command line's option checks it.
int Setting(const SettingEntry& entry, const char* name, double value) {
  if (!(value >= entry.min && value <= entry.max))
    throw jobs::UsageError(std::string(name) + " must be between " + std::to_string(entry.min) + " and " +
                           std::to_string(entry.max) + " (got " + Whole(value) + ")");
  return static_cast<int>(value);
}

int Jobs(double count) {
  if (ISNAN(count)) return 0;
  if (!(count >= 1 && count <= kMaxJobs))
    throw jobs::UsageError("jobs must be between 1 and " + std::to_string(kMaxJobs) + " (got " + Whole(count) + ")");
  return static_cast<int>(count);
}

std::uint32_t Seed(double seed) {
  if (!(seed >= 0 && seed <= 4294967295.0))
    throw jobs::UsageError("seed must be between 0 and 4294967295 (got " + Whole(seed) + ")");
  return static_cast<std::uint32_t>(seed);
}

// A study's seed from its decimal digits, the R code's text of the user's number or string
// (R's doubles hold whole numbers exactly only up to 2^53); NA takes one from the clock as
// the command line does. An lcg seed beyond 2^32 - 1 is left to CheckStudy.
std::uint64_t StudySeed(SEXP seed, StudyGenerator generator) {
  const bool philox = generator == StudyGenerator::Philox;
  if (STRING_ELT(seed, 0) == NA_STRING) return philox ? ClockSeed64() : ClockSeed();
  const std::string text = Rcpp::as<std::string>(seed);
  std::uint64_t value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc{} || r.ptr != text.data() + text.size())
    throw jobs::UsageError("seed must be between 0 and " + std::to_string(philox ? ~std::uint64_t{0} : kMaxLcgSeed) +
                           " (got " + text + ")");
  return value;
}

// The largest whole number R's doubles hold exactly, and every one below it: 2^53.
constexpr std::uint64_t kLargestExactDouble = std::uint64_t{1} << 53;

// A seed as R holds it: a double up to 2^53, beyond that its decimal digits.
SEXP SeedValue(std::uint64_t seed) {
  if (seed <= kLargestExactDouble) return Rcpp::wrap(static_cast<double>(seed));
  return Rcpp::CharacterVector::create(std::to_string(seed));
}

AnalysisSettings Analysis(bool ci, double tolerance, double maxIterations) {
  AnalysisSettings s;
  s.tolerance = Setting(setting::Tol, "tolerance", tolerance);
  s.maxIterations = Setting(setting::MaxIts, "max_iterations", maxIterations);
  s.ci = ci;
  s.alternative = true;
  return s;
}

std::optional<std::string> Text(SEXP x) {
  if (Rf_isNull(x)) return std::nullopt;
  return Rcpp::as<std::string>(x);
}

// ---- Results -------------------------------------------------------------------------

// Values, NA where undefined (NaN).
Rcpp::NumericVector Reals(const std::vector<double>& v) {
  Rcpp::NumericVector out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = std::isnan(v[i]) ? NA_REAL : v[i];
  return out;
}

// A problem code, NA where the analysis failed (0).
Rcpp::IntegerVector Codes(const std::vector<std::int32_t>& v) {
  Rcpp::IntegerVector out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = v[i] != 0 ? v[i] : NA_INTEGER;
  return out;
}

// The estimates as columns; pi holds every table's k values in turn, error NA or the
// message of an analysis that failed.
Rcpp::List EstimatesList(const jobs::EstimateColumns& e) {
  Rcpp::CharacterVector errors(e.Size(), NA_STRING);
  for (const auto& [at, message] : e.errors) errors[at] = Rcpp::String(message, CE_UTF8);
  return Rcpp::List::create(
      Rcpp::Named("du") = Reals(e.du), Rcpp::Named("se_du") = Reals(e.seDu), Rcpp::Named("ci_lower") = Reals(e.ciLower),
      Rcpp::Named("ci_upper") = Reals(e.ciUpper), Rcpp::Named("dc") = Reals(e.dc), Rcpp::Named("se_dc") = Reals(e.seDc),
      Rcpp::Named("dln") = Reals(e.dln), Rcpp::Named("code") = Codes(e.code), Rcpp::Named("code2") = Codes(e.code2),
      Rcpp::Named("k") = Rcpp::IntegerVector(e.k.begin(), e.k.end()), Rcpp::Named("pi") = Reals(e.pi),
      Rcpp::Named("error") = errors);
}

// A frame as a named list of columns: reals double, counts integer (double where they pass
// R's integers), texts character; NA where a cell is empty. The seeds are double, which an
// lcg seed (up to 2^32 − 1) always fits and a philox seed up to 2^53; a column holding a
// seed beyond 2^53 is character, its decimal digits, as no double holds it exactly.
Rcpp::List ColumnsOf(const jobs::Frame& frame) {
  Rcpp::List out(frame.columns.size());
  Rcpp::CharacterVector names(frame.columns.size());
  for (std::size_t c = 0; c < frame.columns.size(); ++c) {
    const jobs::Column& column = frame.columns[c];
    names[c] = column.name;
    const std::size_t rows = frame.rows;
    switch (column.type) {
      case jobs::Column::Type::Real: {
        Rcpp::NumericVector v(rows);
        for (std::size_t i = 0; i < rows; ++i) v[i] = column.present[i] ? column.reals[i] : NA_REAL;
        out[c] = v;
        break;
      }
      case jobs::Column::Type::Count: {
        bool fits = true;
        for (std::size_t i = 0; fits && i < rows; ++i)
          fits = !column.present[i] || (column.counts[i] > std::numeric_limits<int>::min() &&
                                        column.counts[i] <= std::numeric_limits<int>::max());
        if (fits) {
          Rcpp::IntegerVector v(rows);
          for (std::size_t i = 0; i < rows; ++i)
            v[i] = column.present[i] ? static_cast<int>(column.counts[i]) : NA_INTEGER;
          out[c] = v;
        } else {
          Rcpp::NumericVector v(rows);
          for (std::size_t i = 0; i < rows; ++i)
            v[i] = column.present[i] ? static_cast<double>(column.counts[i]) : NA_REAL;
          out[c] = v;
        }
        break;
      }
      case jobs::Column::Type::Seed: {
        bool exact = true;
        for (std::size_t i = 0; exact && i < rows; ++i)
          exact = !column.present[i] || column.seeds[i] <= kLargestExactDouble;
        if (exact) {
          Rcpp::NumericVector v(rows);
          for (std::size_t i = 0; i < rows; ++i)
            v[i] = column.present[i] ? static_cast<double>(column.seeds[i]) : NA_REAL;
          out[c] = v;
        } else {
          Rcpp::CharacterVector v(rows);
          for (std::size_t i = 0; i < rows; ++i)
            v[i] = column.present[i] ? Rcpp::String(std::to_string(column.seeds[i])) : Rcpp::String(NA_STRING);
          out[c] = v;
        }
        break;
      }
      case jobs::Column::Type::Text: {
        Rcpp::CharacterVector v(rows);
        for (std::size_t i = 0; i < rows; ++i)
          v[i] = column.present[i] ? Rcpp::String(column.texts[i], CE_UTF8) : Rcpp::String(NA_STRING);
        out[c] = v;
        break;
      }
    }
  }
  out.attr("names") = names;
  return out;
}

// The key given apart: the name of a key file (one that is there, or a text holding '/' or
// '.', which no key holds, so that a missing file is said to be missing), otherwise the key
// itself ("ABDCA", "A,B,D").
AnswerKey GivenKey(const std::string& key) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(key, ec) || key.find_first_of("/.") != std::string::npos)
    return jobs::ReadAnswerKeyFile(key, "key");
  return jobs::ParseAnswerKey(key, "key", "key = <the file's name>");
}

// The text of a whole file, read as the command line reads its inputs.
std::string FileText(const std::string& path) {
  std::ifstream in = jobs::OpenInput(path);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw jobs::ReadError(path, "read error");
  return text.str();
}

}  // namespace

// ---- The functions the R code calls ---------------------------------------------------

// Tables of counts, one after the other, each k × k column by column as R holds a matrix:
// the analysis of each, as a list of columns.
// [[Rcpp::export(.analyse_tables)]]
SEXP AnalyseTables(Rcpp::NumericVector cells, Rcpp::IntegerVector ks, bool ci, double tolerance,
                   double maxIterations, double jobCount) {
  return Guard([&]() -> SEXP {
    const AnalysisSettings settings = Analysis(ci, tolerance, maxIterations);
    const int threads = Jobs(jobCount);
    const std::vector<double> data(cells.begin(), cells.end());
    const std::vector<int> k(ks.begin(), ks.end());
    bool oneK = true;
    for (int each : k) oneK = oneK && each == k.front();
    const jobs::EstimateColumns e = Run([&](const JobContext& context) {
      std::size_t next = 0;
      std::size_t at = 0;
      return jobs::AnalyseTableData(
          [&](jobs::ObservedTable& t) {
            if (next == k.size()) return false;
            const int size = k[next];
            t.number = static_cast<std::int64_t>(next) + 1;
            t.k = size;
            t.cells.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
            for (int i = 0; i < size; ++i)  // row i, column j: R's [i + size * j]
              for (int j = 0; j < size; ++j)
                t.cells[static_cast<std::size_t>(i * size + j)] = data[at + static_cast<std::size_t>(i + size * j)];
            at += t.cells.size();
            ++next;
            return true;
          },
          settings, threads, context, k.size(), oneK && !k.empty() ? k.front() : 0);
    });
    return EstimatesList(e);
  });
}

// Every test of a run, as `veltrano-batch simulate --seed` makes it. dmax and step are NA
// when not given; either given walks the degrees.
// [[Rcpp::export(.simulate)]]
SEXP Simulate(double n, double k, double degree, double tests, double seed, bool ci, double dmax, double step,
              double tolerance, double maxIterations, double jobCount) {
  return Guard([&]() -> SEXP {
    RunSettings s;
    s.SpinEdit_n = Setting(setting::n, "n", n);
    s.SpinEdit_k = Setting(setting::k, "k", k);
    s.SpinEdit_D0 = Setting(setting::D0, "do", degree);
    s.SpinEdit_Test = Setting(setting::Test, "tests", tests);
    s.CheckBox_Iterate = !ISNAN(dmax) || !ISNAN(step);
    if (!ISNAN(dmax)) s.SpinEdit_Dmax = Setting(setting::Dmax, "dmax", dmax);
    if (!ISNAN(step)) s.SpinEdit_Step = Setting(setting::Step, "step", step);
    s.CheckBox_CI = ci;
    s.SpinEdit_Tol = Setting(setting::Tol, "tolerance", tolerance);
    s.SpinEdit_MaxIts = Setting(setting::MaxIts, "max_iterations", maxIterations);
    const std::uint32_t start = Seed(seed);
    const int threads = Jobs(jobCount);
    const jobs::SimulatedTests t = Run(
        [&](const JobContext& context) { return jobs::SimulateTestData(s, start, threads, context); });
    // Each test's table as an R matrix (column by column), the tests along the third axis.
    const std::size_t size = static_cast<std::size_t>(t.k);
    const std::size_t count = t.degree.size();
    Rcpp::IntegerVector tables(size * size * count);
    for (std::size_t test = 0; test < count; ++test)
      for (std::size_t i = 0; i < size; ++i)
        for (std::size_t j = 0; j < size; ++j)
          tables[test * size * size + i + size * j] = static_cast<int>(t.cells[test * size * size + i * size + j]);
    tables.attr("dim") = Rcpp::IntegerVector::create(t.k, t.k, static_cast<int>(count));
    Rcpp::List out = EstimatesList(t.estimates);
    out["tables"] = tables;
    out["do"] = Rcpp::IntegerVector(t.degree.begin(), t.degree.end());
    out["do_star"] = Reals(t.doStar);
    return out;
  });
}

// A study of the design given as a file (designPath) or as the text of one (designText).
// seed: its decimal digits, NA for one from the clock; generator "philox" or "lcg"; shard
// NULL or "I/N"; progress NULL or an R function.
// [[Rcpp::export(.study)]]
SEXP Study(SEXP designPath, SEXP designText, double replications, SEXP seed, std::string generator, bool ci,
           double tolerance, double maxIterations, double jobCount, SEXP shard, bool tests, SEXP progress) {
  return Guard([&]() -> SEXP {
    StudyDefinition study;
    study.generator = ParseGenerator(generator);
    const std::optional<std::string> path = Text(designPath);
    const std::optional<std::string> text = Text(designText);
    const std::optional<std::string> none;
    if (path) {
      std::ifstream file = jobs::OpenInput(*path);
      study.conditions = jobs::StudyConditionsOf(none, none, none, &file, *path);
    } else {
      std::istringstream design(text.value_or(""));
      study.conditions = jobs::StudyConditionsOf(none, none, none, &design, "the design");
    }
    if (!(replications >= 1 && replications <= static_cast<double>(kMaxReplications)))
      throw jobs::UsageError("replications must be between 1 and " + std::to_string(kMaxReplications) + " (got " +
                             Whole(replications) + ")");
    study.replications = static_cast<std::int64_t>(replications);
    study.seed = StudySeed(seed, study.generator);
    study.tolerance = Setting(setting::Tol, "tolerance", tolerance);
    study.maxIterations = Setting(setting::MaxIts, "max_iterations", maxIterations);
    study.ci = ci;
    CheckStudy(study);
    const Shard part = Rf_isNull(shard) ? Shard{} : ParseShard(Rcpp::as<std::string>(shard));
    const int threads = Jobs(jobCount);
    const jobs::StudyFrames frames = Run(
        [&](const JobContext& context) { return jobs::RunStudyData(study, part, tests, threads, context); },
        progress);
    return Rcpp::List::create(Rcpp::Named("summary") = ColumnsOf(frames.summary),
                              Rcpp::Named("tests") = tests ? SEXP(ColumnsOf(frames.tests)) : R_NilValue,
                              Rcpp::Named("seed") = SeedValue(study.seed));
  });
}

// The text of a file (a shard's rows), or the condition of the error reading it.
// [[Rcpp::export(.read_text)]]
SEXP ReadText(std::string path) {
  return Guard([&]() -> SEXP { return Rcpp::CharacterVector::create(Rcpp::String(FileText(path), CE_UTF8)); });
}

// Columns back into the CSV text they were read from (a shard's data frame). Each column
// is given as R holds it; its type follows its name, as in the rows the jobs write (a seed
// as a number or as its decimal digits).
// [[Rcpp::export(.frame_csv)]]
SEXP FrameCsv(Rcpp::List columns, std::string what) {
  return Guard([&]() -> SEXP {
    const Rcpp::CharacterVector names = columns.names();
    jobs::Frame frame;
    frame.rows = columns.size() == 0 ? 0 : static_cast<std::size_t>(Rf_xlength(columns[0]));
    for (R_xlen_t c = 0; c < columns.size(); ++c) {
      jobs::Column column;
      column.name = Rcpp::as<std::string>(names[c]);
      column.type = jobs::ColumnType(column.name);
      SEXP x = columns[c];
      if (static_cast<std::size_t>(Rf_xlength(x)) != frame.rows)
        throw jobs::UsageError(what + ": the columns differ in length");
      const bool text = TYPEOF(x) == STRSXP;
      const bool textAllowed = column.type == jobs::Column::Type::Text || column.type == jobs::Column::Type::Seed;
      const bool numbersAllowed = column.type != jobs::Column::Type::Text;
      if ((text ? !textAllowed : !numbersAllowed) && TYPEOF(x) != LGLSXP)
        throw jobs::UsageError(what + ": column " + column.name + " holds " + (text ? "text" : "numbers") +
                               " where a study's rows hold " + (text ? "numbers" : "text"));
      column.present.resize(frame.rows);
      for (std::size_t i = 0; i < frame.rows; ++i) {
        double number = 0;
        bool present = false;
        switch (TYPEOF(x)) {
          case STRSXP: present = STRING_ELT(x, i) != NA_STRING; break;
          case INTSXP: present = INTEGER(x)[i] != NA_INTEGER; number = INTEGER(x)[i]; break;
          case REALSXP: present = !ISNAN(REAL(x)[i]); number = REAL(x)[i]; break;
          case LGLSXP: present = LOGICAL(x)[i] != NA_LOGICAL; number = LOGICAL(x)[i]; break;
          default: throw jobs::UsageError(what + ": column " + column.name + " is neither numbers nor text");
        }
        column.present[i] = present;
        switch (column.type) {
          case jobs::Column::Type::Real: column.reals.push_back(present ? number : 0); break;
          case jobs::Column::Type::Count: column.counts.push_back(static_cast<std::int64_t>(number)); break;
          case jobs::Column::Type::Seed: {
            std::uint64_t seed = 0;
            bool read = !present;
            if (present && text) {
              const std::string digits = Rf_translateCharUTF8(STRING_ELT(x, i));
              const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), seed);
              read = r.ec == std::errc{} && r.ptr == digits.data() + digits.size();
            } else if (present) {
              read = number >= 0 && number < 18446744073709551616.0 && number == std::floor(number);
              if (read) seed = static_cast<std::uint64_t>(number);
            }
            if (!read)
              throw jobs::UsageError(what + ": row " + std::to_string(i + 1) + " of column " + column.name +
                                     " is not a seed (a whole number from 0 to 18446744073709551615)");
            column.seeds.push_back(seed);
            break;
          }
          case jobs::Column::Type::Text:
            column.texts.push_back(present ? std::string(Rf_translateCharUTF8(STRING_ELT(x, i))) : std::string());
            break;
        }
      }
      frame.columns.push_back(std::move(column));
    }
    return Rcpp::CharacterVector::create(Rcpp::String(jobs::CsvOfFrame(frame), CE_UTF8));
  });
}

// Merges the shards' rows (CSV texts, each named for messages) as `study merge` does.
// [[Rcpp::export(.merge)]]
SEXP Merge(std::vector<std::string> names, std::vector<std::string> texts) {
  return Guard([&]() -> SEXP {
    std::vector<std::pair<std::string, std::string>> shards;
    for (std::size_t i = 0; i < names.size(); ++i) shards.emplace_back(names[i], texts[i]);
    const jobs::Frame merged = Run([&](const JobContext&) { return jobs::MergeStudyData(shards); });
    return ColumnsOf(merged);
  });
}

// An answer sheet from its file (path) or its text (named `name` in messages), with the key
// apart (NULL: the sheet's KEY row) and k (0: from the key and the marks).
// [[Rcpp::export(.responses)]]
SEXP Responses(SEXP path, SEXP text, std::string name, SEXP key, double k, bool ci, double jobCount) {
  return Guard([&]() -> SEXP {
    const AnalysisSettings settings = Analysis(ci, setting::Tol.byDefault, setting::MaxIts.byDefault);
    const int alternatives = ISNAN(k) ? 0 : Setting(setting::k, "k", k);
    const int threads = Jobs(jobCount);
    const std::optional<std::string> sheetPath = Text(path);
    const std::optional<std::string> sheetText = Text(text);
    const std::optional<std::string> keyText = Text(key);
    const jobs::SheetFrame sheet = Run([&](const JobContext& context) {
      std::optional<AnswerKey> given;
      if (keyText) given = GivenKey(*keyText);
      if (given) jobs::CheckKeyAlternatives(*given, alternatives, "key");
      std::istringstream none;
      std::unique_ptr<jobs::SheetSource> source = sheetPath
                                                      ? std::make_unique<jobs::SheetSource>(*sheetPath, none, "key = ...")
                                                      : jobs::SheetSource::OfText(sheetText.value_or(""), name);
      return jobs::AnalyseSheetData(*source, given ? &*given : nullptr, alternatives, settings, threads, context);
    });
    Rcpp::CharacterVector favoured(sheet.favoured.size());
    for (std::size_t i = 0; i < sheet.favoured.size(); ++i) favoured[i] = Rcpp::String(sheet.favoured[i], CE_UTF8);
    return Rcpp::List::create(Rcpp::Named("results") = ColumnsOf(sheet.results), Rcpp::Named("favoured") = favoured);
  });
}
