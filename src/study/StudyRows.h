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
// and, in the rows of a study drawn from the philox generator only, a last column
//   generator                                       (always "philox")
// so that an lcg study's rows are those written before there was a choice of generator.
// condition counts from 1; seed is the seed `simulate --seed` repeats the condition's tests
// with: an lcg condition's own seed, or a philox study's seed S (with `--condition`);
// estimator is Du, Dc or DLN; the measures are those of Measures.h. study is the
// fingerprint of the study (StudyFingerprint), conditions the number of conditions of the
// whole study and study_seed the study's seed S, so that rows of different studies are
// never joined.
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
#include "study/StudyGenerator.h"

namespace veltrano {

enum class RowFormat : std::uint8_t { Csv, Json };

/// What a summary row says of its condition.
struct ConditionRecord {
  std::int64_t index = 0;
  Condition condition;
  double doStar = 0;
  std::uint64_t seed = 0;
};

/// What a summary row says of its study.
struct StudyStamp {
  std::string fingerprint;
  std::int64_t conditions = 0;
  std::uint64_t seed = 0;
  StudyGenerator generator = StudyGenerator::Lcg;
};

/// The summary header line (CSV) of a study drawn from the generator, without its line
/// end; without an argument, that of an lcg study (and of a run's summary).
std::string_view SummaryHeader(StudyGenerator generator = StudyGenerator::Lcg);
/// The number of summary columns of such a study.
std::size_t SummaryColumnCount(StudyGenerator generator = StudyGenerator::Lcg);

/// Appends the condition's three rows (Du, Dc, DLN), each ending in "\n". The
/// test-inversion columns apply when the study computed that interval; without a
/// stamp the study's columns are empty (and there is no generator column).
void AppendSummaryRows(std::string& out, RowFormat format, const ConditionRecord& record,
                       const ConditionSummary& summary, bool inversionInterval, const StudyStamp* stamp);

/// The identifying cells of a summary row.
struct SummaryRowKey {
  std::int64_t condition = 0;
  std::string estimator;
  std::int64_t replications = 0;
  std::string study;
  std::int64_t conditions = 0;
  std::uint64_t studySeed = 0;
  StudyGenerator generator = StudyGenerator::Lcg;  // philox when the row has the column
  // The condition's cells, each within its range and consistent with the others: do_star
  // is Do* of n and Do, and seed the one the condition's tests are drawn from.
  Condition values;
  double doStar = 0;
  std::uint64_t seed = 0;
};

/// The summary column at a place (from 0), for messages: "column 5 (do_star)".
std::string SummaryColumnName(std::size_t index);

/// Reads the identifying cells of a summary row (CSV without its line end, or a JSON
/// object): a row of either generator, told apart by the generator column. Checks the
/// condition's cells against each other and every measure cell as a number (or empty).
/// Raises StudyInputError saying what is wrong and in which column, without naming the
/// file.
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
