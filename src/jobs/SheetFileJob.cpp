#include "jobs/SheetFileJob.h"

#include <filesystem>

#include "jobs/AnalysisJson.h"
#include "jobs/OutputFile.h"
#include "jobs/Settings.h"
#include "jobs/SheetJob.h"
#include "numeric/NumStr.h"
#include "parallel/Jobs.h"

namespace veltrano::jobs {

namespace fs = std::filesystem;

namespace {

// The outputs must not be the files read, nor each other.
void CheckSheetOutputs(const SheetRequest& o, const std::optional<platform::FileId>& console) {
  CheckOutputs({{"--out", o.out}, {"--tables", o.tables}},
               {{"the sheet being read", o.responses}, {"the key file", o.keyFile}}, console);
}

}  // namespace

void AnalyseSheetFile(const SheetRequest& o, FileJob& job) {
  // The key, the outputs' names and the sheet are checked before anything is written.
  CheckSheetOutputs(o, job.console);
  const OutputLocks locks({o.out, o.tables});
  GivenSettings given;
  if (!o.key.empty()) given["key"] = {o.key};
  if (!o.keyFile.empty()) given["key-file"] = {o.keyFile};
  if (o.k != 0) given["k"] = {std::to_string(o.k)};
  SheetOrder order = OrderSheet(given);
  order.analysis = o.analysis;
  order.jobs = o.jobs;
  SheetSource source(o.responses, job.in);

  // The outputs are staged once the sheet is found good (when it is read twice).
  std::optional<StagedOutput> out;
  std::unique_ptr<StagedOutput> tables;
  SheetRows rows;
  rows.begin = [&](int) {
    out.emplace(o.out, job.out);
    if (!o.tables.empty()) tables = std::make_unique<StagedOutput>(o.tables, job.out);
    if (!o.json) out->File().WriteLine(kSheetCsvHeader);
  };
  const bool withTables = !o.tables.empty();
  rows.format = [&](ExamineeResult& r) {
    if (o.json)
      r.text = ResultJson(r, o.analysis).dump();
    else
      AppendSheetCsvRow(r.text, r, o.analysis);
    if (withTables) AppendSheetTable(r.tableText, r);
  };
  rows.hand = [&](const ExamineeResult& r) {
    out->File().WriteLine(r.text);
    if (tables) tables->File().Write(r.tableText);
  };
  const SheetOutcome outcome = AnalyseSheetJob(source, order, false, rows, job.context);
  const Ending end = outcome.ending;
  if (end == Ending::Stopped) {
    // A stopped analysis leaves the old results as they were: what it wrote is kept apart.
    std::string kept;
    for (StagedOutput* staged : {out ? &*out : nullptr, tables.get()}) {
      if (staged == nullptr) continue;
      const std::string partial = staged->Keep();
      if (!partial.empty())
        kept += (kept.empty() ? "" : "; ") + partial + " (" + staged->Path() + " is unchanged)";
    }
    job.report.Problem(StoppedProblem(job.context.StopSignal(),
                                      kept.empty() ? "the outputs hold the examinees analysed so far"
                                                   : "the examinees analysed so far are in " + kept));
    return;
  }
  out->Commit();
  if (tables) tables->Commit();
  for (const std::string& line : outcome.favoured) job.report.Note(line);
  if (outcome.failed > 0) job.report.Problem(JobProblem{});
}

}  // namespace veltrano::jobs
