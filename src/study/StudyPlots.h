#pragma once
// The plots of a study, and the charts of a run's summary, described without drawing them.
//
// A study's plots: for each k, the bias, the RMSE and the coverage of the estimators
// against Do, one line per n and estimator, every point with a bar of ±1.96 Monte Carlo
// standard errors. The coverage plot has a line per interval: the Wald interval of Du and
// of Dc, and Du's test-inversion interval when the study computed it (D Lord & Novick has
// no standard error, hence no interval). A plot is made from the summary rows alone (a
// study's output, or the merge of its shards' outputs), so drawing it never needs the
// tests again.
//
// A run's summary (the window's Summary page): the mean estimate of each estimator with
// ±1.96 empirical SE, or its bias with ±1.96 Monte Carlo SE, against Do*, and the coverage
// of the intervals against Do*.
//
// Both are drawn by one function of the chart library (chart/StudyChart.h): the command
// line's --plot files and the window's Summary page show the same kind of chart.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "study/Measures.h"

namespace veltrano {

enum class PlotMeasure : std::uint8_t { Bias, Rmse, Coverage, Mean };
inline constexpr std::array<PlotMeasure, 3> kPlotMeasures = {PlotMeasure::Bias, PlotMeasure::Rmse,
                                                             PlotMeasure::Coverage};

/// "bias", "rmse", "coverage" or "mean": the measure's part of a plot's file name.
const char* PlotMeasureName(PlotMeasure m) noexcept;

/// Which interval a coverage line is of; bias and RMSE lines have none.
enum class PlotInterval : std::uint8_t { None, Wald, Inversion };

/// A point of a line: its bar is ± kWaldZ (Measures.h) standard errors.
struct PlotPoint {
  double x = 0;                  // a study's Do in percent; a run's Do* (0..1)
  std::optional<double> value;   // none: the row's cell is empty (a gap in the line)
  std::optional<double> se;      // the bar's standard error (Monte Carlo, or the estimates'
                                 // spread); none: no bar
  friend bool operator==(const PlotPoint&, const PlotPoint&) = default;
};

struct PlotLine {
  std::int32_t n = 0;
  Estimator estimator = Estimator::Du;
  PlotInterval interval = PlotInterval::None;
  std::string label;              // "n = 20, Du"; coverage "n = 20, Du Wald"
  std::vector<PlotPoint> points;  // in ascending x; equal x in the rows' order
  std::string name = {};          // the series' name where it is looked up ("Du", "DuCI");
                                  // empty: the label
};

/// An axis's range and step before the chart fits it to the data.
struct PlotSpan {
  double min = 0;
  double max = 1;
  double step = 0.25;
};

struct StudyPlot {
  PlotMeasure measure = PlotMeasure::Bias;
  std::int32_t k = 0;
  std::string title;
  std::string xTitle;
  std::string yTitle;
  std::optional<double> reference;  // a reference line's intercept: 0 on the bias plot, 0.95 on
                                    // the coverage plot, 0 with slope 1 for the diagonal
  double referenceSlope = 0;
  std::string referenceLabel;
  PlotSpan xSpan{0, 100, 10};
  PlotSpan ySpan{0, 1, 0.25};
  bool legendInside = false;        // a legend in the plot's emptiest corner, else at its right
  bool bands = false;               // intervals as bands about the lines, else as bars
  /// In ascending n; for each n Du, Dc, D Lord & Novick (coverage: Du Wald, Du test
  /// inversion, Dc Wald). A line none of whose cells has a value is left out.
  std::vector<PlotLine> lines;
};

/// Gathers the plots' values from a study's summary rows.
class StudyPlotData {
public:
  /// Reads summary rows as a study output holds them: CSV rows (its header line is
  /// skipped) or JSON objects, one per line. Text may end within a line; the rest of it
  /// is expected with the next call. Raises StudyInputError for a line that is not a
  /// summary row.
  void AddRows(std::string_view text);

  /// The number of rows read.
  std::int64_t Rows() const noexcept { return rows_; }

  /// The plots of every k the rows hold, in ascending k and for each the bias, RMSE and
  /// coverage plots in this order. Text after the last line end is not read.
  std::vector<StudyPlot> Plots() const;

private:
  void AddLine(std::string_view line);

  // (k, measure, n, line order) -> its points in the rows' order.
  using LineKey = std::tuple<std::int32_t, PlotMeasure, std::int32_t, int>;
  std::map<LineKey, std::vector<PlotPoint>> lines_;
  std::string partial_;  // a line not yet ended
  std::int64_t rows_ = 0;
};

class RunSummary;

/// The Summary page's estimates chart of a run: for each estimator, the mean estimate with
/// ±1.96 empirical SE at each Do* against the diagonal (bands when the run has several
/// degrees), or, with bias, the bias with ±1.96 Monte Carlo SE against the line of no bias.
StudyPlot SummaryEstimatesPlot(const RunSummary& summary, bool bias);

/// The Summary page's coverage chart: per interval (Du's test inversion, Du's and Dc's Wald),
/// the share that held Do* at each Do*, ±1.96 Monte Carlo SE, against the nominal 0.95.
StudyPlot SummaryCoveragePlot(const RunSummary& summary);

/// The file of a plot: the prefix, "-", the measure, "-k", k, "." and the extension, as in
/// "out/cover-bias-k4.png"; a prefix ending in '/' names a folder and the name follows it
/// without the dash ("plots/bias-k4.png").
std::string StudyPlotPath(std::string_view prefix, PlotMeasure measure, std::int32_t k, std::string_view extension);

}  // namespace veltrano
