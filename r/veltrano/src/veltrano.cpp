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
// the command line's message, the settings spelt as R's arguments, which the R functions
// raise with stop(). Settings come as the text of their values, by the settings' names
// (jobs/Settings.h), and the jobs check them: a value out of range is refused in the
// command line's words.
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

#include "jobs/AnalyseJob.h"
#include "jobs/DataJobs.h"
#include "jobs/InputFile.h"
#include "jobs/JobError.h"
#include "jobs/PolledJob.h"
#include "jobs/SheetJob.h"
#include "jobs/SimulateJob.h"
#include "jobs/StudyJob.h"

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
      Rcpp::Named("message") = Rcpp::String(jobs::Worded(p, Spelling::R), CE_UTF8), Rcpp::Named("call") = R_NilValue,
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

// The settings as the R code hands them over: a named character vector of the values' texts
// and, for each, whether it came as a number at or above 2^53 (whose digits need not be the
// ones typed).
jobs::GivenSettings Given(const Rcpp::CharacterVector& values, const Rcpp::LogicalVector& inexact) {
  jobs::GivenSettings given;
  if (values.size() == 0) return given;
  const Rcpp::CharacterVector names = values.names();
  for (R_xlen_t i = 0; i < values.size(); ++i)
    given[Rcpp::as<std::string>(names[i])] =
        jobs::Given{Rcpp::as<std::string>(values[i]), i < inexact.size() && inexact[i] == TRUE};
  return given;
}

// The largest whole number R's doubles hold exactly, and every one below it: 2^53.
constexpr std::uint64_t kLargestExactDouble = std::uint64_t{1} << 53;

// A seed as R holds it: a double up to 2^53, beyond that its decimal digits.
SEXP SeedValue(std::uint64_t seed) {
  if (seed <= kLargestExactDouble) return Rcpp::wrap(static_cast<double>(seed));
  return Rcpp::CharacterVector::create(std::to_string(seed));
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
SEXP AnalyseTables(Rcpp::NumericVector cells, Rcpp::IntegerVector ks, Rcpp::CharacterVector values,
                   Rcpp::LogicalVector inexact) {
  return Guard([&]() -> SEXP {
    const jobs::AnalysisOrder order = jobs::OrderAnalysis(Given(values, inexact));
    const AnalysisSettings& settings = order.analysis;
    const int threads = order.jobs;
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
SEXP Simulate(Rcpp::CharacterVector values, Rcpp::LogicalVector inexact) {
  return Guard([&]() -> SEXP {
    const jobs::RunOrder order = jobs::OrderRun(Given(values, inexact));
    const jobs::SimulatedTests t =
        Run([&](const JobContext& context) { return jobs::SimulateTestData(order, context); });
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

// A study of the design given as a file (designPath) or as the text of one (designText),
// with the settings given; progress NULL or an R function.
// [[Rcpp::export(.study)]]
SEXP Study(SEXP designPath, SEXP designText, Rcpp::CharacterVector values, Rcpp::LogicalVector inexact, bool tests,
           SEXP progress) {
  return Guard([&]() -> SEXP {
    jobs::StudyDesign design;
    if (const std::optional<std::string> path = Text(designPath)) design.path = *path;
    design.text = Text(designText);
    if (!design.Given()) design.text = std::string();
    const jobs::StudyOrder order = jobs::OrderStudy(Given(values, inexact), design);
    const jobs::StudyFrames frames = Run(
        [&](const JobContext& context) {
          return jobs::RunStudyData(order.study, order.shard, tests, order.jobs, context);
        },
        progress);
    return Rcpp::List::create(Rcpp::Named("summary") = ColumnsOf(frames.summary),
                              Rcpp::Named("tests") = tests ? SEXP(ColumnsOf(frames.tests)) : R_NilValue,
                              Rcpp::Named("seed") = SeedValue(order.study.seed));
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
                                     " is not a seed (a whole number from 0 to " + std::to_string(kMaxPhiloxSeed) + ")");
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

// An answer sheet from its file (path) or its text (named `name` in messages), with the
// settings given (the key apart, as text or a file; k; the interval; the threads).
// [[Rcpp::export(.responses)]]
SEXP Responses(SEXP path, SEXP text, std::string name, Rcpp::CharacterVector values, Rcpp::LogicalVector inexact) {
  return Guard([&]() -> SEXP {
    const jobs::GivenSettings given = Given(values, inexact);
    const std::optional<std::string> sheetPath = Text(path);
    const std::optional<std::string> sheetText = Text(text);
    const jobs::SheetFrame sheet = Run([&](const JobContext& context) {
      const jobs::SheetOrder order = jobs::OrderSheet(given);
      std::istringstream none;
      std::unique_ptr<jobs::SheetSource> source = sheetPath ? std::make_unique<jobs::SheetSource>(*sheetPath, none)
                                                            : jobs::SheetSource::OfText(sheetText.value_or(""), name);
      return jobs::AnalyseSheetData(*source, order, context);
    });
    const std::vector<std::string>& lines = sheet.outcome.favoured;
    Rcpp::CharacterVector favoured(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) favoured[i] = Rcpp::String(lines[i], CE_UTF8);
    return Rcpp::List::create(Rcpp::Named("results") = ColumnsOf(sheet.results), Rcpp::Named("favoured") = favoured);
  });
}

// The settings' table: name, range, default (NA where it is no number) and help, for the
// package's defaults and documentation.
// [[Rcpp::export(.settings)]]
Rcpp::DataFrame Settings() {
  std::vector<std::string> names, help;
  std::vector<double> min, max, byDefault;
  const auto add = [&](std::string_view name, double lo, double hi, double def, std::string_view what) {
    names.emplace_back(name);
    min.push_back(lo);
    max.push_back(hi);
    byDefault.push_back(def);
    help.emplace_back(what);
  };
  for (const SettingField& f : kRunSettingFields)
    add(SettingName(*f.entry), f.entry->min, f.entry->max, f.entry->byDefault, f.entry->help);
  for (const NumberSetting* s : {&setting::replications, &setting::studySeed, &setting::jobCount,
                                 &setting::condition, &setting::sheetK})
    add(s->name, static_cast<double>(s->min), static_cast<double>(s->max),
        s->defaultText.empty() ? static_cast<double>(s->byDefault) : NA_REAL, s->help);
  return Rcpp::DataFrame::create(Rcpp::Named("name") = names, Rcpp::Named("min") = min, Rcpp::Named("max") = max,
                                 Rcpp::Named("default") = byDefault, Rcpp::Named("help") = help,
                                 Rcpp::Named("stringsAsFactors") = false);
}
