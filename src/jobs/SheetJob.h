#pragma once
// The analysis of an answer sheet, in memory: the sheet's rows in (a SheetReader over any
// stream), one result per examinee out, in input order, then the pooled row. The
// examinees are analysed on the job's threads; a stop request ends the work after the
// examinee handed on, and progress goes to the job's sink as the results are handed on.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jobs/AnalyseJob.h"  // JobEnd
#include "jobs/JobControl.h"
#include "sheets/SheetAnalysis.h"

namespace veltrano::jobs {

/// Reads, analyses and hands on every examinee of the reader's sheet, then the pooled row,
/// as AnalyseSheet does (sheets/SheetAnalysis.h: run's hooks, errors), and ends after the
/// examinee handed on when the job's stop token asks. bytesTotal, the sheet's size when
/// known (0 otherwise), goes into the progress reports.
JobEnd AnalyseSheetRows(SheetReader& reader, const SheetRun& run, const JobContext& job,
                        std::uint64_t bytesTotal = 0);

/// Reads every row of the sheet and checks it without analysing anything; returns the
/// number of alternatives the sheet calls for (ScanSheet), or nothing when a stop request
/// ended the reading. Progress goes to the job's sink every few hundred rows.
std::optional<int> CheckSheetRows(SheetReader& reader, const JobContext& job, std::uint64_t bytesTotal = 0);

/// How a sheet's analysis came out, as one line for a status display: "200 examinees
/// analysed, 3 absent, 1 failed (see their error cells); guessing favours position 3 (C):
/// ...", the favoured positions as FavouredLine words them.
std::string SheetOutcome(std::int64_t examinees, std::int64_t absent, std::int64_t failed,
                         const std::vector<std::string>& favoured);

}  // namespace veltrano::jobs
