// veltrano-window-timing: how fast the window runs a long simulation, how quickly it
// answers afterwards, and what a pane's line costs in memory. Not a test and not
// installed; it prints its figures.
//
//   veltrano-window-timing [TESTS]                      (default 10000 tests per degree)
//   veltrano-window-timing --memory results|listing [LINES]   (default 10^6 lines)
//   veltrano-window-timing --summary [TESTS]            (default 10000 tests per degree)
//   veltrano-window-timing --million
//   veltrano-window-timing --responses [CANCELS]         (default 3 cancelled runs)
//
// The run: Do 0 to 90 in steps of 10 (ten degrees), TESTS tests per degree, defaults
// otherwise, seed 1. The same run is timed in-process against a host that keeps nothing
// (the cost of the simulation itself), as veltrano-batch simulate with its data,
// residuals and points going to /dev/null on as many threads as the window uses, and
// then in the window with its panes, charts and progress display; the window's time is
// given as a multiple of the batch command's. Afterwards: scrolling each pane to its
// middle and end, and showing each page, each timed with its repaint.
//
// --memory: LINES data lines of one kind (the results lines of the run above, or the
// item listing of a full-output run with n = 100000) are appended to the data pane in
// chunks of 10^4 lines, as a run hands them over, while another page is on show; then
// the Data page is shown and scrolled, and the pane is saved. The resident memory the
// pane took (VmRSS of /proc/self/status) is given per line after each step, and the save
// with its time and the peak memory it added (VmHWM). Run each kind in a process of its
// own: memory freed by one is not always given back to the system.
//
// --million, --responses: see Million and Responses below.
//
// --summary: a run of Do 0 to 99 in steps of 1 with TESTS tests per degree (10^6 tests by
// default) and no data lines, seed 1; then the time the run's end took to fill the
// Summary page, and the time to show the page with its table and chart drawn, and to
// draw the chart again as bias and back.
#include "FormWidgets.h"
#include "simulation/NullHost.h"
#include "batch/Console.h"
#include "batch/Simulate.h"
#include "numeric/UniformGenerator.h"
#include "parallel/Jobs.h"
#include "simulation/SimulationRun.h"
#include "ui/ChartWidget.h"
#include "ui/CompactTextEdit.h"
#include "ui/SpinEdit.h"
#include "ui/SummaryPage.h"
#include "ui/TForm1.h"
#include "ui/TTextEditor.h"

#include <QApplication>
#include <QEventLoop>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using veltrano::testing::FormWidgets;

// Presses Ok and waits for the run's end in an event loop, which sleeps while there is
// nothing to do (polling would keep a core busy and slow the run it measures).
void RunToEnd(veltrano::TForm1& w, const FormWidgets& ui) {
  QEventLoop loop;
  QObject::connect(&w, &veltrano::TForm1::RunFinished, &loop, &QEventLoop::quit);
  ui.Button1->click();
  if (w.Running()) loop.exec();
}


// Keeps the data lines of a run, up to a number.
struct DataLines final : veltrano::RunHost {
  std::vector<std::string> lines;
  std::size_t most = 0;
  void SelectGraphPage() override {}
  void SetDoStarText(std::string_view) override {}
  void AppendDataLine(std::string_view line) override {
    if (lines.size() < most) lines.emplace_back(line);
  }
  void AppendResidualsLine(std::string_view) override {}
  void AddXY(veltrano::SeriesId, double, double) override {}
  void SetSeriesActive(veltrano::SeriesId, bool) override {}
  void RefreshChart1() override {}
};

// A pane's question "Save text?" answered No: the pane is cleared.
struct Discard final : veltrano::TextEditorDialogs {
  QMessageBox::StandardButton Warning(QWidget*, const QString&) override { return QMessageBox::No; }
};

// A pane's save dialog that names a file at once.
struct SaveTo final : veltrano::TextEditorDialogs {
  QString path;
  std::optional<QString> SaveFileName(QWidget*, const QString&, const veltrano::FileDialogSettings&) override {
    return path;
  }
};

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

// A figure of /proc/self/status in kB ("VmRSS", "VmHWM"); −1 when it cannot be read.
long StatusKb(const char* key) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  const QByteArray prefix = QByteArray(key) + ':';
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(prefix)) return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
  return -1;
}

void SetLongRun(veltrano::TForm1& w, int tests) {
  const FormWidgets ui(w);
  ui.SpinEdit_D0->SetValue(0);
  ui.CheckBox_Iterate->setChecked(true);
  ui.SpinEdit_Dmax->SetValue(90);
  ui.SpinEdit_Step->SetValue(10);
  ui.SpinEdit_Test->SetValue(tests);
}

int Memory(veltrano::TForm1& w, bool listing, long lines) {
  const FormWidgets ui(w);
  if (listing) {
    ui.CheckBox_full->setChecked(true);
    ui.SpinEdit_n->SetValue(100000);
    ui.SpinEdit_Test->SetValue(1);
  } else {
    SetLongRun(w, 10000);
  }
  // At most 10^5 distinct lines, repeated: the pane's cost does not depend on repeats.
  DataLines made;
  made.most = 100000;
  {
    veltrano::UniformGenerator rng(1);
    veltrano::SimulationRun(rng).Execute(w.Snapshot(), made);
  }
  if (listing) made.lines.erase(made.lines.begin());  // the listing's heading
  ui.PageControl1->setCurrentWidget(ui.TabSheet5);
  QCoreApplication::processEvents();

  veltrano::TTextEditor* const pane = ui.TTextEditor1;
  const long before = StatusKb("VmRSS");
  const auto perLine = [&] { return (static_cast<double>(StatusKb("VmRSS") - before) * 1024.0) / lines; };
  QElapsedTimer t;
  t.start();
  std::int64_t characters = 0;
  std::size_t next = 0;
  for (long done = 0; done < lines;) {
    QString chunk;
    for (int i = 0; i < 10000 && done < lines; ++i, ++done) {
      const std::string& line = made.lines[next++ % made.lines.size()];
      chunk += QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
      chunk += u'\n';
      characters += static_cast<std::int64_t>(line.size()) + 1;
    }
    pane->AppendText(chunk);
  }
  QCoreApplication::processEvents();
  std::printf("%ld %s lines of %.1f characters on average\n", lines, listing ? "listing" : "results",
              static_cast<double>(characters) / static_cast<double>(lines));
  std::printf("appended, page hidden:       %9.1f ms  %6.0f bytes a line\n", Ms(t), perLine());

  t.start();
  ui.PageControl1->setCurrentWidget(ui.TabSheet1);
  pane->Memo1->viewport()->repaint();
  QCoreApplication::processEvents();
  std::printf("Data page shown:             %9.1f ms  %6.0f bytes a line\n", Ms(t), perLine());
  t.start();
  QScrollBar* const bar = pane->Memo1->verticalScrollBar();
  for (const int value : {bar->maximum() / 2, bar->maximum(), 0}) {
    bar->setValue(value);
    pane->Memo1->viewport()->repaint();
  }
  QCoreApplication::processEvents();
  std::printf("scrolled to middle, end, top:%9.1f ms  %6.0f bytes a line\n", Ms(t), perLine());

  QTemporaryDir dir;
  auto save = std::make_shared<SaveTo>();
  save->path = dir.filePath(QStringLiteral("pane.txt"));
  pane->SetDialogs(save);
  const long peakBefore = StatusKb("VmHWM");
  t.start();
  pane->tbSaveClick();
  std::printf("saved (%lld MB):              %9.1f ms  peak %+.0f MB\n",
              static_cast<long long>(QFile(save->path).size() >> 20), Ms(t),
              static_cast<double>(StatusKb("VmHWM") - peakBefore) / 1024.0);
  return 0;
}

int Summary(veltrano::TForm1& w, int tests) {
  const FormWidgets ui(w);
  ui.SpinEdit_D0->SetValue(0);
  ui.CheckBox_Iterate->setChecked(true);
  ui.SpinEdit_Dmax->SetValue(99);
  ui.SpinEdit_Step->SetValue(1);
  ui.SpinEdit_Test->SetValue(tests);
  ui.CheckBox_Text->setChecked(false);
  w.Generator().Seed(1);
  QElapsedTimer t;
  t.start();
  RunToEnd(w, ui);
  const veltrano::TForm1::RunTimes times = w.LastRunTimes();
  std::printf("run of %lld tests in the window: %9.1f ms\n", static_cast<long long>(tests) * 100, Ms(t));
  std::printf("Summary page filled at the end:  %9.2f ms  (%d rows)\n", static_cast<double>(times.summaryNs) / 1e6,
              ui.Summary->SummaryTable->model()->rowCount());
  t.start();
  ui.PageControl1->setCurrentWidget(ui.TabSummary);
  ui.TabSummary->repaint();
  QCoreApplication::processEvents();
  const double shownMs = Ms(t);
  std::printf("Summary page shown and drawn:    %9.2f ms\n", shownMs);
  for (const int choice : {1, 0}) {
    t.start();
    ui.Summary->SummaryChartChoice->setCurrentIndex(choice);
    ui.TabSummary->repaint();
    QCoreApplication::processEvents();
    std::printf("chart drawn again as %-11s %9.2f ms\n", choice == 1 ? "bias:" : "means:", Ms(t));
  }
  std::printf("filled, shown and drawn:         %9.2f ms  (the target: under 100 ms)\n",
              static_cast<double>(times.summaryNs) / 1e6 + shownMs);
  return 0;
}


// --million: the run of 10^6 tests with text on (n = 100, Do 0..99 step 1, 10^4 tests a
// degree, seed 1) in the window: its time, the peak and resident memory, and what the
// panes' text and the charts' points hold of it; then the memory left once both panes are
// cleared as a user clears them (the charts go with them).
void SetMillionRun(veltrano::TForm1& w) {
  const FormWidgets ui(w);
  ui.SpinEdit_D0->SetValue(0);
  ui.CheckBox_Iterate->setChecked(true);
  ui.SpinEdit_Dmax->SetValue(99);
  ui.SpinEdit_Step->SetValue(1);
  ui.SpinEdit_Test->SetValue(10000);
}

int Million(veltrano::TForm1& w) {
  const FormWidgets ui(w);
  SetMillionRun(w);
  const double mb = 1024.0 * 1024.0;
  const long start = StatusKb("VmRSS");
  std::printf("window shown:                 %7.1f MB resident\n", start / 1024.0);
  w.Generator().Seed(1);
  QElapsedTimer t;
  t.start();
  RunToEnd(w, ui);
  std::printf("run of 10^6 tests, text on:   %7.1f s\n", Ms(t) / 1000);
  std::printf("  peak:                       %7.1f MB  (the goal: 450 MB at most)\n", StatusKb("VmHWM") / 1024.0);
  std::printf("  resident at its end:        %7.1f MB\n", StatusKb("VmRSS") / 1024.0);
  for (veltrano::TTextEditor* pane : {ui.TTextEditor1, ui.TextEditor1}) {
    const veltrano::CompactText& text = pane->Memo1->Text();
    std::printf("  %-12s %8d lines: %7.1f MB of text, %7.1f MB held (%.1f bytes a line)\n",
                qPrintable(pane->objectName()), pane->LineCount(), static_cast<double>(text.Bytes()) / mb,
                static_cast<double>(text.MemoryBytes()) / mb,
                static_cast<double>(text.MemoryBytes()) / static_cast<double>(pane->LineCount()));
  }
  std::size_t points = 0;
  for (int i = 0; i < veltrano::kSeriesCount; ++i) points += w.Series(static_cast<veltrano::SeriesId>(i)).Count();
  std::printf("  the charts' points:         %7.1f MB  (%zu points of 16 bytes)\n",
              static_cast<double>(points * sizeof(veltrano::ChartPoint)) / mb, points);

  // Both panes cleared as a user clears them (their charts go with them).
  for (veltrano::TTextEditor* pane : {ui.TTextEditor1, ui.TextEditor1}) {
    pane->SetDialogs(std::make_shared<Discard>());
    pane->tbDel->trigger();
  }
  QCoreApplication::processEvents();
  const long cleared = StatusKb("VmRSS");
  std::printf("panes cleared, charts with them: %7.1f MB resident, %+.1f MB from the start  (the goal: +50 MB at most)\n",
              cleared / 1024.0, (cleared - start) / 1024.0);
  return 0;
}

// --responses: how quickly the window answers while it runs the 10^6 tests of --million on
// every core. A second thread plays the user: at random moments 50 to 150 ms apart it asks
// the window's thread, as input from the window system arrives, for a tab switch or a
// scroll of a pane, in a round over every page; an answer is the time from the asking to
// the action done and its page repainted. Then CANCELS runs (3 by default) are each
// cancelled at a random moment: the click's answer, and the time until the run has ended
// and the window is usable again.
struct Answer {
  const char* what;
  double atS;  // when it was asked, from the run's start
  double ms;   // until it was done and shown
};

void PrintAnswers(const std::vector<Answer>& answers) {
  for (const char* what : {"tab switch", "scroll a pane"}) {
    std::vector<double> ms;
    for (const Answer& a : answers)
      if (std::strcmp(a.what, what) == 0) ms.push_back(a.ms);
    if (ms.empty()) continue;
    std::sort(ms.begin(), ms.end());
    std::printf("  %-14s %4zu answers: median %6.1f ms, 95 %% within %6.1f ms, worst %6.1f ms\n", what, ms.size(),
                ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back());
  }
}

int Responses(veltrano::TForm1& w, int cancels) {
  const FormWidgets ui(w);
  using Clock = std::chrono::steady_clock;
  const auto msSince = [](Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
  };
  SetMillionRun(w);
  QTabWidget* const pages = ui.PageControl1;
  // The user's round: each page in turn, and on a pane's page two scrolls.
  std::vector<std::pair<int, bool>> round;  // page, scroll
  for (int page = 0; page < pages->count(); ++page) {
    round.push_back({page, false});
    if (qobject_cast<veltrano::TTextEditor*>(pages->widget(page)->findChild<veltrano::TTextEditor*>()))
      for (int i = 0; i < 2; ++i) round.push_back({page, true});
  }
  std::vector<Answer> answers;
  std::size_t step = 0;
  Clock::time_point runStart = Clock::now();
  std::mt19937 where(11);
  const auto act = [&](Clock::time_point asked) {
    const auto [page, scroll] = round[step++ % round.size()];
    if (!scroll) {
      pages->setCurrentIndex(page);
      pages->currentWidget()->repaint();
    } else {
      veltrano::TTextEditor* const pane = pages->widget(page)->findChild<veltrano::TTextEditor*>();
      QWidget* const view = pane->Memo1->viewport();
      if (step % 2 == 0) {
        const QPoint at(view->width() / 2, view->height() / 2);
        QWheelEvent wheel(at, view->mapToGlobal(at), {}, QPoint(0, -360), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view, &wheel);
      } else {
        QScrollBar* const bar = pane->Memo1->verticalScrollBar();
        bar->setValue(static_cast<int>(where() % static_cast<unsigned>(bar->maximum() + 1)));
      }
      view->repaint();
    }
    const double atS = std::chrono::duration<double>(asked - runStart).count();
    answers.push_back({scroll ? "scroll a pane" : "tab switch", atS, msSince(asked)});
  };
  std::atomic<bool> stop{false};
  std::atomic<int> asked{0};
  std::thread user([&] {
    std::mt19937 rng(7);
    while (!stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50 + rng() % 100));
      if (stop) break;
      const Clock::time_point now = Clock::now();
      ++asked;
      QMetaObject::invokeMethod(&w, [&act, now] { act(now); }, Qt::QueuedConnection);
    }
  });
  w.Generator().Seed(1);
  // Two runs: the second adds its lines and points to the first's.
  double worstMs = 0;
  double firstRunS = 0;
  for (int run = 1; run <= 2; ++run) {
    const std::size_t runFirst = answers.size();
    runStart = Clock::now();
    RunToEnd(w, ui);
    const double runS = msSince(runStart) / 1000;
    if (run == 1) firstRunS = runS;
    QEventLoop after;  // the user goes on for a moment after the run's end
    QTimer::singleShot(500, &after, &QEventLoop::quit);
    after.exec();
    if (run == 2) {
      stop = true;
      user.join();
      while (static_cast<int>(answers.size()) < asked) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const std::vector<Answer> these(answers.begin() + static_cast<std::ptrdiff_t>(runFirst), answers.end());
    std::printf("run %d of 10^6 tests with text on (%s), %d threads: %.1f s; the window's answers while it ran:\n",
                run, run == 1 ? "a window just opened" : "added to the first's", veltrano::HardwareJobs(), runS);
    if (these.empty()) continue;
    PrintAnswers(these);
    const auto worst = std::max_element(these.begin(), these.end(),
                                        [](const Answer& a, const Answer& b) { return a.ms < b.ms; });
    std::printf("  worst: %.1f ms (%s, asked %.2f s into the run)\n", worst->ms, worst->what, worst->atS);
    worstMs = std::max(worstMs, worst->ms);
  }
  std::printf("worst answer of both runs: %.1f ms  (the goal: 200 ms at most)\n", worstMs);

  // Cancel at random moments of fresh runs, the panes emptied first.
  double worstClick = 0, worstEnd = 0;
  std::mt19937 when(3);
  for (int i = 0; i < cancels; ++i) {
    for (veltrano::TTextEditor* pane : {ui.TTextEditor1, ui.TextEditor1}) {
      pane->SetDialogs(std::make_shared<Discard>());
      pane->tbDel->trigger();
    }
    // A moment within the run: from 0.3 s to 80 % of the first run's time.
    const int atMs = 300 + static_cast<int>(when() % static_cast<unsigned>(std::max(1.0, firstRunS * 800 - 300)));
    std::optional<Clock::time_point> clicked;
    double clickMs = -1;
    double endMs = -1;
    QEventLoop loop;
    const QMetaObject::Connection ended = QObject::connect(&w, &veltrano::TForm1::RunFinished, &loop, [&] {
      if (clicked) endMs = msSince(*clicked);  // otherwise the run ended before the click
      loop.quit();
    });
    std::thread clicker([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(atMs));
      const Clock::time_point now = Clock::now();
      QMetaObject::invokeMethod(&w, [&, now] {
        clicked = now;
        ui.Button_Cancel->click();
        ui.Button_Cancel->repaint();
        clickMs = msSince(now);
      }, Qt::QueuedConnection);
    });
    ui.Button1->click();
    loop.exec();
    clicker.join();
    QCoreApplication::processEvents();  // a click that came after the run's end is handled here
    QObject::disconnect(ended);
    if (endMs < 0) {
      std::printf("Cancel clicked %.1f s into a run: the run had ended before\n", atMs / 1000.0);
      continue;
    }
    std::printf("Cancel clicked %.1f s into a run: answered in %.1f ms; the run ended, the window usable, %.1f ms after the click\n",
                atMs / 1000.0, clickMs, endMs);
    worstClick = std::max(worstClick, clickMs);
    worstEnd = std::max(worstEnd, endMs);
  }
  if (cancels > 0)
    std::printf("worst Cancel: answered in %.1f ms, run ended %.1f ms after the click  (the goal: 200 ms at most)\n",
                worstClick, worstEnd);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  veltrano::TForm1 w;
  const FormWidgets ui(w);
  w.SetErrorReporter([](QWidget*, const QString& message) {
    std::fprintf(stderr, "error: %s\n", qPrintable(message));
    std::exit(1);
  });
  w.show();
  QCoreApplication::processEvents();

  if (argc > 1 && std::strcmp(argv[1], "--memory") == 0) {
    const bool listing = argc > 2 && std::strcmp(argv[2], "listing") == 0;
    const long lines = argc > 3 ? std::atol(argv[3]) : 1000000;
    return Memory(w, listing, lines > 0 ? lines : 1000000);
  }
  if (argc > 1 && std::strcmp(argv[1], "--million") == 0) return Million(w);
  if (argc > 1 && std::strcmp(argv[1], "--responses") == 0) return Responses(w, argc > 2 ? std::atoi(argv[2]) : 3);
  if (argc > 1 && std::strcmp(argv[1], "--summary") == 0) {
    const int tests = argc > 2 ? std::atoi(argv[2]) : 10000;
    return Summary(w, tests > 0 ? tests : 10000);
  }

  const int tests = argc > 1 ? std::atoi(argv[1]) : 10000;
  SetLongRun(w, tests);

  QElapsedTimer t;
  {
    veltrano::NullHost host;
    veltrano::UniformGenerator rng(1);
    t.start();
    veltrano::SimulationRun(rng).Execute(w.Snapshot(), host);
    std::printf("run, host keeping nothing:   %9.1f ms\n", Ms(t));
  }

  // veltrano-batch simulate with the same settings and as many threads as the window's run.
  double batchMs = 0;
  {
    veltrano::batch::SimulateOptions o;
    o.settings = w.Snapshot();
    o.seed = 1;
    o.data = o.residuals = o.points = "/dev/null";
    o.quiet = true;
    o.jobs = veltrano::HardwareJobs();
    std::istringstream in;
    std::ostringstream out, err;
    veltrano::batch::Console console{in, out, err};
    t.start();
    const int status = veltrano::batch::Simulate(o, console);
    batchMs = Ms(t);
    if (status != 0) {
      std::fprintf(stderr, "veltrano-batch simulate failed (%d): %s\n", status, err.str().c_str());
      return 1;
    }
    std::printf("veltrano-batch simulate:     %9.1f ms  (%d threads, outputs to /dev/null)\n", batchMs, o.jobs);
  }

  w.Generator().Seed(1);
  t.start();
  RunToEnd(w, ui);
  const double windowMs = Ms(t);
  std::printf("run in the window:           %9.1f ms  (%d data lines, %d residual lines)\n", windowMs,
              ui.TTextEditor1->LineCount(), ui.TextEditor1->LineCount());
  std::printf("  window / veltrano-batch:   %9.2f\n", windowMs / batchMs);
  const veltrano::TForm1::RunTimes times = w.LastRunTimes();
  std::printf("  progress shown %d times:    %9.1f ms  (%.1f %% of the run)\n", times.progressUpdates,
              static_cast<double>(times.progressNs) / 1e6,
              100.0 * static_cast<double>(times.progressNs) / static_cast<double>(times.runNs));
  std::printf("  taking its output:          %9.1f ms  (lines into the panes, points into the charts)\n",
              static_cast<double>(times.outputNs) / 1e6);

  for (veltrano::TTextEditor* pane : {ui.TTextEditor1, ui.TextEditor1}) {
    ui.PageControl1->setCurrentWidget(pane->parentWidget());
    QCoreApplication::processEvents();
    QScrollBar* bar = pane->Memo1->verticalScrollBar();
    for (const auto& [where, value] : {std::pair{"middle", bar->maximum() / 2}, std::pair{"end", bar->maximum()},
                                       std::pair{"top", 0}}) {
      t.start();
      bar->setValue(value);
      pane->Memo1->viewport()->repaint();
      std::printf("scroll %-12s to its %-6s %9.1f ms\n", qPrintable(pane->objectName()), where, Ms(t));
    }
  }
  for (int round = 0; round < 2; ++round) {
    for (int page = 0; page < ui.PageControl1->count(); ++page) {
      t.start();
      ui.PageControl1->setCurrentIndex(page);
      ui.PageControl1->currentWidget()->repaint();
      QCoreApplication::processEvents();
      std::printf("show page %-10s (round %d)  %9.1f ms\n", qPrintable(ui.PageControl1->tabText(page)),
                  round + 1, Ms(t));
    }
  }
  return 0;
}
