#pragma once
// The rows a study writes: one row per condition and estimator with the measures
// (CSV with a header, or one JSON object per line), and, when asked, one CSV row per
// test with its raw estimates.
//
// Summary columns, in this order (tools read them by name; new ones go at the end):
//   condition,n,k,do,do_star,seed,estimator,replications,defined,mean,bias,bias_mcse,
//   emp_se,emp_se_mcse,rmse,rmse_mcse,mae,mae_mcse,model_se,model_se_mcse,
//   model_se_rel_error,model_se_rel_error_mcse,wald_covered,wald_defined,wald_coverage,
//   wald_coverage_mcse,wald_width,ci_covered,ci_defined,ci_coverage,ci_coverage_mcse,
//   ci_width,study,conditions,study_seed
// condition counts from 1; seed is the condition's own seed; estimator is Du, Dc or
// DLN; the measures are those of Measures.h. study is the fingerprint of the study
// (StudyFingerprint), conditions the number of conditions of the whole study and
// study_seed the study's seed S, so that rows of different studies are never joined.
// A measure that does not apply or has no value is an empty cell (null in JSON);
// reals are written with 17 significant digits and read back as the same doubles.
//
// Test columns: condition,replication,do_star,du,se_du,ci_lower,ci_upper,dc,se_dc,dln,
// code,code2, an undefined value as an empty cell.
#include <cstdint>
#include <string>
#include <string_view>

#include "simulation/ExamResults.h"
#include "study/Measures.h"
#include "study/StudyConditions.h"

namespace veltrano {

enum class RowFormat : std::uint8_t { Csv, Json };

/// What a summary row says of its condition.
struct ConditionRecord {
  std::int64_t index = 0;
  Condition condition;
  double doStar = 0;
  std::uint32_t seed = 0;
};

/// What a summary row says of its study.
struct StudyStamp {
  std::string fingerprint;
  std::int64_t conditions = 0;
  std::uint32_t seed = 0;
};

/// The summary header line (CSV), without its line end.
std::string_view SummaryHeader();
/// The number of summary columns.
std::size_t SummaryColumnCount();

/// Appends the condition's three rows (Du, Dc, DLN), each ending in "\n". The
/// test-inversion columns apply when the study computed that interval; without a
/// stamp the study's columns are empty.
void AppendSummaryRows(std::string& out, RowFormat format, const ConditionRecord& record,
                       const ConditionSummary& summary, bool inversionInterval, const StudyStamp* stamp);

/// The identifying cells of a summary row.
struct SummaryRowKey {
  std::int64_t condition = 0;
  std::string estimator;
  std::string study;
  std::int64_t conditions = 0;
  std::uint32_t studySeed = 0;
};

/// Reads the identifying cells of a summary row (CSV without its line end, or a JSON
/// object). Raises StudyInputError saying what is wrong, without naming the file.
SummaryRowKey ParseSummaryRow(std::string_view line, RowFormat format);

/// The test header line, without its line end.
std::string_view TestsHeader();

/// Appends the row of one test, ending in "\n".
void AppendTestRow(std::string& out, std::int64_t condition, std::int64_t replication, const TestEstimates& t);

/// One test row as read back: empty cells become Nodefinido.
struct TestRow {
  std::int64_t condition = 0;
  std::int64_t replication = 0;
  TestEstimates estimates;
};

/// Reads a test row (without its line end). Raises StudyInputError.
TestRow ParseTestRow(std::string_view line);

}  // namespace veltrano
