#pragma once
// The delta model fitted to every examinee of an answer sheet (ResponseSheet.h), and to
// the pooled table of all of them.
//
// Each examinee's marks are tallied into a k × k table (row = the key's position, column
// = the marked one; omitted items left out, since the model has no omissions) and that
// table is analysed exactly as `analyse` analyses a table given as text: the same
// AnalysisSettings, the same ConfigureAnalysis. The pooled row, ALL, is the analysis of
// the sum of every examinee's table.
//
// Nothing here knows of consoles or files: the caller formats each result (on the worker
// thread that analysed it) and takes the results in input order, and may stop the work
// after any of them. veltrano-batch writes CSV or JSON lines; a window can append lines
// to a pane and show progress from the bytes read.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "parallel/Ending.h"

#include "analysis/AnalysisSettings.h"
#include "sheets/ResponseSheet.h"
#include "simulation/ExamResults.h"

namespace veltrano {

/// The id of the pooled row.
inline constexpr std::string_view kPooledId = "ALL";
/// The reason given for an examinee who answered no item: there is no table to analyse.
inline constexpr std::string_view kNothingAnswered = "no item answered";
/// The header of the CSV form of the results.
inline constexpr std::string_view kSheetCsvHeader =
    "id,items,answered,omitted,right,dln,du,se_du,ci_lower,ci_upper,dc,se_dc,code,code2,error";

/// One examinee's table and its analysis (or the pooled table's).
struct ExamineeResult {
  std::string id;
  std::int64_t line = 0;       // the examinee's line on the sheet; 0 for the pooled row
  std::uint64_t offset = 0;    // bytes of the sheet read up to the end of that line
  int k = 0;
  AnswerCounts counts;
  std::vector<double> cells;   // the k × k table, row by row
  bool analysed = false;       // the analysis ran to its end: estimates hold its values
  bool failed = false;         // the analysis ended with an error, whose message is in error
  std::string error;           // that message, or why nothing was analysed (kNothingAnswered)
  TestEstimates estimates;     // Nodefinido where undefined; dln whenever an item was answered
  std::optional<tAnalisisDeltaMET> analysis;  // the executed analysis, when analysed
  std::string text;            // what the caller's format hook made of this result
  std::string tableText;       // likewise, for a second output
};

/// Analyses r.cells (k × k, r.counts its counts) with the given settings and fills r's
/// outcome: analysed with its estimates, failed with the error's message, or, for a table
/// without answers, neither, with kNothingAnswered as the reason.
void AnalyseTable(ExamineeResult& r, const AnalysisSettings& settings);

/// Appends r as one CSV row under kSheetCsvHeader (no line end): counts as integers, every
/// other number with 17 significant digits, an empty cell for a value that is undefined,
/// for the interval without settings.ci, for Dc and its SE without settings.alternative,
/// and for every estimate of a table that was not analysed. The SE of Du is given only
/// when the fitted model passed its check (HasStandardError).
void AppendSheetCsvRow(std::string& out, const ExamineeResult& r, const AnalysisSettings& settings);

/// Appends a CSV cell: the text as it stands, or quoted ("" for ") when it holds a comma, a
/// quote, a line end or blanks at either end.
void AppendCsvCell(std::string& out, std::string_view text);

/// Appends r's table in the table format `analyse` reads, after a comment line "# id", and
/// a blank line; a table without answers (which `analyse` would refuse) gives the comment
/// line alone, with the reason.
void AppendSheetTable(std::string& out, const ExamineeResult& r);

/// How a sheet is analysed.
struct SheetRun {
  AnalysisSettings analysis;
  int k = 0;     // alternatives per item, 2..10; the reader's marks must lie within it
  int jobs = 1;  // threads (the caller's among them)
  /// Called for every result on the thread that analysed it, before hand; may be empty.
  std::function<void(ExamineeResult&)> format;
  /// Called for every result in input order, one at a time, the pooled row last;
  /// returning false stops the work (no later examinee and no pooled row is handed on).
  std::function<bool(const ExamineeResult&)> hand;
};

/// Reads every examinee of the sheet, tallies and analyses them on run.jobs threads, and
/// hands each on in input order, then the pooled row. Memory stays flat: a few rows are
/// in flight at a time. Raises the SheetFormatError of the first bad row in input order,
/// after handing on the rows before it; errors of format and hand end the work and reach
/// the caller.
Ending AnalyseSheet(SheetReader& reader, const SheetRun& run);

/// How often ScanSheet reports its progress: once every this many rows.
inline constexpr int kScanReportRows = 256;

/// Where a scan stands: called with the bytes of the sheet read so far; returning false
/// stops the scan.
using ScanProgress = std::function<bool(std::uint64_t bytesRead)>;

/// Reads every row of the sheet and checks it without analysing anything; returns the
/// number of alternatives the sheet calls for: the reader's k, or without one the largest
/// alternative in the key (at least kMinAlternatives), beyond which no mark may lie. progress, when given, is called every kScanReportRows
/// rows; when it returns false the scan stops and the result is empty.
std::optional<int> ScanSheet(SheetReader& reader, const ScanProgress& progress = {});

/// A position that the examinees' guesses favour far above 1/k.
struct FavouredPosition {
  int position = 0;     // 1..k
  double wrong = 0;     // wrong answers that fell on it
  double expected = 0;  // the wrong answers even guessing (pi_j = 1/k) would give it
  double z = 0;         // (wrong − expected) in standard deviations under even guessing
};

/// The positions of a table (k × k, row by row) that draw far more wrong answers than
/// even guessing would; see SheetAnalysis.cpp for the test.
std::vector<FavouredPosition> FavouredPositions(const std::vector<double>& cells, int k);

/// The level of that test: the chance that even guessing makes any position look favoured.
inline constexpr double kFavouredLevel = 0.001;

}  // namespace veltrano
