#pragma once
// veltrano-batch analyse --responses: the delta model for every examinee of a real exam's
// answer sheet (sheets/ResponseSheet.h for the sheet, sheets/SheetAnalysis.h for the analysis).
//
// Output: the CSV header kSheetCsvHeader and one row per examinee in input order, then the
// pooled row ALL; or, with json, one object per line with the same keys (null where
// undefined) and, for an analysed table, every field `analyse --json` gives. A line on
// standard error names each position the examinees' guesses favour far above 1/k (the
// test of FavouredPositions, on the pooled table).
//
// k. Without k the sheet is read twice: once to check it and find the largest
// alternative in the key and the marks (standard input, or a file that cannot be read
// again such as a pipe, is copied to a temporary file meanwhile), then to analyse it. Any
// bad row is then found before anything is written.
// With k the sheet is read once, as a stream: output begins before the end of the sheet.
//
// Outputs and bad input. A file given to out or tables is written beside its name and
// renamed to it only at the end, so a sheet refused half-way (status 2) leaves nothing
// written (and an existing file untouched). A file replaced so keeps its permissions and,
// where the process may give them, its owner and group. Standard output cannot be taken back: with k
// given, a bad row ends it early, after the rows before it.
//
// Status: 0 done; 1 some examinee's analysis failed (its error cell says why; the others
// are analysed) or a file could not be read or written; 2 bad input, nothing written;
// 130 interrupted, the outputs holding the examinees analysed so far.
#include <string>

#include "analysis/AnalysisSettings.h"
#include "batch/Console.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace veltrano::batch {

struct ResponsesOptions {
  std::string responses = "-";  // the sheet, or "-" for standard input
  std::string key;              // "": the sheet's KEY row; else a key file, or the key itself
  int k = 0;                    // alternatives per item, 2..10; 0: from the key and the marks
  std::string out = "-";        // the results; "-" standard output
  std::string tables;           // each examinee's table in analyse's format; "" none, "-" standard output
  int jobs = 0;                 // threads; 0 every core
  AnalysisSettings analysis;    // decimals reach only the record in the JSON objects
  bool json = false;            // JSON objects instead of CSV rows
};

/// Adds the options of the answer sheets to `analyse` (whose own options give the
/// analysis settings and --json); the others need --responses. Returns --responses.
CLI::Option* AddResponsesOptions(CLI::App& analyse, ResponsesOptions& o);

/// Analyses the sheet as described above; returns the exit status.
int AnalyseResponses(const ResponsesOptions& options, Console& console);

}  // namespace veltrano::batch
