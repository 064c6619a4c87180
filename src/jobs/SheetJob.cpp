#include "jobs/SheetJob.h"

#include "jobs/JobError.h"

namespace veltrano::jobs {

SheetOrder OrderSheet(const GivenSettings& given) {
  CheckKnown(given, {std::begin(kSheetSettings), std::end(kSheetSettings)});
  SheetOrder order;
  order.analysis = AnalysisOf(given);
  order.k = static_cast<int>(ValueOf(given, setting::sheetK, 0));
  order.jobs = static_cast<int>(ValueOf(given, setting::jobCount, 0));
  const Given* key = Find(given, "key");
  const Given* keyFile = Find(given, "key-file");
  if (key != nullptr && keyFile != nullptr)
    throw UsageError("key", "give the key either as text or in a file (" + Named("key-file") + "), not both");
  if (key != nullptr) order.key = ParseAnswerKey(key->text);
  if (keyFile != nullptr) order.key = ReadAnswerKeyFile(keyFile->text);
  if (order.key) CheckKeyAlternatives(*order.key, order.k);
  return order;
}

std::string SheetOutcome::Line() const {
  std::string text = std::to_string(examinees) + (examinees == 1 ? " examinee analysed" : " examinees analysed");
  if (absent > 0) text += ", " + std::to_string(absent) + " absent";
  if (failed > 0) text += ", " + std::to_string(failed) + " failed (see their error cells)";
  for (const std::string& line : favoured) text += "; " + line;
  return text;
}

SheetOutcome AnalyseSheetJob(SheetSource& sheet, const SheetOrder& order, bool checkFirst, const SheetRows& rows,
                             const JobContext& job) {
  SheetOutcome outcome;
  const AnswerKey* key = order.key ? &*order.key : nullptr;
  outcome.k = order.k;
  if (order.k == 0 || checkFirst) {
    const std::optional<int> k = sheet.Check(key, order.k, job);
    if (!k) {
      outcome.ending = Ending::Stopped;
      return outcome;
    }
    outcome.k = *k;
  }
  if (rows.begin) rows.begin(outcome.k);
  SheetRun run;
  run.analysis = order.analysis;
  run.k = outcome.k;
  run.jobs = Threads(order.jobs);
  run.format = rows.format;
  run.hand = [&](const ExamineeResult& r) {
    rows.hand(r);
    if (r.line != 0) {
      ++outcome.examinees;
      outcome.absent += r.counts.answered == 0;
      outcome.failed += r.failed;
    } else {
      for (const FavouredPosition& f : FavouredPositions(r.cells, r.k)) outcome.favoured.push_back(FavouredLine(f, r));
    }
    return true;
  };
  outcome.ending = sheet.Analyse(key, run, job);
  return outcome;
}

Ending AnalyseSheetRows(SheetReader& reader, const SheetRun& run, const JobContext& job,
                        std::uint64_t bytesTotal) {
  const StopToken::Listen listening(job.stop);
  SheetRun sheet = run;
  SheetProgress progress;
  progress.bytesTotal = bytesTotal;
  sheet.hand = [&](const ExamineeResult& r) {
    const bool go = run.hand(r);
    if (r.line != 0) ++progress.examinees;
    progress.bytesRead = r.offset;
    if (job.progress != nullptr) job.progress->Sheet(progress);
    return go && !job.StopRequested();  // the work ends after the examinee handed on
  };
  return AnalyseSheet(reader, sheet);
}

std::optional<int> CheckSheetRows(SheetReader& reader, const JobContext& job, std::uint64_t bytesTotal) {
  SheetProgress progress;
  progress.checking = true;
  progress.bytesTotal = bytesTotal;
  return ScanSheet(reader, [&](std::uint64_t bytesRead) {
    if (job.StopRequested()) return false;
    progress.bytesRead = bytesRead;
    if (job.progress != nullptr) job.progress->Sheet(progress);
    return true;
  });
}

}  // namespace veltrano::jobs
