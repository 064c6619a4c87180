#pragma once
// The window's two charts, drawn by veltrano-batch into PNG or SVG files.
//
// The charts keep every point of the run in memory, so they are made only when a
// graph file is asked for. Drawing needs a QGuiApplication, which the program creates
// (main(), on the "offscreen" platform unless QT_QPA_PLATFORM names another) before
// the first RunGraphs. The window's series visibility applies: the run itself switches
// sPoint_DSEM, rPoint_DSEM, sPoint_Dcond and sDLN; the diagonal sLine follows the "D"
// switch given here and the zero line rLine is always shown.
#include <memory>
#include <string>

#include "jobs/Drawing.h"

namespace veltrano::batch {

class RunGraphs final : public jobs::GraphOutput {
public:
  /// Charts with sLine shown when showD.
  explicit RunGraphs(bool showD);
  ~RunGraphs() override;
  RunGraphs(const RunGraphs&) = delete;
  RunGraphs& operator=(const RunGraphs&) = delete;

  void AddXY(SeriesId series, double x, double y) override;
  void SetSeriesActive(SeriesId series, bool active) override;
  void Save(const std::string& chart1Path, const std::string& chart2Path, int width, int height) const override;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace veltrano::batch
