// veltrano-batch: the window's simulation and the delta-model analysis from a shell.
#include <unistd.h>

#include <csignal>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "batch/Commands.h"

#ifdef VELTRANO_BATCH_GRAPHS
#include <QGuiApplication>

#include <cstdio>

#include "batch/RunGraphs.h"
#include "batch/StudyGraphs.h"
#endif

namespace {

// In work that stops cleanly (a run, a study, an analysis), the first SIGINT, SIGTERM or
// SIGHUP ends it after the test, condition or table under way, so the outputs are written
// out complete up to there; a second one ends the program at once. Anywhere else the
// first one ends the program at once.
extern "C" void OnStopSignal(int signal) {
  std::signal(signal, SIG_DFL);
  if (!veltrano::batch::RequestStopFromSignal(signal)) std::raise(signal);
}

#ifdef VELTRANO_BATCH_GRAPHS
// QGuiApplication keeps references to its argc and argv for its whole life.
int appArgc = 1;
char appName[] = "veltrano-batch";
char* appArgv[] = {appName, nullptr};

// Drawing into files needs no desktop, yet a GUI application started outside one warns
// that it has no runtime directory: that warning alone is dropped, the rest passed on.
QtMessageHandler previousHandler = nullptr;
void DropRuntimeDirectoryWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths:"))) return;
  if (previousHandler != nullptr)
    previousHandler(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, OnStopSignal);
  // A reader that goes away (| head) makes the next write fail with EPIPE, which the
  // commands handle, instead of ending the program before it saves its other files.
  std::signal(SIGPIPE, SIG_IGN);
  veltrano::batch::Console console{std::cin, std::cout, std::cerr, isatty(STDERR_FILENO) != 0, true,
                                   isatty(STDOUT_FILENO) != 0};
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

  veltrano::batch::BatchServices services;
#ifdef VELTRANO_BATCH_GRAPHS
  // Graphs need a GUI application: made when the first graph is asked for, on the
  // offscreen platform unless QT_QPA_PLATFORM names another, so no display is needed.
  std::unique_ptr<QGuiApplication> app;
  const auto needApp = [&app] {
    if (!app && QGuiApplication::instance() == nullptr) {
      if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
      previousHandler = qInstallMessageHandler(DropRuntimeDirectoryWarnings);
      app = std::make_unique<QGuiApplication>(appArgc, appArgv);
    }
  };
  services.graphs = [needApp](bool showD) -> std::unique_ptr<veltrano::jobs::GraphOutput> {
    needApp();
    return std::make_unique<veltrano::batch::RunGraphs>(showD);
  };
  services.studyPlots = [needApp](const veltrano::StudyPlot& plot, const std::string& path, int width, int height) {
    needApp();
    veltrano::batch::SaveStudyPlot(plot, path, width, height);
  };
#endif

  try {
    return veltrano::batch::RunBatch(args, console, services);
  } catch (const std::exception& e) {  // the commands report their own errors; this is a last guard
    std::cerr << "veltrano-batch: " << e.what() << '\n';
    return veltrano::batch::kExitFailure;
  }
}
