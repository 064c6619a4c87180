#pragma once
// A run host that takes everything a run writes and keeps nothing: for work that wants only
// the run's tests (through its observer), and for the benchmarks that measure the run's
// own cost.
#include <string_view>

#include "simulation/RunHost.h"

namespace veltrano {

struct NullHost final : RunHost {
  void SelectGraphPage() override {}
  void SetDoStarText(std::string_view) override {}
  void AppendDataLine(std::string_view) override {}
  void AppendResidualsLine(std::string_view) override {}
  void AddXY(SeriesId, double, double) override {}
  void SetSeriesActive(SeriesId, bool) override {}
  void RefreshChart1() override {}
};

}  // namespace veltrano
