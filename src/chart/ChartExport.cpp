#include "chart/ChartExport.h"

#include "chart/ChartRenderer.h"

#include <QBuffer>
#include <QSaveFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgGenerator>

#include <string>

namespace veltrano {
namespace {

[[noreturn]] void Fail(const QString& path, const QString& why) {
  throw ChartError("Cannot save chart to \"" + path.toStdString() + "\": " + why.toStdString());
}

void CheckSize(const QString& path, QSize size) {
  if (size.isEmpty()) {
    Fail(path, QStringLiteral("the size %1 x %2 has no pixels").arg(size.width()).arg(size.height()));
  }
}

}  // namespace

ChartFileFormat ChartFormatFromPath(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("png")) return ChartFileFormat::Png;
  if (suffix == QLatin1String("svg")) return ChartFileFormat::Svg;
  Fail(path, QStringLiteral("the name must end in .png or .svg"));
}

// Charts are made in memory and written through QSaveFile: into a temporary file beside
// the target, which replaces the target only once the whole chart is written. A failure
// halfway leaves an existing file as it was, and is reported with the system's reason (a
// full disk says so), which only the file itself knows.
void Write(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) Fail(path, file.errorString());
  if (file.write(bytes) != bytes.size()) Fail(path, file.errorString());
  if (!file.commit()) Fail(path, file.errorString());
}

void SavePng(const ChartModel& chart, const QString& path, QSize size) {
  CheckSize(path, size);
  const QImage image = RenderChart(chart, size);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) Fail(path, writer.errorString());
  Write(path, bytes);
}

void SaveSvg(const ChartModel& chart, const QString& path, QSize size) {
  CheckSize(path, size);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(size);
  svg.setViewBox(QRect(QPoint(0, 0), size));
  // Lay the text out as in a PNG of the same size: fonts are given in points, and
  // QSvgGenerator would otherwise assume 72 dots per inch where images use the screen's.
  svg.setResolution(QImage(1, 1, QImage::Format_ARGB32_Premultiplied).logicalDpiX());
  svg.setTitle(chart.Title());
  {
    QPainter painter;
    if (!painter.begin(&svg)) Fail(path, QStringLiteral("the SVG writer could not start"));
    DrawChart(painter, chart, size);
  }
  Write(path, bytes);
}

void SaveChart(const ChartModel& chart, const QString& path, QSize size) {
  switch (ChartFormatFromPath(path)) {
    case ChartFileFormat::Png: SavePng(chart, path, size); return;
    case ChartFileFormat::Svg: SaveSvg(chart, path, size); return;
  }
}

}  // namespace veltrano
