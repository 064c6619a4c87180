#pragma once
// The analysis of observed tables, from a file (or standard input) to standard output: the
// record header once and one record line per table, or one JSON object per table.
#include <string>

#include "analysis/AnalysisSettings.h"
#include "jobs/FileJob.h"

namespace veltrano::jobs {

struct AnalyseRequest {
  std::string input = "-";    // a file, or "-" for standard input
  AnalysisSettings analysis;  // the window's analysis settings and defaults
  bool json = false;          // one JSON object per table instead of the record lines
  int jobs = 0;               // threads; 0 every core
};

/// Analyses the tables of the input one at a time, on every core, and writes in their order
/// the record header once and one record line per table, or one JSON object per table. The
/// input is checked whole before anything is written (a malformed table raises InputError
/// and nothing is written; standard input and pipes are copied to a temporary file for
/// that). A table whose analysis fails gives an "error:" line (or {"table": t, "error":
/// ...}), the next table is still analysed, and a quiet problem of kind Failed is reported.
/// Memory stays flat however many tables.
void AnalyseTablesFile(const AnalyseRequest& request, FileJob& job);

}  // namespace veltrano::jobs
