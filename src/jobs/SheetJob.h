#pragma once
// The analysis of an answer sheet, in memory: the sheet's rows in (a SheetSource), one
// result per examinee out, in input order, then the pooled row. The examinees are analysed
// on the job's threads; a stop request ends the work after the examinee handed on, and
// progress goes to the job's sink as the results are handed on.
//
// One composition for every front end: the command line's files, the window's pane, the
// Python and R frames and the browser's page all analyse a sheet through AnalyseSheetJob,
// which reads it (checking it first where it must), counts the examinees, the absent and
// the failed, and finds the positions guesses favour on the pooled table.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/AnalysisSettings.h"
#include "jobs/JobControl.h"
#include "jobs/Settings.h"
#include "jobs/SheetSource.h"
#include "sheets/SheetAnalysis.h"

namespace veltrano::jobs {

/// The settings a sheet's analysis takes: the key given apart (as text or in a file), k,
/// the analysis, the threads.
inline constexpr std::string_view kSheetSettings[] = {"key",      "key-file",       "k",        "ci",
                                                      "tolerance", "max-iterations", "decimals", "alternative",
                                                      "jobs"};

/// A sheet's analysis as a user asked for it, checked.
struct SheetOrder {
  std::optional<AnswerKey> key;  // given apart; none: the sheet's KEY row
  int k = 0;                     // alternatives per item; 0: the largest in the key and the marks
  AnalysisSettings analysis;
  int jobs = 0;                  // threads; 0 every core
};

/// The analysis the given settings ask for; a setting not given takes its default (Dc
/// always computed). Raises UsageError naming the setting whose value breaks its rule, or
/// a key that names an alternative beyond k; ReadError and InputError for a key file.
SheetOrder OrderSheet(const GivenSettings& given);

/// Where a sheet's results go: begin is called once the sheet is found good (when it is
/// checked first) and before the first result, with the alternatives per item (may be
/// empty); format makes a result's text on the thread that analysed it (may be empty);
/// hand takes every result in input order, the pooled row (line 0) last.
struct SheetRows {
  std::function<void(int k)> begin;
  std::function<void(ExamineeResult&)> format;
  std::function<void(const ExamineeResult&)> hand;
};

/// How a sheet's analysis came out.
struct SheetOutcome {
  int k = 0;                          // the alternatives per item it used
  std::int64_t examinees = 0;         // handed on, the pooled row not among them
  std::int64_t absent = 0;            // of them, those who answered no item
  std::int64_t failed = 0;            // of them, those whose analysis failed
  std::vector<std::string> favoured;  // the positions guesses favour on the pooled table (FavouredLine)
  Ending ending = Ending::Completed;

  /// One line for a status display: "200 examinees analysed, 3 absent, 1 failed (see their
  /// error cells); guessing favours position 3 (C): ...".
  std::string Line() const;
};

/// Analyses the sheet as the order asks: first reads every row to check it and find k
/// when the order gives no k (or checkFirst asks for it), so that a bad sheet is refused
/// before anything is handed on; then analyses every examinee and the pooled table and
/// hands them to rows. Raises InputError naming the sheet, line and column of a bad row
/// (NoKeyError when an examinee comes before any key), ReadError; a stop request ends it
/// after the examinee handed on (ending Stopped).
SheetOutcome AnalyseSheetJob(SheetSource& sheet, const SheetOrder& order, bool checkFirst, const SheetRows& rows,
                             const JobContext& job);

/// Reads, analyses and hands on every examinee of the reader's sheet, then the pooled row,
/// as AnalyseSheet does (sheets/SheetAnalysis.h: run's hooks, errors), and ends after the
/// examinee handed on when the job's stop token asks. bytesTotal, the sheet's size when
/// known (0 otherwise), goes into the progress reports.
Ending AnalyseSheetRows(SheetReader& reader, const SheetRun& run, const JobContext& job,
                        std::uint64_t bytesTotal = 0);

/// Reads every row of the sheet and checks it without analysing anything; returns the
/// number of alternatives the sheet calls for (ScanSheet), or nothing when a stop request
/// ended the reading. Progress goes to the job's sink every few hundred rows.
std::optional<int> CheckSheetRows(SheetReader& reader, const JobContext& job, std::uint64_t bytesTotal = 0);

}  // namespace veltrano::jobs
