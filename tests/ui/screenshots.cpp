// veltrano-screenshots: pictures of every page of the window, for the documentation.
// Not installed. scripts/screenshots.sh runs it under a virtual X server so that fonts
// and styles are those of a real desktop.
//
//   veltrano-screenshots OUTPUT_DIR
//
// Two windows, each run once: the default settings, then an iterating run (Do 0 to 90 in
// steps of 10, 100 tests per degree) with Dc and D Lord & Novick shown. The output pages
// of each are saved as PNG, the Summary page of the iterating run too, plus the About
// page of a window just opened. Each run starts
// from a fixed seed, so the pictures change only when the program does.
#include "FormWidgets.h"
#include "numeric/UniformGenerator.h"
#include "ui/SpinEdit.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QEventLoop>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTextStream>
#include <QThread>

#include <cstdint>
#include <cstdio>
#include <functional>

namespace {

using veltrano::testing::FormWidgets;

// Presses Ok and waits for the run's end in an event loop, which sleeps while there is
// nothing to do (polling would keep a core busy and slow the run it measures).
void RunToEnd(veltrano::TForm1& w) {
  QEventLoop loop;
  QObject::connect(&w, &veltrano::TForm1::RunFinished, &loop, &QEventLoop::quit);
  FormWidgets(w).Button1->click();
  if (w.Running()) loop.exec();
}

int failures = 0;
constexpr std::uint32_t kSeed = 2014;

void Settle() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(20);
  }
}

void Save(QWidget& window, const QDir& dir, const QString& name) {
  Settle();
  const QString path = dir.filePath(name + QStringLiteral(".png"));
  if (!window.grab().save(path)) {
    std::fprintf(stderr, "veltrano-screenshots: cannot write %s\n", qPrintable(path));
    ++failures;
    return;
  }
  std::printf("%s\n", qPrintable(path));
}

// Opens a window, applies the settings to its controls, presses Ok and saves the output
// pages (and the Summary page when asked).
void Shoot(const QDir& dir, const QString& prefix, const std::function<void(const FormWidgets&)>& settings,
           bool summary = false) {
  veltrano::TForm1 w;
  const FormWidgets ui(w);
  w.SetErrorReporter([](QWidget*, const QString& message) {
    std::fprintf(stderr, "veltrano-screenshots: %s\n", qPrintable(message));
    ++failures;
  });
  w.show();
  Settle();
  if (!settings) {
    Save(w, dir, prefix + QStringLiteral("about"));
    return;
  }
  settings(ui);
  w.Generator().Seed(kSeed);
  RunToEnd(w);
  const char* pages[] = {"data", "graph", "residual", "residuals"};
  for (int i = 0; i < 4; ++i) {
    ui.PageControl1->setCurrentIndex(i);
    Save(w, dir, prefix + QString::fromLatin1(pages[i]));
  }
  if (summary) {
    ui.PageControl1->setCurrentWidget(ui.TabSummary);
    Save(w, dir, prefix + QStringLiteral("summary"));
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: veltrano-screenshots OUTPUT_DIR\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "veltrano-screenshots: cannot create %s\n", argv[1]);
    return 1;
  }

  Shoot(dir, QString(), {});
  Shoot(dir, QStringLiteral("defaults-"), [](const FormWidgets&) {});
  Shoot(dir, QStringLiteral("iterate-"), [](const FormWidgets& ui) {
    ui.SpinEdit_D0->SetValue(0);
    ui.CheckBox_Iterate->setChecked(true);
    ui.SpinEdit_Dmax->SetValue(90);
    ui.SpinEdit_Test->SetValue(100);
    ui.CheckBox_Dcond->setChecked(true);
    ui.cbDLN->setChecked(true);
  }, true);
  return failures == 0 ? 0 : 1;
}
