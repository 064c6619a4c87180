#pragma once
// TTextEditor: the reusable text pane of the main window (module UEditor). A multi-line
// text box over a 21-pixel strip holding a tool-bar toggle and a three-panel status
// line, with a hidden tool bar to open, save and clear the text as a plain text file.
//
// Names are the system's own and kept verbatim: Archivo = the pane's file name
// (field TxtNomF), Modificado = "changed since last prepared, loaded, saved or cleared"
// (field TxtModificado), ActualizarPos = refresh the caret position. The handlers
// tbOpenClick, tbSaveClick, tbDelClick, ToolButton1Click and Memo1Change may be called
// directly; the pane's own buttons call them too. They take no sender argument (Qt's
// QObject::sender() serves where one is needed). The caret panel follows every caret
// move (keys, mouse, program) through QPlainTextEdit::cursorPositionChanged.
//
// Controls, each carrying its name as objectName (find them with findChild):
//   Memo1        CompactTextEdit the text: kept as UTF-8 in large blocks and laid out only
//                                where shown, so a pane holds millions of a run's lines at
//                                little more than their bytes; no undo; lines wrap at the
//                                pane's width; the vertical scroll bar always shown
//   FindBar      QWidget         between Memo1 and ToolBar1, hidden at start: FindText
//                                (QLineEdit), FindPrevious, FindNext (QToolButton),
//                                FindMatchCase (QCheckBox), FindStatus (QLabel), FindClose
//   ToolBar1     QToolBar        between Memo1 and the strip; hidden at start
//   tbOpen, tbSave, tbDel, tbFind  QAction in ToolBar1. "Visible" means QAction::isVisible(),
//                the action's own flag, which holds whether or not the pane is shown
//   Panel1       QWidget         the bottom strip, 21 px high
//   ToolBar2     QToolBar        in the strip's 25-px left area, holding ToolButton1
//   ToolButton1  QAction         toggles ToolBar1; icon ToggleImage(0) while ToolBar1
//                                is hidden, ToggleImage(1) while it is shown
//   StatusBar1   QStatusBar      its tool tip (the hint) is the full file name
//   StatusPanel0 QLabel >= 75 px caret position, e.g. "   12:    7"
//   StatusPanel1 QLabel 20 px    modified mark "  *"
//   StatusPanel2 QLabel >= 50 px short file name; takes the rest of the bar so the
//                                name (up to 31 characters) can be read
//
// Find: Ctrl+F (the platform's Find key, also tbFind and Memo1's context menu) shows the
// find bar; Enter or F3 selects the next match after the selection, Shift+Enter or
// Shift+F3 the one before, going round the text's end; Esc hides the bar.
//
// Lines: the text is a sequence of lines, each ended by a line break; a last line
// without one (typed by the user) counts as a line too. So an empty text has no line
// and appending "a" gives the text "a\n". Files hold the same: every line ended by
// "\n", encoded in UTF-8; loading splits at "\r\n" and "\n" (a lone "\r", as in old
// Mac files, also breaks a line) and reads a file a block at a time.
//
// Errors: tbOpenClick and tbSaveClick (and tbDelClick, which may save) throw
// TextFileError when a file cannot be read or written; the new file name has been set
// by then, while text, modified flag and status line stay as they were. When the
// pane's own buttons run them, the pane catches the error and shows its message
// through TextEditorDialogs::Error, as a window reports an error raised in a handler.
//
// Appends: a simulation run writes millions of lines. AppendText(chunk) adds a chunk of
// many lines as one change; the result is the same as AppendLine for each of the chunk's
// lines. Each append is a change of the text, so it passes through Memo1Change and
// leaves the pane modified. An append costs the conversion of its text to UTF-8 and a
// copy, so the window takes a run's lines as they come, shown or not (figures in
// bench/README.md).
#include <QIcon>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QStatusBar;
class QToolBar;

namespace veltrano {

class CompactTextEdit;

/// Raised when a pane's file cannot be read or written; the message names the file and
/// the reason, e.g. `Cannot write "results/out.txt": Filename refers to a directory`.
class TextFileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// Default extension of both file dialogs, set by Init.
inline constexpr char kTextDefaultExt[] = ".txt";
/// Filter of both file dialogs as the program states it: pairs "description|patterns",
/// separated by "|". QtNameFilter turns it into the form QFileDialog takes.
inline constexpr char kTextDialogFilter[] = "Todos los archivos (*.*)|*.*";

/// What an open or save dialog is shown with (OpenDialog1, SaveDialog1 of the pane).
struct FileDialogSettings {
  QString DefaultExt;  // with its dot, ".txt"; the save dialog appends it to a bare name
  QString Filter;      // "description|patterns|description|patterns..."
};

/// Translates a "description|patterns" filter into Qt's "description (patterns);;..." form.
/// Patterns separated by ";" become space-separated; a description that already ends
/// with its patterns in parentheses is kept as it is. "*.*" means every file and becomes
/// "*", so kTextDialogFilter gives "Todos los archivos (*)" and files without an
/// extension can be opened too.
QString QtNameFilter(const QString& filter);

/// The caret panel's text for a 1-based line and column: each number right-aligned in
/// at least five characters, never cut, joined by ":".
/// CaretText(12, 7) == "   12:    7".
QString CaretText(int line, int column);

/// A file name as the third status panel shows it: whole up to 30 characters, else its
/// first 5 characters, "..." and its last 23 (31 in all). Characters are Unicode code
/// points, so a character outside the BMP is never cut in half.
QString ShortFileName(const QString& name);

/// The modal questions a pane asks. The default implementation shows QFileDialog and
/// QMessageBox; tests give the pane one that answers at once.
class TextEditorDialogs {
public:
  virtual ~TextEditorDialogs() = default;
  /// The file to open, proposing `current`; nullopt when the user cancels.
  virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& current,
                                              const FileDialogSettings& settings);
  /// The file to save to, proposing `current`; the default extension is added to a
  /// name without one. nullopt when the user cancels.
  virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& current,
                                              const FileDialogSettings& settings);
  /// A warning with the buttons Yes, No and Cancel; closing the box counts as Cancel.
  virtual QMessageBox::StandardButton Warning(QWidget* parent, const QString& text);
  /// A warning with three answers: Yes and No carry the given texts, Cancel is
  /// "Cancel"; closing the box counts as Cancel. An empty noText leaves No out.
  virtual QMessageBox::StandardButton Question(QWidget* parent, const QString& text, const QString& yesText,
                                               const QString& noText);
  /// Shows the message of an error that ended one of the pane's button handlers.
  virtual void Error(QWidget* parent, const QString& message);
  /// A file to open for a purpose the title names ("Analyse answer sheets"); nullopt
  /// when the user cancels. The window's own files (an answer sheet, its key) are asked
  /// for through this.
  virtual std::optional<QString> OpenFileFor(QWidget* parent, const QString& title,
                                             const FileDialogSettings& settings);
  /// A question with two answers: acceptText ("Open a key file...") and "Cancel"; true
  /// for the first. Closing the box counts as Cancel.
  virtual bool Confirm(QWidget* parent, const QString& text, const QString& acceptText);
  /// A whole number from min to max, proposing value; nullopt when the user cancels.
  virtual std::optional<int> AskNumber(QWidget* parent, const QString& title, const QString& label, int value,
                                       int min, int max);
};

class TTextEditor : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString Archivo READ GetArchivo WRITE SetArchivo)
  Q_PROPERTY(bool Modificado READ GetModificado)

public:
  /// Builds the controls and prepares the pane with Init, so it is usable on its own.
  explicit TTextEditor(QWidget* parent = nullptr);
  ~TTextEditor() override;

  // The controls, owned by the pane through Qt parents (never delete them).
  CompactTextEdit* const Memo1;
  QWidget* const FindBar;
  QLineEdit* const FindText;
  QCheckBox* const FindMatchCase;
  QLabel* const FindStatus;
  QToolBar* const ToolBar1;
  QAction* const tbOpen;
  QAction* const tbSave;
  QAction* const tbDel;
  QAction* const tbFind;
  QWidget* const Panel1;
  QToolBar* const ToolBar2;
  QAction* const ToolButton1;
  QStatusBar* const StatusBar1;
  QLabel* const StatusPanel0;
  QLabel* const StatusPanel1;
  QLabel* const StatusPanel2;

  /// Settings of the open and save dialogs; Init sets both.
  FileDialogSettings OpenDialog1;
  FileDialogSettings SaveDialog1;

  /// Prepares the pane without a file: dialog settings, no file name, not modified,
  /// buttons and hint brought up to date. The text is not touched.
  void Init();

  QString GetArchivo() const;
  /// Sets the file name and nothing else (status line and hint are left as they are).
  void SetArchivo(const QString& nombre);
  bool GetModificado() const;
  /// Sets the modified flag; tbDel is visible exactly when the text has a line, tbSave
  /// exactly when also modified; the second panel shows "  *" when modified; then
  /// ActualizarPos.
  void SetModificado(bool v);
  /// Writes the caret's line and column (text lines, not wrapped screen lines) into the
  /// first status panel.
  void ActualizarPos();

  /// Open: asks "Save existing text?" when modified (Yes saves first, Cancel skips the
  /// dialog), loads the chosen file; in every case hides the tool bar. Throws TextFileError.
  void tbOpenClick();
  /// Save: when modified, asks for a name and writes the text. Throws TextFileError.
  void tbSaveClick();
  /// Clear: asks "Save text?" when modified (Yes saves and keeps the text, No clears,
  /// Cancel does nothing). The file name stays. May throw TextFileError through the save.
  /// A pane that was cleared emits Cleared and gives the text's memory back.
  void tbDelClick();
  /// Before the window closes: asks when modified, as Clear does, naming the pane when a
  /// name is given ("Save the text of the Data pane?"; "Save text?" without one): a window
  /// with several panes asks about each, and the user must know which text is meant.
  /// Yes saves (a save that fails shows its error through the dialogs), No discards. True
  /// when the pane may be closed: not modified, saved, or No; false for Cancel and for a
  /// save that failed or whose dialog was cancelled.
  bool CloseQuery(const QString& paneName = QString());
  /// The dialogs the pane asks its questions through (never null).
  TextEditorDialogs& Dialogs() const { return *dialogs_; }
  /// Shows or hides ToolBar1 and gives ToolButton1 the matching icon.
  void ToolButton1Click();
  /// Every change of the text lands here: SetModificado(true).
  void Memo1Change();

  /// Replaces the dialogs (never null); the default ones show real dialogs.
  void SetDialogs(std::shared_ptr<TextEditorDialogs> dialogs);

  /// Appends one line.
  void AppendLine(const QString& line);
  /// Appends lines with a single change of the text.
  void AppendLines(const QStringList& lines);
  /// Appends a chunk of lines, each ended by "\n" (a last line without one is still a
  /// line), with a single change of the text.
  void AppendText(const QString& chunk);

  /// Number of lines of the text (0 for an empty text).
  int LineCount() const;
  /// The lines of the text, without their line breaks.
  QStringList Lines() const;
  /// The text's size in bytes (UTF-8): where the next appended text begins.
  std::int64_t TextBytes() const;
  /// Removes the text from that size on, taking back what was appended since TextBytes()
  /// gave it; a change of the text like any other.
  void TruncateText(std::int64_t bytes);

  /// Shows the find bar with the focus in its field.
  void ShowFindBar();
  /// Selects the next match of the find bar's text (backward: the one before); the bar's
  /// status says when there is none. False when there is none.
  bool FindNext(bool backward = false);

  /// Icon of ToolButton1: index 0 while ToolBar1 is hidden, 1 while it is shown.
  QIcon ToggleImage(int index) const;

signals:
  /// The pane's text was cleared by its Clear (the window clears what goes with it).
  void Cleared();

protected:
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void UpdateTabStops();
  void BuildFindBar();
  /// Runs a handler for one of the pane's buttons; an error ends the handler and its
  /// message is shown, so it never crosses Qt's event loop.
  void RunButtonHandler(void (TTextEditor::*handler)());
  void ShowFileName();
  void UpdateToggleImage();

  QString TxtNomF;
  bool TxtModificado = false;
  std::array<QIcon, 2> ImageList3;
  std::shared_ptr<TextEditorDialogs> dialogs_;
};

}  // namespace veltrano
