#include "jobs/SheetJob.h"

namespace veltrano::jobs {

JobEnd AnalyseSheetRows(SheetReader& reader, const SheetRun& run, const JobContext& job,
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
  return AnalyseSheet(reader, sheet) == SheetEnd::Completed ? JobEnd::Completed : JobEnd::Stopped;
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

std::string SheetOutcome(std::int64_t examinees, std::int64_t absent, std::int64_t failed,
                         const std::vector<std::string>& favoured) {
  std::string text = std::to_string(examinees) + (examinees == 1 ? " examinee analysed" : " examinees analysed");
  if (absent > 0) text += ", " + std::to_string(absent) + " absent";
  if (failed > 0) text += ", " + std::to_string(failed) + " failed (see their error cells)";
  for (const std::string& line : favoured) text += "; " + line;
  return text;
}

}  // namespace veltrano::jobs
