#include "ui/SummaryPage.h"

#include "chart/StudyChart.h"
#include "numeric/NumStr.h"
#include "ui/ChartWidget.h"
#include "ui/TTextEditor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <optional>

namespace veltrano {
namespace {

// The table's columns; the last two only when the run computed the test-inversion
// interval.
enum Column : int {
  kDoStar,
  kEstimator,
  kTests,
  kDefined,
  kMean,
  kBias,
  kBiasMcse,
  kEmpSe,
  kEmpSeMcse,
  kRmse,
  kRmseMcse,
  kModelSe,
  kModelSeMcse,
  kWald,
  kWaldMcse,
  kCi,
  kCiMcse,
  kColumnCount
};

struct ColumnInfo {
  const char* header;
  const char* tip;
};

constexpr ColumnInfo kColumns[kColumnCount] = {
    {"Do*", "The realised degree of knowledge: the truth the estimates are measured against"},
    {"Estimator", "Du: maximum likelihood; Dc: conditioned; D Lord & Novick: the correction for guessing"},
    {"Tests", "Tests of this degree the run finished"},
    {"Defined", "Tests whose estimate is defined; every measure is taken over these"},
    {"Mean", "Mean of the estimates"},
    {"Bias", "Mean estimate minus Do*"},
    {"Bias MCSE", "Monte Carlo standard error of the bias"},
    {"Emp. SE", "Empirical standard error: the standard deviation of the estimates"},
    {"Emp. SE MCSE", "Monte Carlo standard error of the empirical SE"},
    {"RMSE", "Root mean squared error about Do*"},
    {"RMSE MCSE", "Monte Carlo standard error of the RMSE"},
    {"Model SE", "Mean model standard error: the root of the mean of the squared SEs the analysis gave"},
    {"Model SE MCSE", "Monte Carlo standard error of the model SE"},
    {"Wald coverage", "Share of the Wald intervals (estimate ± 1.96 SE) that hold Do*"},
    {"Wald MCSE", "Monte Carlo standard error of the Wald coverage"},
    {"CI coverage", "Share of the test-inversion intervals of Du that hold Do*"},
    {"CI MCSE", "Monte Carlo standard error of the CI coverage"},
};

QString EstimatorCaption(Estimator e) {
  switch (e) {
    case Estimator::Du: return QStringLiteral("Du");
    case Estimator::Dc: return QStringLiteral("Dc");
    case Estimator::DLN: return QStringLiteral("D Lord & Novick");
  }
  return {};
}

// A value that rounds to zero at these decimals shows as 0.000, never −0.000: the sign of a
// rounded zero says nothing a reader could use.
QString Number(double x, int decimals) {
  std::string text = NumStr(x, 0, decimals);
  if (!text.empty() && text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
  return QString::fromStdString(text);
}

// The value of a measure column, or none.
std::optional<double> Measure(const SummaryTableModel::Row& r, int column) {
  const EstimatorMeasures& m = r.measures;
  const auto coverage = [](const std::optional<IntervalMeasures>& i, bool mcse) -> std::optional<double> {
    if (!i) return std::nullopt;
    return mcse ? i->coverageMcse : i->coverage;
  };
  switch (column) {
    case kMean: return m.mean;
    case kBias: return m.bias;
    case kBiasMcse: return m.biasMcse;
    case kEmpSe: return m.empSe;
    case kEmpSeMcse: return m.empSeMcse;
    case kRmse: return m.rmse;
    case kRmseMcse: return m.rmseMcse;
    case kModelSe: return m.modelSe;
    case kModelSeMcse: return m.modelSeMcse;
    case kWald: return coverage(m.wald, false);
    case kWaldMcse: return coverage(m.wald, true);
    case kCi: return coverage(m.inversion, false);
    case kCiMcse: return coverage(m.inversion, true);
    default: return std::nullopt;
  }
}

const QString kLastRunOnly =
    QStringLiteral("The other pages gather the output of every run; this page shows the last run only.");

}  // namespace

// ---- The table's model ----------------------------------------------------------------------

void SummaryTableModel::SetSummary(const RunSummary& summary, int decimals) {
  beginResetModel();
  rows_.clear();
  decimals_ = decimals;
  interval_ = summary.Interval();
  rows_.reserve(summary.Degrees().size() * kEstimators.size());
  int index = 0;
  for (const RunSummary::Degree& d : summary.Degrees()) {
    const ConditionSummary s = d.builder.Summary();
    for (Estimator e : kEstimators)
      rows_.push_back({index, d.record.doStar, e, MeasuresOf(s, e, d.record.doStar, interval_)});
    ++index;
  }
  endResetModel();
}

void SummaryTableModel::Clear() {
  beginResetModel();
  rows_.clear();
  endResetModel();
}

int SummaryTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SummaryTableModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return interval_ ? kColumnCount : kCi;
}

QVariant SummaryTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
  const Row& r = rows_[static_cast<std::size_t>(index.row())];
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      switch (column) {
        case kDoStar: return Number(r.doStar, decimals_);
        case kEstimator: return EstimatorCaption(r.estimator);
        case kTests: return QString::number(r.measures.replications);
        case kDefined: return QString::number(r.measures.defined);
        default: {
          const std::optional<double> x = Measure(r, column);
          return x ? Number(*x, decimals_) : QString();
        }
      }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(column == kEstimator ? Qt::AlignLeft | Qt::AlignVCenter
                                                      : Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole:
      // The three rows of a degree read as one group: every other degree is shaded.
      if (r.degreeIndex % 2 == 1) return QApplication::palette().alternateBase();
      return {};
    default: return {};
  }
}

QVariant SummaryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::DisplayRole) return QString::fromUtf8(kColumns[section].header);
  if (role == Qt::ToolTipRole) return QString::fromUtf8(kColumns[section].tip);
  return {};
}

// ---- The page -------------------------------------------------------------------------------

SummaryPage::SummaryPage(QWidget* parent)
    : QWidget(parent),
      Label_Summary(new QLabel(this)),
      SummaryTable(new QTableView(this)),
      Button_SaveSummary(new QPushButton(QStringLiteral("Save as CSV\u2026"), this)),
      SummaryChartChoice(new QComboBox(this)),
      SummaryChart(new ChartWidget(ChartModel(), this)),
      CoverageChart(new ChartWidget(ChartModel(), this)),
      CopyAction(new QAction(QStringLiteral("Copy"), SummaryTable)),
      CopyWithHeadersAction(new QAction(QStringLiteral("Copy with headers"), SummaryTable)),
      model_(new SummaryTableModel(this)) {
  Label_Summary->setObjectName(QStringLiteral("Label_Summary"));
  SummaryTable->setObjectName(QStringLiteral("SummaryTable"));
  Button_SaveSummary->setObjectName(QStringLiteral("Button_SaveSummary"));
  SummaryChartChoice->setObjectName(QStringLiteral("SummaryChartChoice"));
  SummaryChart->setObjectName(QStringLiteral("SummaryChart"));
  CoverageChart->setObjectName(QStringLiteral("CoverageChart"));
  CopyAction->setObjectName(QStringLiteral("CopySummary"));
  CopyWithHeadersAction->setObjectName(QStringLiteral("CopySummaryWithHeaders"));

  Label_Summary->setWordWrap(true);
  Label_Summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Button_SaveSummary->setToolTip(QStringLiteral(
      "The rows of veltrano-batch simulate --summary: every measure with full precision, in the study's columns"));
  Button_SaveSummary->setEnabled(false);
  SummaryChartChoice->addItem(QStringLiteral("Mean estimate \u00b1 1.96 empirical SE"));
  SummaryChartChoice->addItem(QStringLiteral("Bias \u00b1 1.96 Monte Carlo SE"));
  SummaryChartChoice->setToolTip(QStringLiteral(
      "The empirical SE is the spread of the estimates; the Monte Carlo SE is how precisely the run measured the bias"));

  SummaryTable->setModel(model_);
  SummaryTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
  SummaryTable->setSelectionBehavior(QAbstractItemView::SelectItems);
  SummaryTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  SummaryTable->setWordWrap(false);
  SummaryTable->verticalHeader()->hide();
  SummaryTable->verticalHeader()->setDefaultSectionSize(SummaryTable->fontMetrics().height() + 4);
  SummaryTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  SummaryTable->horizontalHeader()->setHighlightSections(false);
  CopyAction->setShortcut(QKeySequence::Copy);
  CopyAction->setShortcutContext(Qt::WidgetShortcut);
  SummaryTable->addAction(CopyAction);
  SummaryTable->addAction(CopyWithHeadersAction);
  SummaryTable->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(CopyAction, &QAction::triggered, this, [this] { CopySelection(false); });
  connect(CopyWithHeadersAction, &QAction::triggered, this, [this] { CopySelection(true); });
  connect(SummaryChartChoice, &QComboBox::currentIndexChanged, this, &SummaryPage::DrawCharts);

  auto* tools = new QHBoxLayout();
  tools->setContentsMargins(0, 0, 0, 0);
  tools->addWidget(Button_SaveSummary);
  tools->addStretch(1);
  auto* chartLabel = new QLabel(QStringLiteral("Chart:"), this);
  chartLabel->setBuddy(SummaryChartChoice);
  tools->addWidget(chartLabel);
  tools->addWidget(SummaryChartChoice);

  auto* charts = new QSplitter(Qt::Horizontal, this);
  charts->setObjectName(QStringLiteral("SummaryCharts"));
  charts->addWidget(SummaryChart);
  charts->addWidget(CoverageChart);
  charts->setChildrenCollapsible(false);
  CoverageChart->hide();

  auto* split = new QSplitter(Qt::Vertical, this);
  split->setObjectName(QStringLiteral("SummarySplitter"));
  split->addWidget(SummaryTable);
  split->addWidget(charts);
  split->setChildrenCollapsible(false);
  // The table takes two fifths of the height at first, the charts the rest.
  split->setSizes({400, 600});

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(4);
  column->addWidget(Label_Summary);
  column->addLayout(tools);
  column->addWidget(split, 1);

  Label_Summary->setText(QStringLiteral("No run yet. ") + kLastRunOnly);
  DrawCharts();
}

void SummaryPage::ShowRunUnderWay() {
  hasSummary_ = false;
  summary_ = RunSummary{};
  model_->Clear();
  Button_SaveSummary->setEnabled(false);
  Label_Summary->setText(QStringLiteral("A run is under way; its summary appears here when it ends. ") + kLastRunOnly);
  DrawCharts();
}

void SummaryPage::ShowSummary(const RunSummary& summary, int decimals, const QString& ending) {
  summary_ = summary;
  hasSummary_ = !summary_.Degrees().empty();
  model_->SetSummary(summary_, decimals);
  Button_SaveSummary->setEnabled(hasSummary_);
  if (hasSummary_) {
    std::int64_t tests = 0;
    for (const RunSummary::Degree& d : summary_.Degrees()) tests += d.builder.Summary().Replications();
    const ConditionRecord& first = summary_.Degrees().front().record;
    const Condition& c = first.condition;
    const int lastDo = summary_.Degrees().back().record.condition.D;
    const auto degrees = static_cast<qsizetype>(summary_.Degrees().size());
    const QString range = degrees == 1 ? QStringLiteral("Do %1").arg(c.D)
                                       : QStringLiteral("Do %1 to %2 (%3 degrees)").arg(c.D).arg(lastDo).arg(degrees);
    Label_Summary->setText(QStringLiteral("The last run (seed %1): n = %2, k = %3, %4, %5 %6%7. ")
                               .arg(first.seed)
                               .arg(c.n)
                               .arg(c.k)
                               .arg(range)
                               .arg(tests)
                               .arg(tests == 1 ? QStringLiteral("test") : QStringLiteral("tests"))
                               .arg(ending) +
                           kLastRunOnly);
    SummaryTable->resizeColumnsToContents();
  } else {
    Label_Summary->setText(QStringLiteral("The last run finished no test%1: there is nothing to summarise. ")
                               .arg(ending) +
                           kLastRunOnly);
  }
  DrawCharts();
}

// The charts are the plots of the run's summary, drawn as the study's plots are.
void SummaryPage::DrawCharts() {
  const bool bias = SummaryChartChoice->currentIndex() == 1;
  SummaryChart->SetModel(StudyChart(SummaryEstimatesPlot(summary_, bias)));
  const bool coverage = hasSummary_ && summary_.Interval();
  if (coverage) CoverageChart->SetModel(StudyChart(SummaryCoveragePlot(summary_)));
  CoverageChart->setVisible(coverage);
}

std::string SummaryPage::Csv() const { return hasSummary_ ? summary_.Rows(RowFormat::Csv) : std::string(); }

void SummaryPage::SaveCsv(const QString& path) const {
  const auto fail = [&path](const QString& reason) {
    throw TextFileError(
        QStringLiteral("Cannot write \"%1\": %2").arg(QDir::toNativeSeparators(path), reason).toStdString());
  };
  const std::string text = Csv();
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) fail(file.errorString());
  if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()))
    fail(file.errorString());
  if (!file.commit()) fail(file.errorString());
}

QString SummaryPage::SelectionText(bool headers) const {
  const QModelIndexList selected = SummaryTable->selectionModel()->selectedIndexes();
  if (selected.isEmpty()) return {};
  int top = selected.front().row(), bottom = top, left = selected.front().column(), right = left;
  for (const QModelIndex& i : selected) {
    top = std::min(top, i.row());
    bottom = std::max(bottom, i.row());
    left = std::min(left, i.column());
    right = std::max(right, i.column());
  }
  const int width = right - left + 1;
  std::vector<QString> grid(static_cast<std::size_t>((bottom - top + 1) * width));
  for (const QModelIndex& i : selected)
    grid[static_cast<std::size_t>((i.row() - top) * width + (i.column() - left))] = i.data().toString();
  QString text;
  if (headers) {
    for (int c = left; c <= right; ++c) {
      if (c > left) text += u'\t';
      text += model_->headerData(c, Qt::Horizontal).toString();
    }
    text += u'\n';
  }
  for (int r = 0; r <= bottom - top; ++r) {
    for (int c = 0; c < width; ++c) {
      if (c > 0) text += u'\t';
      text += grid[static_cast<std::size_t>(r * width + c)];
    }
    text += u'\n';
  }
  return text;
}

void SummaryPage::CopySelection(bool headers) const {
  const QString text = SelectionText(headers);
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

}  // namespace veltrano
