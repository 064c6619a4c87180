#include "study/StudyPlots.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "numeric/DoubleChars.h"
#include "study/RunSummary.h"
#include "study/StudyRows.h"

namespace veltrano {
namespace {

// The cells of a summary row the plots read.
struct PlotRow {
  std::int32_t n = 0, k = 0, D = 0;
  Estimator estimator = Estimator::Du;
  std::optional<double> bias, biasMcse, rmse, rmseMcse, waldCoverage, waldCoverageMcse, ciCoverage, ciCoverageMcse;
};

// The columns read, by name, and where each goes.
enum class Column : std::uint8_t { n, k, D, Estimator, Real };
struct ColumnUse {
  std::string_view name;
  Column kind;
  std::optional<double> PlotRow::*real = nullptr;
};
const ColumnUse kColumns[] = {
    {"n", Column::n},
    {"k", Column::k},
    {"do", Column::D},
    {"estimator", Column::Estimator},
    {"bias", Column::Real, &PlotRow::bias},
    {"bias_mcse", Column::Real, &PlotRow::biasMcse},
    {"rmse", Column::Real, &PlotRow::rmse},
    {"rmse_mcse", Column::Real, &PlotRow::rmseMcse},
    {"wald_coverage", Column::Real, &PlotRow::waldCoverage},
    {"wald_coverage_mcse", Column::Real, &PlotRow::waldCoverageMcse},
    {"ci_coverage", Column::Real, &PlotRow::ciCoverage},
    {"ci_coverage_mcse", Column::Real, &PlotRow::ciCoverageMcse},
};

// Where each column of kColumns stands in a CSV summary row.
const std::vector<std::size_t>& CsvPositions() {
  static const std::vector<std::size_t> positions = [] {
    const std::vector<std::string_view> header = SplitAt(SummaryHeader(), ',');
    std::vector<std::size_t> at;
    for (const ColumnUse& c : kColumns)
      at.push_back(static_cast<std::size_t>(std::find(header.begin(), header.end(), c.name) - header.begin()));
    return at;
  }();
  return positions;
}

Estimator EstimatorNamed(std::string_view name) {
  for (Estimator e : kEstimators)
    if (name == EstimatorName(e)) return e;
  throw StudyInputError("the estimator \"" + std::string(name) + "\" is none of Du, Dc and DLN");
}

std::int32_t WholeCell(std::string_view name, std::string_view text) {
  std::int32_t v = 0;
  const char* end = text.data() + text.size();
  const auto r = FromChars(text.data(), end, v);
  if (text.empty() || r.ptr != end || r.ec != std::errc{})
    throw StudyInputError("its " + std::string(name) + " \"" + std::string(text) + "\" is not a whole number");
  return v;
}

// An empty cell has no value; anything else must be a finite number.
std::optional<double> RealCell(std::string_view name, std::string_view text) {
  if (text.empty()) return std::nullopt;
  double v = 0;
  const char* end = text.data() + text.size();
  const auto r = FromChars(text.data(), end, v);
  if (r.ptr != end || r.ec != std::errc{} || !std::isfinite(v))
    throw StudyInputError("its " + std::string(name) + " \"" + std::string(text) + "\" is not a finite number");
  return v;
}

void Store(PlotRow& row, const ColumnUse& c, std::string_view text) {
  switch (c.kind) {
    case Column::n: row.n = WholeCell(c.name, text); break;
    case Column::k: row.k = WholeCell(c.name, text); break;
    case Column::D: row.D = WholeCell(c.name, text); break;
    case Column::Estimator: row.estimator = EstimatorNamed(text); break;
    case Column::Real: row.*c.real = RealCell(c.name, text); break;
  }
}

PlotRow CsvRow(std::string_view line) {
  const std::vector<std::string_view> cells = SplitAt(line, ',');
  // A philox study's rows have the generator column at the end, after every plotted one.
  if (cells.size() != SummaryColumnCount() && cells.size() != SummaryColumnCount(StudyGenerator::Philox))
    throw StudyInputError(std::to_string(cells.size()) + " cells where a study row has " +
                          std::to_string(SummaryColumnCount()));
  PlotRow row;
  for (std::size_t i = 0; i < std::size(kColumns); ++i) Store(row, kColumns[i], cells[CsvPositions()[i]]);
  return row;
}

PlotRow JsonRow(std::string_view line) {
  const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
  if (object.is_discarded() || !object.is_object()) throw StudyInputError("not a JSON object");
  PlotRow row;
  for (const ColumnUse& c : kColumns) {
    const auto it = object.find(std::string(c.name));
    if (it == object.end()) throw StudyInputError("it has no " + std::string(c.name));
    // The value as it would stand in a CSV cell: null is the empty cell.
    std::string text;
    if (it->is_string() && c.kind == Column::Estimator) {
      text = it->get<std::string>();
    } else if (it->is_number_integer() && c.kind != Column::Estimator) {
      text = std::to_string(it->get<std::int64_t>());
    } else if (it->is_number() && c.kind == Column::Real) {
      row.*c.real = it->get<double>();
      continue;
    } else if (!(it->is_null() && c.kind == Column::Real)) {
      throw StudyInputError("its " + std::string(c.name) + " " + it->dump() + " is not " +
                            (c.kind == Column::Estimator ? "a name" : c.kind == Column::Real ? "a number or null"
                                                                                             : "a whole number"));
    }
    Store(row, c, text);
  }
  return row;
}

// The order of a plot's lines for one n, and what each line is.
struct LineKind {
  Estimator estimator;
  PlotInterval interval;
};
constexpr LineKind kValueLines[] = {{Estimator::Du, PlotInterval::None},
                                    {Estimator::Dc, PlotInterval::None},
                                    {Estimator::DLN, PlotInterval::None}};
constexpr LineKind kCoverageLines[] = {{Estimator::Du, PlotInterval::Wald},
                                       {Estimator::Du, PlotInterval::Inversion},
                                       {Estimator::Dc, PlotInterval::Wald}};

LineKind KindOf(PlotMeasure m, int order) {
  return m == PlotMeasure::Coverage ? kCoverageLines[order] : kValueLines[order];
}

const char* LegendName(Estimator e) {
  return e == Estimator::DLN ? "D Lord & Novick" : EstimatorName(e);
}

std::string LineLabel(std::int32_t n, LineKind kind) {
  std::string label = "n = " + std::to_string(n) + ", " + LegendName(kind.estimator);
  if (kind.interval == PlotInterval::Wald) label += " Wald";
  if (kind.interval == PlotInterval::Inversion) label += " test inversion";
  return label;
}

StudyPlot EmptyPlot(PlotMeasure m, std::int32_t k) {
  StudyPlot p;
  p.measure = m;
  p.k = k;
  const std::string ofK = ", k = " + std::to_string(k) + " (bars: \u00b11.96 Monte Carlo SE)";
  p.xTitle = "Do (%)";
  switch (m) {
    case PlotMeasure::Bias:
      p.title = "Bias of the estimates" + ofK;
      p.yTitle = "bias (mean estimate \u2212 Do*)";
      p.reference = 0.0;
      p.referenceLabel = "no bias";
      break;
    case PlotMeasure::Rmse:
      p.title = "Root mean squared error" + ofK;
      p.yTitle = "RMSE";
      break;
    case PlotMeasure::Coverage:
      p.title = "Coverage of the 95 % intervals" + ofK;
      p.yTitle = "coverage";
      p.reference = 0.95;
      p.referenceLabel = "0.95";
      break;
    case PlotMeasure::Mean: break;  // a run's summary only
  }
  return p;
}

}  // namespace

const char* PlotMeasureName(PlotMeasure m) noexcept {
  switch (m) {
    case PlotMeasure::Bias: return "bias";
    case PlotMeasure::Rmse: return "rmse";
    case PlotMeasure::Coverage: return "coverage";
    case PlotMeasure::Mean: return "mean";
  }
  return "";
}

void StudyPlotData::AddRows(std::string_view text) {
  for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;) {
    if (partial_.empty()) {
      AddLine(text.substr(0, end));
    } else {
      partial_.append(text.substr(0, end));
      const std::string line = std::move(partial_);
      partial_.clear();
      AddLine(line);
    }
    text.remove_prefix(end + 1);
  }
  partial_.append(text);
}

void StudyPlotData::AddLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty() || line == SummaryHeader() || line == SummaryHeader(StudyGenerator::Philox)) return;
  PlotRow row;
  try {
    row = line.front() == '{' ? JsonRow(line) : CsvRow(line);
  } catch (const StudyInputError& e) {
    const std::string shown = line.size() > 40 ? std::string(line.substr(0, 40)) + "..." : std::string(line);
    throw StudyInputError("the row \"" + shown + "\" cannot be plotted: " + e.what());
  }
  ++rows_;
  const double D = row.D;
  const auto add = [&](PlotMeasure m, int order, std::optional<double> value, std::optional<double> mcse) {
    lines_[{row.k, m, row.n, order}].push_back({D, value, mcse});
  };
  const int order = static_cast<int>(row.estimator);  // Du, Dc, DLN
  add(PlotMeasure::Bias, order, row.bias, row.biasMcse);
  add(PlotMeasure::Rmse, order, row.rmse, row.rmseMcse);
  if (row.estimator == Estimator::Du) {
    add(PlotMeasure::Coverage, 0, row.waldCoverage, row.waldCoverageMcse);
    add(PlotMeasure::Coverage, 1, row.ciCoverage, row.ciCoverageMcse);
  } else if (row.estimator == Estimator::Dc) {
    add(PlotMeasure::Coverage, 2, row.waldCoverage, row.waldCoverageMcse);
  }
}

std::vector<StudyPlot> StudyPlotData::Plots() const {
  std::vector<StudyPlot> plots;
  for (const auto& [key, points] : lines_) {
    const auto& [k, measure, n, order] = key;
    if (plots.empty() || plots.back().k != k || plots.back().measure != measure) plots.push_back(EmptyPlot(measure, k));
    if (std::none_of(points.begin(), points.end(), [](const PlotPoint& p) { return p.value.has_value(); })) continue;
    const LineKind kind = KindOf(measure, order);
    PlotLine line{n, kind.estimator, kind.interval, LineLabel(n, kind), points};
    std::stable_sort(line.points.begin(), line.points.end(),
                     [](const PlotPoint& a, const PlotPoint& b) { return a.x < b.x; });
    plots.back().lines.push_back(std::move(line));
  }
  return plots;
}

namespace {

// A run's degrees as plot points of one estimator: x = Do*, the value and its bar's SE
// taken from the degree's measures.
template <class Take>
std::vector<PlotPoint> DegreePoints(const RunSummary& summary, Estimator e, Take take) {
  std::vector<PlotPoint> points;
  for (const RunSummary::Degree& d : summary.Degrees()) {
    const EstimatorMeasures m = MeasuresOf(d.builder.Summary(), e, d.record.doStar, summary.Interval());
    const auto [value, se] = take(m);
    points.push_back({d.record.doStar, value, value ? se : std::nullopt});
  }
  return points;
}

StudyPlot SummaryPlot(PlotMeasure measure, const RunSummary& summary) {
  StudyPlot p;
  p.measure = measure;
  p.k = summary.Degrees().empty() ? 0 : summary.Degrees().front().record.condition.k;
  p.xTitle = "True Knowledge (Do*)";
  p.xSpan = {0, 1, 0.1};
  p.ySpan = {0, 1, 0.1};
  p.legendInside = true;
  return p;
}

// A plot keeps the lines that have a value somewhere.
void AddLine(StudyPlot& p, PlotLine line) {
  if (std::any_of(line.points.begin(), line.points.end(), [](const PlotPoint& q) { return q.value.has_value(); }))
    p.lines.push_back(std::move(line));
}

}  // namespace

StudyPlot SummaryEstimatesPlot(const RunSummary& summary, bool bias) {
  StudyPlot p = SummaryPlot(bias ? PlotMeasure::Bias : PlotMeasure::Mean, summary);
  if (bias) {
    p.title = "Bias \u00b1 1.96 Monte Carlo SE vs True Knowledge (Do*)";
    p.yTitle = "Bias (mean - Do*)";
    p.ySpan = {-0.1, 0.1, 0.05};
    p.reference = 0.0;
    p.referenceLabel = "No bias";
  } else {
    p.title = "Mean estimate \u00b1 1.96 empirical SE vs True Knowledge (Do*)";
    p.yTitle = "Mean estimate";
    p.reference = 0.0;
    p.referenceSlope = 1.0;
    p.referenceLabel = "D = Do*";
    // A band needs two degrees to span; one degree shows its interval as a bar.
    p.bands = summary.Degrees().size() > 1;
  }
  const std::int32_t n = summary.Degrees().empty() ? 0 : summary.Degrees().front().record.condition.n;
  for (const Estimator e : kEstimators) {
    PlotLine line{n, e, PlotInterval::None, LegendName(e),
                  DegreePoints(summary, e, [bias](const EstimatorMeasures& m) {
                    return bias ? std::pair(m.bias, m.biasMcse) : std::pair(m.mean, m.empSe);
                  }),
                  EstimatorName(e)};
    AddLine(p, std::move(line));
  }
  return p;
}

StudyPlot SummaryCoveragePlot(const RunSummary& summary) {
  StudyPlot p = SummaryPlot(PlotMeasure::Coverage, summary);
  p.title = "Coverage \u00b1 1.96 Monte Carlo SE vs True Knowledge (Do*)";
  p.yTitle = "Coverage";
  p.reference = 0.95;
  p.referenceLabel = "Nominal 0.95";
  const std::int32_t n = summary.Degrees().empty() ? 0 : summary.Degrees().front().record.condition.n;
  struct Kind {
    const char* name;
    const char* label;
    Estimator estimator;
    PlotInterval interval;
  };
  constexpr Kind kinds[] = {{"DuCI", "Du, test inversion", Estimator::Du, PlotInterval::Inversion},
                            {"DuWald", "Du, Wald", Estimator::Du, PlotInterval::Wald},
                            {"DcWald", "Dc, Wald", Estimator::Dc, PlotInterval::Wald}};
  for (const Kind& k : kinds) {
    PlotLine line{n, k.estimator, k.interval, k.label,
                  DegreePoints(summary, k.estimator, [&k](const EstimatorMeasures& m) {
                    const std::optional<IntervalMeasures>& i = k.interval == PlotInterval::Inversion ? m.inversion
                                                                                                      : m.wald;
                    return i ? std::pair(i->coverage, i->coverageMcse)
                             : std::pair(std::optional<double>(), std::optional<double>());
                  }),
                  k.name};
    AddLine(p, std::move(line));
  }
  return p;
}

std::string StudyPlotPath(std::string_view prefix, PlotMeasure measure, std::int32_t k, std::string_view extension) {
  std::string path(prefix);
  if (path.empty() || path.back() != '/') path.push_back('-');
  path += PlotMeasureName(measure);
  path += "-k" + std::to_string(k) + ".";
  path += extension;
  return path;
}

}  // namespace veltrano
