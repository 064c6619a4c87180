// veltrano-window-timing: how fast the window runs a long simulation, and how quickly it
// answers afterwards. Not a test and not installed; it prints its figures.
//
//   veltrano-window-timing [TESTS]      (default 10000 tests per degree)
//
// The run: Do 0 to 90 in steps of 10 (ten degrees), TESTS tests per degree, defaults
// otherwise, seed 1. The same run is timed in-process against a host that keeps nothing
// (the cost of the simulation itself), then in the window with its panes, charts and
// progress display. Afterwards: scrolling each pane to its middle and end, and showing
// each page, each timed with its repaint.
#include "numeric/UniformGenerator.h"
#include "simulation/SimulationRun.h"
#include "ui/ChartWidget.h"
#include "ui/SpinEdit.h"
#include "ui/TForm1.h"
#include "ui/TTextEditor.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>

#include <cstdio>
#include <cstdlib>

namespace {

struct NullHost final : veltrano::RunHost {
  void SelectGraphPage() override {}
  void SetDoStarText(std::string_view) override {}
  void AppendDataLine(std::string_view) override {}
  void AppendResidualsLine(std::string_view) override {}
  void AddXY(veltrano::SeriesId, double, double) override {}
  void SetSeriesActive(veltrano::SeriesId, bool) override {}
  void ProcessMessages() override {}
  void RefreshChart1() override {}
};

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const int tests = argc > 1 ? std::atoi(argv[1]) : 10000;

  veltrano::TForm1 w;
  w.SetErrorReporter([](QWidget*, const QString& message) {
    std::fprintf(stderr, "error: %s\n", qPrintable(message));
    std::exit(1);
  });
  w.show();
  QCoreApplication::processEvents();
  w.SpinEdit_D0->SetValue(0);
  w.CheckBox_Iterate->setChecked(true);
  w.SpinEdit_Dmax->SetValue(90);
  w.SpinEdit_Step->SetValue(10);
  w.SpinEdit_Test->SetValue(tests);

  QElapsedTimer t;
  {
    NullHost host;
    veltrano::UniformGenerator rng(1);
    t.start();
    veltrano::SimulationRun(rng).Execute(w.Snapshot(), host);
    std::printf("run, host keeping nothing:   %9.1f ms\n", Ms(t));
  }

  veltrano::ProcessUniform().Seed(1);
  t.start();
  w.Button1->click();  // the run works on threads of its own: wait for its end
  while (w.Running()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  std::printf("run in the window:           %9.1f ms  (%d data lines, %d residual lines)\n", Ms(t),
              w.TTextEditor1->LineCount(), w.TextEditor1->LineCount());
  const veltrano::TForm1::RunTimes times = w.LastRunTimes();
  std::printf("  progress shown %d times:    %9.1f ms  (%.1f %% of the run)\n", times.progressUpdates,
              static_cast<double>(times.progressNs) / 1e6,
              100.0 * static_cast<double>(times.progressNs) / static_cast<double>(times.runNs));

  for (veltrano::TTextEditor* pane : {w.TTextEditor1, w.TextEditor1}) {
    w.PageControl1->setCurrentWidget(pane->parentWidget());
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
    for (int page = 0; page < w.PageControl1->count(); ++page) {
      t.start();
      w.PageControl1->setCurrentIndex(page);
      w.PageControl1->currentWidget()->repaint();
      QCoreApplication::processEvents();
      std::printf("show page %-10s (round %d)  %9.1f ms\n", qPrintable(w.PageControl1->tabText(page)),
                  round + 1, Ms(t));
    }
  }
  return 0;
}
