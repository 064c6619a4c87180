#include "ui/TTextEditor.h"

#include <QAction>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScrollBar>
#include <QStatusBar>
#include <QStringDecoder>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <cstddef>
#include <exception>
#include <utility>

namespace veltrano {

namespace {

constexpr int kStripHeight = 21;
constexpr int kToggleAreaWidth = 25;
constexpr int kCaretPanelWidth = 75;
constexpr int kMarkPanelWidth = 20;
constexpr int kNamePanelWidth = 50;
constexpr int kShortNameLimit = 30;  // longer names are shortened
constexpr int kShortNameHead = 5;
constexpr int kShortNameTail = 23;

const QString kModifiedMark = QStringLiteral("  *");
const QString kSaveExistingQuestion = QStringLiteral("Save existing text?");
const QString kSaveQuestion = QStringLiteral("Save text?");

// The number right-aligned in five characters, never cut: line 504124 of a long run's
// pane reads 504124, not 04124.
QString AtLeastFive(int number) { return QString::number(number).rightJustified(5, u' '); }

QString FileMessage(const char* what, const QString& path, const QString& reason) {
  return QStringLiteral("%1 \"%2\": %3")
      .arg(QLatin1StringView(what), QDir::toNativeSeparators(path), reason);
}

[[noreturn]] void ThrowFileError(const char* what, const QString& path, const QString& reason) {
  throw TextFileError(FileMessage(what, path, reason).toStdString());
}

// The whole file decoded as UTF-8 (a leading byte-order mark is dropped). Nothing of the
// pane changes here, so a failure leaves text and status as they were.
QString ReadTextFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) ThrowFileError("Cannot read", path, file.errorString());
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) ThrowFileError("Cannot read", path, file.errorString());
  QStringDecoder decode(QStringDecoder::Utf8);
  return decode(bytes);
}

// Writes the first `count` lines of the document, each ended by "\n", through a temporary
// file that replaces the target only once everything was written, so a failed save (full
// disk, read-only folder) leaves the earlier file intact. The lines are encoded and
// written a block of about 1 MB at a time: a pane of millions of lines is saved without
// a second copy of its text in memory.
void WriteTextFile(const QString& path, const QTextDocument& doc, int count) {
  constexpr qsizetype kBlockBytes = qsizetype{1} << 20;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) ThrowFileError("Cannot write", path, file.errorString());
  QByteArray bytes;
  bytes.reserve(kBlockBytes + 4096);
  const auto writeOut = [&] {
    if (file.write(bytes) != bytes.size()) ThrowFileError("Cannot write", path, file.errorString());
    bytes.clear();
  };
  QTextBlock block = doc.firstBlock();
  for (int i = 0; i < count; ++i, block = block.next()) {
    bytes += block.text().toUtf8();
    bytes += '\n';
    if (bytes.size() >= kBlockBytes) writeOut();
  }
  writeOut();
  if (!file.commit()) ThrowFileError("Cannot write", path, file.errorString());
}

// The text box's contents for a file's text: line breaks as "\n", the last line ended too.
QString DocumentTextOf(QString fileText) {
  fileText.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  fileText.replace(u'\r', u'\n');
  if (!fileText.isEmpty() && !fileText.endsWith(u'\n')) fileText += u'\n';
  return fileText;
}

std::optional<QString> RunFileDialog(QWidget* parent, const QString& current,
                                     const FileDialogSettings& settings,
                                     QFileDialog::AcceptMode mode, const QString& title = QString()) {
  QFileDialog dialog(parent);
  if (!title.isEmpty()) dialog.setWindowTitle(title);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  const QString filter = QtNameFilter(settings.Filter);
  if (!filter.isEmpty()) dialog.setNameFilter(filter);
  QString suffix = settings.DefaultExt;
  if (suffix.startsWith(u'.')) suffix.remove(0, 1);
  dialog.setDefaultSuffix(suffix);
  if (!current.isEmpty()) dialog.selectFile(current);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.constFirst();
}

}  // namespace

QString QtNameFilter(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QString patterns = i + 1 < parts.size() ? parts[i + 1] : QString();
    patterns = patterns.replace(u';', u' ').simplified();
    if (description.isEmpty() && patterns.isEmpty()) continue;
    // "*.*" is the convention for every file, yet on this system it would match only
    // names with a dot, hiding a saved pane named "results": it stands for "*".
    if (patterns == QLatin1String("*.*")) {
      patterns = QStringLiteral("*");
      description.replace(QLatin1String("(*.*)"), QLatin1String("(*)"));
    }
    const QString shown = QStringLiteral(" (") + patterns + u')';
    if (patterns.isEmpty() || description.endsWith(shown))
      filters << description;
    else
      filters << description + shown;
  }
  return filters.join(QStringLiteral(";;"));
}

QString CaretText(int line, int column) {
  return AtLeastFive(line) + u':' + AtLeastFive(column);
}

QString ShortFileName(const QString& name) {
  const QList<uint> points = name.toUcs4();
  if (points.size() <= kShortNameLimit) return name;
  const auto* data = reinterpret_cast<const char32_t*>(points.constData());
  return QString::fromUcs4(data, kShortNameHead) + QStringLiteral("...") +
         QString::fromUcs4(data + points.size() - kShortNameTail, kShortNameTail);
}

std::optional<QString> TextEditorDialogs::OpenFileName(QWidget* parent, const QString& current,
                                                       const FileDialogSettings& settings) {
  return RunFileDialog(parent, current, settings, QFileDialog::AcceptOpen);
}

std::optional<QString> TextEditorDialogs::SaveFileName(QWidget* parent, const QString& current,
                                                       const FileDialogSettings& settings) {
  return RunFileDialog(parent, current, settings, QFileDialog::AcceptSave);
}

QMessageBox::StandardButton TextEditorDialogs::Warning(QWidget* parent, const QString& text) {
  return QMessageBox::warning(parent, QObject::tr("Warning"), text,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                              QMessageBox::Yes);
}

QMessageBox::StandardButton TextEditorDialogs::Question(QWidget* parent, const QString& text,
                                                        const QString& yesText, const QString& noText) {
  QMessageBox box(QMessageBox::Warning, QObject::tr("Warning"), text,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
  box.button(QMessageBox::Yes)->setText(yesText);
  box.button(QMessageBox::No)->setText(noText);
  box.setDefaultButton(QMessageBox::Cancel);
  box.setEscapeButton(QMessageBox::Cancel);
  const int answer = box.exec();
  return answer == QMessageBox::Yes || answer == QMessageBox::No ? static_cast<QMessageBox::StandardButton>(answer)
                                                                  : QMessageBox::Cancel;
}

void TextEditorDialogs::Error(QWidget* parent, const QString& message) {
  QMessageBox::critical(parent, QObject::tr("Error"), message);
}

std::optional<QString> TextEditorDialogs::OpenFileFor(QWidget* parent, const QString& title,
                                                      const FileDialogSettings& settings) {
  return RunFileDialog(parent, QString(), settings, QFileDialog::AcceptOpen, title);
}

bool TextEditorDialogs::Confirm(QWidget* parent, const QString& text, const QString& acceptText) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Veltrano"), text, QMessageBox::Ok | QMessageBox::Cancel,
                  parent);
  box.button(QMessageBox::Ok)->setText(acceptText);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

TTextEditor::TTextEditor(QWidget* parent)
    : QWidget(parent),
      Memo1(new QPlainTextEdit(this)),
      ToolBar1(new QToolBar(this)),
      tbOpen(new QAction(ToolBar1)),
      tbSave(new QAction(ToolBar1)),
      tbDel(new QAction(ToolBar1)),
      Panel1(new QWidget(this)),
      ToolBar2(new QToolBar(Panel1)),
      ToolButton1(new QAction(ToolBar2)),
      StatusBar1(new QStatusBar(Panel1)),
      StatusPanel0(new QLabel(StatusBar1)),
      StatusPanel1(new QLabel(StatusBar1)),
      StatusPanel2(new QLabel(StatusBar1)),
      dialogs_(std::make_shared<TextEditorDialogs>()) {
  Memo1->setObjectName(QStringLiteral("Memo1"));
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  tbOpen->setObjectName(QStringLiteral("tbOpen"));
  tbSave->setObjectName(QStringLiteral("tbSave"));
  tbDel->setObjectName(QStringLiteral("tbDel"));
  Panel1->setObjectName(QStringLiteral("Panel1"));
  ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
  ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
  StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
  StatusPanel2->setObjectName(QStringLiteral("StatusPanel2"));

  // The text box: undo would keep a copy of every line a run appends, so it is off.
  // Every change of the text box's width lays out each of its lines anew and leaves a
  // layout object with every line (about 330 bytes a line, more than a results line's
  // text): the vertical scroll bar is always there, so the width stays as it is when the
  // text grows past the box's height.
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setUndoRedoEnabled(false);
  UpdateTabStops();

  const QSize iconSize(16, 16);
  QStyle* const look = style();
  tbOpen->setIcon(QIcon::fromTheme(QStringLiteral("document-open"),
                                   look->standardIcon(QStyle::SP_DialogOpenButton)));
  tbOpen->setToolTip(tr("Open a text file"));
  tbSave->setIcon(QIcon::fromTheme(QStringLiteral("document-save"),
                                   look->standardIcon(QStyle::SP_DialogSaveButton)));
  tbSave->setToolTip(tr("Save the text"));
  tbDel->setIcon(QIcon::fromTheme(QStringLiteral("edit-clear"),
                                  look->standardIcon(QStyle::SP_TrashIcon)));
  tbDel->setToolTip(tr("Clear the text"));
  ToolBar1->setIconSize(iconSize);
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->addAction(tbOpen);
  ToolBar1->addAction(tbSave);
  ToolBar1->addAction(tbDel);
  ToolBar1->hide();

  // The tool bar opens above the strip, so the toggle points up while it is hidden.
  ImageList3 = {QIcon::fromTheme(QStringLiteral("go-up"), look->standardIcon(QStyle::SP_ArrowUp)),
                QIcon::fromTheme(QStringLiteral("go-down"),
                                 look->standardIcon(QStyle::SP_ArrowDown))};
  ToolButton1->setToolTip(tr("Show or hide the tool bar"));
  ToolBar2->setIconSize(iconSize);
  ToolBar2->setMovable(false);
  ToolBar2->setFloatable(false);
  ToolBar2->setFixedWidth(kToggleAreaWidth);
  ToolBar2->setContentsMargins(0, 0, 0, 0);
  ToolBar2->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px; }"));
  ToolBar2->addAction(ToolButton1);
  UpdateToggleImage();

  StatusBar1->setSizeGripEnabled(false);
  // Wide enough for "99999:99999"; a longer position widens it rather than being cut.
  StatusPanel0->setMinimumWidth(kCaretPanelWidth);
  StatusPanel1->setFixedWidth(kMarkPanelWidth);
  StatusPanel2->setMinimumWidth(kNamePanelWidth);
  StatusBar1->addWidget(StatusPanel0);
  StatusBar1->addWidget(StatusPanel1);
  StatusBar1->addWidget(StatusPanel2, 1);

  Panel1->setFixedHeight(kStripHeight);
  auto* strip = new QHBoxLayout(Panel1);
  strip->setContentsMargins(0, 0, 0, 0);
  strip->setSpacing(0);
  strip->addWidget(ToolBar2);
  strip->addWidget(StatusBar1, 1);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(Memo1, 1);
  column->addWidget(ToolBar1);
  column->addWidget(Panel1);

  connect(Memo1, &QPlainTextEdit::textChanged, this, &TTextEditor::Memo1Change);
  insertHeld_ = new QTimer(this);
  insertHeld_->setSingleShot(true);
  insertHeld_->setInterval(0);  // whenever the window is idle
  connect(insertHeld_, &QTimer::timeout, this, &TTextEditor::InsertSomeHeld);
  // Every caret move (keys, mouse or the program itself) refreshes the caret panel.
  connect(Memo1, &QPlainTextEdit::cursorPositionChanged, this, &TTextEditor::ActualizarPos);
  connect(tbOpen, &QAction::triggered, this, [this] { RunButtonHandler(&TTextEditor::tbOpenClick); });
  connect(tbSave, &QAction::triggered, this, [this] { RunButtonHandler(&TTextEditor::tbSaveClick); });
  connect(tbDel, &QAction::triggered, this, [this] { RunButtonHandler(&TTextEditor::tbDelClick); });
  connect(ToolButton1, &QAction::triggered, this, &TTextEditor::ToolButton1Click);

  Init();
}

TTextEditor::~TTextEditor() = default;

void TTextEditor::Init() {
  OpenDialog1 = {QString::fromLatin1(kTextDefaultExt), QString::fromLatin1(kTextDialogFilter)};
  SaveDialog1 = OpenDialog1;
  TxtNomF.clear();
  SetModificado(false);
  tbDel->setVisible(LineCount() > 0);
  StatusBar1->setToolTip(QString());
}

QString TTextEditor::GetArchivo() const { return TxtNomF; }

void TTextEditor::SetArchivo(const QString& nombre) { TxtNomF = nombre; }

bool TTextEditor::GetModificado() const { return TxtModificado; }

void TTextEditor::SetModificado(bool v) {
  TxtModificado = v;
  tbDel->setVisible(LineCount() > 0);
  tbSave->setVisible(v && tbDel->isVisible());
  StatusPanel1->setText(v ? kModifiedMark : QString());
  ActualizarPos();
}

void TTextEditor::ActualizarPos() {
  const QTextCursor caret = Memo1->textCursor();
  StatusPanel0->setText(CaretText(caret.blockNumber() + 1, caret.positionInBlock() + 1));
}

void TTextEditor::tbOpenClick() {
  InsertHeld();
  bool open = true;
  if (TxtModificado) {
    const QMessageBox::StandardButton answer = dialogs_->Warning(this, kSaveExistingQuestion);
    if (answer == QMessageBox::Yes)
      tbSaveClick();  // the open goes on whether or not the text was saved
    else if (answer != QMessageBox::No)
      open = false;  // Cancel, or the box was closed
  }
  if (open) {
    if (const std::optional<QString> name = dialogs_->OpenFileName(this, TxtNomF, OpenDialog1)) {
      TxtNomF = *name;
      const QString text = DocumentTextOf(ReadTextFile(TxtNomF));
      Memo1->setPlainText(text);
      SetModificado(false);
      ShowFileName();
    }
  }
  tbDel->setVisible(LineCount() > 0);
  ToolBar1->hide();
  UpdateToggleImage();
}

void TTextEditor::tbSaveClick() {
  InsertHeld();
  if (!TxtModificado) return;
  const std::optional<QString> name = dialogs_->SaveFileName(this, TxtNomF, SaveDialog1);
  if (!name) return;
  TxtNomF = *name;
  WriteTextFile(TxtNomF, *Memo1->document(), LineCount());
  SetModificado(false);
  ShowFileName();
}

void TTextEditor::tbDelClick() {
  InsertHeld();
  if (TxtModificado) {
    const QMessageBox::StandardButton answer = dialogs_->Warning(this, kSaveQuestion);
    if (answer == QMessageBox::Yes) {
      tbSaveClick();  // saving keeps the text; a second clear then empties it
      return;
    }
    if (answer != QMessageBox::No) return;
  }
  Memo1->clear();
  SetModificado(false);
  // The file name stays, so the next save dialog proposes it.
  StatusPanel2->clear();
  StatusBar1->setToolTip(QString());
}

bool TTextEditor::CloseQuery(const QString& paneName) {
  InsertHeld();
  if (!TxtModificado) return true;
  const QMessageBox::StandardButton answer = dialogs_->Warning(
      this, paneName.isEmpty() ? kSaveQuestion : QStringLiteral("Save the text of the %1 pane?").arg(paneName));
  if (answer == QMessageBox::No) return true;
  if (answer != QMessageBox::Yes) return false;  // Cancel, or the box was closed
  try {
    tbSaveClick();
  } catch (const std::exception& error) {
    dialogs_->Error(this, QString::fromUtf8(error.what()));
    return false;
  }
  return !TxtModificado;  // the save dialog was cancelled: the text is still unsaved
}

void TTextEditor::ToolButton1Click() {
  ToolBar1->setHidden(!ToolBar1->isHidden());
  UpdateToggleImage();
}

void TTextEditor::Memo1Change() { SetModificado(true); }

void TTextEditor::SetDialogs(std::shared_ptr<TextEditorDialogs> dialogs) {
  if (dialogs) dialogs_ = std::move(dialogs);
}

void TTextEditor::AppendLine(const QString& line) { AppendText(line + u'\n'); }

void TTextEditor::AppendLines(const QStringList& lines) {
  if (!lines.isEmpty()) AppendText(lines.join(u'\n') + u'\n');
}

void TTextEditor::AppendText(const QString& chunk) {
  if (chunk.isEmpty()) return;
  if (holdWhileHidden_ && !isVisible()) {
    held_ << (chunk.endsWith(u'\n') ? chunk : chunk + u'\n');
    heldLines_ += held_.constLast().count(u'\n');
    Memo1Change();  // a change of the text, as an insertion would be
    return;
  }
  InsertHeld();  // what was held goes first
  InsertNow(chunk);
}

void TTextEditor::InsertNow(const QString& chunk) {
  QTextDocument* const doc = Memo1->document();
  QString text;
  // A last line the user typed without a line break is ended first, as a line it is.
  if (doc->lastBlock().length() > 1) {
    text.reserve(chunk.size() + 2);
    text += u'\n';
    text += chunk;
  } else {
    text = chunk;
  }
  if (!text.endsWith(u'\n')) text += u'\n';

  // Keep following the end while the view is at the bottom, as a log view does.
  QScrollBar* const bar = Memo1->verticalScrollBar();
  const bool follow = bar->value() >= bar->maximum();
  QTextCursor end(doc);
  end.movePosition(QTextCursor::End);
  end.insertText(text);  // one change of the text: Memo1Change runs once
  if (follow) bar->setValue(bar->maximum());
}

void TTextEditor::SetHoldWhileHidden(bool hold) {
  holdWhileHidden_ = hold;
  if (!hold && !held_.isEmpty()) insertHeld_->start();
}

void TTextEditor::InsertHeld() {
  if (held_.isEmpty()) return;
  insertHeld_->stop();
  const QString text = held_.join(QString());
  held_.clear();
  heldLines_ = 0;
  InsertNow(text);
}

// About 20 ms of the text document's work at a time, so the window stays responsive.
void TTextEditor::InsertSomeHeld() {
  constexpr qsizetype kLinesAtATime = 5000;
  if (held_.isEmpty()) return;
  QString text;
  qsizetype lines = 0;
  qsizetype taken = 0;
  while (taken < held_.size() && lines < kLinesAtATime) {
    lines += held_[taken].count(u'\n');
    text += held_[taken++];
  }
  held_.remove(0, taken);
  heldLines_ -= lines;
  InsertNow(text);
  if (!held_.isEmpty()) insertHeld_->start();
}

void TTextEditor::showEvent(QShowEvent* event) {
  InsertHeld();  // on screen, the text is all there
  QWidget::showEvent(event);
}

int TTextEditor::DocumentLineCount() const {
  const QTextDocument* const doc = Memo1->document();
  // The empty block after the last line break is where a next line would start.
  return doc->blockCount() - (doc->lastBlock().length() <= 1 ? 1 : 0);
}

int TTextEditor::LineCount() const { return DocumentLineCount() + static_cast<int>(heldLines_); }

QStringList TTextEditor::Lines() const {
  const_cast<TTextEditor*>(this)->InsertHeld();  // reading the text: it is all there
  QStringList lines;
  const int count = LineCount();
  lines.reserve(count);
  QTextBlock block = Memo1->document()->firstBlock();
  for (int i = 0; i < count; ++i, block = block.next()) lines << block.text();
  return lines;
}

QIcon TTextEditor::ToggleImage(int index) const {
  return ImageList3.at(static_cast<std::size_t>(index));
}

void TTextEditor::RunButtonHandler(void (TTextEditor::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& error) {
    dialogs_->Error(this, QString::fromUtf8(error.what()));
  }
}

// The third panel shows the short form of the name exactly as the user chose it, the
// whole path string included (nothing is stripped before shortening); the hint holds it
// in full.
void TTextEditor::ShowFileName() {
  StatusPanel2->setText(ShortFileName(TxtNomF));
  StatusBar1->setToolTip(TxtNomF);
}

void TTextEditor::UpdateToggleImage() { ToolButton1->setIcon(ImageList3[ToolBar1->isHidden() ? 0 : 1]); }

// Columns of a run's lines are separated by tabs and hold at most nine characters
// ("-9999.999"), mostly six: tab stops every six digits keep a results line of a 3 × 3 table on one
// screen line, where the default stops (80 pixels) wrap it.
void TTextEditor::UpdateTabStops() {
  Memo1->setTabStopDistance(Memo1->fontMetrics().horizontalAdvance(QStringLiteral("000000")));
}

void TTextEditor::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) UpdateTabStops();
}

}  // namespace veltrano
