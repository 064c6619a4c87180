#pragma once
// Answer sheets from files: the sheet (or standard input) opened and read twice, once to
// check every row and find the number of alternatives, once to analyse every examinee; the
// key given apart read from a file or from its own text; the results written as CSV rows or
// JSON objects, and each examinee's table, to outputs that appear only when the whole sheet
// was good. The window reads its sheets through the same SheetSource.
//
// k. Without k the sheet is read twice: once to check it and find the largest alternative
// in the key and the marks (what cannot be read again, such as standard input or a pipe, is
// copied to a temporary file meanwhile), then to analyse it. Any bad row is then found
// before anything is written. With k the sheet is read once, as a stream: output begins
// before the end of the sheet (standard output cannot be taken back: a bad row then ends it
// early, after the rows before it).
#include <cstdint>
#include <fstream>
#include <sstream>
#include <memory>
#include <optional>
#include <string>

#include "jobs/FileJob.h"
#include "jobs/InputFile.h"
#include "jobs/SheetJob.h"
#include "jobs/SheetSource.h"

namespace veltrano::jobs {

struct SheetRequest {
  std::string responses = "-";  // the sheet, or "-" for standard input
  std::string key;              // the key itself; "" none
  std::string keyFile;          // a file holding the key; "" none (neither: the sheet's KEY row)
  int k = 0;                    // alternatives per item, 2..10; 0: from the key and the marks
  std::string out = "-";        // the results; "-" standard output
  std::string tables;           // each examinee's table in analyse's format; "" none, "-" standard output
  int jobs = 0;                 // threads; 0 every core
  AnalysisSettings analysis;    // decimals reach only the record in the JSON objects
  bool json = false;            // JSON objects instead of CSV rows
};

/// Analyses the sheet into its outputs: the CSV header kSheetCsvHeader and one row per
/// examinee in input order, then the pooled row ALL; or, with json, one object per line with
/// the same keys (null where undefined) and, for an analysed table, every field of `analyse
/// --json`. Notes name each position the examinees' guesses favour far above 1/k (the test
/// of FavouredPositions, on the pooled table). An examinee whose analysis failed (its error
/// cell says why) is reported as a quiet problem of kind Failed; the others are analysed.
void AnalyseSheetFile(const SheetRequest& request, FileJob& job);

}  // namespace veltrano::jobs
