#include "jobs/StudyFileJob.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include "jobs/InputFile.h"
#include "jobs/OutputFile.h"
#include "jobs/StudyJob.h"
#include "numeric/UniformGenerator.h"
#include "parallel/Jobs.h"
#include "study/StudyFiles.h"
#include "study/StudyPlanning.h"
#include "study/StudyPlots.h"

namespace veltrano::jobs {
namespace {

namespace fs = std::filesystem;

bool IsNonEmptyFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && fs::file_size(path, ec) > 0;
}

std::string Plural(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Every file a study or a merge writes: its outputs and the plots it may draw (the plots
// of every k a study may have, as the k are known only once the rows are).
std::vector<NamedFile> Outputs(std::vector<NamedFile> outputs, const StudyPlotOptions& plot) {
  if (plot.prefix.empty()) return outputs;
  for (const PlotMeasure m : kPlotMeasures)
    for (int k = kMinAlternatives; k <= kMaxAlternatives; ++k)
      outputs.push_back({"--plot", StudyPlotPath(plot.prefix, m, k, plot.format)});
  return outputs;
}

// Rules that involve more than one field.
void CheckStudyOutputs(const StudyRequest& o, const std::optional<platform::FileId>& console) {
  if (o.out.empty()) throw UsageError("--out: the file name is empty");
  CheckOutputs(Outputs({{"--out", o.out}, {"--tests-out", o.testsOut}}, o.plot), {{"the design file", o.design}},
               console);
  if (o.resume && o.out == "-")
    throw UsageError("--resume: give the study's output file with --out (standard output cannot be resumed)");
  if (o.resume && o.testsOut == "-")
    throw UsageError("--resume: give the test rows' file with --tests-out (standard output cannot be resumed)");
}

// A build without Qt draws no plots: asking for them is then bad input.
void CheckPlotsCanBeDrawn(const StudyPlotOptions& p, const Drawing& drawing) {
  if (!p.prefix.empty() && !drawing.studyPlots)
    throw UsageError("--plot: this build of veltrano-batch draws no plots (it was built without Qt)");
}

// The plots are written after the work, each at once; their folder is checked before the
// work starts, so that a mistyped folder does not cost a whole study.
void CheckPlotFolder(const StudyPlotOptions& p) {
  if (p.prefix.empty()) return;
  fs::path folder = p.prefix.back() == '/' ? fs::path(p.prefix) : fs::path(p.prefix).parent_path();
  if (folder.empty()) folder = ".";
  CheckWritableFolder(folder.string(), "--plot");
}

void DrawPlots(const StudyPlotData& data, const StudyPlotOptions& p, FileJob& job) {
  ReportedStep(job.report, [&] {
    for (const StudyPlot& plot : data.Plots())
      job.drawing.studyPlots(plot, StudyPlotPath(p.prefix, plot.measure, plot.k, p.format), p.width, p.height);
  });
}

// The study's rows into its files. A condition's test rows are on disk before its summary
// rows, and both are flushed the moment the condition is complete.
class FileSink final : public StudySink {
public:
  FileSink(OutputFile& out, OutputFile* tests, std::uint64_t testsBytes, StudyPlotData* plots)
      : out_(out), tests_(tests), written_(testsBytes), committed_(testsBytes), plots_(plots) {}

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

  /// The length of the test rows of the complete conditions.
  std::uint64_t CommittedTestBytes() const noexcept { return committed_; }
  std::int64_t Conditions() const noexcept { return conditions_; }

private:
  OutputFile& out_;
  OutputFile* tests_;
  std::uint64_t written_;
  std::uint64_t committed_;
  StudyPlotData* plots_;
  std::int64_t conditions_ = 0;
};

StudyDesign DesignFile(const std::string& path) {
  StudyDesign design;
  design.path = path;
  return design;
}

// Where a study starts: its definition, the part its files already hold, and its plots'
// values so far.
struct StudyStart {
  StudyOrder order;
  ResumePoint resume;
  std::uint64_t keepTests = 0;
  std::optional<std::int64_t> extendFrom;  // R1, when the output holds the study with fewer replications
};

// The format a resumed output must hold.
void CheckResumedFormat(const StudyRequest& o, RowFormat held) {
  const RowFormat wanted = o.json ? RowFormat::Json : RowFormat::Csv;
  if (held != wanted)
    throw UsageError("resume", o.out + " holds " + (o.json ? "CSV" : "JSON") + " rows; resume it " +
                                   (o.json ? "without" : "with") + " " + Named("json"));
}

// The output a study resumes, opened once: what study it holds decides what the settings
// leave open, then whether it is to be extended or continued, and from where.
void ReadResumed(const StudyRequest& o, StudyStart& s, std::optional<StudyPlotData>& plots) {
  std::ifstream in = OpenInput(o.out);
  const auto fromStart = [&in]() -> std::istream& {
    in.clear();
    in.seekg(0);
    return in;
  };
  const std::optional<StudyOrigin> resumed = ReadStudyOrigin(fromStart(), o.out);
  s.order = OrderStudy(o.settings, DesignFile(o.design), resumed);
  const StudyDefinition& study = s.order.study;
  const Shard shard = s.order.shard;
  s.extendFrom = ScanForExtension(fromStart(), o.out, study, shard);
  if (s.extendFrom) {
    // Every kept replication is read back from the test rows: the summaries alone cannot
    // be merged with new replications.
    if (o.testsOut.empty() || o.testsOut == "-" || !fs::exists(o.testsOut))
      throw UsageError("resume", o.out + " holds this study with " + std::to_string(*s.extendFrom) +
                                     " replications; extending it to " + std::to_string(study.replications) +
                                     " needs its test rows: give the file its " + Named("tests-out") + " wrote" +
                                     (o.testsOut.empty() ? std::string() : " (" + o.testsOut + " does not exist)") +
                                     ", or make the study afresh without " + Named("resume"));
    StudyDefinition smaller = study;
    smaller.replications = *s.extendFrom;
    const ResumePoint kept = ScanForResume(fromStart(), o.out, smaller, shard);
    CheckResumedFormat(o, kept.format);
    // The test rows must be this study's, every condition of them.
    std::ifstream testsIn = OpenInput(o.testsOut);
    ScanTestsForResume(testsIn, o.testsOut, smaller, shard, kept.complete);
    return;
  }
  s.resume = ScanForResume(fromStart(), o.out, study, shard);
  if (s.resume.fresh) return;
  CheckResumedFormat(o, s.resume.format);
  if (plots) {
    std::istream& kept = fromStart();
    std::string text(s.resume.keepBytes, '\0');
    kept.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (kept.gcount() != static_cast<std::streamsize>(text.size()))
      throw ReadError(o.out, "it ended while its rows were read again");
    try {
      plots->AddRows(text);
    } catch (const StudyInputError& e) {
      throw StudyInputError(Named("plot") + ": " + o.out + ": " + e.Marked());
    }
  }
  if (o.testsOut.empty()) return;
  std::error_code ec;
  if (fs::exists(o.testsOut, ec)) {
    std::ifstream testsIn = OpenInput(o.testsOut);
    s.keepTests = ScanTestsForResume(testsIn, o.testsOut, study, shard, s.resume.complete);
  } else if (s.resume.complete > 0) {
    throw StudyInputError(Named("tests-out") + ": " + o.testsOut + " does not exist, but " + o.out + " holds " +
                          Plural(s.resume.complete, "complete condition", "complete conditions") +
                          "; resume with the test rows' file of the same study, or without " + Named("tests-out"));
  }
}

StudyStart Prepare(const StudyRequest& o, FileJob& job, std::optional<StudyPlotData>& plots,
                   std::optional<OutputLocks>& locks) {
  StudyStart s;
  CheckStudyOutputs(o, job.console);
  CheckPlotsCanBeDrawn(o.plot, job.drawing);
  // Taken before a resumed output is read: no other writer may change it meanwhile.
  locks.emplace(std::vector<std::string>{o.out, o.testsOut});
  if (o.resume && IsNonEmptyFile(o.out))
    ReadResumed(o, s, plots);
  else
    s.order = OrderStudy(o.settings, DesignFile(o.design));
  CheckPlotFolder(o.plot);
  return s;
}

// The note of a study some of whose conditions draw more numbers than the generator has.
void NotePeriod(const StudyDefinition& study, JobReport& report) {
  const PeriodExcess excess = ConditionsBeyondThePeriod(study);
  if (excess.conditions == 0) return;
  const Condition worst = study.conditions.At(excess.worst);
  const auto most = static_cast<std::int64_t>(kGeneratorPeriod / ExpectedDrawsPerTest(worst.n, worst.k, worst.D));
  report.Note("note: " + Plural(excess.conditions, "condition takes", "conditions take") +
              " more random draws than the generator gives before it repeats (2^32), condition " +
              std::to_string(excess.worst) + " (n " + std::to_string(worst.n) + ", k " + std::to_string(worst.k) +
              ", Do " + std::to_string(worst.D) + ") the most; beyond about " + std::to_string(most) +
              " replications its tests repeat and its Monte Carlo errors look smaller than they are");
}

// Why a study ended before its last condition: a stop, reported with what the files hold.
void ReportStop(FileJob& job, const std::string& holds) {
  job.report.Problem(StoppedProblem(job.context.StopSignal(), holds));
}

// A finished study of R1 replications, extended to the replications asked for: both files
// are written anew beside the old ones, from the kept replications' test rows and the new
// replications, and take the old ones' names only once the study is complete.
void ExtendStudy(const StudyRequest& o, StudyStart& start, std::optional<StudyPlotData>& plots, FileJob& job) {
  const StudyDefinition& study = start.order.study;
  const std::int64_t kept = *start.extendFrom;
  job.report.Note("extending the study in " + o.out + " from " + std::to_string(kept) + " to " +
                  std::to_string(study.replications) + " replications");
  std::ifstream keptRows = OpenInput(o.testsOut);
  KeptTestRows keptTests(keptRows, o.testsOut, kept);
  CheckWritableLater(o.out);
  CheckWritableLater(o.testsOut);
  StagedOutput out(o.out, job.out), tests(o.testsOut, job.out);
  if (!o.json) out.File().WriteLine(SummaryHeader(study.generator));
  tests.File().WriteLine(TestsHeader());
  FileSink sink(out.File(), &tests.File(), 0, plots ? &*plots : nullptr);
  StudyRunOptions run;
  run.format = o.json ? RowFormat::Json : RowFormat::Csv;
  run.tests = true;
  run.jobs = Threads(start.order.jobs);
  StudyPlan plan{start.order.shard, 0, &keptTests};
  bool whole = false;
  ReportedStep(job.report, [&] {
    if (RunStudy(study, plan, run, sink, job.context) == Ending::Completed) {
      whole = true;
      return;
    }
    ReportStop(job, o.out + " and " + o.testsOut + " still hold the study of " + std::to_string(kept) +
                           " replications (extend it again with --resume)");
  });
  if (!whole) return;  // the staged files go; the old ones stay as they were
  keptRows.close();
  bool committed = false;
  ReportedStep(job.report, [&] {
    tests.Commit();
    out.Commit();
    committed = true;
  });
  if (committed && plots) DrawPlots(*plots, o.plot, job);
}

}  // namespace

void StudyToFiles(const StudyRequest& o, FileJob& job) {
  // The plots' values: from the rows a resumed output keeps, then from every new row.
  std::optional<StudyPlotData> plots;
  if (!o.plot.prefix.empty()) plots.emplace();
  std::optional<OutputLocks> locks;
  StudyStart start = Prepare(o, job, plots, locks);
  const StudyDefinition& study = start.order.study;
  const ResumePoint& resume = start.resume;
  if (start.order.clockSeed) job.report.Note(ClockSeedNote(study));
  NotePeriod(study, job.report);
  if (start.extendFrom) {
    ExtendStudy(o, start, plots, job);
    return;
  }

  // The outputs: fresh ones from the header on, resumed ones cut back to their complete
  // conditions and continued. Every output is checked before any is touched: fresh files
  // are opened together (an existing one is emptied only once all could be opened), and a
  // file to be continued must be writable before anything else is opened.
  std::unique_ptr<OutputFile> out, tests;
  const bool freshTests = !o.testsOut.empty() && (resume.fresh || !fs::exists(o.testsOut));
  if (!resume.fresh && o.out != "-") CheckWritableLater(o.out);
  if (!o.testsOut.empty() && !freshTests && o.testsOut != "-") CheckWritableLater(o.testsOut);
  std::vector<std::unique_ptr<OutputFile>> fresh =
      OpenOutputs({resume.fresh ? o.out : std::string(), freshTests ? o.testsOut : std::string()}, job.out);
  const auto continued = [&job](const std::string& path, std::uint64_t keep) {
    fs::resize_file(path, keep);
    return std::make_unique<OutputFile>(path, job.out, OutputFile::Mode::Append);
  };
  out = resume.fresh ? std::move(fresh[0]) : continued(o.out, resume.keepBytes);
  if (resume.fresh && !o.json) {
    out->WriteLine(SummaryHeader(study.generator));
    out->Flush();
  }
  if (!o.testsOut.empty()) {
    tests = freshTests ? std::move(fresh[1]) : continued(o.testsOut, start.keepTests);
    if (freshTests) {
      tests->WriteLine(TestsHeader());
      start.keepTests = TestsHeader().size() + 1;
    }
  }

  FileSink sink(*out, tests.get(), start.keepTests, plots ? &*plots : nullptr);
  StudyRunOptions run;
  run.format = o.json ? RowFormat::Json : RowFormat::Csv;
  run.tests = tests != nullptr;
  run.jobs = Threads(start.order.jobs);
  // Any problem leaves the study unfinished in its files.
  bool whole = true, pipeClosed = false;
  const auto step = [&](auto&& work) {
    const std::optional<ErrorKind> problem = ReportedStep(job.report, work);
    if (!problem) return;
    whole = false;
    pipeClosed |= problem == ErrorKind::BrokenPipe;
  };
  step([&] {
    if (RunStudy(study, {start.order.shard, resume.complete}, run, sink, job.context) == Ending::Completed) return;
    whole = false;
    const bool console = o.out == "-";
    ReportStop(job,
               (console ? std::string("the output") : o.out) + " holds " +
                   Plural(resume.complete + sink.Conditions(), "complete condition", "complete conditions") +
                   (console ? "" : " (go on with --resume)"));
  });
  for (OutputFile* f : {out.get(), tests.get()})
    if (f != nullptr) step([f] { f->Close(); });
  // The test rows of a condition left unfinished go, so that the two files hold the same
  // conditions.
  if (!whole && tests && o.testsOut != "-") {
    std::error_code ec;
    fs::resize_file(o.testsOut, sink.CommittedTestBytes(), ec);
  }
  if (whole && !resume.fresh && sink.Conditions() == 0)
    job.report.Note(o.out + " already held every condition of the study" +
                    (start.order.shard.count > 1 ? " (shard " + Find(o.settings, setting::shard)->text + ")" : std::string()));
  // The plots show whole studies (or whole shards) only.
  if (plots && whole)
    DrawPlots(*plots, o.plot, job);
  else if (plots && !pipeClosed)
    job.report.Note("--plot: no plots drawn, as the study is not complete");
}

void PlanStudyFiles(const PlanRequest& p, FileJob& job) {
  std::vector<NamedFile> read;
  for (const std::string& file : p.files) read.push_back({"the pilot study", file});
  CheckOutputs({{"--out", p.out}}, read, job.console);
  if (p.target.empty()) throw UsageError("--target: give the Monte Carlo SE wanted, as coverage=0.005 or bias=0.001");
  const std::vector<PlanTarget> targets = ParsePlanTargets(p.target);
  // Every pilot is read before the plan is written: a row it cannot read writes nothing.
  std::string text(PlanHeader());
  text.push_back('\n');
  for (const std::string& file : p.files) {
    std::ifstream in = OpenInput(file);
    for (const ReplicationPlan& plan : PlanReplications(in, file, targets)) AppendPlanRow(text, plan);
  }
  const OutputLocks locks({p.out});
  std::vector<std::unique_ptr<OutputFile>> out = OpenOutputs({p.out}, job.out);
  out[0]->Write(text);
  out[0]->Close();
}

void MergeStudyFiles(const MergeRequest& m, FileJob& job) {
  std::vector<NamedFile> read;
  for (const std::string& file : m.files) read.push_back({"also one of the files to merge", file});
  CheckOutputs(Outputs({{"--out", m.out}}, m.plot), read, job.console);
  CheckPlotsCanBeDrawn(m.plot, job.drawing);
  std::vector<std::ifstream> streams;
  streams.reserve(m.files.size());
  std::vector<StudyInput> inputs;
  const OutputLocks locks({m.out});
  for (const std::string& file : m.files) {
    streams.push_back(OpenInput(file));
    inputs.push_back({file, &streams.back()});
  }
  CheckPlotFolder(m.plot);
  // The output is staged when the first text is ready, which is after every check, and takes
  // its name once whole. The plots read the merged rows as they are written; a row they
  // cannot read (a cell edited by hand) leaves the merged output whole and draws no plots.
  std::unique_ptr<StagedOutput> out;
  std::optional<StudyPlotData> plots;
  if (!m.plot.prefix.empty()) plots.emplace();
  std::string plotError;
  MergeStudyOutputs(inputs, [&](std::string_view text) {
    if (!out) out = std::make_unique<StagedOutput>(m.out, job.out);
    out->File().Write(text);
    if (!plots || !plotError.empty()) return;
    try {
      plots->AddRows(text);
    } catch (const StudyInputError& e) {
      plotError = e.what();
    }
  });
  if (out) out->Commit();
  if (!plotError.empty()) throw JobError(ErrorKind::Failed, "--plot: no plots drawn: " + plotError);
  if (plots) DrawPlots(*plots, m.plot, job);
}

}  // namespace veltrano::jobs
