// The plots' description: every point the value and Monte Carlo SE of its summary row,
// the same from CSV, JSON and rows arriving in pieces; lines in a fixed order with the
// empty ones left out; rows that are not summary rows refused; the files' names.
#include <gtest/gtest.h>

#include <ostream>

#include "StudySupport.h"
#include "study/StudyPlots.h"

namespace veltrano {
namespace {

using testing::CollectingSink;
using testing::GridStudy;
using testing::RowsByColumn;

std::string StudyRows(const StudyDefinition& s, RowFormat format) {
  CollectingSink sink;
  EXPECT_EQ(ExecuteStudy(s, {}, {format, false, 2}, sink), Ending::Completed);
  return sink.rows;
}

// Two n, two k, Do 0, 50 and 100 (where Du's Wald interval never covers), the interval on.
const StudyDefinition& PlottedStudy() {
  static const StudyDefinition s = GridStudy({10, 30}, {2, 4}, {0, 50, 100}, 200, 4242, true);
  return s;
}

// Its rows, made once per format.
const std::string& PlottedRows(RowFormat format) {
  static const std::string csv = StudyRows(PlottedStudy(), RowFormat::Csv);
  static const std::string json = StudyRows(PlottedStudy(), RowFormat::Json);
  return format == RowFormat::Csv ? csv : json;
}

const PlotLine* FindLine(const std::vector<StudyPlot>& plots, std::int32_t k, PlotMeasure m, std::int32_t n,
                         Estimator e, PlotInterval interval) {
  for (const StudyPlot& p : plots)
    if (p.k == k && p.measure == m)
      for (const PlotLine& l : p.lines)
        if (l.n == n && l.estimator == e && l.interval == interval) return &l;
  return nullptr;
}

std::optional<double> Cell(const std::map<std::string, std::string>& row, const std::string& column) {
  const std::string& cell = row.at(column);
  return cell.empty() ? std::nullopt : std::optional<double>(std::stod(cell));
}

// Every row's bias, RMSE and coverages are points of its k's plots, on the line of its n
// and estimator at its Do, with their Monte Carlo SEs; and the plots hold no other point.
TEST(StudyPlots, PointsAreTheRowsValues) {
  const std::string& rows = PlottedRows(RowFormat::Csv);
  StudyPlotData data;
  data.AddRows(std::string(SummaryHeader()) + "\n" + rows);
  const std::vector<StudyPlot> plots = data.Plots();
  ASSERT_EQ(plots.size(), 6u);
  EXPECT_EQ(data.Rows(), 2 * 2 * 3 * 3);

  struct Shown {
    PlotMeasure measure;
    PlotInterval interval;
    const char* value;
    const char* mcse;
  };
  const Shown kShown[] = {{PlotMeasure::Bias, PlotInterval::None, "bias", "bias_mcse"},
                          {PlotMeasure::Rmse, PlotInterval::None, "rmse", "rmse_mcse"},
                          {PlotMeasure::Coverage, PlotInterval::Wald, "wald_coverage", "wald_coverage_mcse"},
                          {PlotMeasure::Coverage, PlotInterval::Inversion, "ci_coverage", "ci_coverage_mcse"}};
  std::size_t expected = 0;
  for (const auto& row : RowsByColumn(rows)) {
    const Estimator e = row.at("estimator") == "Du" ? Estimator::Du : row.at("estimator") == "Dc" ? Estimator::Dc
                                                                                                 : Estimator::DLN;
    for (const Shown& s : kShown) {
      const bool applies = s.measure != PlotMeasure::Coverage ||
                           (s.interval == PlotInterval::Wald ? e != Estimator::DLN : e == Estimator::Du);
      if (!applies) continue;
      ++expected;
      const PlotLine* line = FindLine(plots, std::stoi(row.at("k")), s.measure, std::stoi(row.at("n")), e, s.interval);
      ASSERT_NE(line, nullptr) << row.at("condition") << " " << row.at("estimator") << " " << s.value;
      const double D = std::stod(row.at("do"));
      const auto at = std::find_if(line->points.begin(), line->points.end(), [&](const PlotPoint& p) { return p.x == D; });
      ASSERT_NE(at, line->points.end());
      EXPECT_EQ(*at, (PlotPoint{D, Cell(row, s.value), Cell(row, s.mcse)}))
          << "condition " << row.at("condition") << " " << row.at("estimator") << " " << s.value;
    }
  }
  std::size_t points = 0;
  for (const StudyPlot& p : plots)
    for (const PlotLine& l : p.lines) points += l.points.size();
  EXPECT_EQ(points, expected);
}

// JSON rows, and rows handed over in pieces that cut lines anywhere, give the same plots.
TEST(StudyPlots, SameFromCsvJsonAndPieces) {
  const auto flat = [](const std::vector<StudyPlot>& plots) {
    std::vector<std::tuple<std::int32_t, PlotMeasure, std::string, std::vector<PlotPoint>>> out;
    for (const StudyPlot& p : plots)
      for (const PlotLine& l : p.lines) out.emplace_back(p.k, p.measure, l.label, l.points);
    return out;
  };
  StudyPlotData csv;
  csv.AddRows(std::string(SummaryHeader()) + "\n" + PlottedRows(RowFormat::Csv));
  StudyPlotData json;
  json.AddRows(PlottedRows(RowFormat::Json));
  EXPECT_EQ(flat(json.Plots()), flat(csv.Plots()));

  const std::string& rows = PlottedRows(RowFormat::Csv);
  StudyPlotData pieces;
  for (std::size_t at = 0; at < rows.size(); at += 37) pieces.AddRows(std::string_view(rows).substr(at, 37));
  EXPECT_EQ(flat(pieces.Plots()), flat(csv.Plots()));
}

// Conditions listed out of order: lines in ascending n, each Du, Dc, D Lord & Novick (the
// coverage plot Du Wald, Dc Wald: no test-inversion line without the interval), points in
// ascending Do; titles name the measure and k; the reference lines where they belong.
TEST(StudyPlots, LinesInOrderWithTheirLabels) {
  StudyDefinition s;
  s.conditions = StudyConditions::Listed({{20, 3, 80}, {20, 3, 20}, {10, 3, 50}, {20, 3, 50}});
  s.replications = 30;
  s.seed = 3;
  StudyPlotData data;
  data.AddRows(StudyRows(s, RowFormat::Csv));
  const std::vector<StudyPlot> plots = data.Plots();
  ASSERT_EQ(plots.size(), 3u);
  const auto labels = [](const StudyPlot& p) {
    std::vector<std::string> out;
    for (const PlotLine& l : p.lines) out.push_back(l.label);
    return out;
  };
  const std::vector<std::string> values{"n = 10, Du", "n = 10, Dc", "n = 10, D Lord & Novick",
                                        "n = 20, Du", "n = 20, Dc", "n = 20, D Lord & Novick"};
  EXPECT_EQ(labels(plots[0]), values);
  EXPECT_EQ(labels(plots[1]), values);
  EXPECT_EQ(labels(plots[2]), (std::vector<std::string>{"n = 10, Du Wald", "n = 10, Dc Wald", "n = 20, Du Wald",
                                                        "n = 20, Dc Wald"}));
  for (const StudyPlot& p : plots) {
    EXPECT_EQ(p.k, 3);
    EXPECT_NE(p.title.find(", k = 3"), std::string::npos) << p.title;
    for (const PlotLine& l : p.lines) {
      std::vector<double> D;
      for (const PlotPoint& pt : l.points) D.push_back(pt.x);
      EXPECT_EQ(D, l.n == 10 ? std::vector<double>{50} : (std::vector<double>{20, 50, 80})) << l.label;
    }
  }
  EXPECT_EQ(plots[0].measure, PlotMeasure::Bias);
  EXPECT_EQ(plots[0].reference, 0.0);
  EXPECT_EQ(plots[1].measure, PlotMeasure::Rmse);
  EXPECT_EQ(plots[1].reference, std::nullopt);
  EXPECT_EQ(plots[2].measure, PlotMeasure::Coverage);
  EXPECT_EQ(plots[2].reference, 0.95);
}

struct BadPlotRow {
  const char* name;
  std::string line;
  const char* message;
};
void PrintTo(const BadPlotRow& c, std::ostream* os) { *os << c.name; }

// A summary row with one cell replaced.
std::string RowWith(const std::string& column, const std::string& cell) {
  std::vector<std::string> cells = testing::Cells(
      "1,10,2,50,0.5,7,Du,4,4,0.5,0,0.1,0.2,0.08,0.2,0.05,0.15,0.05,0.21,0.01,5,10,4,4,1,0,0.8,,,,,,0123456789abcdef,1,7");
  const std::vector<std::string> names = testing::Cells(std::string(SummaryHeader()));
  cells.at(static_cast<std::size_t>(std::find(names.begin(), names.end(), column) - names.begin())) = cell;
  std::string out;
  for (const std::string& c : cells) out += (out.empty() ? "" : ",") + c;
  return out;
}

class StudyPlotsBadRow : public ::testing::TestWithParam<BadPlotRow> {};

TEST_P(StudyPlotsBadRow, IsRefusedSayingWhy) {
  StudyPlotData data;
  try {
    data.AddRows(GetParam().line + "\n");
    FAIL() << "accepted";
  } catch (const StudyInputError& e) {
    const std::string what = e.what();
    const std::string lead = "cannot be plotted: ";
    ASSERT_NE(what.find(lead), std::string::npos) << what;
    EXPECT_EQ(what.substr(what.find(lead) + lead.size()), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StudyPlotsBadRow,
    ::testing::Values(BadPlotRow{"ShortRow", "1,10,2,0", "4 cells where a study row has 35"},
                      BadPlotRow{"Estimator", RowWith("estimator", "Dx"),
                                 "the estimator \"Dx\" is none of Du, Dc and DLN"},
                      BadPlotRow{"NotANumber", RowWith("bias", "nan"), "its bias \"nan\" is not a finite number"},
                      BadPlotRow{"FractionalK", RowWith("k", "2.5"), "its k \"2.5\" is not a whole number"},
                      BadPlotRow{"JsonMissingColumn", R"({"n":10,"k":2,"do":0,"estimator":"Du","bias":0})",
                                 "it has no bias_mcse"},
                      BadPlotRow{"JsonTextBias",
                                 R"({"n":10,"k":2,"do":0,"estimator":"Du","bias":"0.1"})",
                                 "its bias \"0.1\" is not a number or null"}),
    [](const ::testing::TestParamInfo<BadPlotRow>& info) { return std::string(info.param.name); });

TEST(StudyPlots, FileNamesFollowThePrefix) {
  EXPECT_EQ(StudyPlotPath("out/cover", PlotMeasure::Bias, 4, "svg"), "out/cover-bias-k4.svg");
  EXPECT_EQ(StudyPlotPath("study", PlotMeasure::Coverage, 10, "png"), "study-coverage-k10.png");
  EXPECT_EQ(StudyPlotPath("plots/", PlotMeasure::Rmse, 2, "png"), "plots/rmse-k2.png");
}

}  // namespace
}  // namespace veltrano
