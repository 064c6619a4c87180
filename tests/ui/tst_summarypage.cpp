// Tests of the window's Summary page on the offscreen platform: its CSV against
// veltrano-batch simulate --summary run in-process, its table against that CSV, a
// cancelled run's summary, and the table's copy.
#include "FormWidgets.h"
#include "RecordingHost.h"

#include "batch/Console.h"
#include "batch/Simulate.h"
#include "chart/ChartModel.h"
#include "numeric/NumStr.h"
#include "numeric/UniformGenerator.h"
#include "simulation/SimulationRun.h"
#include "study/RunSummary.h"
#include "ui/ChartWidget.h"
#include "ui/SpinEdit.h"
#include "ui/SummaryPage.h"
#include "ui/TForm1.h"
#include "ui/TTextEditor.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using veltrano::TForm1;
using veltrano::testing::FormWidgets;

namespace {

// Names the file every save dialog asks for; records the errors the window reports.
class SaveTo final : public veltrano::TextEditorDialogs {
public:
  QString path;
  std::optional<QString> SaveFileName(QWidget*, const QString&, const veltrano::FileDialogSettings&) override {
    return path;
  }
};

struct Window {
  TForm1 w;
  FormWidgets ui{w};  // its controls, found by object name
  QStringList errors;
  std::shared_ptr<SaveTo> dialogs = std::make_shared<SaveTo>();
  Window() {
    w.SetErrorReporter([this](QWidget*, const QString& message) { errors << message; });
    ui.TTextEditor1->SetDialogs(dialogs);
  }
  veltrano::SummaryPage& Page() { return *ui.Summary; }
  QAbstractItemModel& Table() { return *ui.Summary->SummaryTable->model(); }
};

bool RunToEnd(TForm1& w, int timeoutMs = 120000) {
  const FormWidgets ui(w);
  ui.Button1->click();
  return QTest::qWaitFor([&] { return !w.Running(); }, timeoutMs);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator && separator != '\n') parts.emplace_back();
  return parts;
}

// What veltrano-batch simulate --summary - writes for these settings and seed.
std::string BatchSummary(const veltrano::RunSettings& settings, std::uint32_t seed) {
  veltrano::batch::SimulateOptions o;
  o.settings = settings;
  o.seed = seed;
  o.summary = "-";
  o.quiet = true;
  o.jobs = 2;
  std::istringstream in;
  std::ostringstream out, err;
  veltrano::batch::Console console{in, out, err};
  if (veltrano::batch::Simulate(o, console) != 0) return "simulate failed: " + err.str();
  return out.str();
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The table's column and the CSV column it shows.
const std::vector<std::pair<QString, std::string>> kShownColumns = {
    {"Do*", "do_star"},        {"Tests", "replications"},      {"Defined", "defined"},
    {"Mean", "mean"},          {"Bias", "bias"},               {"Bias MCSE", "bias_mcse"},
    {"Emp. SE", "emp_se"},     {"Emp. SE MCSE", "emp_se_mcse"}, {"RMSE", "rmse"},
    {"RMSE MCSE", "rmse_mcse"}, {"Model SE", "model_se"},        {"Model SE MCSE", "model_se_mcse"},
    {"Wald coverage", "wald_coverage"}, {"Wald MCSE", "wald_coverage_mcse"},
    {"CI coverage", "ci_coverage"},     {"CI MCSE", "ci_coverage_mcse"}};

// The text the table gives a CSV cell: whole numbers as they stand, reals with the run's
// decimals, nothing for an empty cell.
QString Shown(const std::string& cell, const std::string& column, int decimals) {
  if (cell.empty()) return {};
  if (column == "replications" || column == "defined") return QString::fromStdString(cell);
  std::string shown = veltrano::NumStr(std::stod(cell), 0, decimals);
  if (shown.find_first_not_of("-0.") == std::string::npos && shown.front() == '-') shown.erase(0, 1);  // no −0.000
  return QString::fromStdString(shown);
}

}  // namespace

class SummaryPageTest : public QObject {
  Q_OBJECT

private slots:
  void pageMatchesTheBatchSummary_data();
  void pageMatchesTheBatchSummary();
  void cancelledRunSummarisesTheFinishedTests();
  void copyGivesTabSeparatedCells();
};

void SummaryPageTest::pageMatchesTheBatchSummary_data() {
  QTest::addColumn<bool>("iterate");
  QTest::addColumn<bool>("interval");
  QTest::addColumn<int>("decimals");
  QTest::newRow("one degree, defaults") << false << false << 3;
  QTest::newRow("iterating, interval on, 5 decimals") << true << true << 5;
}

// A run's page holds exactly simulate --summary's rows (the last run only, after an
// earlier one); its table shows each CSV cell at the run's decimals, and its charts
// the means and their spread.
void SummaryPageTest::pageMatchesTheBatchSummary() {
  QFETCH(bool, iterate);
  QFETCH(bool, interval);
  QFETCH(int, decimals);
  QTemporaryDir dir;
  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  // An earlier run of other settings, which the page must not keep.
  ui.SpinEdit_Test->SetValue(7);
  QVERIFY(RunToEnd(w));
  QCOMPARE(f.Table().rowCount(), 3);

  ui.SpinEdit_n->SetValue(40);
  ui.SpinEdit_k->SetValue(4);
  ui.SpinEdit_Test->SetValue(60);
  ui.SpinEdit_Decs->SetValue(decimals);
  ui.CheckBox_CI->setChecked(interval);
  if (iterate) {
    ui.SpinEdit_D0->SetValue(20);
    ui.CheckBox_Iterate->setChecked(true);
    ui.SpinEdit_Dmax->SetValue(60);
  }
  const std::uint32_t seed = 321;
  w.Generator().Seed(seed);
  QVERIFY(RunToEnd(w));
  QVERIFY(f.errors.isEmpty());

  const std::string expected = BatchSummary(w.Snapshot(), seed);
  f.dialogs->path = dir.filePath(QStringLiteral("summary.csv"));
  ui.Summary->Button_SaveSummary->click();
  QVERIFY(f.errors.isEmpty());
  QCOMPARE(FileBytes(f.dialogs->path).toStdString(), expected);

  // The table: one row per degree and estimator, each cell the CSV's at the decimals.
  const std::vector<std::string> lines = Split(expected, '\n');
  const std::vector<std::string> header = Split(lines[0], ',');
  const int degrees = iterate ? 5 : 1;
  QCOMPARE(f.Table().rowCount(), 3 * degrees);
  QCOMPARE(f.Table().columnCount(), interval ? 17 : 15);
  for (int c = 0; c < f.Table().columnCount(); ++c) {
    const QString title = f.Table().headerData(c, Qt::Horizontal).toString();
    if (title == QLatin1String("Estimator")) continue;
    const auto shown = std::find_if(kShownColumns.begin(), kShownColumns.end(),
                                    [&](const auto& p) { return p.first == title; });
    QVERIFY2(shown != kShownColumns.end(), qPrintable(title));
    const auto at = std::find(header.begin(), header.end(), shown->second) - header.begin();
    for (int r = 0; r < f.Table().rowCount(); ++r) {
      const std::vector<std::string> cells = Split(lines[static_cast<std::size_t>(r) + 1], ',');
      QCOMPARE(f.Table().index(r, c).data().toString(),
               Shown(cells[static_cast<std::size_t>(at)], shown->second, decimals));
    }
  }
  QCOMPARE(f.Table().index(2, 1).data().toString(), QStringLiteral("D Lord & Novick"));
  for (int r = 0; r < f.Table().rowCount(); ++r)
    for (int c = 0; c < f.Table().columnCount(); ++c) {
      const QString cell = f.Table().index(r, c).data().toString();
      QVERIFY2(!(cell.startsWith(u'-') && cell.count(u'0') + 2 == cell.size()), qPrintable(cell));  // no -0.000
    }
  // The heading names the seed and the degrees.
  const QString heading = f.Page().Label_Summary->text();
  QVERIFY2(heading.contains(iterate ? QStringLiteral("The last run (seed 321): n = 40, k = 4, Do 20 to 60 (5 degrees), "
                                                     "300 tests")
                                    : QStringLiteral("The last run (seed 321): n = 40, k = 4, Do %1, 60 tests")
                                          .arg(veltrano::setting::D0.byDefault)),
           qPrintable(heading));

  // The charts: Du's mean at each degree with ±1.96 empirical SE; the bias on request;
  // coverage only with the interval.
  const auto du = [&](int degree, const char* column) {
    const std::vector<std::string> cells = Split(lines[static_cast<std::size_t>(1 + 3 * degree)], ',');
    return std::stod(cells[static_cast<std::size_t>(std::find(header.begin(), header.end(), column) - header.begin())]);
  };
  const veltrano::ChartSeries& mean = ui.Summary->SummaryChart->Model().Series("Du");
  QCOMPARE(mean.Points().size(), std::size_t(degrees));
  QCOMPARE(mean.Points()[0].y, du(0, "mean"));
  QCOMPARE(mean.Intervals()[0].upper, du(0, "mean") + 1.96 * du(0, "emp_se"));
  ui.Summary->SummaryChartChoice->setCurrentIndex(1);
  const veltrano::ChartSeries& bias = ui.Summary->SummaryChart->Model().Series("Du");
  QCOMPARE(bias.Points()[0].y, du(0, "bias"));
  QCOMPARE(bias.Intervals()[0].lower, du(0, "bias") - 1.96 * du(0, "bias_mcse"));
  QCOMPARE(ui.Summary->CoverageChart->isVisibleTo(ui.Summary), interval);
  if (interval)
    QCOMPARE(ui.Summary->CoverageChart->Model().Series("DuCI").Points()[0].y, du(0, "ci_coverage"));
}

// A cancelled run's page summarises exactly the tests the run finished: the same rows
// as a run of the same seed stopped after that many tests.
void SummaryPageTest::cancelledRunSummarisesTheFinishedTests() {
  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  w.show();
  ui.SpinEdit_D0->SetValue(0);
  ui.CheckBox_Iterate->setChecked(true);
  ui.SpinEdit_Step->SetValue(1);
  ui.SpinEdit_Test->SetValue(10000);
  ui.CheckBox_Text->setChecked(false);
  const std::uint32_t seed = 99;
  w.Generator().Seed(seed);
  QTimer::singleShot(700, &w, [&] { QTest::mouseClick(ui.Button_Cancel, Qt::LeftButton); });
  QVERIFY(RunToEnd(w, 30000));
  QVERIFY(f.errors.isEmpty());

  const int tests = ui.TextEditor1->LineCount() - 1;  // residual lines after the heading
  QVERIFY(tests > 0 && tests < 1000000);
  veltrano::testing::RecordingHost stopped;
  stopped.stopAfter = tests;
  veltrano::RunSummary expected;
  veltrano::UniformGenerator rng(seed);
  veltrano::SimulationRun run(rng);
  run.SetObserver(&expected);
  QCOMPARE(run.Execute(w.Snapshot(), stopped), veltrano::Ending::Stopped);
  QCOMPARE(ui.Summary->Csv(), expected.Rows(veltrano::RowFormat::Csv));
  QVERIFY2(ui.Summary->Label_Summary->text().contains(
               QStringLiteral("cancelled after %1 of 1000000 tests").arg(tests)),
           qPrintable(ui.Summary->Label_Summary->text()));
}

// Ctrl+C on the table copies the selected cells as tab-separated lines; a cell inside
// the selection's rectangle but not selected is empty. "Copy with headers" adds the
// columns' headers.
void SummaryPageTest::copyGivesTabSeparatedCells() {
  Window f;
  TForm1& w = f.w;
  const FormWidgets& ui = f.ui;
  w.show();
  ui.SpinEdit_Test->SetValue(20);
  QVERIFY(RunToEnd(w));
  ui.PageControl1->setCurrentWidget(ui.TabSummary);
  QTableView* table = ui.Summary->SummaryTable;
  QAbstractItemModel& m = f.Table();
  QItemSelectionModel* selection = table->selectionModel();
  selection->select(QItemSelection(m.index(0, 1), m.index(1, 4)), QItemSelectionModel::Select);
  selection->select(m.index(2, 1), QItemSelectionModel::Select);
  const auto cell = [&](int r, int c) { return m.index(r, c).data().toString(); };
  const QString rows = cell(0, 1) + u'\t' + cell(0, 2) + u'\t' + cell(0, 3) + u'\t' + cell(0, 4) + u'\n' +
                       cell(1, 1) + u'\t' + cell(1, 2) + u'\t' + cell(1, 3) + u'\t' + cell(1, 4) + u'\n' +
                       QStringLiteral("D Lord & Novick\t\t\t\n");
  QCOMPARE(cell(0, 1), QStringLiteral("Du"));
  QCOMPARE(cell(0, 2), QStringLiteral("20"));

  table->setFocus();
  QApplication::clipboard()->clear();
  QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QApplication::clipboard()->text(), rows);
  ui.Summary->CopyWithHeadersAction->trigger();
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Estimator\tTests\tDefined\tMean\n") + rows);
}

QTEST_MAIN(SummaryPageTest)
#include "tst_summarypage.moc"
