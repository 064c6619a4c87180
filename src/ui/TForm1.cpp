// TForm1: the window's handlers and the rules its boxes and fields follow.
#include "ui/TForm1.h"

#include "ui/FreedMemory.h"

#include "numeric/UniformGenerator.h"
#include "parallel/Jobs.h"
#include "ui/ChartWidget.h"
#include "ui/RunBridge.h"
#include "simulation/RunTextSize.h"
#include "ui/SheetBridge.h"
#include "ui/SpinEdit.h"
#include "ui/SummaryPage.h"
#include "ui/TTextEditor.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

#include <utility>

namespace veltrano {

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      generator_(ClockSeed()),
      run_(generator_, HardwareJobs()),
      bridge_(std::make_unique<RunBridge>(run_)),
      sheets_(std::make_unique<SheetBridge>()),
      reportError_([](QWidget* p, const QString& message) {
        QMessageBox::critical(p, QStringLiteral("Veltrano"), message);
      }),
      paneTextLimit_(kPaneTextLimit),
      freeMemory_(AvailableMemory) {
  BuildControls();
  connect(bridge_.get(), &RunBridge::Output, this, &TForm1::ApplyRunOutput);
  connect(bridge_.get(), &RunBridge::Finished, this, &TForm1::EndRun);
  connect(sheets_.get(), &SheetBridge::Output, this, &TForm1::ApplySheetOutput);
  connect(sheets_.get(), &SheetBridge::Finished, this, &TForm1::EndSheet);
  ConnectRules();
  FormCreate();
}

TForm1::~TForm1() {
  // A run still at work ends (after its current test) before the window it writes to;
  // so does a sheet's analysis.
  bridge_.reset();
  sheets_.reset();
  // Children may lose the focus while the window is being torn down; no rule of a
  // half-destroyed window may run then.
  for (TSpinEdit* spin : findChildren<TSpinEdit*>()) spin->disconnect(this);
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
  // The comma box shares the Lord & Novick box's handler, whose rule reads only its own
  // box: ticking the comma re-applies the Lord & Novick series' visibility and changes
  // nothing. Kept so, as the window has always wired it.
  connect(comma, &QCheckBox::toggled, this, &TForm1::cbDLNClick);
  // A pane cleared takes the chart of the same tests with it: the data pane's estimates are
  // the Graph chart's points, the residuals pane's the Residual chart's. Memory then comes
  // back when the user clears what the runs filled.
  connect(TTextEditor1, &TTextEditor::Cleared, Chart1, &ChartWidget::ClearPoints);
  connect(TextEditor1, &TTextEditor::Cleared, Chart2, &ChartWidget::ClearPoints);
  connect(Summary->Button_SaveSummary, &QPushButton::clicked, this, &TForm1::SaveSummaryClick);
  connect(tbAnalyseSheets, &QAction::triggered, this, &TForm1::AnalyseSheetsClick);
  connect(Button_Sheets, &QPushButton::clicked, this, &TForm1::AnalyseSheetsClick);
}

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

void TForm1::CheckBox_DuncondClick() { ShowSeries(SeriesId::sPoint_DSEM, CheckBox_Duncond->isChecked()); }
void TForm1::CheckBox_DcondClick() { ShowSeries(SeriesId::sPoint_Dcond, CheckBox_Dcond->isChecked()); }
void TForm1::cbDtrueClick() { ShowSeries(SeriesId::sLine, cbDtrue->isChecked()); }
void TForm1::cbDLNClick() { ShowSeries(SeriesId::sDLN, cbDLN->isChecked()); }

void TForm1::SaveSummaryClick() {
  if (!Summary->HasSummary()) return;
  const FileDialogSettings csv{QStringLiteral(".csv"), QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*")};
  const std::optional<QString> path = TTextEditor1->Dialogs().SaveFileName(this, summaryFile_, csv);
  if (!path) return;
  summaryFile_ = *path;
  try {
    Summary->SaveCsv(*path);
  } catch (const std::exception& e) {
    ReportError(QString::fromUtf8(e.what()));
  }
}

void TForm1::ShowSeries(SeriesId series, bool on) {
  const auto& [chart, handle] = series_[static_cast<std::size_t>(series)];
  chart->SetActive(handle, on);
}

RunSettings TForm1::Snapshot() const {
  // Each setting's control carries the name the settings table gives it.
  RunSettings s;
  for (const SettingField& f : kRunSettingFields) {
    const QString name = QString::fromLatin1(f.entry->control.data(), static_cast<qsizetype>(f.entry->control.size()));
    if (f.whole != nullptr)
      s.*f.whole = findChild<TSpinEdit*>(name)->Value();
    else
      s.*f.on = findChild<QCheckBox*>(name)->isChecked();
  }
  return s;
}

int TForm1::WriteDmax(int value) {
  SpinEdit_Dmax->SetValue(value);
  return SpinEdit_Dmax->Value();
}

ChartSeries& TForm1::Series(SeriesId series) {
  const auto& [chart, handle] = series_[static_cast<std::size_t>(series)];
  return chart->Model().Series(handle);
}

void TForm1::SetErrorReporter(ErrorReporter reporter) { reportError_ = std::move(reporter); }

void TForm1::ReportError(const QString& message) {
  if (reportError_) reportError_(this, message);
}

void TForm1::SetAnalysisCheck(std::function<void(std::int32_t)> check) { run_.SetAnalysisCheck(std::move(check)); }

TSpinEdit* TForm1::FocusedSpinEdit() const {
  for (QWidget* w = QApplication::focusWidget(); w != nullptr && w != this; w = w->parentWidget()) {
    if (auto* spin = qobject_cast<TSpinEdit*>(w)) return spin;
  }
  return nullptr;
}

}  // namespace veltrano
