#pragma once
// What a simulation run needs of its window, and nothing more. The Qt window, the
// command-line twin and the tests' recorder implement it.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "simulation/RunSettings.h"

namespace veltrano {

/// The chart series a run writes to; ChartOf says which chart each sits on.
enum class SeriesId : std::uint8_t { sLine, rLine, sDLN, sPoint_DSEM, sPoint_Dcond, rPoint_DSEM };
inline constexpr int kSeriesCount = 6;

/// The run's two charts: estimates against Do* (the window's Chart1, "Graph" page) and
/// standardized residuals against Do* (Chart2, "Residual" page).
enum class RunChart : std::uint8_t { Estimates, Residual };

/// The chart a series sits on: the one place that says so.
constexpr RunChart ChartOf(SeriesId s) noexcept {
  return s == SeriesId::rLine || s == SeriesId::rPoint_DSEM ? RunChart::Residual : RunChart::Estimates;
}

/// The series' names as the window knows them.
constexpr std::string_view SeriesName(SeriesId s) noexcept {
  switch (s) {
    case SeriesId::sLine: return "sLine";
    case SeriesId::rLine: return "rLine";
    case SeriesId::sDLN: return "sDLN";
    case SeriesId::sPoint_DSEM: return "sPoint_DSEM";
    case SeriesId::sPoint_Dcond: return "sPoint_Dcond";
    case SeriesId::rPoint_DSEM: return "rPoint_DSEM";
  }
  return "";
}

/// Where a run stands, for a progress display. Counts are 1-based.
struct RunProgress {
  int degree = 0;           // current degree of knowledge, whole percent
  int degreeIndex = 0;      // 1 for the first degree of the run
  int degreeCount = 0;      // degrees in the run
  int testInDegree = 0;     // M, the test number within the degree
  std::int64_t testsDone = 0;   // tests finished in the run so far
  std::int64_t testsTotal = 0;  // tests the run will make
};

class RunHost {
public:
  virtual ~RunHost() = default;

  /// Selects the "Graph" page (page 1 of the page control).
  virtual void SelectGraphPage() = 0;
  /// Writes Dmax's control and returns the value it now holds. The control keeps
  /// its range (0..99), so writing 100 leaves 99.
  virtual int WriteDmax(int value) { return std::clamp(value, setting::Dmax.min, setting::Dmax.max); }
  /// Sets the text of the Do* field (Edit_D0).
  virtual void SetDoStarText(std::string_view text) = 0;
  /// Appends one line to the data pane.
  virtual void AppendDataLine(std::string_view line) = 0;
  /// Appends one line to the residuals pane.
  virtual void AppendResidualsLine(std::string_view line) = 0;
  /// Adds the point (x, y) to a series.
  virtual void AddXY(SeriesId series, double x, double y) = 0;
  /// Shows or hides a series.
  virtual void SetSeriesActive(SeriesId series, bool active) = 0;
  /// Lets the window process its pending events once. A host whose window never waits
  /// for a run (every host here: the window's run works on threads of its own) has
  /// nothing to do.
  virtual void ProcessMessages() {}
  /// Repaints the estimates chart (Chart1).
  virtual void RefreshChart1() = 0;

  /// Called after every test. Returning false ends the run after that test, keeping
  /// everything already written; the default never stops. A host that shows progress
  /// should keep this cheap and throttle its own display.
  virtual bool ContinueRun(const RunProgress& /*progress*/) { return true; }
};

}  // namespace veltrano
