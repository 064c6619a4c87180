// TForm1: answer sheets analysed into the data pane. AnalyseSheetFile starts the work on the
// sheet bridge and returns; its lines arrive in batches (ApplySheetOutput), its end in
// EndSheet.
#include "ui/TForm1.h"

#include "parallel/Jobs.h"
#include "ui/SheetBridge.h"
#include "ui/TTextEditor.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>

namespace veltrano {
namespace {

const FileDialogSettings kSheetFiles{
    QStringLiteral(".csv"),
    QStringLiteral("Answer sheets (*.csv;*.tsv;*.txt)|*.csv;*.tsv;*.txt|All files (*.*)|*.*")};
const FileDialogSettings kKeyFiles{QStringLiteral(".txt"),
                                   QStringLiteral("Key files (*.txt;*.csv)|*.txt;*.csv|All files (*.*)|*.*")};

}  // namespace

void TForm1::AnalyseSheetsClick() {
  if (Running()) return;
  const std::optional<QString> sheet =
      TTextEditor1->Dialogs().OpenFileFor(this, QStringLiteral("Analyse answer sheets"), kSheetFiles);
  if (sheet) AnalyseSheetFile(*sheet);
}

void TForm1::AnalyseSheetFile(const QString& sheet, const QString& keyFile) {
  if (Running()) return;
  SheetJob job;
  job.sheet = sheet;
  job.keyFile = keyFile;
  job.analysis = Snapshot().Analysis();
  job.jobs = HardwareJobs();
  // Where the pane stood: a sheet refused half-way takes back every line it appended.
  sheetFile_ = sheet;
  sheetStart_ = TTextEditor1->TextBytes();
  sheetPaneModified_ = TTextEditor1->GetModificado();
  SetRunning(true);
  Label_Progress->setText(QStringLiteral("Checking the sheet"));
  sheets_->Start(job);
}

void TForm1::ApplySheetOutput(const std::shared_ptr<const SheetBatch>& batch) {
  const SheetBatch& b = *batch;
  // An error here (the text pane out of memory) ends the work as a bad sheet would.
  try {
    if (!b.lines.isEmpty()) TTextEditor1->AppendText(b.lines);
  } catch (const std::exception& e) {
    CancelRun();
    if (windowError_.isEmpty()) windowError_ = QString::fromUtf8(e.what());
    return;
  }
  const int percent =
      b.bytesTotal > 0 ? static_cast<int>(std::min<std::uint64_t>(100, 100 * b.bytesRead / b.bytesTotal)) : 0;
  Label_Progress->setText(b.checking ? QStringLiteral("Checking the sheet: %1%").arg(percent)
                                     : QStringLiteral("Analysing the sheet: %1%\n%2 examinees")
                                           .arg(percent)
                                           .arg(QLocale::c().toString(b.examinees)));
}

void TForm1::EndSheet(const SheetResult& result) {
  SetRunning(false);
  const QString windowError = windowError_;
  windowError_.clear();
  const bool refused = result.end == SheetResult::End::Failed || result.end == SheetResult::End::MissingKey ||
                       !windowError.isEmpty();
  if (refused) RemoveSheetLines();
  if (result.end == SheetResult::End::Cancelled && windowError.isEmpty()) {
    Label_Progress->setText(QStringLiteral("Cancelled after %1 examinees").arg(result.examinees));
  } else {
    Label_Progress->clear();
    Label_Progress->hide();
  }
  if (!windowError.isEmpty())
    ReportError(windowError);
  else if (result.end == SheetResult::End::Failed)
    ReportError(result.message);
  if (closePending_) {
    CloseIfPending();
    return;
  }
  if (result.end != SheetResult::End::MissingKey) return;

  // No key before the first examinee: the key may be in a file of its own.
  TextEditorDialogs& dialogs = TTextEditor1->Dialogs();
  const QString sheet = sheetFile_;
  if (!dialogs.Confirm(this,
                       result.message +
                           QStringLiteral("\n\nOpen a file that holds the key? It is one line: the key's "
                                          "alternatives in item order, such as ABDCA or A,B,D,C,A."),
                       QStringLiteral("Open a key file\u2026")))
    return;
  const std::optional<QString> key = dialogs.OpenFileFor(
      this, QStringLiteral("The key of %1").arg(QFileInfo(sheet).fileName()), kKeyFiles);
  if (key) AnalyseSheetFile(sheet, *key);
}

// Takes back the lines the sheet appended, leaving the pane's text and modified flag as
// they were before it.
void TForm1::RemoveSheetLines() {
  TTextEditor1->TruncateText(sheetStart_);
  TTextEditor1->SetModificado(sheetPaneModified_);
}

}  // namespace veltrano
