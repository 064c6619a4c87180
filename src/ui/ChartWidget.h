#pragma once
// A widget showing one chart. It holds its ChartModel and paints it from a cached image,
// so a repaint after nothing changed is a single blit. Its context menu offers
// "Save chart as…" (PNG or SVG, chosen by the file's extension), "Fit axes to the
// data" (checkable: the axes then follow the shown series; unchecked, the chart's own)
// and, on a chart that gathers points (AddClearAction), "Clear".
#include "chart/ChartModel.h"
#include "chart/ChartRenderer.h"

#include <QWidget>

#include <cstddef>
#include <functional>
#include <utility>
#include <string_view>

class QAction;

namespace veltrano {

class ChartWidget : public QWidget {
  Q_OBJECT

public:
  /// Asks the user for a file to save the chart to; an empty result cancels.
  using SaveDialog = std::function<QString(QWidget* parent)>;
  /// Shows an error message to the user.
  using ErrorReporter = std::function<void(QWidget* parent, const QString& message)>;

  explicit ChartWidget(ChartModel chart = ChartModel(), QWidget* parent = nullptr);

  /// The chart shown. Changes made through it show at the next repaint (call Refresh or
  /// update()); the functions below that change the chart schedule that repaint themselves.
  ChartModel& Model() noexcept { return chart_; }
  const ChartModel& Model() const noexcept { return chart_; }
  void SetModel(ChartModel chart);

  /// The handle of a series by name; ChartError when the chart has none of that name.
  SeriesHandle Series(std::string_view name) const { return chart_.Handle(name); }
  void AddXY(SeriesHandle series, double x, double y);
  void SetActive(SeriesHandle series, bool active);
  bool Active(SeriesHandle series) const { return chart_.Series(series).Active(); }
  void Clear(SeriesHandle series);
  std::size_t PointCount(SeriesHandle series) const { return chart_.Series(series).Count(); }

  /// Repaints now (when the widget is visible).
  void Refresh();

  /// Adds "Clear" to the context menu (ClearPoints) and returns it; the same action on
  /// later calls.
  QAction* AddClearAction();
  /// The context-menu entry "Clear", or null when the chart has none.
  QAction* ClearAction() const noexcept { return clearAction_; }

  /// Saves the chart at the widget's size (800 × 600 while it has none), the format
  /// chosen by the extension; raises ChartError on failure.
  void SaveAs(const QString& path) const;
  /// The dialog and the error report behind "Save chart as…"; tests replace them so
  /// nothing blocks. The defaults are a QFileDialog and a QMessageBox.
  void SetSaveDialog(SaveDialog dialog) { saveDialog_ = std::move(dialog); }
  void SetErrorReporter(ErrorReporter reporter) { reportError_ = std::move(reporter); }
  /// The context-menu entry "Save chart as…".
  QAction* SaveAction() const noexcept { return saveAction_; }
  /// The checkable context-menu entry "Fit axes to the data"; it follows the model's
  /// FitsAxesToData(), also when the model is replaced.
  QAction* FitAxesAction() const noexcept { return fitAxesAction_; }

  /// The note about points outside the axes on the image last painted (see
  /// OutsideNote in ChartRenderer.h); empty when there is none or the chart writes none.
  QString OutsideNote() const;

  /// The image cache behind paintEvent, for inspection.
  const ChartImageCache& Cache() const noexcept { return cache_; }

  QSize sizeHint() const override { return {800, 600}; }

public slots:
  /// Asks for a file name and saves the chart there; errors go to the error reporter.
  void SaveInteractively();
  /// Fits the axes to the data (true) or goes back to the chart's own axes (false).
  void SetFitAxesToData(bool fit);
  /// Removes every series' points (the series, their looks and the axes stay) and gives
  /// their memory back.
  void ClearPoints();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  ChartModel chart_;
  ChartImageCache cache_;
  QAction* saveAction_ = nullptr;
  QAction* fitAxesAction_ = nullptr;
  QAction* clearAction_ = nullptr;
  SaveDialog saveDialog_;
  ErrorReporter reportError_;
};

}  // namespace veltrano
