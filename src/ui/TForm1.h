#pragma once
// TForm1: the program's one window. The left column holds every setting of a simulation
// and the Ok button; the page control on the right holds the data pane, the two charts,
// the residuals pane and the "About" page.
//
// Names are the system's own and kept verbatim: each control is a public member named as
// the control, and carries the same name as its objectName (find them with findChild).
// FormCreate prepares the window once; Execute is the Ok button's handler; the *Click and
// *Exit functions are the rules that run when a box changes or the focus leaves a field.
// A box changed by the program runs its rule too (they follow toggled, not clicked).
//
// The window is the simulation's host (RunHost): a run started by Ok writes its lines,
// points and the Do* text here, and the result is exactly what the run wrote, in its
// order. For long runs the window adds what the run itself does not ask for:
//  - the run works on a thread of its own while the window's thread puts its output on
//    show: the text document's own cost per line is about that of a whole test, so one
//    thread doing both would take twice as long. The host functions, called on the run's
//    thread, only collect; the lines, points and window operations reach the window's
//    thread in chunks and are applied there in the order the run made them. Called on
//    the window's thread (outside a run) they act at once. A subclass that overrides a
//    host function (the tests do, to make a run fail) is called on the run's thread;
//    an error it throws ends the run like any other;
//  - while a run works the settings and Ok are disabled; a few times a second the window
//    shows where the run stands and the charts so far; "Cancel" (or Esc, or closing the
//    window) ends the run after its current test, keeping everything written so far;
//  - below Ok, "Seed: S" gives the generator's state when the last run started: seeding
//    the generator with S and running the same settings repeats the run
//    (veltrano-batch simulate --seed S does the same).
#include "simulation/RunHost.h"
#include "simulation/RunSettings.h"
#include "simulation/SimulationRun.h"
#include "chart/ChartModel.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QCheckBox;
class QEventLoop;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace veltrano {

class ChartWidget;
class TSpinEdit;
class TTextEditor;

class TForm1 : public QMainWindow, public RunHost {
  Q_OBJECT

public:
  /// Shows the message of an error that ended a handler. The default is a critical
  /// message box; tests install one that answers at once.
  using ErrorReporter = std::function<void(QWidget* parent, const QString& message)>;

  /// Builds the controls with their defaults, then runs FormCreate.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- Left column, top to bottom (owned through Qt parents) ---------------------------
  TSpinEdit* SpinEdit_n = nullptr;         // "n:" 1..100000, 100
  TSpinEdit* SpinEdit_k = nullptr;         // "k:" 2..10, 3
  TSpinEdit* SpinEdit_D0 = nullptr;        // "Do (%):" 0..100, 50
  QLineEdit* Edit_D0 = nullptr;            // "Do*:" written by the run
  QCheckBox* CheckBox_Iterate = nullptr;   // "Iterate from Do% to Dmax%:" off
  TSpinEdit* SpinEdit_Dmax = nullptr;      // "Dmax (%):" 0..99, 99
  TSpinEdit* SpinEdit_Step = nullptr;      // "Step (%):" 1..10, 10
  TSpinEdit* SpinEdit_Test = nullptr;      // "Tests:" 1..10000, 50
  QCheckBox* CheckBox_Text = nullptr;      // "Text Output ..." on
  QCheckBox* CheckBox_full = nullptr;      // "Full output:" off
  QCheckBox* CheckBox_Unsort = nullptr;    // "Sort known:" off
  QCheckBox* CheckBox_Table = nullptr;     // "Data Table:" on
  QCheckBox* CheckBox_CI = nullptr;        // "Conifidence Interval:" off
  QCheckBox* CheckBox_Dka = nullptr;       // "Alternative measures:" on
  TSpinEdit* SpinEdit_Tol = nullptr;       // "Tolerance:" "1.0 E -" 2..15, 10
  TSpinEdit* SpinEdit_MaxIts = nullptr;    // "Max Iterations:" 1..1000, 500
  TSpinEdit* SpinEdit_Decs = nullptr;      // "Decimal places:" 1..8, 3
  QCheckBox* CheckBox_Duncond = nullptr;   // "Du"
  QCheckBox* CheckBox_Dcond = nullptr;     // "Dc"
  QCheckBox* cbDtrue = nullptr;            // "D"
  QCheckBox* cbDLN = nullptr;              // "D Lord & Novick"
  QCheckBox* comma = nullptr;              // "Residuals Comma delimited"
  QPushButton* Button1 = nullptr;          // "Ok"
  QLabel* Label_Seed = nullptr;            // "Seed: S" after the first run, selectable
  QLabel* Label_Progress = nullptr;        // where a run stands, while it works
  QPushButton* Button_Cancel = nullptr;    // "Cancel", shown while a run works

  // ---- Page area ------------------------------------------------------------------------
  QTabWidget* PageControl1 = nullptr;      // tabs at the bottom
  QWidget* TabSheet1 = nullptr;            // " Data"
  QWidget* TabSheet2 = nullptr;            // "Graph"
  QWidget* TabSheet3 = nullptr;            // "Residual"
  QWidget* TabSheet4 = nullptr;            // "Residuals"
  QWidget* TabSheet5 = nullptr;            // "About"
  TTextEditor* TTextEditor1 = nullptr;     // the data pane
  TTextEditor* TextEditor1 = nullptr;      // the residuals pane
  ChartWidget* Chart1 = nullptr;           // estimates against Do*
  ChartWidget* Chart2 = nullptr;           // standardized residuals against Do*

  /// The text box of the data pane, kept by FormCreate; the run's data lines go there.
  QPlainTextEdit* memo = nullptr;

  // ---- Handlers ---------------------------------------------------------------------------
  /// Prepares the window: empty item list, both panes prepared, the four point series
  /// emptied, Du on, Dc off, D Lord & Novick off, D on, `memo` kept, the generator seeded
  /// from the clock.
  void FormCreate();
  /// Ok: runs one simulation with the settings as they stand. An error ends the run and
  /// its message is shown; what was written stays.
  void Execute();
  /// "Text Output": Full, Sort known, Data Table and the interval box enabled exactly when
  /// it is on; "Alternative measures:" set to match it.
  void CheckBox_TextClick();
  /// "Full output:": "Sort known:" enabled exactly when it is on; turning it on also sets
  /// Tests to 1 and turns Iterate off.
  void CheckBox_fullClick();
  /// The focus leaves "Dmax (%):": a Dmax below Do becomes Do.
  void SpinEdit_DmaxExit();
  void CheckBox_DuncondClick();  // sPoint_DSEM shown exactly when "Du" is on
  void CheckBox_DcondClick();    // sPoint_Dcond shown exactly when "Dc" is on
  void cbDtrueClick();           // sLine shown exactly when "D" is on
  void cbDLNClick();             // sDLN shown exactly when "D Lord & Novick" is on

  // ---- Run control ------------------------------------------------------------------------
  /// The settings as the controls hold them now.
  RunSettings Snapshot() const;
  /// The run and its window fields (n, k, d0, tests, n_conocido, dreal, dLN), as the last
  /// run left them; not to be read while a run works.
  const SimulationRun& Run() const noexcept { return run_; }
  bool Running() const noexcept { return running_; }
  /// Ends the run under way after its current test; nothing when no run works.
  void CancelRun() noexcept;
  /// The generator's state when the last run started; none before the first run.
  std::optional<std::uint32_t> LastSeed() const noexcept { return lastSeed_; }
  void SetErrorReporter(ErrorReporter reporter);

  /// The chart and series a run's series id stands for.
  ChartSeries& Series(SeriesId series);

  /// What the last run cost: its time from the click to the end, and the time the window
  /// spent showing its progress (labels and charts repainted while it worked).
  struct RunTimes {
    std::int64_t runNs = 0;
    std::int64_t progressNs = 0;
    int progressUpdates = 0;
  };
  RunTimes LastRunTimes() const noexcept { return times_; }

  // ---- RunHost ------------------------------------------------------------------------------
  void SelectGraphPage() override;
  int WriteDmax(int value) override;
  void SetDoStarText(std::string_view text) override;
  void AppendDataLine(std::string_view line) override;
  void AppendResidualsLine(std::string_view line) override;
  void AddXY(SeriesId series, double x, double y) override;
  void SetSeriesActive(SeriesId series, bool active) override;
  void ProcessMessages() override;
  void RefreshChart1() override;
  bool ContinueRun(const RunProgress& progress) override;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  // Output of the run on its way to the window's thread: lines in chunks of up to
  // kChunkLines (one insertion of 10^4 lines costs the text document far less per line
  // than inserting them one by one; the text is the same), points, the last Do* text and
  // progress, or one window operation, applied after everything made before it.
  struct RunPoint {
    SeriesId series;
    double x, y;
  };
  struct RunBatch {
    QString data;
    QString residuals;
    int lines = 0;
    std::vector<RunPoint> points;
    std::optional<QString> doStar;
    std::optional<RunProgress> progress;
    std::function<void()> operation;
  };
  // What the run's thread has collected and not yet handed over.
  struct Outbox {
    std::string data;
    std::string residuals;
    int lines = 0;
    std::vector<RunPoint> points;
    std::string doStar;
    bool doStarChanged = false;
    RunProgress progress;
    bool progressChanged = false;
    std::int64_t testsSinceClock = 0;
    std::int64_t clockStride = 1;  // tests between two looks at the clock
    std::int64_t lastClockNs = 0;
    std::int64_t lastHandOverNs = 0;
  };
  static constexpr int kChunkLines = 10000;
  static constexpr std::size_t kChunkPoints = 40000;
  // The run waits while this many lines are queued and not yet shown, so a run whose
  // text comes faster than the window can show it does not pile it all up in memory.
  static constexpr int kMaxQueuedLines = 4 * kChunkLines;

  void BuildControls();
  QWidget* BuildLeftColumn(QWidget* parent);
  void BuildPages();
  void ConnectRules();
  void BeginRun();
  void EndRun();
  void RunWorker(RunSettings settings);
  bool OnRunThread() const noexcept;
  void QueueOperation(std::function<void()> operation);
  void HandOver();
  void DrainRunQueue();
  void Apply(RunBatch& batch);
  void ShowProgress();
  void ShowDoStar();
  void ReportError(const QString& message);
  TSpinEdit* FocusedSpinEdit() const;

  SimulationRun run_;
  std::array<std::pair<ChartWidget*, SeriesHandle>, kSeriesCount> series_{};
  QWidget* settings_ = nullptr;  // every setting; disabled while a run works
  QTimer* progressTimer_ = nullptr;
  ErrorReporter reportError_;
  std::optional<std::uint32_t> lastSeed_;
  RunTimes times_;

  // The run under way. Only the run's thread touches outbox_ and run_ while it works;
  // the queue and the flags below the mutex are shared.
  bool running_ = false;
  bool closePending_ = false;
  std::thread worker_;
  Outbox outbox_;
  std::atomic<bool> cancelRequested_{false};
  std::atomic<bool> drainPosted_{false};
  std::mutex queueMutex_;
  std::condition_variable queueSpace_;
  std::vector<RunBatch> queue_;
  int queuedLines_ = 0;
  bool workerDone_ = false;
  RunEnd runEnd_ = RunEnd::Completed;
  std::exception_ptr runError_;     // ended the run on its thread
  std::exception_ptr windowError_;  // raised while the window applied the run's output
  QEventLoop* runLoop_ = nullptr;
  std::deque<RunBatch> applying_;  // taken from the queue, being applied in order
  bool draining_ = false;
  bool runDone_ = false;  // the run's thread has handed over its last output
  // Shown on the window's thread.
  QString doStarShown_;
  bool doStarPending_ = false;
  RunProgress lastProgress_;
  QElapsedTimer clock_;
};

}  // namespace veltrano
