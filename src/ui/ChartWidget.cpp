#include "ui/ChartWidget.h"

#include "chart/ChartError.h"
#include "chart/ChartExport.h"
#include "ui/FreedMemory.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPainter>
#include <QResizeEvent>

#include <utility>

namespace veltrano {
namespace {

const QString kPngFilter = QStringLiteral("PNG image (*.png)");
const QString kSvgFilter = QStringLiteral("SVG drawing (*.svg)");

QString AskWithFileDialog(QWidget* parent) {
  QString filter = kPngFilter;
  QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save chart as"), QString(),
                                              kPngFilter + QStringLiteral(";;") + kSvgFilter, &filter);
  // A name typed without an extension takes the one of the chosen file type.
  if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty()) {
    path += filter == kSvgFilter ? QStringLiteral(".svg") : QStringLiteral(".png");
  }
  return path;
}

void ReportWithMessageBox(QWidget* parent, const QString& message) {
  QMessageBox::warning(parent, QStringLiteral("Save chart as"), message);
}

}  // namespace

ChartWidget::ChartWidget(ChartModel chart, QWidget* parent)
    : QWidget(parent),
      chart_(std::move(chart)),
      saveDialog_(AskWithFileDialog),
      reportError_(ReportWithMessageBox) {
  // The whole area is painted from an opaque image: Qt need not clear it first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  saveAction_ = new QAction(QStringLiteral("Save chart as\u2026"), this);
  saveAction_->setObjectName(QStringLiteral("SaveChartAs"));
  connect(saveAction_, &QAction::triggered, this, &ChartWidget::SaveInteractively);
  addAction(saveAction_);
  fitAxesAction_ = new QAction(QStringLiteral("Fit axes to the data"), this);
  fitAxesAction_->setObjectName(QStringLiteral("FitAxesToData"));
  fitAxesAction_->setCheckable(true);
  fitAxesAction_->setChecked(chart_.FitsAxesToData());
  connect(fitAxesAction_, &QAction::toggled, this, &ChartWidget::SetFitAxesToData);
  addAction(fitAxesAction_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void ChartWidget::SetModel(ChartModel chart) {
  chart_ = std::move(chart);
  fitAxesAction_->setChecked(chart_.FitsAxesToData());
  update();
}

void ChartWidget::SetFitAxesToData(bool fit) {
  chart_.SetFitAxesToData(fit);
  fitAxesAction_->setChecked(fit);  // when called directly; no signal if unchanged
  update();
}

QString ChartWidget::OutsideNote() const {
  return chart_.Style().noteOutsidePoints ? veltrano::OutsideNote(cache_.Outside()) : QString();
}

void ChartWidget::AddXY(SeriesHandle series, double x, double y) {
  chart_.Series(series).AddXY(x, y);
  update();
}

void ChartWidget::SetActive(SeriesHandle series, bool active) {
  chart_.Series(series).SetActive(active);
  update();
}

void ChartWidget::Clear(SeriesHandle series) {
  chart_.Series(series).Clear();
  update();
}

void ChartWidget::Refresh() { repaint(); }

QAction* ChartWidget::AddClearAction() {
  if (clearAction_ != nullptr) return clearAction_;
  clearAction_ = new QAction(QStringLiteral("Clear"), this);
  clearAction_->setObjectName(QStringLiteral("ClearChart"));
  clearAction_->setToolTip(QStringLiteral("Remove every point from the chart"));
  connect(clearAction_, &QAction::triggered, this, &ChartWidget::ClearPoints);
  addAction(clearAction_);
  return clearAction_;
}

void ChartWidget::ClearPoints() {
  for (std::size_t i = 0; i < chart_.SeriesCount(); ++i) chart_.Series(SeriesHandle{i}).Clear();
  update();
  ReturnFreedMemory();
}

void ChartWidget::SaveAs(const QString& path) const {
  const QSize size = width() > 0 && height() > 0 ? this->size() : QSize(800, 600);
  SaveChart(chart_, path, size);
}

void ChartWidget::SaveInteractively() {
  const QString path = saveDialog_ ? saveDialog_(this) : QString();
  if (path.isEmpty()) return;
  try {
    SaveAs(path);
  } catch (const ChartError& e) {
    // Qt cannot carry an exception out of a slot: the user sees the message instead.
    if (reportError_) reportError_(this, QString::fromStdString(e.what()));
  }
}

void ChartWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  cache_.Paint(painter, chart_, size());
}

void ChartWidget::resizeEvent(QResizeEvent* event) {
  // The cache sees the new size at the next paint and rebuilds then.
  QWidget::resizeEvent(event);
  update();
}

}  // namespace veltrano
