#include "batch/StudyCommand.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>

#include <unistd.h>

#include "batch/Commands.h"
#include "batch/Options.h"
#include "batch/OutputFile.h"
#include "batch/StreamHost.h"
#include "numeric/UniformGenerator.h"
#include "parallel/OrderedPipeline.h"
#include "study/StudyFiles.h"
#include "study/StudyPlots.h"

namespace veltrano::batch {
namespace {

// A file that cannot be read: status 1, as for every command.
class UnreadableFile : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

std::ifstream OpenForReading(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw UnreadableFile("cannot read " + path + ": it is a directory");
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UnreadableFile("cannot read " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
  return in;
}

bool IsNonEmptyFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > 0;
}

// Help for a list option of a setting of the table.
std::string ListHelp(const SettingEntry& setting, std::string_view what) {
  return std::string(what) + ": values and ranges lo:hi:step (lo:hi steps by 1) separated by commas (" +
         std::to_string(setting.min) + " to " + std::to_string(setting.max) + ", default " +
         std::to_string(setting.byDefault) + ")";
}

StudyConditions Conditions(const StudyOptions& o) {
  if (!o.design.empty()) {
    std::ifstream in = OpenForReading(o.design);
    return StudyConditions::Listed(ReadDesign(in, o.design));
  }
  const auto list = [](const std::optional<std::string>& text, const SettingEntry& setting) {
    return text ? ParseValueList(*text, setting) : std::vector<std::int32_t>{setting.byDefault};
  };
  return StudyConditions::Grid(list(o.n, setting::n), list(o.k, setting::k), list(o.D, setting::D0));
}

// Rules that involve more than one option.
void CheckOutputs(const StudyOptions& o) {
  if (o.out.empty()) throw StudyInputError("--out: the file name is empty");
  if (!o.testsOut.empty() && SameFile(o.testsOut, o.out))
    throw StudyInputError("--tests-out: " + o.testsOut + " is already the output of --out");
  if (o.resume && o.out == "-")
    throw StudyInputError("--resume: give the study's output file with --out (standard output cannot be resumed)");
  if (o.resume && o.testsOut == "-")
    throw StudyInputError("--resume: give the test rows' file with --tests-out (standard output cannot be resumed)");
}

std::string Duration(double seconds) {
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

// The progress line of a study on a terminal: conditions done, tests per second, time
// elapsed and left, redrawn in place at most four times a second.
class StudyMeter {
public:
  using Clock = std::chrono::steady_clock;
  StudyMeter(std::ostream& err, bool enabled) : err_(err), enabled_(enabled), start_(Clock::now()), drawn_(start_) {}

  void Report(const StudyProgress& p) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now - drawn_ < std::chrono::milliseconds(250)) return;
    drawn_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double rate = elapsed > 0 ? static_cast<double>(p.testsDone) / elapsed : 0;
    char text[200];
    std::snprintf(text, sizeof text, "%lld of %lld conditions done, %.0f tests/s, elapsed %s",
                  static_cast<long long>(p.conditionsDone), static_cast<long long>(p.conditionsTotal), rate,
                  Duration(elapsed).c_str());
    std::string line = text;
    if (rate > 0) line += ", left " + Duration(static_cast<double>(p.testsTotal - p.testsDone) / rate);
    err_ << '\r' << line << std::string(width_ > line.size() ? width_ - line.size() : 0, ' ');
    err_.flush();
    width_ = std::max(width_, line.size());
  }
  void Finish() {
    if (width_ == 0) return;
    err_ << '\r' << std::string(width_, ' ') << '\r';
    err_.flush();
    width_ = 0;
  }

private:
  std::ostream& err_;
  bool enabled_;
  Clock::time_point start_;
  Clock::time_point drawn_;
  std::size_t width_ = 0;
};

// The study's rows into its files. A condition's test rows are on disk before its
// summary rows, and both are flushed the moment the condition is complete.
class FileSink final : public StudySink {
public:
  FileSink(OutputFile& out, OutputFile* tests, std::uint64_t testsBytes, StudyMeter& meter, StudyPlotData* plots)
      : out_(out), tests_(tests), written_(testsBytes), committed_(testsBytes), meter_(meter), plots_(plots) {}

  void TestRows(std::string_view rows) override {
    tests_->Write(rows);
    written_ += rows.size();
  }
  void ConditionRows(std::string_view rows) override {
    if (tests_ != nullptr) tests_->Flush();
    out_.Write(rows);
    out_.Flush();
    committed_ = written_;
    ++conditions_;
    if (plots_ != nullptr) plots_->AddRows(rows);
  }
  bool Continue(const StudyProgress& p) override {
    meter_.Report(p);
    return !StopRequested();
  }

  /// The length of the test rows of the complete conditions.
  std::uint64_t CommittedTestBytes() const noexcept { return committed_; }
  std::int64_t Conditions() const noexcept { return conditions_; }

private:
  OutputFile& out_;
  OutputFile* tests_;
  std::uint64_t written_;
  std::uint64_t committed_;
  StudyMeter& meter_;
  StudyPlotData* plots_;
  std::int64_t conditions_ = 0;
};

std::string Plural(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// --plot and the options of its files, for the study and for merge.
void AddPlotOptions(CLI::App& app, StudyPlotOptions& p) {
  const std::string plots = "Plots";
  app.add_option("--plot", p.prefix,
                 "draw from the summary rows, once they are complete, for each k the bias, the RMSE and the "
                 "coverage of the estimators against Do (one line per n and estimator, bars of \u00b11.96 Monte "
                 "Carlo SE) into the files PREFIX-bias-kK, PREFIX-rmse-kK and PREFIX-coverage-kK with the extension "
                 "of --plot-format (--plot out/s gives out/s-bias-k4.png, ...; a PREFIX ending in / is a folder: "
                 "--plot plots/ gives plots/bias-k4.png, ...). A shard plots its own conditions, study merge --plot "
                 "the whole study")
      ->type_name("PREFIX")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            if (text.empty()) return "the prefix is empty";
            if (text == "-") return "plots are files; give the start of their names, not -";
            return "";
          },
          ""))
      ->group(plots);
  app.add_option("--plot-format", p.format, "png or svg: the format and extension of the plots (default png)")
      ->type_name("png|svg")
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            return text == "png" || text == "svg" ? "" : "\"" + text + "\" is neither png nor svg";
          },
          ""))
      ->group(plots);
  IntOption(app, "--plot-width", p.width, 100, 10000, "width of the plots in pixels")->group(plots);
  IntOption(app, "--plot-height", p.height, 100, 10000, "height of the plots in pixels")->group(plots);
}

// A build without Qt draws no plots: --plot is then bad input.
void CheckPlotsCanBeDrawn(const StudyPlotOptions& p, const BatchServices& services) {
  if (!p.prefix.empty() && !services.studyPlots)
    throw StudyInputError("--plot: this build of veltrano-batch draws no plots (it was built without Qt)");
}

// The plots are written after the work, each at once; their folder is checked before
// the work starts, so that a mistyped folder does not cost a whole study.
void CheckPlotFolder(const StudyPlotOptions& p) {
  if (p.prefix.empty()) return;
  namespace fs = std::filesystem;
  fs::path folder = p.prefix.back() == '/' ? fs::path(p.prefix) : fs::path(p.prefix).parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  const char* reason = nullptr;
  if (!fs::is_directory(folder, ec))
    reason = std::strerror(ENOENT);
  else if (::access(folder.c_str(), W_OK) != 0)
    reason = std::strerror(errno);
  if (reason != nullptr) throw OutputError("--plot: cannot write plots into " + folder.string() + ": " + reason);
}

// Draws every plot of the rows read; status 1 and the message when one cannot be written.
int DrawPlots(const StudyPlotData& data, const StudyPlotOptions& p, const BatchServices& services, Console& c) {
  try {
    for (const StudyPlot& plot : data.Plots())
      services.studyPlots(plot, StudyPlotPath(p.prefix, plot.measure, plot.k, p.format), p.width, p.height);
  } catch (const std::exception& e) {
    Report(c, e.what());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

CLI::App* AddStudyCommand(CLI::App& parent, StudyOptions& o) {
  CLI::App* app = parent.add_subcommand(
      "study", "a simulation study: bias, SE, RMSE, MAE and coverage of Du, Dc and D Lord & Novick with their Monte "
               "Carlo errors, for every condition of a grid or design file");
  const std::string conditions = "Conditions";
  CLI::Option* lists[3];
  const struct {
    const SettingEntry* setting;
    std::string_view what;
    std::optional<std::string>* target;
  } listed[] = {{&setting::n, setting::n.help, &o.n},
                {&setting::k, setting::k.help, &o.k},
                {&setting::D0, "Do, degree of knowledge in percent", &o.D}};
  for (std::size_t i = 0; i < 3; ++i) {
    std::optional<std::string>* target = listed[i].target;
    lists[i] = app->add_option_function<std::string>(
                      std::string(listed[i].setting->option), [target](const std::string& v) { *target = v; },
                      ListHelp(*listed[i].setting, listed[i].what))
                   ->type_name("LIST")
                   ->group(conditions);
  }
  FileOption(*app, "--design", o.design,
             "the conditions from a CSV file with the header n,k,do and one condition per line, instead of the "
             "grid of --n, --k and --do")
      ->excludes(lists[0])
      ->excludes(lists[1])
      ->excludes(lists[2])
      ->group(conditions);
  app->add_option("--replications", o.replications,
                  "tests per condition (1 to " + std::to_string(kMaxReplications) + ", default 1000)")
      ->check(WholeNumberIn(1, kMaxReplications))
      ->type_name("R")
      ->group(conditions);
  app->add_option_function<std::int64_t>(
         "--seed", [&o](std::int64_t v) { o.seed = static_cast<std::uint32_t>(v); },
         "seed of the study (0 to 4294967295; default: the resumed output's, or from the clock, reported on "
         "standard error). Each condition draws from a seed of its own made from it, written in its rows: "
         "simulate --seed <that seed> with the condition's n, k and Do makes the same tests")
      ->check(WholeNumberIn(0, 4294967295))
      ->type_name("S")
      ->group(conditions);
  SettingOption(*app, setting::Tol, o.tolerance);
  SettingOption(*app, setting::MaxIts, o.maxIterations);
  SettingOption(*app, setting::CI, o.ci, "the test-inversion interval of Du: its coverage and width in the rows");
  app->get_option(std::string(setting::CI.option))->group(std::string(kAnalysisGroup));

  const std::string files = "Output files";
  FileOption(*app, "--out", o.out,
             "write the rows, one per condition and estimator, to FILE (default - for standard output)")
      ->group(files);
  Switch(*app, "--json", "", o.json, "the rows as JSON objects, one per line, instead of CSV");
  app->get_option("--json")->group(files);
  FileOption(*app, "--tests-out", o.testsOut,
             "write one CSV row per test (its estimates, standard errors, interval and codes) to FILE")
      ->group(files);
  app->add_option("--shard", o.shard,
                  "run only the conditions whose index is I modulo N (I from 1 to N); join the outputs of all N "
                  "with `study merge`")
      ->type_name("I/N")
      ->group("Running");
  Switch(*app, "--resume", "", o.resume,
         "continue the study in the --out file (and --tests-out file): keep its complete conditions and make the "
         "others; a file of other settings is refused");
  Switch(*app, "--quiet", "", o.quiet, "no progress line on a terminal");
  app->add_option("--jobs", o.jobs,
                  "worker threads (1 to 256; default: every core). The output is the same for any number")
      ->check(WholeNumberIn(1, 256))
      ->type_name("N")
      ->group("Running");
  for (const char* name : {"--resume", "--quiet"}) app->get_option(name)->group("Running");
  AddPlotOptions(*app, o.plot);

  CLI::App* merge = app->add_subcommand(
      "merge", "join the outputs of a study's shards into the output of the whole study, byte for byte");
  merge->add_option("files", o.merge.files, "the outputs of the shards")->required()->type_name("FILE");
  FileOption(*merge, "--out", o.merge.out, "write the merged output to FILE (default - for standard output)");
  AddPlotOptions(*merge, o.merge.plot);
  return app;
}

bool MergeRequested(const CLI::App& study) {
  for (const CLI::App* used : study.get_subcommands())  // the subcommands given on the command line
    if (used->get_name() == "merge") return true;
  return false;
}

int RunStudy(const StudyOptions& o, Console& c, const BatchServices& services) {
  ClearStopRequest();
  StudyDefinition study;
  Shard shard;
  ResumePoint resume;
  std::uint64_t keepTests = 0;
  bool clockSeed = false;
  // The plots' values: from the rows a resumed output keeps, then from every new row.
  std::optional<StudyPlotData> plots;
  if (!o.plot.prefix.empty()) plots.emplace();
  try {
    CheckPlotsCanBeDrawn(o.plot, services);
    study.conditions = Conditions(o);
    study.replications = o.replications;
    study.tolerance = o.tolerance;
    study.maxIterations = o.maxIterations;
    study.ci = o.ci;
    if (!o.shard.empty()) shard = ParseShard(o.shard);
    CheckOutputs(o);
    const bool resuming = o.resume && IsNonEmptyFile(o.out);
    std::optional<std::uint32_t> resumedSeed;
    if (resuming && !o.seed) {
      std::ifstream in = OpenForReading(o.out);
      resumedSeed = ReadStudySeed(in, o.out);
    }
    if (o.seed) {
      study.seed = *o.seed;
    } else if (resumedSeed) {
      study.seed = *resumedSeed;
    } else {
      study.seed = ClockSeed();
      clockSeed = true;
    }
    if (resuming) {
      std::ifstream in = OpenForReading(o.out);
      resume = ScanForResume(in, o.out, study, shard);
      const RowFormat wanted = o.json ? RowFormat::Json : RowFormat::Csv;
      if (!resume.fresh && resume.format != wanted)
        throw StudyInputError("--resume: " + o.out + " holds " + (o.json ? "CSV" : "JSON") + " rows; resume it " +
                              (o.json ? "without" : "with") + " --json");
      if (plots && !resume.fresh) {
        std::ifstream kept = OpenForReading(o.out);
        std::string text(resume.keepBytes, '\0');
        kept.read(text.data(), static_cast<std::streamsize>(text.size()));
        if (kept.gcount() != static_cast<std::streamsize>(text.size()))
          throw UnreadableFile("cannot read " + o.out + ": it ended while its rows were read again");
        try {
          plots->AddRows(text);
        } catch (const StudyInputError& e) {
          throw StudyInputError("--plot: " + o.out + ": " + e.what());
        }
      }
    }
    if (!resume.fresh && !o.testsOut.empty()) {
      std::error_code ec;
      if (std::filesystem::exists(o.testsOut, ec)) {
        std::ifstream in = OpenForReading(o.testsOut);
        keepTests = ScanTestsForResume(in, o.testsOut, study, shard, resume.complete);
      } else if (resume.complete > 0) {
        throw StudyInputError("--tests-out: " + o.testsOut + " does not exist, but " + o.out + " holds " +
                              Plural(resume.complete, "complete condition", "complete conditions") +
                              "; resume with the test rows' file of the same study, or without --tests-out");
      }
    }
    CheckPlotFolder(o.plot);
  } catch (const StudyInputError& e) {
    Report(c, e.what());
    return kExitUsage;
  } catch (const UnreadableFile& e) {
    Report(c, e.what());
    return kExitFailure;
  } catch (const OutputError& e) {
    Report(c, e.what());
    return kExitFailure;
  }

  if (clockSeed)
    Report(c, "seed " + std::to_string(study.seed) + " (repeat this study with --seed " +
                  std::to_string(study.seed) + ")");
  if (const PeriodExcess excess = ConditionsBeyondThePeriod(study); excess.conditions > 0) {
    const Condition worst = study.conditions.At(excess.worst);
    const auto most = static_cast<std::int64_t>(
        kGeneratorPeriod / ExpectedDrawsPerTest(worst.n, worst.k, worst.D));
    Report(c, "note: " + Plural(excess.conditions, "condition takes", "conditions take") +
                  " more random draws than the generator gives before it repeats (2^32), condition " +
                  std::to_string(excess.worst) + " (n " + std::to_string(worst.n) + ", k " + std::to_string(worst.k) +
                  ", Do " + std::to_string(worst.D) + ") the most; beyond about " + std::to_string(most) +
                  " replications its tests repeat and its Monte Carlo errors look smaller than they are");
  }

  // The outputs: fresh ones from the header on, resumed ones cut back to their complete
  // conditions and continued.
  std::unique_ptr<OutputFile> out, tests;
  try {
    // Every output is checked before any is touched: fresh files are opened together
    // (an existing one is emptied only once all could be opened), and a file to be
    // continued must be writable before anything else is opened.
    const bool freshTests = !o.testsOut.empty() && (resume.fresh || !std::filesystem::exists(o.testsOut));
    if (!resume.fresh && o.out != "-") CheckWritableLater(o.out);
    if (!o.testsOut.empty() && !freshTests && o.testsOut != "-") CheckWritableLater(o.testsOut);
    std::vector<std::unique_ptr<OutputFile>> fresh =
        OpenOutputs({resume.fresh ? o.out : std::string(), freshTests ? o.testsOut : std::string()}, c.out);
    const auto continued = [&c](const std::string& path, std::uint64_t keep) {
      std::filesystem::resize_file(path, keep);
      return std::make_unique<OutputFile>(path, c.out, OutputFile::Mode::Append);
    };
    out = resume.fresh ? std::move(fresh[0]) : continued(o.out, resume.keepBytes);
    if (resume.fresh && !o.json) {
      out->WriteLine(SummaryHeader());
      out->Flush();
    }
    if (!o.testsOut.empty()) {
      tests = freshTests ? std::move(fresh[1]) : continued(o.testsOut, keepTests);
      if (freshTests) {
        tests->WriteLine(TestsHeader());
        keepTests = TestsHeader().size() + 1;
      }
    }
  } catch (const std::exception& e) {  // OutputError, or the file system's error on resizing
    Report(c, e.what());
    return kExitFailure;
  }

  StudyMeter meter(c.err, c.errIsTerminal && !o.quiet);
  FileSink sink(*out, tests.get(), keepTests, meter, plots ? &*plots : nullptr);
  StudyRunOptions run;
  run.format = o.json ? RowFormat::Json : RowFormat::Csv;
  run.tests = tests != nullptr;
  run.jobs = o.jobs > 0 ? o.jobs : HardwareJobs();
  int status = kExitOk;
  try {
    const StopRequestsHonoured honoured;
    if (ExecuteStudy(study, {shard, resume.complete}, run, sink) == StudyEnd::Stopped) {
      meter.Finish();
      const int signal = StopSignalOrInterrupt();
      Report(c, std::string(StoppedBy(signal)) + "; " + (o.out == "-" ? std::string("the output") : o.out) + " holds " +
                    Plural(resume.complete + sink.Conditions(), "complete condition", "complete conditions") +
                    (o.out == "-" ? "" : " (go on with --resume)"));
      status = 128 + signal;
    }
  } catch (const BrokenPipe&) {
    status = kExitBrokenPipe;  // the reader has gone (| head): quietly
  } catch (const std::exception& e) {
    meter.Finish();
    Report(c, e.what());
    status = kExitFailure;
  }
  meter.Finish();

  for (OutputFile* f : {out.get(), tests.get()})
    if (f != nullptr)
      if (const int step = OutputStep(c, [f] { f->Close(); }); step != kExitOk) status = step;
  // The test rows of a condition left unfinished go, so that the two files hold the
  // same conditions.
  if (status != kExitOk && tests && o.testsOut != "-") {
    std::error_code ec;
    std::filesystem::resize_file(o.testsOut, sink.CommittedTestBytes(), ec);
  }
  if (status == kExitOk && !resume.fresh && sink.Conditions() == 0)
    Report(c, o.out + " already held every condition of the study" +
                  (shard.count > 1 ? " (shard " + o.shard + ")" : std::string()));
  // The plots show whole studies (or whole shards) only.
  if (plots && status == kExitOk) return DrawPlots(*plots, o.plot, services, c);
  if (plots && status != kExitBrokenPipe) Report(c, "--plot: no plots drawn, as the study is not complete");
  return status;
}

int RunStudyMerge(const StudyMergeOptions& m, Console& c, const BatchServices& services) {
  std::vector<std::ifstream> streams;
  streams.reserve(m.files.size());
  std::vector<StudyInput> inputs;
  try {
    CheckPlotsCanBeDrawn(m.plot, services);
    for (const std::string& file : m.files) {
      if (SameFile(file, m.out)) throw StudyInputError("--out: " + file + " is also one of the files to merge");
      streams.push_back(OpenForReading(file));
      inputs.push_back({file, &streams.back()});
    }
  } catch (const StudyInputError& e) {
    Report(c, e.what());
    return kExitUsage;
  } catch (const UnreadableFile& e) {
    Report(c, e.what());
    return kExitFailure;
  }
  try {
    CheckPlotFolder(m.plot);
  } catch (const OutputError& e) {
    Report(c, e.what());
    return kExitFailure;
  }
  // The output is opened when the first text is ready, which is after every check. The
  // plots read the merged rows as they are written; a row they cannot read (a cell
  // edited by hand) leaves the merged output whole and draws no plots.
  std::unique_ptr<OutputFile> out;
  std::optional<StudyPlotData> plots;
  if (!m.plot.prefix.empty()) plots.emplace();
  std::string plotError;
  try {
    MergeStudyOutputs(inputs, [&](std::string_view text) {
      if (!out) out = std::make_unique<OutputFile>(m.out, c.out);
      out->Write(text);
      if (!plots || !plotError.empty()) return;
      try {
        plots->AddRows(text);
      } catch (const StudyInputError& e) {
        plotError = e.what();
      }
    });
    if (out) out->Close();
  } catch (const BrokenPipe&) {
    return kExitBrokenPipe;  // the reader has gone (| head): quietly
  } catch (const StudyInputError& e) {
    Report(c, e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    Report(c, e.what());
    return kExitFailure;
  }
  if (!plotError.empty()) {
    Report(c, "--plot: no plots drawn: " + plotError);
    return kExitFailure;
  }
  return plots ? DrawPlots(*plots, m.plot, services, c) : kExitOk;
}

}  // namespace veltrano::batch
