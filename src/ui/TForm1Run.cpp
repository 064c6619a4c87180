// TForm1: a run under way. Execute starts it on the bridge and returns; the run's
// output arrives in batches (ApplyRunOutput), and its end in EndRun.
#include "ui/TForm1.h"

#include "numeric/UniformGenerator.h"
#include "ui/ChartWidget.h"
#include "jobs/OutputFile.h"
#include "ui/CompactTextEdit.h"
#include "ui/JobDialogs.h"
#include "ui/RunBridge.h"
#include "simulation/RunTextSize.h"
#include "ui/SheetBridge.h"
#include "ui/SpinEdit.h"
#include "ui/SummaryPage.h"
#include "ui/TTextEditor.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QScopeGuard>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <array>

namespace veltrano {
namespace {

constexpr std::int64_t kMs = 1000000;
// The progress display: see ShowProgress.
constexpr std::int64_t kMinUpdateIntervalNs = 200 * kMs;
constexpr std::int64_t kUpdateCostFactor = 40;

QString Duration(std::int64_t seconds) {
  if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
  if (seconds < 3600) return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
  return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

}  // namespace

bool TForm1::Running() const noexcept { return bridge_->Running() || sheets_->Running(); }

void TForm1::Execute() {
  if (Running()) return;
  // A click with the mouse has taken the focus from a field already; Ok pressed by the
  // keyboard or by the program has not, so the focused field's leaving rules run here.
  if (TSpinEdit* spin = FocusedSpinEdit()) spin->LeaveField();

  const RunSettings settings = Snapshot();
  std::unique_ptr<jobs::OutputFile> dataFile;
  if (!ChooseDataOutput(settings, dataFile)) return;
  // Each point series takes one point a test: room for them all is made now, so that no
  // series is copied into fresh memory while the run works (a million points' copy held
  // the window up for a quarter of a second).
  const std::int64_t tests = EstimateRunText(settings).tests;
  for (const SeriesId id : {SeriesId::sPoint_DSEM, SeriesId::sPoint_Dcond, SeriesId::sDLN, SeriesId::rPoint_DSEM})
    Series(id).Reserve(Series(id).Count() + static_cast<std::size_t>(tests));
  lastSeed_ = generator_.State();
  Label_Seed->setText(QStringLiteral("Seed: %1").arg(*lastSeed_));

  // The summary starts again with each run; the run fills it on its own thread.
  summary_ = RunSummary{};
  summaryDecimals_ = settings.SpinEdit_Decs;
  Summary->ShowRunUnderWay();

  times_ = RunTimes{};
  lastProgress_ = RunProgress{};
  doStarPending_ = false;
  SetRunning(true);
  clock_.start();
  progressTimer_->setInterval(static_cast<int>(kMinUpdateIntervalNs / kMs));
  progressTimer_->start();
  if (dataFile)
    TTextEditor1->AppendLine(QStringLiteral("The data lines of this run go to \"%1\"")
                                 .arg(QDir::toNativeSeparators(QFile::decodeName(dataFile->Path().c_str()))));
  bridge_->Start(settings, std::move(dataFile), &summary_);
}

// Text beyond the limit costs the window several times its size in memory: the run asks
// first whether its data lines should go to a file (Yes: a save dialog picks it; the
// run then streams them there), stay in the pane (No), or not run at all (Cancel, or
// the save dialog cancelled). False when the run is not to start.
bool TForm1::ChooseDataOutput(const RunSettings& settings, std::unique_ptr<jobs::OutputFile>& dataFile) {
  const RunTextSize text = EstimateRunText(settings);
  if (text.Bytes() <= paneTextLimit_ || text.dataLines == 0) return true;
  const QLocale c = QLocale::c();
  TextEditorDialogs& dialogs = TTextEditor1->Dialogs();
  // A pane holds its text as UTF-8 with an index entry per line; beyond the memory the
  // machine has free, keeping it there is no real choice and is not offered.
  const std::int64_t lines = text.dataLines + text.residualLines;
  const std::int64_t paneMemory = text.Bytes() + 16 * lines;
  const std::optional<std::int64_t> free = freeMemory_ ? freeMemory_() : std::nullopt;
  const bool fits = !free || paneMemory < *free;
  const QString size = c.formattedDataSize(text.Bytes(), 1, QLocale::DataSizeSIFormat);
  const QString question =
      fits ? QStringLiteral("This run will write up to %1 of text (%2 lines) to the panes, more than %3; "
                            "the panes keep all of it in memory.\n\n"
                            "Write the data lines to a file instead?")
                 .arg(size, c.toString(lines), c.formattedDataSize(paneTextLimit_, 0, QLocale::DataSizeSIFormat))
           : QStringLiteral("This run will write up to %1 of text (%2 lines) to the panes, more than the memory "
                            "this machine has free (%3), so it cannot stay in the panes.\n\n"
                            "Write the data lines to a file?")
                 .arg(size, c.toString(lines), c.formattedDataSize(*free, 1, QLocale::DataSizeSIFormat));
  const QMessageBox::StandardButton answer = dialogs.Question(
      this, question, QStringLiteral("Write to a file..."), fits ? QStringLiteral("Keep in the pane") : QString());
  if (answer == QMessageBox::No && fits) return true;
  if (answer != QMessageBox::Yes) return false;
  const std::optional<QString> path = dialogs.SaveFileName(this, QString(), TTextEditor1->SaveDialog1);
  if (!path) return false;
  try {
    dataFile = std::make_unique<jobs::OutputFile>(QFile::encodeName(*path).toStdString());
  } catch (...) {
    ReportError(DialogTextOfCurrentError());
    return false;
  }
  return true;
}

void TForm1::CancelRun() noexcept {
  bridge_->Cancel();
  sheets_->Cancel();
}

// While a run works the settings, Ok, the panes' tools and the charts' Save and Clear are
// disabled, and the panes take no typing; progress and Cancel are shown.
void TForm1::SetRunning(bool running) {
  settings_->setEnabled(!running);
  Button1->setEnabled(!running);
  Button_Sheets->setEnabled(!running);
  for (TTextEditor* pane : {TTextEditor1, TextEditor1}) {
    pane->Memo1->setReadOnly(running);
    pane->ToolBar1->setEnabled(!running);
    pane->ToolBar2->setEnabled(!running);
  }
  for (ChartWidget* chart : {Chart1, Chart2}) {
    chart->SaveAction()->setEnabled(!running);
    chart->ClearAction()->setEnabled(!running);
  }
  Button_Cancel->setVisible(running);
  if (running) {
    Label_Progress->clear();
    Label_Progress->show();
  }
}

void TForm1::ApplyRunOutput(const std::shared_ptr<const RunBatch>& batch) {
  const RunBatch& b = *batch;
  const std::int64_t start = clock_.nsecsElapsed();
  const auto counted = qScopeGuard([&] { times_.outputNs += clock_.nsecsElapsed() - start; });
  // An error here (the text pane out of memory) ends the run as one inside it would.
  try {
    if (!b.data.isEmpty()) TTextEditor1->AppendText(b.data);
    if (!b.residuals.isEmpty()) TextEditor1->AppendText(b.residuals);
    // Straight into the series, each chart repainted once for the whole batch.
    std::array<ChartSeries*, kSeriesCount> target{};
    for (int i = 0; i < kSeriesCount; ++i) target[static_cast<std::size_t>(i)] = &Series(static_cast<SeriesId>(i));
    for (const RunBatch::Point& p : b.points) target[static_cast<std::size_t>(p.series)]->AddXY(p.x, p.y);
    if (!b.points.empty()) {
      Chart1->update();
      Chart2->update();
    }
  } catch (const std::exception& e) {
    CancelRun();
    if (windowError_.isEmpty()) windowError_ = QString::fromUtf8(e.what());
    return;
  }
  if (b.doStar) {
    doStarShown_ = *b.doStar;
    doStarPending_ = true;
  }
  if (b.progress) lastProgress_ = *b.progress;
  switch (b.operation) {
    case RunBatch::Operation::None: break;
    case RunBatch::Operation::SelectGraphPage: PageControl1->setCurrentIndex(1); break;
    case RunBatch::Operation::WriteDmax: WriteDmax(b.value); break;
    case RunBatch::Operation::SetSeriesActive: ShowSeries(b.series, b.active); break;
    case RunBatch::Operation::RefreshChart1: Chart1->Refresh(); break;
  }
}

void TForm1::EndRun(Ending end, const QString& error) {
  progressTimer_->stop();
  ShowDoStar();
  Chart1->update();
  Chart2->update();
  SetRunning(false);
  if (end == Ending::Stopped) {
    Label_Progress->setText(
        QStringLiteral("Cancelled after %1 of %2 tests").arg(lastProgress_.testsDone).arg(lastProgress_.testsTotal));
  } else {
    Label_Progress->clear();
    Label_Progress->hide();
  }
  const QString message = !error.isEmpty() ? error : windowError_;
  windowError_.clear();
  // The run's thread has finished with the summary: it holds every test handed on.
  QElapsedTimer fill;
  fill.start();
  QString ending;
  if (!message.isEmpty())
    ending = QStringLiteral(", ended by an error");
  else if (end == Ending::Stopped)
    ending = QStringLiteral(", cancelled after %1 of %2 tests").arg(lastProgress_.testsDone).arg(lastProgress_.testsTotal);
  Summary->ShowSummary(summary_, summaryDecimals_, ending);
  times_.summaryNs = fill.nsecsElapsed();
  times_.runNs = clock_.nsecsElapsed();
  // The lines written before an error are on show before its message.
  if (!message.isEmpty()) ReportError(message);
  emit RunFinished();
  CloseIfPending();
}

void TForm1::CloseIfPending() {
  if (!closePending_) return;
  closePending_ = false;
  close();
}

void TForm1::ShowDoStar() {
  if (!doStarPending_) return;
  Edit_D0->setText(doStarShown_);
  doStarPending_ = false;
}

// Where the run stands and the charts so far. Shown every 200 ms at most, and never
// sooner than 40 times what the last showing took, so that it costs the run at most
// about 2.5 % of the window's time however many points the charts hold.
void TForm1::ShowProgress() {
  if (!Running()) return;
  const std::int64_t start = clock_.nsecsElapsed();
  const RunProgress& p = lastProgress_;
  ShowDoStar();
  if (p.testsTotal > 0) {
    const double done = static_cast<double>(p.testsDone) / static_cast<double>(p.testsTotal);
    const double elapsed = static_cast<double>(start) * 1e-9;
    const auto left = static_cast<std::int64_t>(
        p.testsDone > 0
            ? elapsed * static_cast<double>(p.testsTotal - p.testsDone) / static_cast<double>(p.testsDone) + 0.5
            : 0.0);
    Label_Progress->setText(QStringLiteral("Do %1%: degree %2 of %3\ntest %4 of %5 (%6%)\nabout %7 left")
                                .arg(p.degree)
                                .arg(p.degreeIndex)
                                .arg(p.degreeCount)
                                .arg(p.testInDegree)
                                .arg(p.degreeCount > 0 ? p.testsTotal / p.degreeCount : 0)
                                .arg(static_cast<int>(done * 100))
                                .arg(Duration(left)));
  }
  // The page on show repaints now, so that its cost is counted here.
  Chart1->update();
  Chart2->update();
  if (QWidget* page = PageControl1->currentWidget()) page->repaint();
  Label_Progress->repaint();
  Edit_D0->repaint();

  const std::int64_t cost = clock_.nsecsElapsed() - start;
  times_.progressNs += cost;
  ++times_.progressUpdates;
  progressTimer_->setInterval(static_cast<int>(std::max(kMinUpdateIntervalNs, kUpdateCostFactor * cost) / kMs));
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (Running()) {
    // The run ends after its current test; its end then closes the window.
    CancelRun();
    closePending_ = true;
    event->ignore();
    return;
  }
  // Each modified pane is asked about on its own page, and by the name of its tab, so the
  // user knows which text the question means.
  for (TTextEditor* pane : {TTextEditor1, TextEditor1}) {
    if (!pane->GetModificado()) continue;
    PageControl1->setCurrentWidget(pane->parentWidget());
    if (!pane->CloseQuery(PageControl1->tabText(PageControl1->currentIndex()).trimmed())) {
      event->ignore();
      return;
    }
  }
  QMainWindow::closeEvent(event);
}

}  // namespace veltrano
