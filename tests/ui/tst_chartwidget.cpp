// The chart widget: its series operations, painting from the image cache, the
// "Save chart as…" entry of its context menu (dialog and error report replaced), the note
// of points outside the axes and the "Fit axes to the data" entry.
#include "analysis/tAnalisis.h"
#include "chart/ChartError.h"
#include "chart/ChartRenderer.h"
#include "ui/ChartWidget.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using veltrano::ChartError;
using veltrano::ChartModel;
using veltrano::ChartWidget;

class ChartWidgetTest : public QObject {
  Q_OBJECT

private slots:
  void seriesOperationsReachTheModel();
  void unknownSeriesIsAnError();
  void showsTheRenderedChartAndRebuildsOnlyOnChange();
  void refreshRepaintsAtOnce();
  void contextMenuSavesTheChart_data();
  void contextMenuSavesTheChart();
  void saveErrorIsReportedNotThrown();
  void cancelledDialogSavesNothing();
  void notesThePointsOutsideTheShownSeries();
  void fitAxesToTheDataAndBack();

private:
  // Replaces the blocking dialog and message box by fixed answers.
  static void Answer(ChartWidget& w, const QString& path, QStringList* errors) {
    w.SetSaveDialog([path](QWidget*) { return path; });
    w.SetErrorReporter([errors](QWidget*, const QString& message) { errors->append(message); });
  }
};

void ChartWidgetTest::seriesOperationsReachTheModel() {
  ChartWidget w(ChartModel::Chart1());
  const auto dsem = w.Series("sPoint_DSEM");
  const auto line = w.Series("sLine");
  QVERIFY(!(dsem == line));
  w.AddXY(dsem, 0.5, 0.4);
  w.AddXY(dsem, 0.25, 0.2);
  QCOMPARE(w.PointCount(dsem), std::size_t{2});
  QCOMPARE(w.Model().Series(dsem).Points().front().x, 0.25);
  QCOMPARE(w.PointCount(line), std::size_t{0});
  w.SetActive(dsem, false);
  QVERIFY(!w.Active(dsem));
  QVERIFY(w.Active(line));
  w.Clear(dsem);
  QCOMPARE(w.PointCount(dsem), std::size_t{0});
}

void ChartWidgetTest::unknownSeriesIsAnError() {
  ChartWidget w(ChartModel::Chart2());
  QVERIFY_THROWS_EXCEPTION(ChartError, w.Series("sLine"));
}

void ChartWidgetTest::showsTheRenderedChartAndRebuildsOnlyOnChange() {
  ChartWidget w(ChartModel::Chart1());
  w.resize(400, 300);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.repaint();
  const auto built = w.Cache().RebuildCount();
  QVERIFY(built >= 1);
  w.repaint();
  QCOMPARE(w.Cache().RebuildCount(), built);

  w.AddXY(w.Series("sPoint_DSEM"), 0.5, 0.5);
  w.repaint();
  QCOMPARE(w.Cache().RebuildCount(), built + 1);
  const QImage shown = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
  QCOMPARE(w.Cache().RebuildCount(), built + 1);
  const QImage expected = veltrano::RenderChart(w.Model(), w.size(), shown.devicePixelRatio())
                              .convertToFormat(QImage::Format_RGB32);
  QVERIFY(shown == expected);

  w.resize(500, 300);
  w.repaint();
  QCOMPARE(w.Cache().RebuildCount(), built + 2);
}

void ChartWidgetTest::refreshRepaintsAtOnce() {
  ChartWidget w(ChartModel::Chart2());
  w.resize(300, 200);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.repaint();
  const auto built = w.Cache().RebuildCount();
  w.AddXY(w.Series("rLine"), 0, 0);  // no events are processed between these lines
  w.Refresh();
  QCOMPARE(w.Cache().RebuildCount(), built + 1);
}

void ChartWidgetTest::contextMenuSavesTheChart_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QByteArray>("start");
  QTest::newRow("png") << "chart.png" << QByteArray("\x89PNG");
  QTest::newRow("svg") << "chart.svg" << QByteArray("<?xml");
}

void ChartWidgetTest::contextMenuSavesTheChart() {
  QFETCH(QString, name);
  QFETCH(QByteArray, start);
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  ChartWidget w(ChartModel::Chart1());
  w.resize(320, 240);
  QStringList errors;
  Answer(w, dir.filePath(name), &errors);

  QCOMPARE(w.contextMenuPolicy(), Qt::ActionsContextMenu);
  QVERIFY(w.actions().contains(w.SaveAction()));
  QCOMPARE(w.SaveAction()->text(), QString::fromUtf8("Save chart as\u2026"));
  w.SaveAction()->trigger();

  QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
  QFile file(dir.filePath(name));
  QVERIFY(file.open(QIODevice::ReadOnly));
  QVERIFY(file.readAll().startsWith(start));
  if (name.endsWith(".png")) QCOMPARE(QImage(dir.filePath(name)).size(), QSize(320, 240));
}

void ChartWidgetTest::saveErrorIsReportedNotThrown() {
  QTemporaryDir dir;
  ChartWidget w(ChartModel::Chart1());
  QStringList errors;
  const QString path = dir.filePath("chart.jpg");
  Answer(w, path, &errors);
  w.SaveAction()->trigger();
  QCOMPARE(errors, QStringList{"Cannot save chart to \"" + path + "\": the name must end in .png or .svg"});
  QVERIFY(!QFile::exists(path));
}

void ChartWidgetTest::cancelledDialogSavesNothing() {
  QTemporaryDir dir;
  ChartWidget w(ChartModel::Chart1());
  QStringList errors;
  Answer(w, QString(), &errors);
  w.SaveAction()->trigger();
  QVERIFY(errors.isEmpty());
  QVERIFY(QDir(dir.path()).isEmpty());
}

// Shows the widget and paints it now, as a run's Refresh does.
static void ShowAndPaint(ChartWidget& w) {
  w.resize(400, 300);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  w.repaint();
}

void ChartWidgetTest::notesThePointsOutsideTheShownSeries() {
  ChartWidget w(ChartModel::Chart1());
  ShowAndPaint(w);
  QCOMPARE(w.OutsideNote(), QString());
  const auto du = w.Series("sPoint_DSEM"), dc = w.Series("sPoint_Dcond");
  for (const double y : {-0.3, -0.01, 0.5, 1.2, veltrano::Nodefinido /* no value */}) w.AddXY(du, 0.05, y);
  w.AddXY(dc, 0.05, -0.5);
  w.Refresh();
  QCOMPARE(w.OutsideNote(), QStringLiteral("3 points below the axis\n1 point above the axis"));
  w.SetActive(du, false);
  w.Refresh();
  QCOMPARE(w.OutsideNote(), QStringLiteral("1 point below the axis"));
}

void ChartWidgetTest::fitAxesToTheDataAndBack() {
  ChartWidget w(ChartModel::Chart2());
  QAction* fit = w.FitAxesAction();
  QVERIFY(w.actions().contains(fit));
  QCOMPARE(fit->objectName(), QStringLiteral("FitAxesToData"));
  QCOMPARE(fit->text(), QStringLiteral("Fit axes to the data"));
  QVERIFY(fit->isCheckable());
  QVERIFY(!fit->isChecked());
  const auto residuals = w.Series("rPoint_DSEM");
  w.AddXY(residuals, 0.3, -4.11);
  w.AddXY(residuals, 0.6, 2.5);
  ShowAndPaint(w);
  QCOMPARE(w.OutsideNote(), QStringLiteral("1 point below the axis"));

  fit->trigger();
  QVERIFY(w.Model().FitsAxesToData());
  w.repaint();
  QCOMPARE(w.OutsideNote(), QString());
  const auto left = w.Model().ShownLeftAxis();
  QVERIFY(left.min <= -4.11 && left.max >= 2.5);
  QCOMPARE(left.title, QStringLiteral("Standarized Residual"));
  const QImage shown = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
  QVERIFY(shown == veltrano::RenderChart(w.Model(), w.size(), shown.devicePixelRatio())
                       .convertToFormat(QImage::Format_RGB32));

  w.AddXY(residuals, 0.9, -7);  // the fitted axes follow the data
  w.repaint();
  QVERIFY(w.Model().ShownLeftAxis().min <= -7);
  QCOMPARE(w.OutsideNote(), QString());

  fit->trigger();
  QVERIFY(!w.Model().FitsAxesToData());
  w.repaint();
  QCOMPARE(w.Model().ShownLeftAxis().min, -4.0);
  QCOMPARE(w.Model().ShownLeftAxis().max, 4.0);
  QCOMPARE(w.Model().ShownLeftAxis().increment, 0.5);
  QCOMPARE(w.OutsideNote(), QStringLiteral("2 points below the axis"));

  // A model that fits its axes checks the entry; the chart's own unchecks it.
  ChartModel fitted = ChartModel::Chart2();
  fitted.SetFitAxesToData(true);
  w.SetModel(std::move(fitted));
  QVERIFY(fit->isChecked());
  w.SetModel(ChartModel::Chart2());
  QVERIFY(!fit->isChecked());
  QVERIFY(!w.Model().FitsAxesToData());
}

QTEST_MAIN(ChartWidgetTest)
#include "tst_chartwidget.moc"
