#pragma once
// The analysis of observed tables, in memory: tables in, one executed analysis per table
// out, in the tables' order. The tables are analysed on the job's threads; each result is
// formatted on the thread that analysed it and handed on in order, one at a time.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/AnalysisSettings.h"
#include "jobs/JobControl.h"
#include "jobs/Settings.h"
#include "jobs/TableReader.h"
#include "parallel/Ending.h"
#include "simulation/ExamResults.h"

namespace veltrano::jobs {

/// The settings an analysis of tables takes: the interval, the iterations, the threads.
inline constexpr std::string_view kAnalyseSettings[] = {"ci", "tolerance", "max-iterations", "jobs"};

/// An analysis of tables as a user asked for it, checked: Dc always computed.
struct AnalysisOrder {
  AnalysisSettings analysis;
  int jobs = 0;  // threads; 0 every core
};

/// The analysis the given settings ask for; a setting not given takes its default. Raises
/// UsageError naming a setting whose value breaks its rule, or that no analysis takes.
AnalysisOrder OrderAnalysis(const GivenSettings& given);

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

/// Analyses every table `next` gives. A stop request ends the work after the table handed
/// on; errors of next, format and hand end it and reach the caller. Memory stays flat: a
/// few tables are in flight at a time.
Ending AnalyseTables(const AnalyseTablesRun& run, const JobContext& job);

}  // namespace veltrano::jobs
