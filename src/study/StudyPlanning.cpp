#include "study/StudyPlanning.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <istream>
#include <map>

#include "numeric/DoubleChars.h"
#include "numeric/NumStr.h"
#include "numeric/QuotedText.h"
#include "study/StudyRows.h"

namespace veltrano {
namespace {

// The cells a plan reads from a summary row, by column name.
constexpr const char* kNeeded[] = {"condition",     "n",            "k",           "do",        "estimator",
                                   "replications", "defined",      "emp_se",      "wald_coverage",
                                   "wald_defined", "ci_coverage",  "ci_defined"};

using RowCells = std::map<std::string, std::string, std::less<>>;  // an empty cell: no value

template <class Number>
std::optional<Number> NumberIn(const RowCells& row, std::string_view column) {
  const auto it = row.find(column);
  if (it == row.end() || it->second.empty()) return std::nullopt;
  Number v{};
  const char* end = it->second.data() + it->second.size();
  const auto r = FromChars(it->second.data(), end, v);
  if (r.ptr != end || r.ec != std::errc{})
    throw StudyInputError("its " + std::string(column) + " " + Quoted(it->second) + " is not a number");
  return v;
}

template <class Number>
Number Required(const RowCells& row, std::string_view column) {
  const std::optional<Number> v = NumberIn<Number>(row, column);
  if (!v) throw StudyInputError("its " + std::string(column) + " is empty");
  return *v;
}

RowCells JsonCells(const std::string& line) {
  const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
  if (object.is_discarded() || !object.is_object()) throw StudyInputError("not a JSON object");
  RowCells row;
  for (const char* name : kNeeded) {
    const auto it = object.find(name);
    if (it == object.end()) throw StudyInputError(std::string("it has no ") + name);
    if (it->is_null()) {
      row[name] = "";
    } else if (it->is_string()) {
      row[name] = it->get<std::string>();
    } else if (it->is_number_integer()) {
      row[name] = it->dump();
    } else if (it->is_number()) {
      std::string text;
      AppendG17(text, it->get<double>());
      row[name] = text;
    } else {
      throw StudyInputError(std::string("its ") + name + " is neither a number, a text nor null");
    }
  }
  return row;
}

// The replications that give `needed` values when `given` of the pilot's replications
// gave one, rounded up; a quotient within 10^-12 of a whole number (what rounding the
// inputs' decimal digits leaves, as in 0.1² / 0.01² = 100.00000000000003) is that number.
std::int64_t Scaled(double needed, std::int64_t given, std::int64_t pilot) {
  const double replications = needed * static_cast<double>(pilot) / static_cast<double>(given);
  return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(replications * (1 - 1e-12))));
}

void PlanRow(const RowCells& row, const std::vector<PlanTarget>& targets, std::vector<ReplicationPlan>& out) {
  ReplicationPlan base;
  base.condition = Required<std::int64_t>(row, "condition");
  base.values = {Required<std::int32_t>(row, "n"), Required<std::int32_t>(row, "k"), Required<std::int32_t>(row, "do")};
  base.estimator = row.at("estimator");
  base.pilot = Required<std::int64_t>(row, "replications");
  const std::int64_t defined = Required<std::int64_t>(row, "defined");
  const std::optional<double> sd = NumberIn<double>(row, "emp_se");
  for (const PlanTarget& t : targets) {
    ReplicationPlan p = base;
    p.target = t.mcse;
    if (t.measure != PlanMeasure::Coverage) {
      p.measure = t.measure == PlanMeasure::Bias ? "bias" : "emp_se";
      p.basis = sd;
      if (sd && defined > 0) {
        const double ratio = *sd * *sd / (t.mcse * t.mcse);
        p.replications = Scaled(t.measure == PlanMeasure::Bias ? ratio : 1 + ratio / 2, defined, base.pilot);
      }
      out.push_back(std::move(p));
      continue;
    }
    for (const char* interval : {"wald", "ci"}) {
      const std::string coverage = std::string(interval) + "_coverage", count = std::string(interval) + "_defined";
      const std::optional<std::int64_t> intervals = NumberIn<std::int64_t>(row, count);
      if (!intervals) continue;  // the interval does not apply to this estimator or study
      ReplicationPlan q = p;
      q.measure = coverage;
      if (const std::optional<double> pc = NumberIn<double>(row, coverage); pc && *intervals > 0) {
        q.worstCase = *pc <= 0 || *pc >= 1;
        q.basis = q.worstCase ? 0.5 : *pc;
        q.replications = Scaled(*q.basis * (1 - *q.basis) / (t.mcse * t.mcse), *intervals, base.pilot);
      }
      out.push_back(std::move(q));
    }
  }
}

}  // namespace

std::vector<PlanTarget> ParsePlanTargets(std::string_view text) {
  std::vector<PlanTarget> targets;
  for (const std::string_view entry : SplitAt(text, ',')) {
    const std::size_t eq = entry.find('=');
    const std::string_view name = entry.substr(0, eq);
    PlanTarget t;
    if (eq == std::string_view::npos || !(name == "bias" || name == "emp_se" || name == "coverage"))
      throw StudyInputError(Named("target") + ": " + Quoted(entry) +
                            " is not measure=MCSE with the measure bias, emp_se or coverage");
    t.measure = name == "bias" ? PlanMeasure::Bias : name == "emp_se" ? PlanMeasure::EmpSe : PlanMeasure::Coverage;
    const std::string_view value = entry.substr(eq + 1);
    const auto r = FromChars(value.data(), value.data() + value.size(), t.mcse);
    if (value.empty() || r.ptr != value.data() + value.size() || r.ec != std::errc{} || !(t.mcse > 0) ||
        !std::isfinite(t.mcse))
      throw StudyInputError(Named("target") + ": " + Quoted(entry) + ": the Monte Carlo SE must be a positive number");
    targets.push_back(t);
  }
  return targets;
}

std::vector<ReplicationPlan> PlanReplications(std::istream& rows, const std::string& name,
                                              const std::vector<PlanTarget>& targets) {
  std::vector<ReplicationPlan> plans;
  std::vector<std::string> header;  // of a CSV output
  std::string line;
  long number = 0;
  while (std::getline(rows, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    try {
      if (number == 1 && line.front() != '{') {
        if (line != SummaryHeader(StudyGenerator::Lcg) && line != SummaryHeader(StudyGenerator::Philox))
          throw StudyInputError("not a study output: the first line is neither the study header nor a JSON row");
        for (const std::string_view column : SplitAt(line, ',')) header.emplace_back(column);
        continue;
      }
      RowCells row;
      if (line.front() == '{') {
        row = JsonCells(line);
      } else {
        const std::vector<std::string_view> cells = SplitAt(line, ',');
        if (header.empty() || cells.size() != header.size())
          throw StudyInputError(std::to_string(cells.size()) + " cells where the header names " +
                                std::to_string(header.size()));
        for (std::size_t i = 0; i < cells.size(); ++i) row[header[i]] = std::string(cells[i]);
      }
      PlanRow(row, targets, plans);
    } catch (const StudyInputError& e) {
      throw StudyInputError(name + ", line " + std::to_string(number) + ": " + e.what());
    }
  }
  if (rows.bad()) throw StudyInputError(name + ": read error");
  return plans;
}

std::string_view PlanHeader() {
  return "condition,n,k,do,estimator,measure,target_mcse,pilot_replications,basis,worst_case,replications";
}

void AppendPlanRow(std::string& out, const ReplicationPlan& p) {
  const auto whole = [&out](std::int64_t v) { out.append(std::to_string(v)); };
  whole(p.condition);
  for (const std::int64_t v : {std::int64_t{p.values.n}, std::int64_t{p.values.k}, std::int64_t{p.values.D}}) {
    out.push_back(',');
    whole(v);
  }
  out.append(",").append(p.estimator).append(",").append(p.measure).append(",");
  AppendG17(out, p.target);
  out.push_back(',');
  whole(p.pilot);
  out.push_back(',');
  if (p.basis) AppendG17(out, *p.basis);
  out.append(p.worstCase ? ",1," : ",0,");
  if (p.replications) whole(*p.replications);
  out.push_back('\n');
}

}  // namespace veltrano
