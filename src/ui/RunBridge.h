#pragma once
// The bridge between a simulation run and the window: the run works on a thread of its
// own (and its worker threads) while the window's thread puts its output on show.
//
// RunBridge owns a QThread with a worker object on it. Start() asks the worker to run
// and returns at once; the worker is the run's host (RunHost): it gathers the run's
// lines, points and Do* text into batches, converts the text to QString there, and
// sends each batch to the window's thread through a queued signal, in the order the
// run made them. A window operation the run asks for (selecting the Graph page, writing
// Dmax, showing a series, repainting) travels as a batch of its own, after everything
// made before it. The run's end arrives as Finished, after its last batch.
//
// The run is the simulation job of the in-memory level (jobs/SimulateJob.h), with the
// bridge's stop token: Cancel ends it after the test under way. The data lines may go to a
// file instead (the jobs' OutputFile), written on the run's thread as they come: a run of
// millions of long lines then never holds them in the window.
//
// The window shows text more slowly than a run makes it, so the run waits while more than
// a few batches' lines are on their way and not yet shown (BridgeThread): memory stays flat
// however long the run.
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "jobs/OutputFile.h"
#include "simulation/RunHost.h"
#include "simulation/RunSettings.h"
#include "simulation/SimulationRun.h"
#include "study/RunSummary.h"
#include "ui/BridgeThread.h"

namespace veltrano {

/// One hand-over from the run to the window, applied in order: the lines and points
/// made since the last one, the latest Do* text and progress, or one window operation.
struct RunBatch {
  struct Point {
    SeriesId series;
    double x, y;
  };
  enum class Operation { None, SelectGraphPage, WriteDmax, SetSeriesActive, RefreshChart1 };

  QString data;       // data-pane lines, each ended by '\n'
  QString residuals;  // residuals-pane lines, each ended by '\n'
  int lines = 0;
  std::vector<Point> points;
  std::optional<QString> doStar;
  std::optional<RunProgress> progress;
  Operation operation = Operation::None;
  SeriesId series = SeriesId::sLine;  // SetSeriesActive
  bool active = false;                // SetSeriesActive
  int value = 0;                      // WriteDmax
};

class RunWorker;

class RunBridge : public QObject {
  Q_OBJECT

public:
  /// The run the bridge drives; it must outlive the bridge.
  explicit RunBridge(SimulationRun& run, QObject* parent = nullptr);
  /// Ends a run still at work (after its current test) and waits for its thread.
  ~RunBridge() override;

  /// Starts a run with the settings; returns at once. Nothing when a run works. With a
  /// data file, the run's data lines are written to it, on the run's thread, instead of
  /// going to the window; the file is closed when the run ends, and an error in writing
  /// or closing it ends the run as an error of the run does. The summary, when given, is
  /// filled with every test on the run's thread (read it once the run has ended).
  void Start(const RunSettings& settings, std::unique_ptr<jobs::OutputFile> dataFile = nullptr,
             RunSummary* summary = nullptr);
  /// Ends the run under way after its current test; nothing when none works.
  void Cancel() noexcept { work_.Cancel(); }
  bool Running() const noexcept { return work_.Running(); }


signals:
  /// One batch of the run's output, on the window's thread, in the run's order.
  void Output(const std::shared_ptr<const RunBatch>& batch);
  /// The run has ended and every batch has been sent: completed, cancelled, or ended by
  /// an error (its message for the window's message box; empty otherwise).
  void Finished(veltrano::Ending end, const QString& error);

private:
  friend class RunWorker;

  SimulationRun& run_;
  // The last member: it is destroyed first, ending the run and waiting for its thread
  // before anything the run uses goes.
  BridgeThread work_;
};

}  // namespace veltrano

Q_DECLARE_METATYPE(std::shared_ptr<const veltrano::RunBatch>)
Q_DECLARE_METATYPE(veltrano::Ending)
