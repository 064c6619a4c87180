#pragma once
// TForm1: the program's one window. The left column holds every setting of a simulation
// and the Ok button; the page control on the right holds the data pane, the two charts,
// the residuals pane, the "Summary" page of the last run and the "About" page.
//
// Names are the system's own and kept verbatim: each control is a private member named as
// the control, and carries the same name as its objectName; code outside the window (its
// tests, the screenshots and timing tools) finds a control with findChild by that name
// (tests/ui/FormWidgets.h). `memo` is the data pane's text box, "Memo1" in TTextEditor1.
// FormCreate prepares the window once; Execute is the Ok button's handler; the *Click and
// *Exit functions are the rules that run when a box changes or the focus leaves a field.
// A box changed by the program runs its rule too (they follow toggled, not clicked).
//
// The window's code is in four files by job: TForm1Layout.cpp builds the controls,
// TForm1.cpp holds the rules and handlers, TForm1Run.cpp puts a run's output on show,
// TForm1Sheets.cpp analyses answer sheets into the data pane.
//
// A run started by Ok works on threads of its own (RunBridge) and Execute returns at
// once; the window shows exactly what the run writes, in its order, as it arrives.
// While a run works the settings and Ok are disabled; a few times a second the window
// shows where the run stands and the charts so far; "Cancel" (or Esc, or closing the
// window) ends the run after its current test, keeping everything written so far. A run
// whose text would be too much for the panes (simulation/RunTextSize.h) asks first whether
// its data lines should go to a file instead, streamed there as they come. The run's end
// (RunFinished) re-enables the window and shows an error's message, if one ended it. Below Ok, "Seed: S" gives the generator's state when the last run started:
// seeding the generator with S and running the same settings repeats the run
// (veltrano-batch simulate --seed S does the same).
//
// The Summary page: the window hands the run a RunSummary as its observer, which keeps
// the measures of every degree as the tests are handed on (on the run's thread; the
// window reads it only once the run has ended). The run's end fills the page, so a
// cancelled run, or one ended by an error, shows the summary of the tests it finished.
//
// "Answer sheets..." below Ok (and "Analyse answer sheets..." on the data pane's tool bar)
// opens an answer sheet (asking for a key file when the sheet has no key), asks how many
// alternatives the items have (proposing the key's largest), and analyses every examinee
// with the window's analysis settings (tolerance, iterations, interval, alternative
// measures) on a thread of its own (SheetBridge), appending the lines `veltrano-batch
// analyse --responses` writes to the data pane. It is shown, cancelled and guarded as a
// run is: progress below Ok, Cancel and Esc, the settings and Ok disabled. Its end is said
// below Ok (examinees, absent ones, the positions guesses favour) and the pane shows the
// lines from their first. A bad sheet or key gets its message (naming the line and
// column) and leaves the pane as it was.
#include "chart/ChartModel.h"
#include "simulation/RunHost.h"
#include "simulation/RunSettings.h"
#include "simulation/SimulationRun.h"
#include "study/RunSummary.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace veltrano {

namespace jobs {
class OutputFile;
}

/// Above this much text (simulation/RunTextSize.h) a run asks first whether its data lines
/// should go to a file: a pane of 200 MB of results lines takes about 700 MB of memory.
inline constexpr std::int64_t kPaneTextLimit = 200'000'000;

class ChartWidget;
class CompactTextEdit;
class RunBridge;
struct RunBatch;
class SheetBridge;
struct SheetBatch;
struct SheetResult;
class SummaryPage;
class TSpinEdit;
class TTextEditor;

class TForm1 : public QMainWindow {
  Q_OBJECT

public:
  /// Shows the message of an error that ended a handler. The default is a critical
  /// message box; tests install one that answers at once.
  using ErrorReporter = std::function<void(QWidget* parent, const QString& message)>;

  /// Builds the controls with their defaults, then runs FormCreate.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // ---- Handlers ---------------------------------------------------------------------------
  /// Prepares the window: both panes prepared, the four point series emptied, Du on, Dc
  /// off, D Lord & Novick off, D on, `memo` kept, the generator seeded from the clock.
  void FormCreate();
  /// Ok: starts one simulation with the settings as they stand and returns; the run's
  /// output appears as it comes, and its end (or an error's message) in RunFinished.
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
  /// "Save as CSV..." of the Summary page: asks for a file (the data pane's dialogs) and
  /// writes the summary's rows there; an error's message is shown.
  void SaveSummaryClick();
  /// "Analyse answer sheets...": asks for a sheet and starts its analysis; returns at once.
  /// Nothing while a run or another sheet works.
  void AnalyseSheetsClick();
  /// Starts the analysis of a sheet (with the key in a file of its own, when keyFile is
  /// not empty) with the analysis settings as they stand; returns at once.
  void AnalyseSheetFile(const QString& sheet, const QString& keyFile = QString());

  // ---- Run control ------------------------------------------------------------------------
  /// The settings as the controls hold them now.
  RunSettings Snapshot() const;
  /// The run and its window fields (n, k, d0, tests, n_conocido, dreal, dLN), as the last
  /// run left them; not to be read while a run works.
  const SimulationRun& Run() const noexcept { return run_; }
  /// Whether a run, or the analysis of an answer sheet, works.
  bool Running() const noexcept;
  /// Ends the run under way after its current test (or the sheet's analysis after its
  /// examinee at hand); nothing when nothing works.
  void CancelRun() noexcept;
  /// The generator's state when the last run started; none before the first run.
  std::optional<std::uint32_t> LastSeed() const noexcept { return lastSeed_; }
  /// The window's own generator, seeded from the clock when the window opens; each run
  /// goes on from where the last one left it. Tests and the screenshots seed it.
  UniformGenerator& Generator() noexcept { return generator_; }
  void SetErrorReporter(ErrorReporter reporter);
  /// Called with the test number before each test's analysis, on a worker thread; an
  /// error it raises ends the run there as a failing analysis does (for tests).
  void SetAnalysisCheck(std::function<void(std::int32_t L)> check);

  /// The amount of text (bytes of the panes' lines, simulation/RunTextSize.h) above which
  /// Ok asks first whether the data lines should go to a file; kPaneTextLimit unless a test
  /// lowers it.
  void SetPaneTextLimit(std::int64_t bytes) noexcept { paneTextLimit_ = bytes; }
  /// Where the window learns the machine's free memory (AvailableMemory by default).
  void SetFreeMemoryProbe(std::function<std::optional<std::int64_t>()> probe) { freeMemory_ = std::move(probe); }

  /// Writes Dmax's field and returns the value it now holds (its range is 0..99).
  int WriteDmax(int value);
  /// The chart series a run's series id stands for.
  ChartSeries& Series(SeriesId series);

  /// What the last run cost: its time from the click to the end, and the time the window
  /// spent showing its progress (labels and charts repainted while it worked).
  struct RunTimes {
    std::int64_t runNs = 0;
    std::int64_t progressNs = 0;
    int progressUpdates = 0;
    std::int64_t summaryNs = 0;  // filling the Summary page at the run's end
    std::int64_t outputNs = 0;   // taking the run's batches of lines and points
  };
  RunTimes LastRunTimes() const noexcept { return times_; }

signals:
  /// A run started by Execute has ended and the window is usable again.
  void RunFinished();

protected:
  /// Closing asks about each modified pane as its Clear does (Yes saves, No discards,
  /// Cancel keeps the window open, as does a save that fails or is cancelled). During a
  /// run, closing ends the run first and asks once it has ended.
  void closeEvent(QCloseEvent* event) override;

private:
  // ---- Left column, top to bottom (owned through Qt parents) ---------------------------
  // Captions, ranges and defaults come from the settings table (simulation/RunSettings.h).
  TSpinEdit* SpinEdit_n = nullptr;         // "n:"
  TSpinEdit* SpinEdit_k = nullptr;         // "k:"
  TSpinEdit* SpinEdit_D0 = nullptr;        // "Do (%):"
  QLineEdit* Edit_D0 = nullptr;            // "Do*:" written by the run
  QCheckBox* CheckBox_Iterate = nullptr;   // "Iterate from Do% to Dmax%:"
  TSpinEdit* SpinEdit_Dmax = nullptr;      // "Dmax (%):"
  TSpinEdit* SpinEdit_Step = nullptr;      // "Step (%):"
  TSpinEdit* SpinEdit_Test = nullptr;      // "Tests:"
  QCheckBox* CheckBox_Text = nullptr;      // "Text Output ..."
  QCheckBox* CheckBox_full = nullptr;      // "Full output:"
  QCheckBox* CheckBox_Unsort = nullptr;    // "Sort known:"
  QCheckBox* CheckBox_Table = nullptr;     // "Data Table:"
  QCheckBox* CheckBox_CI = nullptr;        // "Conifidence Interval:" (kept verbatim)
  QCheckBox* CheckBox_Dka = nullptr;       // "Alternative measures:"
  TSpinEdit* SpinEdit_Tol = nullptr;       // "Tolerance:" "1.0 E -"
  TSpinEdit* SpinEdit_MaxIts = nullptr;    // "Max Iterations:"
  TSpinEdit* SpinEdit_Decs = nullptr;      // "Decimal places:"
  QCheckBox* CheckBox_Duncond = nullptr;   // "Du"
  QCheckBox* CheckBox_Dcond = nullptr;     // "Dc"
  QCheckBox* cbDtrue = nullptr;            // "D"
  QCheckBox* cbDLN = nullptr;              // "D Lord & Novick"
  QCheckBox* comma = nullptr;              // "Residuals Comma delimited"
  QPushButton* Button1 = nullptr;          // "Ok"
  QPushButton* Button_Sheets = nullptr;    // "Answer sheets...": tbAnalyseSheets, where a user looks
  QLabel* Label_Seed = nullptr;            // "Seed: S" after the first run, selectable
  QLabel* Label_Progress = nullptr;        // where a run stands, while it works
  QPushButton* Button_Cancel = nullptr;    // "Cancel", shown while a run works

  // ---- Page area ------------------------------------------------------------------------
  QTabWidget* PageControl1 = nullptr;      // tabs at the bottom
  QWidget* TabSheet1 = nullptr;            // " Data"
  QWidget* TabSheet2 = nullptr;            // "Graph"
  QWidget* TabSheet3 = nullptr;            // "Residual"
  QWidget* TabSheet4 = nullptr;            // "Residuals"
  QWidget* TabSummary = nullptr;           // "Summary"
  QWidget* TabSheet5 = nullptr;            // "About"
  TTextEditor* TTextEditor1 = nullptr;     // the data pane
  TTextEditor* TextEditor1 = nullptr;      // the residuals pane
  ChartWidget* Chart1 = nullptr;           // estimates against Do*
  ChartWidget* Chart2 = nullptr;           // standardized residuals against Do*
  SummaryPage* Summary = nullptr;          // the last run's measures, degree by degree
  QAction* tbAnalyseSheets = nullptr;      // "Analyse answer sheets..." on the data pane's ToolBar1

  /// The text box of the data pane, kept by FormCreate; the run's data lines go there.
  CompactTextEdit* memo = nullptr;

  // Building (TForm1Layout.cpp).
  void BuildControls();
  QWidget* BuildLeftColumn(QWidget* parent);
  void BuildPages();
  TSpinEdit* AddField(QGridLayout* grid, int& row, const SettingEntry& entry);
  QCheckBox* AddBox(QWidget* parent, const SettingEntry& entry, bool captionLeft);
  void ConnectRules();
  void ShowSeries(SeriesId series, bool on);
  // The run under way (TForm1Run.cpp).
  bool ChooseDataOutput(const RunSettings& settings, std::unique_ptr<jobs::OutputFile>& dataFile);
  void ApplyRunOutput(const std::shared_ptr<const RunBatch>& batch);
  void EndRun(Ending end, const QString& error);
  void SetRunning(bool running);
  void ShowProgress();
  void ShowDoStar();
  void ReportError(const QString& message);
  TSpinEdit* FocusedSpinEdit() const;
  void CloseIfPending();
  // Answer sheets (TForm1Sheets.cpp).
  void ApplySheetOutput(const std::shared_ptr<const SheetBatch>& batch);
  void EndSheet(const SheetResult& result);
  std::optional<int> AskAlternatives(const QString& sheet, const QString& keyFile);
  void ShowSheetResult(const SheetResult& result);
  void RemoveSheetLines();

  UniformGenerator generator_;
  SimulationRun run_;   // draws from generator_
  RunSummary summary_;  // the run's summary; read only while no run works
  int summaryDecimals_ = 3;
  std::array<std::pair<ChartWidget*, SeriesHandle>, kSeriesCount> series_{};
  QWidget* settings_ = nullptr;  // every setting; disabled while a run works
  QTimer* progressTimer_ = nullptr;
  std::unique_ptr<RunBridge> bridge_;  // destroyed before run_: it waits for the run to end
  std::unique_ptr<SheetBridge> sheets_;
  // The sheet under way: its file, and the data pane as it stood before its lines.
  QString sheetFile_;
  std::int64_t sheetStart_ = 0;
  bool sheetPaneModified_ = false;
  QString summaryFile_;  // the last name the summary was saved under
  ErrorReporter reportError_;
  std::optional<std::uint32_t> lastSeed_;
  RunTimes times_;
  bool closePending_ = false;
  std::int64_t paneTextLimit_;
  std::function<std::optional<std::int64_t>()> freeMemory_;
  QString windowError_;  // raised while the window showed the run's output
  QString doStarShown_;
  bool doStarPending_ = false;
  RunProgress lastProgress_;
  QElapsedTimer clock_;
};

}  // namespace veltrano
