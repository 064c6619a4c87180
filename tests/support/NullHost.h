#pragma once
// A run host that takes everything a run writes and keeps nothing: the run's own cost,
// for the benchmarks and timings that compare against it.
#include <string_view>

#include "simulation/RunHost.h"

namespace veltrano::testing {

struct NullHost final : RunHost {
  void SelectGraphPage() override {}
  void SetDoStarText(std::string_view) override {}
  void AppendDataLine(std::string_view) override {}
  void AppendResidualsLine(std::string_view) override {}
  void AddXY(SeriesId, double, double) override {}
  void SetSeriesActive(SeriesId, bool) override {}
  void RefreshChart1() override {}
};

}  // namespace veltrano::testing
