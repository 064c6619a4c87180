#pragma once
// Saving a chart to a file: PNG through the raster path, SVG through the vector path.
// Every failure raises ChartError with a message that names the file.
#include "chart/ChartError.h"
#include "chart/ChartModel.h"

#include <QSize>
#include <QString>

namespace veltrano {

enum class ChartFileFormat { Png, Svg };

/// The format a file name asks for by its extension, ".png" or ".svg" in any letter case.
/// Anything else raises ChartError.
ChartFileFormat ChartFormatFromPath(const QString& path);

/// Writes the chart as a PNG image of size pixels.
void SavePng(const ChartModel& chart, const QString& path, QSize size);
/// Writes the chart as an SVG drawing of size pixels; each series writes one marker per
/// pixel its points cover, so the file stays small however many points share a pixel.
void SaveSvg(const ChartModel& chart, const QString& path, QSize size);
/// SavePng or SaveSvg, chosen by the file's extension.
void SaveChart(const ChartModel& chart, const QString& path, QSize size);

}  // namespace veltrano
