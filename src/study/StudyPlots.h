#pragma once
// The plots of a study, described without drawing them: for each k, the bias, the RMSE
// and the coverage of the estimators against Do, one line per n and estimator, every
// point with a bar of ±1.96 Monte Carlo standard errors. The coverage plot has a line
// per interval: the Wald interval of Du and of Dc, and Du's test-inversion interval when
// the study computed it (D Lord & Novick has no standard error, hence no interval).
//
// A plot is made from the summary rows alone (a study's output, or the merge of its
// shards' outputs), so drawing it never needs the tests again. The batch's graphs
// library turns a StudyPlot into a chart.
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

enum class PlotMeasure : std::uint8_t { Bias, Rmse, Coverage };
inline constexpr std::array<PlotMeasure, 3> kPlotMeasures = {PlotMeasure::Bias, PlotMeasure::Rmse,
                                                             PlotMeasure::Coverage};

/// "bias", "rmse" or "coverage": the measure's part of a plot's file name.
const char* PlotMeasureName(PlotMeasure m) noexcept;

/// Which interval a coverage line is of; bias and RMSE lines have none.
enum class PlotInterval : std::uint8_t { None, Wald, Inversion };

/// A point of a line: its bar is ± kWaldZ (Measures.h) Monte Carlo SEs.
struct PlotPoint {
  double D = 0;                  // the condition's Do, percent
  std::optional<double> value;   // none: the row's cell is empty (a gap in the line)
  std::optional<double> mcse;    // none: no bar
  friend bool operator==(const PlotPoint&, const PlotPoint&) = default;
};

struct PlotLine {
  std::int32_t n = 0;
  Estimator estimator = Estimator::Du;
  PlotInterval interval = PlotInterval::None;
  std::string label;              // "n = 20, Du"; coverage "n = 20, Du Wald"
  std::vector<PlotPoint> points;  // in ascending Do; equal Do in the rows' order
};

struct StudyPlot {
  PlotMeasure measure = PlotMeasure::Bias;
  std::int32_t k = 0;
  std::string title;
  std::string xTitle;
  std::string yTitle;
  std::optional<double> reference;  // a level line: 0 on the bias plot, 0.95 on the coverage plot
  std::string referenceLabel;
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

/// The file of a plot: the prefix, "-", the measure, "-k", k, "." and the extension, as in
/// "out/cover-bias-k4.png"; a prefix ending in '/' names a folder and the name follows it
/// without the dash ("plots/bias-k4.png").
std::string StudyPlotPath(std::string_view prefix, PlotMeasure measure, std::int32_t k, std::string_view extension);

}  // namespace veltrano
