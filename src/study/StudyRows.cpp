#include "study/StudyRows.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "numeric/DoubleChars.h"
#include "numeric/NumStr.h"
#include "simulation/ExamSimulator.h"
#include "simulation/RunSettings.h"

namespace veltrano {
namespace {

constexpr std::string_view kSummaryHeader =
    "condition,n,k,do,do_star,seed,estimator,replications,defined,mean,bias,bias_mcse,emp_se,emp_se_mcse,rmse,"
    "rmse_mcse,mae,mae_mcse,model_se,model_se_mcse,model_se_rel_error,model_se_rel_error_mcse,wald_covered,"
    "wald_defined,wald_coverage,wald_coverage_mcse,wald_width,ci_covered,ci_defined,ci_coverage,ci_coverage_mcse,"
    "ci_width,study,conditions,study_seed";
constexpr std::string_view kTestsHeader = "condition,replication,do_star,du,se_du,ci_lower,ci_upper,dc,se_dc,dln,code,code2";

constexpr std::string_view kPhiloxSummaryHeader =
    "condition,n,k,do,do_star,seed,estimator,replications,defined,mean,bias,bias_mcse,emp_se,emp_se_mcse,rmse,"
    "rmse_mcse,mae,mae_mcse,model_se,model_se_mcse,model_se_rel_error,model_se_rel_error_mcse,wald_covered,"
    "wald_defined,wald_coverage,wald_coverage_mcse,wald_width,ci_covered,ci_defined,ci_coverage,ci_coverage_mcse,"
    "ci_width,study,conditions,study_seed,generator";

// The columns of a philox study's rows; an lcg study's are all but the last.
const std::vector<std::string_view>& SummaryColumns() {
  static const std::vector<std::string_view> columns = SplitAt(kPhiloxSummaryHeader, ',');
  return columns;
}

// One cell of a summary row.
struct Cell {
  enum class Kind : std::uint8_t { Empty, Whole, Unsigned, Real, Text } kind = Kind::Empty;
  std::int64_t whole = 0;
  std::uint64_t unsignedWhole = 0;
  double real = 0;
  std::string_view text;
};

Cell Whole(std::int64_t v) { return {Cell::Kind::Whole, v, 0, 0, {}}; }
Cell Unsigned(std::uint64_t v) { return {Cell::Kind::Unsigned, 0, v, 0, {}}; }  // a 64-bit seed
Cell Real(double v) { return std::isfinite(v) ? Cell{Cell::Kind::Real, 0, 0, v, {}} : Cell{}; }
Cell Real(const std::optional<double>& v) { return v ? Real(*v) : Cell{}; }
Cell Text(std::string_view t) { return {Cell::Kind::Text, 0, 0, 0, t}; }

template <class Whole>
void AppendWhole(std::string& out, Whole v) {
  char text[24];
  const auto r = std::to_chars(text, text + sizeof text, v);
  out.append(text, r.ptr);
}

void AppendIntervalCells(std::vector<Cell>& cells, const std::optional<IntervalMeasures>& m) {
  if (!m) {
    cells.insert(cells.end(), 5, Cell{});
    return;
  }
  cells.push_back(Whole(m->covered));
  cells.push_back(Whole(m->defined));
  cells.push_back(Real(m->coverage));
  cells.push_back(Real(m->coverageMcse));
  cells.push_back(Real(m->width));
}

void RowCells(std::vector<Cell>& cells, const ConditionRecord& r, Estimator e, const EstimatorMeasures& m,
              const StudyStamp* stamp) {
  cells.clear();
  cells.push_back(Whole(r.index));
  cells.push_back(Whole(r.condition.n));
  cells.push_back(Whole(r.condition.k));
  cells.push_back(Whole(r.condition.D));
  cells.push_back(Real(r.doStar));
  cells.push_back(Unsigned(r.seed));
  cells.push_back(Text(EstimatorName(e)));
  cells.push_back(Whole(m.replications));
  cells.push_back(Whole(m.defined));
  for (const std::optional<double>* x :
       {&m.mean, &m.bias, &m.biasMcse, &m.empSe, &m.empSeMcse, &m.rmse, &m.rmseMcse, &m.mae, &m.maeMcse, &m.modelSe,
        &m.modelSeMcse, &m.modelSeRelError, &m.modelSeRelErrorMcse})
    cells.push_back(Real(*x));
  AppendIntervalCells(cells, m.wald);
  AppendIntervalCells(cells, m.inversion);
  if (stamp != nullptr) {
    cells.push_back(Text(stamp->fingerprint));
    cells.push_back(Whole(stamp->conditions));
    cells.push_back(Unsigned(stamp->seed));
    if (stamp->generator == StudyGenerator::Philox) cells.push_back(Text(GeneratorName(stamp->generator)));
  } else {
    cells.insert(cells.end(), 3, Cell{});
  }
}

void AppendCsv(std::string& out, const std::vector<Cell>& cells) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) out.push_back(',');
    const Cell& c = cells[i];
    switch (c.kind) {
      case Cell::Kind::Empty: break;
      case Cell::Kind::Whole: AppendWhole(out, c.whole); break;
      case Cell::Kind::Unsigned: AppendWhole(out, c.unsignedWhole); break;
      case Cell::Kind::Real: AppendG17(out, c.real); break;
      case Cell::Kind::Text: out.append(c.text); break;
    }
  }
  out.push_back('\n');
}

void AppendJson(std::string& out, const std::vector<Cell>& cells) {
  nlohmann::ordered_json row = nlohmann::ordered_json::object();
  const auto& names = SummaryColumns();
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const std::string name(names[i]);
    const Cell& c = cells[i];
    switch (c.kind) {
      case Cell::Kind::Empty: row[name] = nullptr; break;
      case Cell::Kind::Whole: row[name] = c.whole; break;
      case Cell::Kind::Unsigned: row[name] = c.unsignedWhole; break;
      case Cell::Kind::Real: row[name] = c.real; break;
      case Cell::Kind::Text: row[name] = std::string(c.text); break;
    }
  }
  out.append(row.dump());
  out.push_back('\n');
}

// An undefined value is an empty cell.
void AppendValue(std::string& out, double x) {
  if (IsDefinedValue(x)) AppendG17(out, x);
}

template <class Whole>
bool ReadWhole(std::string_view text, Whole& v) {
  const char* end = text.data() + text.size();
  const auto r = FromChars(text.data(), end, v);
  return !text.empty() && r.ptr == end && r.ec == std::errc{};
}

}  // namespace

std::string_view SummaryHeader(StudyGenerator generator) {
  return generator == StudyGenerator::Philox ? kPhiloxSummaryHeader : kSummaryHeader;
}
std::size_t SummaryColumnCount(StudyGenerator generator) {
  return SummaryColumns().size() - (generator == StudyGenerator::Philox ? 0 : 1);
}

void AppendSummaryRows(std::string& out, RowFormat format, const ConditionRecord& record,
                       const ConditionSummary& summary, bool inversionInterval, const StudyStamp* stamp) {
  std::vector<Cell> cells;
  cells.reserve(SummaryColumns().size());
  for (Estimator e : kEstimators) {
    RowCells(cells, record, e, MeasuresOf(summary, e, record.doStar, inversionInterval), stamp);
    if (format == RowFormat::Csv)
      AppendCsv(out, cells);
    else
      AppendJson(out, cells);
  }
}

std::string SummaryColumnName(std::size_t index) {
  return "column " + std::to_string(index + 1) + " (" + std::string(SummaryColumns().at(index)) + ")";
}

namespace {

constexpr std::size_t kColumnN = 1, kColumnK = 2, kColumnDo = 3, kColumnDoStar = 4, kColumnSeed = 5,
                      kFirstMeasure = 8, kLastMeasure = 31;

// A real as the rows write it (17 significant digits), read back exactly.
bool ReadReal(std::string_view text, double& v) {
  const char* end = text.data() + text.size();
  const auto r = FromChars(text.data(), end, v);
  return !text.empty() && r.ptr == end && r.ec == std::errc{} && std::isfinite(v);
}

// The condition's cells of a row whose key is read: in range, and agreeing with each other.
void CheckConditionCells(SummaryRowKey& key) {
  const struct {
    std::size_t column;
    const SettingEntry& setting;
    std::int32_t value;
  } wholes[] = {{kColumnN, setting::n, key.values.n},
                {kColumnK, setting::k, key.values.k},
                {kColumnDo, setting::D0, key.values.D}};
  for (const auto& w : wholes)
    if (w.value < w.setting.min || w.value > w.setting.max)
      throw StudyInputError(SummaryColumnName(w.column) + ": " + std::to_string(w.value) +
                            " is out of range; the value must be from " + std::to_string(w.setting.min) + " to " +
                            std::to_string(w.setting.max));
  const double doStar = RealisedDegree(key.values.n, key.values.D);
  if (key.doStar != doStar) {
    std::string expected;
    AppendG17(expected, doStar);
    throw StudyInputError(SummaryColumnName(kColumnDoStar) + ": Do* of n " + std::to_string(key.values.n) + " and Do " +
                          std::to_string(key.values.D) + " is " + expected);
  }
  const std::uint64_t seed =
      key.generator == StudyGenerator::Philox
          ? key.studySeed
          : ConditionSeed(static_cast<std::uint32_t>(key.studySeed), static_cast<std::uint32_t>(key.condition));
  if (key.seed != seed)
    throw StudyInputError(SummaryColumnName(kColumnSeed) + ": " + std::to_string(key.seed) + " where condition " +
                          std::to_string(key.condition) + " of the study seeded " + std::to_string(key.studySeed) +
                          " draws from " + std::to_string(seed));
}

}  // namespace

SummaryRowKey ParseSummaryRow(std::string_view line, RowFormat format) {
  SummaryRowKey key;
  constexpr std::size_t kCondition = 0, kEstimator = 6, kReplications = 7, kStudy = 32, kConditions = 33,
                        kStudySeed = 34, kGenerator = 35;
  bool seedRead = false;
  if (format == RowFormat::Csv) {
    const std::vector<std::string_view> cells = SplitAt(line, ',');
    if (cells.size() == SummaryColumnCount(StudyGenerator::Philox)) {
      if (cells[kGenerator] != GeneratorName(StudyGenerator::Philox))
        throw StudyInputError("not a study row (its generator is \"" + std::string(cells[kGenerator]) +
                              "\"; only philox studies have the column)");
      key.generator = StudyGenerator::Philox;
    } else if (cells.size() != SummaryColumnCount(StudyGenerator::Lcg)) {
      throw StudyInputError(std::to_string(cells.size()) + " cells where a study row has " +
                            std::to_string(SummaryColumnCount(StudyGenerator::Lcg)));
    }
    seedRead = ReadWhole(cells[kStudySeed], key.studySeed);
    if (!ReadWhole(cells[kCondition], key.condition) || !ReadWhole(cells[kConditions], key.conditions) || !seedRead ||
        !ReadWhole(cells[kReplications], key.replications))
      throw StudyInputError(
          "not a study row (its condition, replications, conditions or study_seed is not a whole number)");
    key.estimator = cells[kEstimator];
    key.study = cells[kStudy];
    for (const auto& [column, value] : {std::pair(kColumnN, &key.values.n), std::pair(kColumnK, &key.values.k),
                                        std::pair(kColumnDo, &key.values.D)})
      if (!ReadWhole(cells[column], *value))
        throw StudyInputError(SummaryColumnName(column) + ": \"" + std::string(cells[column]) +
                              "\" is not a whole number");
    if (!ReadReal(cells[kColumnDoStar], key.doStar))
      throw StudyInputError(SummaryColumnName(kColumnDoStar) + ": \"" + std::string(cells[kColumnDoStar]) +
                            "\" is not a number");
    if (!ReadWhole(cells[kColumnSeed], key.seed))
      throw StudyInputError(SummaryColumnName(kColumnSeed) + ": \"" + std::string(cells[kColumnSeed]) +
                            "\" is not a whole number");
    for (std::size_t column = kFirstMeasure; column <= kLastMeasure; ++column) {
      double v = 0;
      if (!cells[column].empty() && !ReadReal(cells[column], v))
        throw StudyInputError(SummaryColumnName(column) + ": \"" + std::string(cells[column]) +
                              "\" is not a number (nor empty, for a value that does not apply)");
    }
  } else {
    const nlohmann::json row = nlohmann::json::parse(line, nullptr, false);
    const auto find = [&row](const char* name) { return row.is_object() ? row.find(name) : row.end(); };
    const auto whole = [&](const char* name, std::int64_t& v) {
      const auto it = find(name);
      if (it == row.end() || !it->is_number_integer() || (it->is_number_unsigned() && it->get<std::uint64_t>() > INT64_MAX))
        return false;
      v = it->get<std::int64_t>();
      return true;
    };
    const auto text = [&](const char* name, std::string& v) {
      const auto it = find(name);
      if (it == row.end() || !it->is_string()) return false;
      v = it->get<std::string>();
      return true;
    };
    if (row.is_discarded() || !row.is_object()) throw StudyInputError("not a JSON object");
    if (const auto seed = find("study_seed"); seed != row.end() && seed->is_number_integer() &&
                                              (seed->is_number_unsigned() || seed->get<std::int64_t>() >= 0)) {
      key.studySeed = seed->get<std::uint64_t>();
      seedRead = true;
    }
    if (!whole("condition", key.condition) || !whole("conditions", key.conditions) || !seedRead ||
        !whole("replications", key.replications) || !text("estimator", key.estimator) || !text("study", key.study))
      throw StudyInputError(
          "not a study row (condition, estimator, replications, study, conditions or study_seed missing)");
    if (const auto g = find("generator"); g != row.end()) {
      if (*g != GeneratorName(StudyGenerator::Philox))
        throw StudyInputError("not a study row (its generator is " + g->dump() + "; only philox studies name it)");
      key.generator = StudyGenerator::Philox;
    }
    const auto& names = SummaryColumns();
    for (const auto& [column, value] : {std::pair(kColumnN, &key.values.n), std::pair(kColumnK, &key.values.k),
                                        std::pair(kColumnDo, &key.values.D)}) {
      std::int64_t v = 0;
      if (!whole(std::string(names[column]).c_str(), v) || v < INT32_MIN || v > INT32_MAX)
        throw StudyInputError(SummaryColumnName(column) + ": not a whole number");
      *value = static_cast<std::int32_t>(v);
    }
    const auto doStar = find("do_star");
    if (doStar == row.end() || !doStar->is_number()) throw StudyInputError(SummaryColumnName(kColumnDoStar) + ": not a number");
    key.doStar = doStar->get<double>();
    const auto seed = find("seed");
    if (seed == row.end() || !seed->is_number_integer() || (!seed->is_number_unsigned() && seed->get<std::int64_t>() < 0))
      throw StudyInputError(SummaryColumnName(kColumnSeed) + ": not a whole number");
    key.seed = seed->get<std::uint64_t>();
    for (std::size_t column = kFirstMeasure; column <= kLastMeasure; ++column) {
      const auto it = find(std::string(names[column]).c_str());
      if (it == row.end() || !(it->is_null() || it->is_number()))
        throw StudyInputError(SummaryColumnName(column) + ": not a number (nor null, for a value that does not apply)");
    }
  }
  if ((key.generator == StudyGenerator::Lcg && key.studySeed > kMaxLcgSeed) || key.condition < 1 ||
      key.conditions < key.condition || key.replications < 1)
    throw StudyInputError("not a study row (condition " + std::to_string(key.condition) + " of " +
                          std::to_string(key.conditions) + ", " + std::to_string(key.replications) +
                          " replications, study seed " + std::to_string(key.studySeed) + ")");
  CheckConditionCells(key);
  return key;
}

std::string_view TestsHeader() { return kTestsHeader; }

void AppendTestRow(std::string& out, std::int64_t condition, std::int64_t replication, const TestEstimates& t) {
  AppendWhole(out, condition);
  out.push_back(',');
  AppendWhole(out, replication);
  for (double x : {t.doStar, t.du, t.seDu, t.ciLower, t.ciUpper, t.dc, t.seDc, t.dln}) {
    out.push_back(',');
    AppendValue(out, x);
  }
  out.push_back(',');
  AppendWhole(out, t.code);
  out.push_back(',');
  AppendWhole(out, t.code2);
  out.push_back('\n');
}

TestRow ParseTestRow(std::string_view line) {
  const std::vector<std::string_view> cells = SplitAt(line, ',');
  constexpr std::size_t kCells = 12;
  if (cells.size() != kCells)
    throw StudyInputError(std::to_string(cells.size()) + " cells where a test row has " + std::to_string(kCells));
  TestRow row;
  std::int64_t code = 0, code2 = 0;
  if (!ReadWhole(cells[0], row.condition) || !ReadWhole(cells[1], row.replication) || !ReadWhole(cells[10], code) ||
      !ReadWhole(cells[11], code2))
    throw StudyInputError("not a test row (its condition, replication or codes are not whole numbers)");
  double* const values[] = {&row.estimates.doStar, &row.estimates.du,   &row.estimates.seDu, &row.estimates.ciLower,
                            &row.estimates.ciUpper, &row.estimates.dc, &row.estimates.seDc, &row.estimates.dln};
  for (std::size_t i = 0; i < std::size(values); ++i) {
    const std::string_view cell = cells[2 + i];
    if (cell.empty()) {
      *values[i] = Nodefinido;
      continue;
    }
    const auto r = FromChars(cell.data(), cell.data() + cell.size(), *values[i]);
    if (r.ptr != cell.data() + cell.size() || r.ec != std::errc{})
      throw StudyInputError("\"" + std::string(cell) + "\" is not a number");
  }
  row.estimates.code = static_cast<std::uint16_t>(code);
  row.estimates.code2 = static_cast<std::uint16_t>(code2);
  return row;
}

}  // namespace veltrano
