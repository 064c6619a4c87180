#include "ui/TTextEditor.h"

#include "ui/CompactTextEdit.h"
#include "ui/FreedMemory.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QInputDialog>
#include <QStatusBar>
#include <QStringDecoder>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
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

// The file's text, read a block at a time and decoded as UTF-8 (a leading byte-order mark
// is dropped, a byte that is not UTF-8 becomes U+FFFD), its line breaks made "\n" and its
// last line ended. Nothing of the pane changes here, so a failure leaves text and status
// as they were.
CompactText ReadTextFile(const QString& path) {
  constexpr qint64 kBlockBytes = qint64{1} << 20;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) ThrowFileError("Cannot read", path, file.errorString());
  QStringDecoder decode(QStringDecoder::Utf8);
  CompactText text;
  QString pending;  // a "\r" at a block's end waits: a "\n" may follow in the next block
  const auto add = [&](QString piece, bool last) {
    piece.prepend(pending);
    pending.clear();
    if (!last && piece.endsWith(u'\r')) {
      pending = QStringLiteral("\r");
      piece.chop(1);
    }
    piece.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    piece.replace(u'\r', u'\n');
    text.Append(piece.toStdString());
  };
  for (;;) {
    const QByteArray bytes = file.read(kBlockBytes);
    if (file.error() != QFileDevice::NoError) ThrowFileError("Cannot read", path, file.errorString());
    if (bytes.isEmpty()) break;
    add(decode(bytes), false);
  }
  add(decode(QByteArray()), true);
  if (!text.Paragraph(text.ParagraphCount() - 1).empty()) text.Append("\n");  // the last line ended
  return text;
}

// Writes the text, every line ended by "\n", through a temporary file that replaces the
// target only once everything was written, so a failed save (full disk, read-only folder)
// leaves the earlier file intact. The text is UTF-8 already: its blocks are written as
// they stand, without a second copy of the text in memory.
void WriteTextFile(const QString& path, const CompactText& text) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) ThrowFileError("Cannot write", path, file.errorString());
  const auto write = [&](std::string_view bytes) {
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()))
      ThrowFileError("Cannot write", path, file.errorString());
  };
  for (std::size_t b = 0; b < text.BlockCount(); ++b) write(text.Block(b));
  if (!text.Paragraph(text.ParagraphCount() - 1).empty()) write("\n");  // a typed last line
  if (!file.commit()) ThrowFileError("Cannot write", path, file.errorString());
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
                  QMessageBox::Yes | (noText.isEmpty() ? QMessageBox::NoButton : QMessageBox::No) |
                      QMessageBox::Cancel,
                  parent);
  box.button(QMessageBox::Yes)->setText(yesText);
  if (!noText.isEmpty()) box.button(QMessageBox::No)->setText(noText);
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

std::optional<int> TextEditorDialogs::AskNumber(QWidget* parent, const QString& title, const QString& label,
                                                int value, int min, int max) {
  bool ok = false;
  const int n = QInputDialog::getInt(parent, title, label, value, min, max, 1, &ok);
  if (!ok) return std::nullopt;
  return n;
}

TTextEditor::TTextEditor(QWidget* parent)
    : QWidget(parent),
      Memo1(new CompactTextEdit(this)),
      FindBar(new QWidget(this)),
      FindText(new QLineEdit(FindBar)),
      FindMatchCase(new QCheckBox(QStringLiteral("Match case"), FindBar)),
      FindStatus(new QLabel(FindBar)),
      ToolBar1(new QToolBar(this)),
      tbOpen(new QAction(ToolBar1)),
      tbSave(new QAction(ToolBar1)),
      tbDel(new QAction(ToolBar1)),
      tbFind(new QAction(ToolBar1)),
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
  tbFind->setObjectName(QStringLiteral("tbFind"));
  Panel1->setObjectName(QStringLiteral("Panel1"));
  ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
  ToolButton1->setObjectName(QStringLiteral("ToolButton1"));
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
  StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
  StatusPanel2->setObjectName(QStringLiteral("StatusPanel2"));

  // The text box: lines wrap at its width; the vertical scroll bar is always there.
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
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
  tbFind->setIcon(QIcon::fromTheme(QStringLiteral("edit-find"),
                                   look->standardIcon(QStyle::SP_FileDialogContentsView)));
  tbFind->setText(tr("Find\u2026"));
  tbFind->setToolTip(tr("Find in the text (%1)").arg(QKeySequence(QKeySequence::Find).toString(QKeySequence::NativeText)));
  tbFind->setShortcut(QKeySequence::Find);
  tbFind->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  addAction(tbFind);         // Ctrl+F anywhere in the pane
  Memo1->addAction(tbFind);  // and in the text box's context menu
  ToolBar1->setIconSize(iconSize);
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->addAction(tbOpen);
  ToolBar1->addAction(tbSave);
  ToolBar1->addAction(tbDel);
  ToolBar1->addAction(tbFind);
  ToolBar1->hide();
  BuildFindBar();

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
  column->addWidget(FindBar);
  column->addWidget(ToolBar1);
  column->addWidget(Panel1);

  connect(Memo1, &CompactTextEdit::textChanged, this, &TTextEditor::Memo1Change);
  // Every caret move (keys, mouse or the program itself) refreshes the caret panel.
  connect(Memo1, &CompactTextEdit::cursorPositionChanged, this, &TTextEditor::ActualizarPos);
  connect(tbOpen, &QAction::triggered, this, [this] { RunButtonHandler(&TTextEditor::tbOpenClick); });
  connect(tbSave, &QAction::triggered, this, [this] { RunButtonHandler(&TTextEditor::tbSaveClick); });
  connect(tbDel, &QAction::triggered, this, [this] { RunButtonHandler(&TTextEditor::tbDelClick); });
  connect(tbFind, &QAction::triggered, this, &TTextEditor::ShowFindBar);
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
  const CompactTextEdit::Position caret = Memo1->Caret();
  StatusPanel0->setText(CaretText(static_cast<int>(caret.line) + 1, caret.column + 1));
}

void TTextEditor::tbOpenClick() {
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
      Memo1->SetText(ReadTextFile(TxtNomF));
      SetModificado(false);
      ShowFileName();
    }
  }
  tbDel->setVisible(LineCount() > 0);
  ToolBar1->hide();
  UpdateToggleImage();
}

void TTextEditor::tbSaveClick() {
  if (!TxtModificado) return;
  const std::optional<QString> name = dialogs_->SaveFileName(this, TxtNomF, SaveDialog1);
  if (!name) return;
  TxtNomF = *name;
  WriteTextFile(TxtNomF, Memo1->Text());
  SetModificado(false);
  ShowFileName();
}

void TTextEditor::tbDelClick() {
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
  emit Cleared();
  ReturnFreedMemory();
}

bool TTextEditor::CloseQuery(const QString& paneName) {
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
  QByteArray bytes = chunk.toUtf8();
  // A last line the user typed without a line break is ended first, as a line it is.
  const CompactText& text = Memo1->Text();
  if (!text.Paragraph(text.ParagraphCount() - 1).empty()) bytes.prepend('\n');
  if (!bytes.endsWith('\n')) bytes.append('\n');
  Memo1->AppendUtf8(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

int TTextEditor::LineCount() const {
  const CompactText& text = Memo1->Text();
  // The empty paragraph after the last line break is where a next line would start.
  const std::int64_t paragraphs = text.ParagraphCount();
  return static_cast<int>(paragraphs - (text.Paragraph(paragraphs - 1).empty() ? 1 : 0));
}

QStringList TTextEditor::Lines() const {
  QStringList lines;
  const int count = LineCount();
  lines.reserve(count);
  for (int i = 0; i < count; ++i) lines << Memo1->Paragraph(i);
  return lines;
}

std::int64_t TTextEditor::TextBytes() const { return Memo1->Text().Bytes(); }

void TTextEditor::TruncateText(std::int64_t bytes) { Memo1->Truncate(bytes); }

void TTextEditor::BuildFindBar() {
  FindBar->setObjectName(QStringLiteral("FindBar"));
  FindText->setObjectName(QStringLiteral("FindText"));
  FindMatchCase->setObjectName(QStringLiteral("FindMatchCase"));
  FindStatus->setObjectName(QStringLiteral("FindStatus"));
  FindText->setPlaceholderText(tr("Find"));
  FindText->setClearButtonEnabled(true);
  FindText->installEventFilter(this);
  FindMatchCase->setToolTip(tr("Without it, the letters A to Z match in either case"));
  QStyle* const look = style();
  const auto button = [&](const char* name, const QString& icon, QStyle::StandardPixmap fallback,
                          const QString& tip) {
    auto* b = new QToolButton(FindBar);
    b->setObjectName(QLatin1String(name));
    b->setIcon(QIcon::fromTheme(icon, look->standardIcon(fallback)));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    return b;
  };
  QToolButton* const previous = button("FindPrevious", QStringLiteral("go-up"), QStyle::SP_ArrowUp,
                                       tr("Previous match (Shift+Enter, Shift+F3)"));
  QToolButton* const next =
      button("FindNext", QStringLiteral("go-down"), QStyle::SP_ArrowDown, tr("Next match (Enter, F3)"));
  QToolButton* const close = button("FindClose", QStringLiteral("window-close"), QStyle::SP_TitleBarCloseButton,
                                    tr("Hide the find bar (Esc)"));
  auto* row = new QHBoxLayout(FindBar);
  row->setContentsMargins(2, 1, 2, 1);
  row->setSpacing(2);
  row->addWidget(FindText, 1);
  row->addWidget(previous);
  row->addWidget(next);
  row->addWidget(FindMatchCase);
  row->addWidget(FindStatus);
  row->addWidget(close);
  FindBar->hide();
  connect(previous, &QToolButton::clicked, this, [this] { FindNext(true); });
  connect(next, &QToolButton::clicked, this, [this] { FindNext(false); });
  connect(close, &QToolButton::clicked, this, [this] {
    FindBar->hide();
    Memo1->setFocus();
  });
  connect(FindText, &QLineEdit::textEdited, FindStatus, &QLabel::clear);
  // F3 and Shift+F3 (the platform's keys) anywhere in the pane.
  for (const bool backward : {false, true}) {
    auto* again = new QAction(this);
    again->setShortcut(backward ? QKeySequence::FindPrevious : QKeySequence::FindNext);
    again->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(again, &QAction::triggered, this, [this, backward] { FindNext(backward); });
    addAction(again);
  }
}

void TTextEditor::ShowFindBar() {
  FindBar->show();
  // The selection, when it is a word or so, is what the user wants to find.
  const QString selected = Memo1->SelectedText();
  if (!selected.isEmpty() && !selected.contains(u'\n') && selected.size() <= 200) FindText->setText(selected);
  FindText->setFocus(Qt::ShortcutFocusReason);
  FindText->selectAll();
}

bool TTextEditor::FindNext(bool backward) {
  if (FindText->text().isEmpty()) {
    ShowFindBar();
    return false;
  }
  const bool found = Memo1->Find(FindText->text(), backward, FindMatchCase->isChecked());
  FindStatus->setText(found ? QString() : tr("Not found"));
  return found;
}

// The find field: Enter finds forward, Shift+Enter backward, Esc hides the bar (before the
// window's own use of Esc).
bool TTextEditor::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FindText && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter || key->key() == Qt::Key_Escape) {
      if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
      }
      if (enter) {
        FindNext((key->modifiers() & Qt::ShiftModifier) != 0);
      } else {
        FindBar->hide();
        Memo1->setFocus();
      }
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
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
