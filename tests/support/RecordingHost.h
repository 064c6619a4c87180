#pragma once
// A run host that records everything a run writes, for tests to assert on.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "simulation/RunHost.h"

namespace veltrano::testing {

struct RecordedPoint {
  SeriesId series;
  double x;
  double y;
};

struct RecordingHost final : RunHost {
  std::vector<std::string> data;
  std::vector<std::string> residuals;
  std::vector<RecordedPoint> points;
  std::vector<std::pair<SeriesId, bool>> activations;
  std::vector<int> dmaxWrites;
  std::string doStar;
  int graphPageSelections = 0;
  int processMessages = 0;
  int refreshes = 0;
  long stopAfter = -1;  // cancel after this many tests (−1: never)

  void SelectGraphPage() override { ++graphPageSelections; }
  int WriteDmax(int value) override {
    dmaxWrites.push_back(value);
    return RunHost::WriteDmax(value);
  }
  void SetDoStarText(std::string_view text) override { doStar = text; }
  void AppendDataLine(std::string_view line) override { data.emplace_back(line); }
  void AppendResidualsLine(std::string_view line) override { residuals.emplace_back(line); }
  void AddXY(SeriesId s, double x, double y) override { points.push_back({s, x, y}); }
  void SetSeriesActive(SeriesId s, bool active) override { activations.emplace_back(s, active); }
  void ProcessMessages() override { ++processMessages; }
  void RefreshChart1() override { ++refreshes; }
  bool ContinueRun(const RunProgress& p) override { return stopAfter < 0 || p.testsDone < stopAfter; }

  std::vector<RecordedPoint> Series(SeriesId s) const {
    std::vector<RecordedPoint> out;
    for (const auto& p : points)
      if (p.series == s) out.push_back(p);
    return out;
  }
};

}  // namespace veltrano::testing
