#include "batch/RunGraphs.h"

#include <QSize>
#include <QString>

#include <array>

#include "chart/ChartExport.h"
#include "chart/ChartModel.h"

namespace veltrano::batch {

struct RunGraphs::Impl {
  ChartModel chart1 = ChartModel::Chart1();
  ChartModel chart2 = ChartModel::Chart2();
  std::array<ChartSeries*, kSeriesCount> series{};
};

RunGraphs::RunGraphs(bool showD) : impl_(std::make_unique<Impl>()) {
  for (int i = 0; i < kSeriesCount; ++i) {
    const auto id = static_cast<SeriesId>(i);
    ChartModel& chart = ChartOf(id) == RunChart::Residual ? impl_->chart2 : impl_->chart1;
    impl_->series[i] = &chart.Series(SeriesName(id));
  }
  impl_->series[static_cast<int>(SeriesId::sLine)]->SetActive(showD);
}

RunGraphs::~RunGraphs() = default;

void RunGraphs::AddXY(SeriesId series, double x, double y) {
  impl_->series[static_cast<int>(series)]->AddXY(x, y);
}

void RunGraphs::SetSeriesActive(SeriesId series, bool active) {
  impl_->series[static_cast<int>(series)]->SetActive(active);
}

void RunGraphs::Save(const std::string& chart1Path, const std::string& chart2Path, int width,
                     int height) const {
  const QSize size(width, height);
  if (!chart1Path.empty()) SaveChart(impl_->chart1, QString::fromStdString(chart1Path), size);
  if (!chart2Path.empty()) SaveChart(impl_->chart2, QString::fromStdString(chart2Path), size);
}

}  // namespace veltrano::batch
