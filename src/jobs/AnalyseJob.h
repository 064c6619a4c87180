#pragma once
// The analysis of observed tables, in memory: tables in, one executed analysis per table
// out, in the tables' order. The tables are analysed on the job's threads; each result is
// formatted on the thread that analysed it and handed on in order, one at a time.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "analysis/AnalysisSettings.h"
#include "jobs/JobControl.h"
#include "jobs/TableReader.h"
#include "simulation/ExamResults.h"

namespace veltrano::jobs {

/// One table and the outcome of its analysis.
struct TableResult {
  ObservedTable table;
  std::optional<tAnalisisDeltaMET> analysis;  // executed, when it ran to its end
  double dln = Nodefinido;  // D Lord & Novick, given whatever became of the analysis
  TestEstimates estimates;  // the analysis's estimates (Do* 0), when it ran to its end
  bool failed = false;      // the analysis raised an error, whose message is in error
  std::string error;
  std::string text;         // what the format hook made of it
};

/// Fills r from r.table: its analysis with the settings, D Lord & Novick, or the error.
void AnalyseObservedTable(TableResult& r, const AnalysisSettings& settings);

struct AnalyseTablesRun {
  AnalysisSettings analysis;
  int jobs = 1;  // threads (the caller's among them)
  /// Gives the next table, or false when there is none; called in order, one at a time.
  std::function<bool(ObservedTable&)> next;
  /// Called for every result on the thread that analysed it, before hand; may be empty.
  std::function<void(TableResult&)> format;
  /// Called for every result in the tables' order, one at a time.
  std::function<void(const TableResult&)> hand;
};

enum class JobEnd : std::uint8_t { Completed, Stopped };

/// Analyses every table `next` gives. A stop request ends the work after the table handed
/// on; errors of next, format and hand end it and reach the caller. Memory stays flat: a
/// few tables are in flight at a time.
JobEnd AnalyseTables(const AnalyseTablesRun& run, const JobContext& job);

}  // namespace veltrano::jobs
