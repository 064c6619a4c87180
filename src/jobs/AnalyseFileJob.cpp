#include "jobs/AnalyseFileJob.h"

#include <fstream>
#include <memory>

#include "jobs/AnalyseJob.h"
#include "jobs/AnalysisJson.h"
#include "jobs/InputFile.h"
#include "jobs/OutputFile.h"
#include "jobs/Settings.h"
#include "parallel/Jobs.h"

namespace veltrano::jobs {

void AnalyseTablesFile(const AnalyseRequest& o, FileJob& job) {
  const bool fromConsole = o.input == "-";
  const std::string inputName = fromConsole ? "standard input" : o.input;
  std::ifstream file;
  if (!fromConsole) file = OpenInput(o.input);
  // The input is read twice, one table at a time: first to find a malformed table before
  // anything is written, then to analyse. What cannot be read twice (standard input, a
  // pipe named as a file) is copied to a temporary file first. Memory stays flat however
  // many tables.
  std::unique_ptr<InputSpool> spool;
  const auto readFailure = [&inputName](const std::exception& e) { return ReadError(inputName, e.what()); };
  try {
    if (fromConsole || !CanReadAgain(o.input)) {
      spool = std::make_unique<InputSpool>();
      spool->CopyAll(fromConsole ? job.in : file);
    }
    TableReader check(spool ? spool->Reader() : file);
    while (check.Next()) {
    }
    if (!spool) {
      file.clear();
      if (!file.seekg(0)) throw std::runtime_error("cannot read it a second time");
    }
  } catch (const TableFormatError& e) {
    throw InputError(inputName + ": " + e.what(), inputName, e.what(), e.line());
  } catch (const JobError&) {
    throw;
  } catch (const std::exception& e) {
    throw readFailure(e);
  }

  // Each table is read in order, analysed on any thread and written in order.
  bool failed = false;
  ReportedStep(job.report, [&] {
    OutputFile out("-", job.out);
    if (!o.json) {
      tAnalisisDeltaMET a;
      ConfigureAnalysis(a, o.analysis);
      out.WriteLine(a.output_Header());
    }
    TableReader reader(spool ? spool->Reader() : file);
    AnalyseTablesRun run;
    run.analysis = o.analysis;
    run.jobs = Threads(o.jobs);
    run.next = [&](ObservedTable& t) {
      try {
        std::optional<ObservedTable> next = reader.Next();
        if (!next) return false;
        t = std::move(*next);
        return true;
      } catch (const JobError&) {
        throw;
      } catch (const std::exception& e) {
        throw readFailure(e);
      }
    };
    run.format = [&o](TableResult& r) {
      r.text.clear();
      if (o.json) {
        nlohmann::ordered_json object;
        object["table"] = r.table.number;
        if (r.failed)
          object["error"] = r.error;
        else
          object.update(AnalysisJson(*r.analysis, r.dln));
        r.text = object.dump();
      } else if (r.failed) {
        r.text = "error: " + r.error;
      } else {
        r.analysis->AppendRecord(r.text);
      }
    };
    run.hand = [&](const TableResult& r) {
      out.WriteLine(r.text);
      failed |= r.failed;
    };
    const Ending end = AnalyseTables(run, job.context);
    out.Close();
    if (failed) job.report.Problem(JobProblem{});
    if (end == Ending::Stopped)
      job.report.Problem(StoppedProblem(job.context.StopSignal(), "the output holds the tables analysed so far"));
  });
}

}  // namespace veltrano::jobs
