// TForm1: answer sheets analysed into the data pane. AnalyseSheetFile starts the work on the
// sheet bridge and returns; its lines arrive in batches (ApplySheetOutput), its end in
// EndSheet.
#include "ui/TForm1.h"

#include "jobs/SheetJob.h"
#include "jobs/SheetJob.h"
#include "parallel/Jobs.h"
#include "ui/CompactTextEdit.h"
#include "ui/SheetBridge.h"
#include "ui/TTextEditor.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QScrollBar>
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

// The items' alternatives, asked before the work starts, proposing the key's largest: a
// mark beyond the number given is then refused with its line and column, never taken for
// items with more alternatives. 0 when the key is not known yet (no KEY row before the
// first examinee, or a sheet given as a pipe): the key's largest is taken then, and a key
// file given afterwards is asked about. Nothing when the user cancels.
std::optional<int> TForm1::AskAlternatives(const QString& sheet, const QString& keyFile) {
  std::optional<AnswerKey> key;
  try {
    const std::string path = QFile::encodeName(keyFile.isEmpty() ? sheet : keyFile).toStdString();
    key = keyFile.isEmpty() ? jobs::PeekSheetKey(path) : jobs::ReadAnswerKeyFile(path);
  } catch (const std::exception&) {
    return 0;  // the work says what is wrong with the key file
  }
  if (!key) return 0;
  const int least = std::max(kMinAlternatives, key->Largest());
  return TTextEditor1->Dialogs().AskNumber(
      this, QStringLiteral("Alternatives per item"),
      QStringLiteral("The key's alternatives run from A to %1. How many alternatives (k) has each item?")
          .arg(QChar::fromLatin1(PositionLetter(least))),
      least, least, kMaxAlternatives);
}

void TForm1::AnalyseSheetFile(const QString& sheet, const QString& keyFile) {
  if (Running()) return;
  const std::optional<int> k = AskAlternatives(sheet, keyFile);
  if (!k) return;
  SheetJob job;
  job.sheet = sheet;
  job.keyFile = keyFile;
  job.analysis = Snapshot().Analysis();
  job.k = *k;
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
    Label_Progress->setText(QStringLiteral("Cancelled after %1 examinees").arg(result.outcome.examinees));
  } else if (result.end == SheetResult::End::Completed && windowError.isEmpty()) {
    ShowSheetResult(result);
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

// Says how the analysis ended, with the finding on guessing the command line prints, and
// shows the lines it appended from their first.
void TForm1::ShowSheetResult(const SheetResult& result) {
  Label_Progress->setText(QString::fromStdString(result.outcome.Line()));
  Label_Progress->show();
  PageControl1->setCurrentWidget(TabSheet1);
  // The block starts at sheetStart_, or on the next line when the text there ended
  // without a line break (the append began with one).
  CompactTextEdit* const memo = TTextEditor1->Memo1;
  const CompactText& pane = memo->Text();
  std::int64_t first = pane.ParagraphAt(sheetStart_);
  if (pane.ParagraphStart(first) != sheetStart_) ++first;
  memo->SetCaret({first, 0});
  memo->verticalScrollBar()->setValue(static_cast<int>(std::min<std::int64_t>(first, memo->verticalScrollBar()->maximum())));
}

// Takes back the lines the sheet appended, leaving the pane's text and modified flag as
// they were before it.
void TForm1::RemoveSheetLines() {
  TTextEditor1->TruncateText(sheetStart_);
  TTextEditor1->SetModificado(sheetPaneModified_);
}

}  // namespace veltrano
