#pragma once
// SummaryPage: the window's "Summary" page. It shows how the estimators did over the
// tests of each degree of the last run: a table with one row per degree and estimator
// (Du, Dc, D Lord & Novick) holding the study's measures (study/Measures.h) with their
// Monte Carlo standard errors, and two charts drawn from the same numbers.
//
// The page holds the last run only: the Data, Graph, Residual and Residuals pages gather
// every run's output, this page starts again with each run and is filled when the run
// ends (completed, cancelled or ended by an error: the tests it finished).
//
// The table: numbers with the run's decimal places, an empty cell where a measure has no
// value or does not apply (D Lord & Novick has no standard error, the test-inversion
// interval is Du's and shown only when the run computed it). Ctrl+C copies the selected
// cells as tab-separated lines (a cell not selected inside the selection's rectangle is
// empty); "Copy with headers" in the context menu puts the column headers first. "Save as
// CSV..." writes the rows `veltrano-batch simulate --summary` writes for the same run, in
// the study's columns with full precision.
//
// The charts: the mean estimate against Do* with ±1.96 empirical SE (the spread of the
// estimates; a band when the run has several degrees, bars for one) and the diagonal, or,
// chosen below the table, the bias with ±1.96 Monte Carlo SE (the precision of the
// simulation itself) and the line of no bias. With the interval on, a second chart shows
// the coverage of the test-inversion and Wald intervals against Do* with the nominal
// 0.95. Both save as PNG or SVG from their context menus.
#include "study/RunSummary.h"

#include <QAbstractTableModel>
#include <QString>
#include <QWidget>

#include <string>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace veltrano {

class ChartWidget;

/// The rows of the Summary table, one per degree and estimator.
class SummaryTableModel final : public QAbstractTableModel {
public:
  using QAbstractTableModel::QAbstractTableModel;

  /// Fills the rows from a run's summary; numbers get `decimals` decimal places.
  void SetSummary(const RunSummary& summary, int decimals);
  void Clear();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  struct Row {
    int degreeIndex = 0;  // the degree's place in the run, from 0
    double doStar = 0;
    Estimator estimator = Estimator::Du;
    EstimatorMeasures measures;
  };
  const std::vector<Row>& Rows() const noexcept { return rows_; }

private:
  std::vector<Row> rows_;
  int decimals_ = 3;
  bool interval_ = false;
};

class SummaryPage : public QWidget {
  Q_OBJECT

public:
  explicit SummaryPage(QWidget* parent = nullptr);

  // The controls, owned through Qt parents, each carrying its name as objectName.
  QLabel* const Label_Summary;            // which run the page shows, and how it ended
  QTableView* const SummaryTable;
  QPushButton* const Button_SaveSummary;  // "Save as CSV..."
  QComboBox* const SummaryChartChoice;    // mean ± 1.96 empirical SE, or bias ± 1.96 MCSE
  ChartWidget* const SummaryChart;        // estimates against Do*
  ChartWidget* const CoverageChart;       // coverage against Do*; shown when the run had the interval
  QAction* const CopyAction;              // Ctrl+C on the table
  QAction* const CopyWithHeadersAction;

  /// A run has started: the page is empty until it ends.
  void ShowRunUnderWay();
  /// Shows the summary of the run that has just ended. decimals: the run's decimal
  /// places; ending: what the label adds about how it ended ("" when it completed).
  void ShowSummary(const RunSummary& summary, int decimals, const QString& ending);
  /// Whether a run's summary is on show (one with at least one finished test).
  bool HasSummary() const noexcept { return hasSummary_; }

  /// The rows of `veltrano-batch simulate --summary` for the summary on show, header first;
  /// "" when there is none.
  std::string Csv() const;
  /// Writes Csv() to a file, which is replaced only once everything was written. Raises
  /// TextFileError naming the file.
  void SaveCsv(const QString& path) const;

  /// The selected cells as tab-separated lines, each ended by "\n"; with headers, the
  /// headers of the selection's columns first. "" when nothing is selected.
  QString SelectionText(bool headers) const;
  /// Puts SelectionText(headers) on the clipboard.
  void CopySelection(bool headers) const;

private:
  void DrawCharts();

  SummaryTableModel* const model_;
  RunSummary summary_;
  bool hasSummary_ = false;
};

}  // namespace veltrano
