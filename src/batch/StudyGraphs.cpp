#include "batch/StudyGraphs.h"

#include <QSize>
#include <QString>

#include "chart/ChartExport.h"

namespace veltrano::batch {

void SaveStudyPlot(const StudyPlot& plot, const std::string& path, int width, int height) {
  SaveChart(StudyChart(plot), QString::fromStdString(path), QSize(width, height));
}

}  // namespace veltrano::batch
