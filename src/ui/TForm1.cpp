#include "ui/TForm1.h"

#include "numeric/UniformGenerator.h"
#include "ui/AboutPage.h"
#include "ui/ChartWidget.h"
#include "ui/CaptionCheckBox.h"
#include "ui/SpinEdit.h"
#include "ui/TTextEditor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>

namespace veltrano {
namespace {

constexpr int kLeftColumnWidth = 177;
constexpr int kClientWidth = 1073;
constexpr int kClientHeight = 694;
constexpr int kOkButtonWidth = 150;
constexpr int kFieldWidth = 68;  // "100000" and the buttons

const QColor kMaroon(128, 0, 0);
// The light blue-grey of an inactive title bar: the field is written by the run, not
// typed into, and looks it.
const QColor kInactiveCaption(215, 228, 242);

// Dmax's range, which the run relies on when it raises Dmax to Do.
constexpr int kDmaxMin = 0;
constexpr int kDmaxMax = 99;

constexpr std::int64_t kMs = 1000000;
// The progress display: see ShowProgress.
constexpr std::int64_t kMinUpdateIntervalNs = 200 * kMs;
constexpr std::int64_t kUpdateCostFactor = 40;
// The run's thread: see ContinueRun.
constexpr std::int64_t kClockLookMinNs = 5 * kMs;
constexpr std::int64_t kClockLookMaxNs = 20 * kMs;
constexpr std::int64_t kMaxClockStride = 4096;
constexpr std::int64_t kHandOverIntervalNs = 50 * kMs;

QFont WindowFont() {
  const QString tahoma = QStringLiteral("Tahoma");
  QFont font = QFontDatabase::families().contains(tahoma, Qt::CaseInsensitive)
                   ? QFont(tahoma)
                   : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}

void Paint(QWidget* w, QPalette::ColorRole role, const QColor& color) {
  QPalette p = w->palette();
  p.setColor(role, color);
  w->setPalette(p);
}

QLabel* Heading(const QString& caption, const QString& name, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  Paint(label, QPalette::WindowText, kMaroon);
  // The trailing underscores run to the column's edge; a narrow font shows them all,
  // a wide one clips them there rather than widening the column.
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  return label;
}

QString Duration(std::int64_t seconds) {
  if (seconds < 60) return QStringLiteral("%1 s").arg(seconds);
  if (seconds < 3600) return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
  return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      reportError_([](QWidget* p, const QString& message) {
        QMessageBox::critical(p, QStringLiteral("Veltrano"), message);
      }) {
  BuildControls();
  ConnectRules();
  FormCreate();
}

TForm1::~TForm1() {
  // A run still at work (only if the window is destroyed from within one of its own
  // events) ends before the window it writes to.
  if (worker_.joinable()) {
    CancelRun();
    {
      std::lock_guard lock(queueMutex_);
      queuedLines_ = 0;
    }
    queueSpace_.notify_all();
    worker_.join();
  }
  // Children may lose the focus while the window is being torn down; no rule of a
  // half-destroyed window may run then.
  for (TSpinEdit* spin : findChildren<TSpinEdit*>()) spin->disconnect(this);
}

// ---- Building -----------------------------------------------------------------------------

void TForm1::BuildControls() {
  setWindowTitle(QStringLiteral("Veltrano"));
  setFont(WindowFont());
  // The window's background is the button face, as the controls on it.
  Paint(this, QPalette::Window, palette().color(QPalette::Button));

  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("ClientArea"));
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildLeftColumn(central));

  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->setTabPosition(QTabWidget::South);
  layout->addWidget(PageControl1, 1);
  setCentralWidget(central);
  BuildPages();

  resize(kClientWidth, kClientHeight);
  // In the centre of the desktop at start.
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

  progressTimer_ = new QTimer(this);
  progressTimer_->setObjectName(QStringLiteral("ProgressTimer"));
  connect(progressTimer_, &QTimer::timeout, this, &TForm1::ShowProgress);

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setObjectName(QStringLiteral("CancelShortcut"));
  connect(escape, &QShortcut::activated, this, &TForm1::CancelRun);
}

QWidget* TForm1::BuildLeftColumn(QWidget* parent) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(QStringLiteral("LeftPanel"));
  panel->setFixedWidth(kLeftColumnWidth);
  auto* column = new QVBoxLayout(panel);
  column->setContentsMargins(5, 6, 6, 6);
  column->setSpacing(4);

  settings_ = new QWidget(panel);
  settings_->setObjectName(QStringLiteral("Settings"));
  auto* grid = new QGridLayout(settings_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(2);
  grid->setVerticalSpacing(3);
  grid->setColumnStretch(0, 1);
  int row = 0;

  const auto name = [](QWidget* w, const char* objectName) {
    w->setObjectName(QString::fromLatin1(objectName));
  };
  const auto heading = [&](const char* caption, const char* objectName) {
    grid->addWidget(Heading(QString::fromLatin1(caption), QString::fromLatin1(objectName), settings_),
                    row++, 0, 1, 3);
  };
  // A labelled field: the caption at the left (its buddy is the field), the field at
  // the right, as wide as the longest number it takes needs.
  const auto field = [&](TSpinEdit*& spin, const char* objectName, const char* caption, int lo, int hi,
                         int value) {
    spin = new TSpinEdit(lo, hi, value, settings_);
    name(spin, objectName);
    spin->setFixedWidth(kFieldWidth);
    auto* label = new QLabel(QString::fromLatin1(caption), settings_);
    label->setBuddy(spin);
    grid->addWidget(label, row, 0, 1, 2);
    grid->addWidget(spin, row++, 2);
  };
  const auto leftBox = [&](QCheckBox*& box, const char* objectName, const char* caption, bool on) {
    box = new CaptionCheckBox(QString::fromLatin1(caption), CaptionCheckBox::Side::Left, settings_);
    name(box, objectName);
    box->setChecked(on);
    grid->addWidget(box, row++, 0, 1, 3);
  };
  const auto box = [&](QCheckBox*& b, const char* objectName, const char* caption, bool on) {
    auto* created = new CaptionCheckBox(QString::fromLatin1(caption), CaptionCheckBox::Side::Right, settings_);
    name(created, objectName);
    created->setChecked(on);
    b = created;
    return created;
  };

  heading("Simulation Options ____________", "Heading_Simulation");
  field(SpinEdit_n, "SpinEdit_n", "n:", 1, 100000, 100);
  field(SpinEdit_k, "SpinEdit_k", "k:", 2, 10, 3);
  field(SpinEdit_D0, "SpinEdit_D0", "Do (%):", 0, 100, 50);

  Edit_D0 = new QLineEdit(settings_);
  name(Edit_D0, "Edit_D0");
  Edit_D0->setReadOnly(true);
  Edit_D0->setFocusPolicy(Qt::NoFocus);
  Edit_D0->setFixedWidth(kFieldWidth);
  Paint(Edit_D0, QPalette::Base, kInactiveCaption);
  auto* doStarLabel = new QLabel(QStringLiteral("Do*:"), settings_);
  doStarLabel->setBuddy(Edit_D0);
  grid->addWidget(doStarLabel, row, 0, 1, 2);
  grid->addWidget(Edit_D0, row++, 2);

  grid->addWidget(box(CheckBox_Iterate, "CheckBox_Iterate", "Iterate from Do% to Dmax%:", false), row++, 0, 1,
                  3);
  field(SpinEdit_Dmax, "SpinEdit_Dmax", "Dmax (%):", kDmaxMin, kDmaxMax, 99);
  field(SpinEdit_Step, "SpinEdit_Step", "Step (%):", 1, 10, 10);
  field(SpinEdit_Test, "SpinEdit_Test", "Tests:", 1, 10000, 50);

  {
    CaptionCheckBox* heading = box(CheckBox_Text, "CheckBox_Text", "Text Output _____________", true);
    Paint(heading, QPalette::WindowText, kMaroon);
    heading->SetWordWrap(false);
    heading->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    grid->addWidget(heading, row++, 0, 1, 3);
  }
  leftBox(CheckBox_full, "CheckBox_full", "Full output:", false);
  leftBox(CheckBox_Unsort, "CheckBox_Unsort", "Sort known:", false);
  leftBox(CheckBox_Table, "CheckBox_Table", "Data Table:", true);
  leftBox(CheckBox_CI, "CheckBox_CI", "Conifidence Interval:", false);
  leftBox(CheckBox_Dka, "CheckBox_Dka", "Alternative measures:", true);

  heading("Analysis Options ____________", "Heading_Analysis");
  {
    SpinEdit_Tol = new TSpinEdit(2, 15, 10, settings_);
    name(SpinEdit_Tol, "SpinEdit_Tol");
    SpinEdit_Tol->setFixedWidth(kFieldWidth);
    auto* label = new QLabel(QStringLiteral("Tolerance:"), settings_);
    label->setBuddy(SpinEdit_Tol);
    auto* power = new QLabel(QStringLiteral("1.0 E -"), settings_);
    power->setObjectName(QStringLiteral("Label_TolPower"));
    grid->addWidget(label, row, 0);
    grid->addWidget(power, row, 1);
    grid->addWidget(SpinEdit_Tol, row++, 2);
  }
  field(SpinEdit_MaxIts, "SpinEdit_MaxIts", "Max Iterations:", 1, 1000, 500);
  field(SpinEdit_Decs, "SpinEdit_Decs", "Decimal places:", 1, 8, 3);

  heading("Graphic Output _____________", "Heading_Graphic");
  {
    auto* three = new QHBoxLayout();
    three->setSpacing(10);
    three->addWidget(box(CheckBox_Duncond, "CheckBox_Duncond", "Du", true));
    three->addWidget(box(CheckBox_Dcond, "CheckBox_Dcond", "Dc", false));
    three->addWidget(box(cbDtrue, "cbDtrue", "D", false));
    three->addStretch(1);
    grid->addLayout(three, row++, 0, 1, 3);
  }
  grid->addWidget(box(cbDLN, "cbDLN", "D Lord & Novick", false), row++, 0, 1, 3);
  grid->addWidget(box(comma, "comma", "Residuals Comma delimited", false), row++, 0, 1, 3);
  column->addWidget(settings_);

  column->addSpacing(6);
  Button1 = new QPushButton(QStringLiteral("Ok"), panel);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setFixedWidth(kOkButtonWidth);
  column->addWidget(Button1, 0, Qt::AlignHCenter);

  Label_Seed = new QLabel(panel);
  Label_Seed->setObjectName(QStringLiteral("Label_Seed"));
  Label_Seed->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Label_Seed->setToolTip(QStringLiteral("The generator's state when the last run started: "
                                        "veltrano-batch simulate --seed S repeats the run"));
  column->addWidget(Label_Seed);

  Label_Progress = new QLabel(panel);
  Label_Progress->setObjectName(QStringLiteral("Label_Progress"));
  Label_Progress->setWordWrap(true);
  Label_Progress->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label_Progress->hide();
  column->addWidget(Label_Progress);

  Button_Cancel = new QPushButton(QStringLiteral("Cancel"), panel);
  Button_Cancel->setObjectName(QStringLiteral("Button_Cancel"));
  Button_Cancel->setFixedWidth(kOkButtonWidth);
  Button_Cancel->setToolTip(QStringLiteral("End the run after the current test (Esc)"));
  Button_Cancel->hide();
  column->addWidget(Button_Cancel, 0, Qt::AlignHCenter);
  column->addStretch(1);
  return panel;
}

void TForm1::BuildPages() {
  const auto page = [this](QWidget*& sheet, const char* objectName, const QString& caption) {
    sheet = new QWidget(PageControl1);
    sheet->setObjectName(QString::fromLatin1(objectName));
    PageControl1->addTab(sheet, caption);
  };
  // A widget filling its tab.
  const auto fill = [](QWidget* sheet, QWidget* content) {
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
  };

  page(TabSheet1, "TabSheet1", QStringLiteral(" Data"));
  page(TabSheet2, "TabSheet2", QStringLiteral("Graph"));
  page(TabSheet3, "TabSheet3", QStringLiteral("Residual"));
  page(TabSheet4, "TabSheet4", QStringLiteral("Residuals"));
  page(TabSheet5, "TabSheet5", QStringLiteral("About"));

  TTextEditor1 = new TTextEditor(TabSheet1);
  TTextEditor1->setObjectName(QStringLiteral("TTextEditor1"));
  fill(TabSheet1, TTextEditor1);
  TextEditor1 = new TTextEditor(TabSheet4);
  TextEditor1->setObjectName(QStringLiteral("TextEditor1"));
  fill(TabSheet4, TextEditor1);

  // The series start as the boxes that show them: Du on, Dc and D Lord & Novick off, and
  // the true-knowledge line off until FormCreate turns "D" on.
  ChartModel estimates = ChartModel::Chart1();
  estimates.Series("sPoint_DSEM").SetActive(true);
  estimates.Series("sPoint_Dcond").SetActive(false);
  estimates.Series("sLine").SetActive(false);
  estimates.Series("sDLN").SetActive(false);
  Chart1 = new ChartWidget(std::move(estimates), TabSheet2);
  Chart1->setObjectName(QStringLiteral("Chart1"));
  fill(TabSheet2, Chart1);
  Chart2 = new ChartWidget(ChartModel::Chart2(), TabSheet3);
  Chart2->setObjectName(QStringLiteral("Chart2"));
  fill(TabSheet3, Chart2);

  for (const SeriesId id : {SeriesId::sLine, SeriesId::sDLN, SeriesId::sPoint_DSEM, SeriesId::sPoint_Dcond})
    series_[static_cast<std::size_t>(id)] = {Chart1, Chart1->Series(SeriesName(id))};
  for (const SeriesId id : {SeriesId::rLine, SeriesId::rPoint_DSEM})
    series_[static_cast<std::size_t>(id)] = {Chart2, Chart2->Series(SeriesName(id))};

  BuildAboutPage(TabSheet5);
  PageControl1->setCurrentWidget(TabSheet5);
}

void TForm1::ConnectRules() {
  connect(Button1, &QPushButton::clicked, this, &TForm1::Execute);
  connect(Button_Cancel, &QPushButton::clicked, this, &TForm1::CancelRun);
  connect(CheckBox_Text, &QCheckBox::toggled, this, &TForm1::CheckBox_TextClick);
  connect(CheckBox_full, &QCheckBox::toggled, this, &TForm1::CheckBox_fullClick);
  connect(SpinEdit_Dmax, &TSpinEdit::Exit, this, &TForm1::SpinEdit_DmaxExit);
  connect(CheckBox_Duncond, &QCheckBox::toggled, this, &TForm1::CheckBox_DuncondClick);
  connect(CheckBox_Dcond, &QCheckBox::toggled, this, &TForm1::CheckBox_DcondClick);
  connect(cbDtrue, &QCheckBox::toggled, this, &TForm1::cbDtrueClick);
  connect(cbDLN, &QCheckBox::toggled, this, &TForm1::cbDLNClick);
  connect(comma, &QCheckBox::toggled, this, &TForm1::cbDLNClick);
}

// ---- Handlers -----------------------------------------------------------------------------

void TForm1::FormCreate() {

  // Both panes fill their tabs (BuildPages put them there) and start prepared.
  TTextEditor1->Init();
  TextEditor1->Init();

  for (const SeriesId id : {SeriesId::sDLN, SeriesId::sPoint_DSEM, SeriesId::sPoint_Dcond, SeriesId::rPoint_DSEM}) {
    const auto& [chart, handle] = series_[static_cast<std::size_t>(id)];
    chart->Clear(handle);
  }

  // Each change runs its box's rule; "D" starts off, so turning it on shows sLine.
  CheckBox_Duncond->setChecked(true);
  CheckBox_Dcond->setChecked(false);
  cbDLN->setChecked(false);
  cbDtrue->setChecked(true);

  memo = TTextEditor1->Memo1;
  ProcessUniform().Seed(ClockSeed());
}

void TForm1::CheckBox_TextClick() {
  const bool on = CheckBox_Text->isChecked();
  for (QCheckBox* b : {CheckBox_full, CheckBox_Unsort, CheckBox_Table, CheckBox_CI}) b->setEnabled(on);
  CheckBox_Dka->setChecked(on);
}

void TForm1::CheckBox_fullClick() {
  const bool on = CheckBox_full->isChecked();
  CheckBox_Unsort->setEnabled(on);
  if (on) {
    SpinEdit_Test->SetValue(1);
    CheckBox_Iterate->setChecked(false);
  }
}

void TForm1::SpinEdit_DmaxExit() {
  if (SpinEdit_Dmax->Value() < SpinEdit_D0->Value()) SpinEdit_Dmax->SetValue(SpinEdit_D0->Value());
}

void TForm1::CheckBox_DuncondClick() { SetSeriesActive(SeriesId::sPoint_DSEM, CheckBox_Duncond->isChecked()); }
void TForm1::CheckBox_DcondClick() { SetSeriesActive(SeriesId::sPoint_Dcond, CheckBox_Dcond->isChecked()); }
void TForm1::cbDtrueClick() { SetSeriesActive(SeriesId::sLine, cbDtrue->isChecked()); }
void TForm1::cbDLNClick() { SetSeriesActive(SeriesId::sDLN, cbDLN->isChecked()); }

RunSettings TForm1::Snapshot() const {
  RunSettings s;
  s.SpinEdit_n = SpinEdit_n->Value();
  s.SpinEdit_k = SpinEdit_k->Value();
  s.SpinEdit_D0 = SpinEdit_D0->Value();
  s.CheckBox_Iterate = CheckBox_Iterate->isChecked();
  s.SpinEdit_Dmax = SpinEdit_Dmax->Value();
  s.SpinEdit_Step = SpinEdit_Step->Value();
  s.SpinEdit_Test = SpinEdit_Test->Value();
  s.CheckBox_Text = CheckBox_Text->isChecked();
  s.CheckBox_full = CheckBox_full->isChecked();
  s.CheckBox_Unsort = CheckBox_Unsort->isChecked();
  s.CheckBox_Table = CheckBox_Table->isChecked();
  s.SpinEdit_Decs = SpinEdit_Decs->Value();
  s.CheckBox_CI = CheckBox_CI->isChecked();
  s.CheckBox_Dka = CheckBox_Dka->isChecked();
  s.SpinEdit_Tol = SpinEdit_Tol->Value();
  s.SpinEdit_MaxIts = SpinEdit_MaxIts->Value();
  s.comma = comma->isChecked();
  s.CheckBox_Duncond = CheckBox_Duncond->isChecked();
  s.CheckBox_Dcond = CheckBox_Dcond->isChecked();
  s.cbDLN = cbDLN->isChecked();
  return s;
}

TSpinEdit* TForm1::FocusedSpinEdit() const {
  for (QWidget* w = QApplication::focusWidget(); w != nullptr && w != this; w = w->parentWidget()) {
    if (auto* spin = qobject_cast<TSpinEdit*>(w)) return spin;
  }
  return nullptr;
}

void TForm1::Execute() {
  if (running_) return;
  // A click with the mouse has taken the focus from a field already; Ok pressed by the
  // keyboard or by the program has not, so the focused field's leaving rules run here.
  if (TSpinEdit* spin = FocusedSpinEdit()) spin->LeaveField();

  const RunSettings settings = Snapshot();
  lastSeed_ = ProcessUniform().State();
  Label_Seed->setText(QStringLiteral("Seed: %1").arg(*lastSeed_));

  BeginRun();
  try {
    worker_ = std::thread(&TForm1::RunWorker, this, settings);
  } catch (const std::system_error& e) {
    EndRun();
    ReportError(QStringLiteral("The run cannot start: %1").arg(QString::fromUtf8(e.what())));
    return;
  }
  // The window goes on handling its events (and the run's output, see DrainRunQueue)
  // until the run's thread has handed over its last output.
  QEventLoop loop;
  runLoop_ = &loop;
  loop.exec();
  runLoop_ = nullptr;
  // The loop ends early only when the application quits: the run ends after its
  // current test, and waits for the window no more.
  if (!runDone_) CancelRun();
  worker_.join();
  DrainRunQueue();  // whatever the loop did not see

  EndRun();
  // The lines written before an error are on show before its message.
  if (std::exception_ptr error = runError_ ? runError_ : windowError_) {
    runError_ = nullptr;
    windowError_ = nullptr;
    QString message;
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      message = QString::fromUtf8(e.what());
    } catch (...) {
      message = QStringLiteral("The run ended with an unknown error.");
    }
    ReportError(message);
  }
  if (closePending_) {
    closePending_ = false;
    close();
  }
}

void TForm1::CancelRun() noexcept {
  if (running_) cancelRequested_ = true;
  queueSpace_.notify_all();
}

void TForm1::SetErrorReporter(ErrorReporter reporter) { reportError_ = std::move(reporter); }

void TForm1::ReportError(const QString& message) {
  if (reportError_) reportError_(this, message);
}

ChartSeries& TForm1::Series(SeriesId series) {
  const auto& [chart, handle] = series_[static_cast<std::size_t>(series)];
  return chart->Model().Series(handle);
}

// ---- Run under way: the window's thread ---------------------------------------------------

void TForm1::BeginRun() {
  running_ = true;
  cancelRequested_ = false;
  workerDone_ = false;
  runDone_ = false;
  applying_.clear();
  runEnd_ = RunEnd::Completed;
  runError_ = nullptr;
  windowError_ = nullptr;
  queue_.clear();
  queuedLines_ = 0;
  outbox_ = Outbox{};
  doStarPending_ = false;
  lastProgress_ = RunProgress{};
  times_ = RunTimes{};

  settings_->setEnabled(false);
  Button1->setEnabled(false);
  // The panes take no typing, opening or clearing while lines stream in.
  for (TTextEditor* pane : {TTextEditor1, TextEditor1}) {
    pane->Memo1->setReadOnly(true);
    pane->ToolBar1->setEnabled(false);
    pane->ToolBar2->setEnabled(false);
  }
  for (ChartWidget* chart : {Chart1, Chart2}) chart->SaveAction()->setEnabled(false);
  Label_Progress->clear();
  Label_Progress->show();
  Button_Cancel->show();

  clock_.start();
  progressTimer_->setInterval(static_cast<int>(kMinUpdateIntervalNs / kMs));
  progressTimer_->start();
}

void TForm1::EndRun() {
  progressTimer_->stop();
  ShowDoStar();
  Chart1->update();
  Chart2->update();

  for (TTextEditor* pane : {TTextEditor1, TextEditor1}) {
    pane->Memo1->setReadOnly(false);
    pane->ToolBar1->setEnabled(true);
    pane->ToolBar2->setEnabled(true);
  }
  for (ChartWidget* chart : {Chart1, Chart2}) chart->SaveAction()->setEnabled(true);
  settings_->setEnabled(true);
  Button1->setEnabled(true);
  Button_Cancel->hide();
  if (runEnd_ == RunEnd::Cancelled) {
    Label_Progress->setText(QStringLiteral("Cancelled after %1 of %2 tests")
                                .arg(lastProgress_.testsDone)
                                .arg(lastProgress_.testsTotal));
  } else {
    Label_Progress->clear();
    Label_Progress->hide();
  }
  times_.runNs = clock_.nsecsElapsed();
  running_ = false;
  cancelRequested_ = false;
}

// Applies what the run's thread has handed over, in order, and ends the run's event loop
// once its last output is applied. An operation of the run (ProcessMessages) may handle
// events, and with them this function again: batches taken then wait behind the ones
// being applied, so the order holds.
void TForm1::DrainRunQueue() {
  drainPosted_ = false;
  {
    std::lock_guard lock(queueMutex_);
    for (RunBatch& batch : queue_) applying_.push_back(std::move(batch));
    queue_.clear();
    queuedLines_ = 0;
    if (workerDone_) runDone_ = true;
  }
  queueSpace_.notify_all();
  if (draining_) return;
  draining_ = true;
  while (!applying_.empty()) {
    RunBatch batch = std::move(applying_.front());
    applying_.pop_front();
    // An error here (the text pane out of memory) ends the run as one inside it would;
    // it must not cross Qt's event loop.
    try {
      Apply(batch);
    } catch (...) {
      if (!windowError_) windowError_ = std::current_exception();
      CancelRun();
    }
  }
  draining_ = false;
  if (runDone_ && runLoop_ != nullptr) runLoop_->quit();
}

void TForm1::Apply(RunBatch& batch) {
  if (!batch.data.isEmpty()) TTextEditor1->AppendText(batch.data);
  if (!batch.residuals.isEmpty()) TextEditor1->AppendText(batch.residuals);
  for (const RunPoint& p : batch.points) Series(p.series).AddXY(p.x, p.y);
  if (batch.doStar) {
    doStarShown_ = std::move(*batch.doStar);
    doStarPending_ = true;
  }
  if (batch.progress) lastProgress_ = *batch.progress;
  if (batch.operation) batch.operation();
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
  if (!running_) return;
  const std::int64_t start = clock_.nsecsElapsed();
  const RunProgress& p = lastProgress_;
  ShowDoStar();
  if (p.testsTotal > 0) {
    const double done = static_cast<double>(p.testsDone) / static_cast<double>(p.testsTotal);
    const double elapsed = static_cast<double>(start) * 1e-9;
    const auto left = static_cast<std::int64_t>(
        p.testsDone > 0 ? elapsed * static_cast<double>(p.testsTotal - p.testsDone) / static_cast<double>(p.testsDone) + 0.5
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
  if (running_) {
    // The run ends after its current test; Execute then closes the window.
    CancelRun();
    closePending_ = true;
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

// ---- Run under way: the run's thread ------------------------------------------------------

namespace {
// Set on the run's thread for its lifetime: the host functions collect there.
thread_local bool tOnRunThread = false;
}  // namespace

bool TForm1::OnRunThread() const noexcept { return tOnRunThread; }

void TForm1::RunWorker(RunSettings settings) {
  tOnRunThread = true;
  try {
    runEnd_ = run_.Execute(settings, *this);
  } catch (...) {
    runError_ = std::current_exception();
  }
  try {
    HandOver();
  } catch (...) {
    if (!runError_) runError_ = std::current_exception();
  }
  {
    std::lock_guard lock(queueMutex_);
    workerDone_ = true;
  }
  if (!drainPosted_.exchange(true)) QMetaObject::invokeMethod(this, &TForm1::DrainRunQueue, Qt::QueuedConnection);
  tOnRunThread = false;
}

// Hands what the run has collected to the window's thread; waits while the window is
// more than a few chunks behind.
void TForm1::HandOver() {
  Outbox& o = outbox_;
  o.lastHandOverNs = clock_.nsecsElapsed();
  if (o.lines == 0 && o.points.empty() && !o.doStarChanged && !o.progressChanged) return;
  RunBatch batch;
  batch.data = QString::fromUtf8(o.data.data(), static_cast<qsizetype>(o.data.size()));
  batch.residuals = QString::fromUtf8(o.residuals.data(), static_cast<qsizetype>(o.residuals.size()));
  batch.lines = o.lines;
  batch.points.swap(o.points);
  if (o.doStarChanged) batch.doStar = QString::fromUtf8(o.doStar.data(), static_cast<qsizetype>(o.doStar.size()));
  if (o.progressChanged) batch.progress = o.progress;
  o.data.clear();
  o.residuals.clear();
  o.lines = 0;
  o.doStarChanged = false;
  o.progressChanged = false;

  std::unique_lock lock(queueMutex_);
  queueSpace_.wait(lock, [this] { return queuedLines_ <= kMaxQueuedLines || cancelRequested_; });
  queuedLines_ += batch.lines;
  queue_.push_back(std::move(batch));
  lock.unlock();
  if (!drainPosted_.exchange(true)) QMetaObject::invokeMethod(this, &TForm1::DrainRunQueue, Qt::QueuedConnection);
}

// A window operation the run asks for: after everything made before it, on the window's
// thread.
void TForm1::QueueOperation(std::function<void()> operation) {
  HandOver();
  RunBatch batch;
  batch.operation = std::move(operation);
  {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(std::move(batch));
  }
  if (!drainPosted_.exchange(true)) QMetaObject::invokeMethod(this, &TForm1::DrainRunQueue, Qt::QueuedConnection);
}

bool TForm1::ContinueRun(const RunProgress& progress) {
  if (!OnRunThread()) return !cancelRequested_;
  Outbox& o = outbox_;
  o.progress = progress;
  o.progressChanged = true;
  // The clock is read once every clockStride tests, a stride kept so that a look falls
  // about every 10 ms whatever a test costs; output goes over every 50 ms at least, so
  // the window shows a slow run's progress too.
  if (++o.testsSinceClock >= o.clockStride) {
    o.testsSinceClock = 0;
    const std::int64_t now = clock_.nsecsElapsed();
    const std::int64_t sinceLook = now - o.lastClockNs;
    o.lastClockNs = now;
    if (sinceLook < kClockLookMinNs && o.clockStride < kMaxClockStride)
      o.clockStride *= 2;
    else if (sinceLook > kClockLookMaxNs && o.clockStride > 1)
      o.clockStride /= 2;
    if (now - o.lastHandOverNs >= kHandOverIntervalNs) HandOver();
  }
  return !cancelRequested_;
}

// ---- RunHost ------------------------------------------------------------------------------

void TForm1::SelectGraphPage() {
  if (OnRunThread()) return QueueOperation([this] { SelectGraphPage(); });
  PageControl1->setCurrentIndex(1);
}

int TForm1::WriteDmax(int value) {
  if (OnRunThread()) {
    // The field's range never changes, so the value it will hold is known here.
    const int held = std::clamp(value, kDmaxMin, kDmaxMax);
    QueueOperation([this, held] { SpinEdit_Dmax->SetValue(held); });
    return held;
  }
  SpinEdit_Dmax->SetValue(value);
  return SpinEdit_Dmax->Value();
}

void TForm1::SetDoStarText(std::string_view text) {
  if (OnRunThread()) {
    outbox_.doStar.assign(text);
    outbox_.doStarChanged = true;
    return;
  }
  Edit_D0->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TForm1::AppendDataLine(std::string_view line) {
  if (OnRunThread()) {
    outbox_.data.append(line);
    outbox_.data.push_back('\n');
    if (++outbox_.lines >= kChunkLines) HandOver();
    return;
  }
  TTextEditor1->AppendLine(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void TForm1::AppendResidualsLine(std::string_view line) {
  if (OnRunThread()) {
    outbox_.residuals.append(line);
    outbox_.residuals.push_back('\n');
    if (++outbox_.lines >= kChunkLines) HandOver();
    return;
  }
  TextEditor1->AppendLine(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void TForm1::AddXY(SeriesId series, double x, double y) {
  if (OnRunThread()) {
    outbox_.points.push_back({series, x, y});
    if (outbox_.points.size() >= kChunkPoints) HandOver();
    return;
  }
  const auto& [chart, handle] = series_[static_cast<std::size_t>(series)];
  chart->AddXY(handle, x, y);
}

void TForm1::SetSeriesActive(SeriesId series, bool active) {
  if (OnRunThread()) return QueueOperation([this, series, active] { SetSeriesActive(series, active); });
  const auto& [chart, handle] = series_[static_cast<std::size_t>(series)];
  chart->SetActive(handle, active);
}

void TForm1::ProcessMessages() {
  if (OnRunThread()) return QueueOperation([] { QCoreApplication::processEvents(); });
  QCoreApplication::processEvents();
}

void TForm1::RefreshChart1() {
  if (OnRunThread()) return QueueOperation([this] { RefreshChart1(); });
  Chart1->Refresh();
}

}  // namespace veltrano
